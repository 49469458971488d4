#pragma once

// The controller's report protocol: layout, command codes, memory map, and the
// pure functions that build requests and check replies. Offsets count from the
// report id byte, as reports travel on the wire.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace padwright {

// The controller's USB ids (pid.codes testing range).
constexpr uint16_t kControllerVendorId = 0x1209;
constexpr uint16_t kControllerProductId = 0x0001;

constexpr size_t kPayloadBytes = 32;  // a report without its id
constexpr size_t kReportBytes = 33;   // id + payload, as the program formats it
constexpr size_t kMaxReportBytes = 64;
constexpr uint8_t kReportId = 0x00;

using Payload = std::array<uint8_t, kPayloadBytes>;
using Report = std::array<uint8_t, kReportBytes>;

constexpr std::array<uint8_t, 5> kMagic = {'Q', 'U', 'E', 'L', 'M'};
constexpr size_t kMagicOffset = 1;
constexpr size_t kCodeOffset = 6;
constexpr size_t kParamOffset = 7;
constexpr size_t kAddressOffset = 9;          // ReadMemory, ProgramFlash, EraseFlash, CalculateChecksum
constexpr size_t kDataOffset = 17;            // ReadMemory reply, ProgramFlash request
constexpr size_t kDataBytes = 16;             // flash is read and programmed 16 bytes a report
constexpr size_t kDataFillFfEnd = 25;         // a short chunk leaves 0xFF up to here, 0x00 after
constexpr size_t kVersionMajorOffset = 7;
constexpr size_t kVersionMinorOffset = 8;
constexpr size_t kStatusOffset = 7;           // QueryRead reply
constexpr size_t kQueryChunkOffset = 8;       // QueryRead reply
constexpr size_t kQueryLengthOffset = 7;      // QueryRead request, 32-bit chunk length
constexpr size_t kQuerySubcodeOffset = 7;     // QuerySelect request
constexpr size_t kQuerySelectorOffset = 8;    // QuerySelect request, 32-bit
constexpr size_t kQueryLengthByteOffset = 12; // QuerySelect request
constexpr size_t kQueryFillOffset = 13;       // QuerySelect request, 0xFF from here to the end
constexpr size_t kChecksumLengthOffset = 13;  // CalculateChecksum request
constexpr size_t kChecksumOffset = 17;        // CalculateChecksum reply
constexpr size_t kRadioStateOffset = 7;
constexpr size_t kConfigReportFlagsOffset = 15;  // the report after EnterConfigMode

enum class Command : uint8_t {
    EnterConfigMode = 0x01,      // no reply; the next input report carries the button count
    LeaveConfigMode = 0x02,      // no reply
    ReadFirmwareVersion = 0x03,  // reply bytes 7-8: major, minor
    QueryBegin = 0x0A,           // first step of the variant probe
    QueryRead = 0x0B,            // reads the block QuerySelect chose, in chunks
    QuerySelect = 0x0C,          // chooses a 29-byte block
    ReadMemory = 0x0E,           // 16 bytes at an address
    ProgramFlash = 0x0F,         // 16 bytes to an address
    EraseFlash = 0x10,           // one 4 KiB sector
    WriteRadioState = 0x16,      // radio off (state 7)
    ResetDevice = 0x17,          // restart; the controller leaves the bus and comes back
    CalculateChecksum = 0x18,    // controller's checksum of the image body
};

constexpr uint8_t kRadioStateOff = 0x07;
constexpr uint8_t kQuerySelectSubcode = 0x05;
constexpr uint32_t kQuerySelectorA = 0x00006B09;
constexpr uint32_t kQuerySelectorB = 0x04006B09;
constexpr uint8_t kQueryLengthByte = 0x17;
constexpr size_t kQueryBlockBytes = 29;
constexpr std::array<uint32_t, 2> kQueryChunkBytes = {25, 4};
constexpr uint8_t kQueryStatusValid = 0x01;
constexpr uint32_t kChecksumConstant = 0x00030010;
constexpr uint8_t kTwoFeatureButtonsMask = 0x08;

// Reply matching looks at the first report and 64 more before giving up.
constexpr int kReplyMatchLimit = 65;

// Memory map.
constexpr uint32_t kFlashBytes = 0x20000;
constexpr uint32_t kSectorBytes = 0x1000;
constexpr uint32_t kImageHeaderAddress = 0x10000;
constexpr uint32_t kImageHeaderBytes = 16;
constexpr uint32_t kImageBodyAddress = 0x10010;
constexpr uint32_t kImageRangeStart = 0x10000;
constexpr uint32_t kImageRangeBytes = 0x10000;
constexpr uint32_t kGlobalSettingsAddress = 0x1E000;
constexpr uint32_t kFeatureButtonAddress = 0x1F000;

void PutLe32(uint8_t* at, uint32_t value);
uint32_t GetLe32(const uint8_t* at);

// A request report: id 0, the magic, the code, every parameter byte zero.
Report MakeRequest(Command code);
Payload ToPayload(const Report& report);
Report FromPayload(const Payload& payload);

// True when the report is a full reply carrying the magic and this code.
bool ReplyMatches(std::span<const uint8_t> report, Command code);

Report BuildWriteRadioState();
Report BuildQuerySelect(uint32_t selector, uint8_t lengthByte);
Report BuildQueryRead(uint32_t chunkLength);
Report BuildReadMemory(uint32_t address);
Report BuildProgramFlash(uint32_t address, const uint8_t* chunk, size_t chunkLength);
Report BuildEraseFlash(uint32_t sectorAddress);
Report BuildCalculateChecksum(uint32_t length);

uint16_t ParseFirmwareVersion(const Report& reply);
uint32_t ParseChecksum(const Report& reply);

// Number of 16-byte reports that carry length bytes.
size_t FlashReportCount(size_t length);
// The sector addresses EraseFlash sends for a range.
std::vector<uint32_t> EraseSectors(uint32_t start, uint32_t length);

// Request arrays for the batch engine: report k at k * reportLength, report id
// first, every byte after the program's 33 zero.
std::vector<uint8_t> BuildBatch(std::span<const Report> requests, size_t reportLength);
std::vector<Report> ReadMemoryRequests(uint32_t address, size_t length);
std::vector<Report> ProgramFlashRequests(uint32_t address, const uint8_t* data, size_t length);
std::vector<Report> EraseFlashRequests(uint32_t start, uint32_t length);

// The QueryRead status: bit 0 of every reply's status byte, ANDed.
uint8_t QueryReadStatus(std::span<const Report> replies);

}  // namespace padwright
