#include "device/protocol.h"

#include <algorithm>
#include <cstring>

namespace padwright {

void PutLe32(uint8_t* at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe32(const uint8_t* at)
{
    return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
           static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

Report MakeRequest(Command code)
{
    Report r{};
    r[0] = kReportId;
    std::copy(kMagic.begin(), kMagic.end(), r.begin() + kMagicOffset);
    r[kCodeOffset] = static_cast<uint8_t>(code);
    return r;
}

Payload ToPayload(const Report& report)
{
    Payload p;
    std::copy(report.begin() + 1, report.end(), p.begin());
    return p;
}

Report FromPayload(const Payload& payload)
{
    Report r{};
    r[0] = kReportId;
    std::copy(payload.begin(), payload.end(), r.begin() + 1);
    return r;
}

bool ReplyMatches(std::span<const uint8_t> report, Command code)
{
    if (report.size() < kReportBytes)
        return false;
    return std::equal(kMagic.begin(), kMagic.end(), report.begin() + kMagicOffset) &&
           report[kCodeOffset] == static_cast<uint8_t>(code);
}

Report BuildWriteRadioState()
{
    Report r = MakeRequest(Command::WriteRadioState);
    r[kRadioStateOffset] = kRadioStateOff;
    return r;
}

Report BuildQuerySelect(uint32_t selector, uint8_t lengthByte)
{
    Report r = MakeRequest(Command::QuerySelect);
    r[kQuerySubcodeOffset] = kQuerySelectSubcode;
    PutLe32(&r[kQuerySelectorOffset], selector);
    r[kQueryLengthByteOffset] = lengthByte;
    std::fill(r.begin() + kQueryFillOffset, r.end(), 0xFF);
    return r;
}

Report BuildQueryRead(uint32_t chunkLength)
{
    Report r = MakeRequest(Command::QueryRead);
    PutLe32(&r[kQueryLengthOffset], chunkLength);
    return r;
}

Report BuildReadMemory(uint32_t address)
{
    Report r = MakeRequest(Command::ReadMemory);
    PutLe32(&r[kAddressOffset], address);
    return r;
}

Report BuildProgramFlash(uint32_t address, const uint8_t* chunk, size_t chunkLength)
{
    Report r = MakeRequest(Command::ProgramFlash);
    PutLe32(&r[kAddressOffset], address);
    std::fill(r.begin() + kDataOffset, r.begin() + kDataFillFfEnd, 0xFF);
    std::fill(r.begin() + kDataFillFfEnd, r.end(), 0x00);
    std::memcpy(&r[kDataOffset], chunk, std::min(chunkLength, kDataBytes));
    return r;
}

Report BuildEraseFlash(uint32_t sectorAddress)
{
    Report r = MakeRequest(Command::EraseFlash);
    PutLe32(&r[kAddressOffset], sectorAddress);
    return r;
}

Report BuildCalculateChecksum(uint32_t length)
{
    Report r = MakeRequest(Command::CalculateChecksum);
    PutLe32(&r[kAddressOffset], kChecksumConstant);
    PutLe32(&r[kChecksumLengthOffset], length);
    return r;
}

uint16_t ParseFirmwareVersion(const Report& reply)
{
    return static_cast<uint16_t>(reply[kVersionMajorOffset] << 8 | reply[kVersionMinorOffset]);
}

uint32_t ParseChecksum(const Report& reply)
{
    return GetLe32(&reply[kChecksumOffset]);
}

size_t FlashReportCount(size_t length)
{
    return (length + kDataBytes - 1) / kDataBytes;
}

std::vector<uint32_t> EraseSectors(uint32_t start, uint32_t length)
{
    // 64-bit arithmetic: a range that ends at the top of the address space must
    // not wrap into an endless list.
    const uint64_t first = start & ~static_cast<uint64_t>(kSectorBytes - 1);
    const uint64_t end = std::min<uint64_t>(
        (static_cast<uint64_t>(start) + length + kSectorBytes - 1) & ~static_cast<uint64_t>(kSectorBytes - 1),
        uint64_t{1} << 32);
    std::vector<uint32_t> sectors;
    for (uint64_t a = first; a < end; a += kSectorBytes)
        sectors.push_back(static_cast<uint32_t>(a));
    return sectors;
}

std::vector<uint8_t> BuildBatch(std::span<const Report> requests, size_t reportLength)
{
    std::vector<uint8_t> batch(requests.size() * reportLength, 0);
    const size_t copied = std::min(reportLength, kReportBytes);
    for (size_t k = 0; k < requests.size(); ++k)
        std::memcpy(&batch[k * reportLength], requests[k].data(), copied);
    return batch;
}

std::vector<Report> ReadMemoryRequests(uint32_t address, size_t length)
{
    std::vector<Report> requests;
    const size_t count = FlashReportCount(length);
    requests.reserve(count);
    for (size_t i = 0; i < count; ++i)
        requests.push_back(BuildReadMemory(address + static_cast<uint32_t>(kDataBytes * i)));
    return requests;
}

std::vector<Report> ProgramFlashRequests(uint32_t address, const uint8_t* data, size_t length)
{
    std::vector<Report> requests;
    const size_t count = FlashReportCount(length);
    requests.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = kDataBytes * i;
        requests.push_back(BuildProgramFlash(address + static_cast<uint32_t>(offset),
                                             data + offset, std::min(kDataBytes, length - offset)));
    }
    return requests;
}

std::vector<Report> EraseFlashRequests(uint32_t start, uint32_t length)
{
    std::vector<Report> requests;
    for (uint32_t sector : EraseSectors(start, length))
        requests.push_back(BuildEraseFlash(sector));
    return requests;
}

uint8_t QueryReadStatus(std::span<const Report> replies)
{
    uint8_t status = 1;
    for (const Report& r : replies)
        status &= r[kStatusOffset];
    return status;
}

}  // namespace padwright
