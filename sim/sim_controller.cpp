#include "sim/sim_controller.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "device/crc.h"

namespace padwright::sim {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kTruncatedReplyBytes = 8;
constexpr uint8_t kWrongCodeFlip = 0x40;    // lands outside the command set
constexpr uint8_t kGarbageCode = 0x00;      // no command has this code
constexpr uint8_t kPadReportLength = 0x14;  // pad reports announce a 20-byte state
constexpr uint8_t kStickCentre = 0x80;
constexpr uint8_t kProbeStatusB = 0x03;     // any value with bit 0 set is valid
constexpr size_t kQueryChunkRoom = kReportBytes - kQueryChunkOffset;

constexpr std::array<uint8_t, 9> kImageMagic = {'Q', 'U', 'E', 'L', 'M', '_', 'D', 'F', 'U'};

Bytes Reply(Command code)
{
    const Report r = MakeRequest(code);
    return Bytes(r.begin(), r.end());
}

// Looks like a pad at rest: nothing pressed, sticks centred. No magic, so reply
// matching has to skip it.
Bytes PadReport()
{
    Bytes r(kReportBytes, 0x00);
    r[2] = kPadReportLength;
    for (size_t i = 7; i < 15; i += 2)
        r[i] = kStickCentre;
    return r;
}

Bytes ConfigReport(int featureButtons)
{
    Bytes r(kReportBytes, 0x00);
    r[2] = kPadReportLength;
    if (featureButtons == 2)
        r[kConfigReportFlagsOffset] |= kTwoFeatureButtonsMask;
    return r;
}

Bytes GarbageReport(int n)
{
    Bytes r = Reply(static_cast<Command>(kGarbageCode));
    std::fill(r.begin() + kParamOffset, r.end(), static_cast<uint8_t>(0xA0 + n));
    return r;
}

// Block A and B begin with their selector, so byte 3 (the selector's top byte)
// always differs; variant 1 also differs in its body.
std::array<uint8_t, kQueryBlockBytes> ProbeBlock(uint32_t selector, int variant)
{
    std::array<uint8_t, kQueryBlockBytes> block{};
    PutLe32(block.data(), selector);
    for (size_t i = 4; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(0x30 + i);
    if (variant != 2 && selector == kQuerySelectorB)
        for (size_t i = 8; i < 12; ++i)
            block[i] ^= 0x5A;
    return block;
}

bool InFlash(uint32_t address, uint32_t length)
{
    return static_cast<uint64_t>(address) + length <= kFlashBytes;
}

}  // namespace

void WriteTaggedImageHead(uint8_t* image, uint16_t version)
{
    std::fill_n(image, kImageHeaderBytes, 0);
    std::copy(kImageMagic.begin(), kImageMagic.end(), image);
    uint8_t* body = image + kImageHeaderBytes;
    std::copy(kImageVersionTag.begin(), kImageVersionTag.end(), body);
    body[4] = static_cast<uint8_t>(version >> 8);
    body[5] = static_cast<uint8_t>(version & 0xFF);
}

SimController::SimController(ControllerState state) : state_(std::move(state))
{
    state_.flash.resize(kFlashBytes, 0xFF);
}

std::vector<std::vector<uint8_t>> SimController::HandleRequest(std::span<const uint8_t> report)
{
    std::lock_guard lock(mutex_);
    requests_.emplace_back(report.begin(), report.end());
    lastWasErase_ = false;
    if (requestsSinceFaults_++ == faults_.unplugAtRequest) {
        unplugRequested_ = true;
        return {};
    }

    std::vector<Bytes> out;
    // The pad state goes out whenever the radio is on; tying it to requests keeps
    // the sim deterministic.
    if (state_.radioOn)
        out.push_back(PadReport());
    const bool wellFormed =
        report.size() >= kReportBytes &&
        std::equal(kMagic.begin(), kMagic.end(), report.begin() + kMagicOffset);
    if (wellFormed)
        for (Bytes& r : Answer(report.first(kReportBytes)))
            out.push_back(std::move(r));
    return out;
}

std::vector<std::vector<uint8_t>> SimController::Answer(std::span<const uint8_t> req)
{
    const auto code = static_cast<Command>(req[kCodeOffset]);
    const uint32_t address = GetLe32(&req[kAddressOffset]);
    std::vector<Bytes> out;
    Bytes reply = Reply(code);

    switch (code) {
    case Command::EnterConfigMode:
        out.push_back(ConfigReport(state_.featureButtons));
        return out;
    case Command::LeaveConfigMode:
        return out;
    case Command::ReadFirmwareVersion:
        reply[kVersionMajorOffset] = static_cast<uint8_t>(state_.version >> 8);
        reply[kVersionMinorOffset] = static_cast<uint8_t>(state_.version);
        break;
    case Command::QueryBegin:
        break;
    case Command::QuerySelect: {
        const uint32_t selector = GetLe32(&req[kQuerySelectorOffset]);
        blockSelected_ = req[kQuerySubcodeOffset] == kQuerySelectSubcode &&
                         (selector == kQuerySelectorA || selector == kQuerySelectorB);
        if (blockSelected_) {
            selectedBlock_ = ProbeBlock(selector, state_.variant);
            blockStatus_ = selector == kQuerySelectorA ? kQueryStatusValid : kProbeStatusB;
        }
        queryOffset_ = 0;
        break;
    }
    case Command::QueryRead: {
        const uint32_t length = GetLe32(&req[kQueryLengthOffset]);
        // A chunk that does not fit the reply or runs past the block is refused.
        if (blockSelected_ && length <= kQueryChunkRoom &&
            queryOffset_ + length <= selectedBlock_.size()) {
            reply[kStatusOffset] = blockStatus_;
            std::memcpy(&reply[kQueryChunkOffset], &selectedBlock_[queryOffset_], length);
            queryOffset_ += length;
        }
        break;
    }
    case Command::ReadMemory:
        PutLe32(&reply[kAddressOffset], address);
        for (size_t i = 0; i < kDataBytes; ++i) {
            const uint64_t a = static_cast<uint64_t>(address) + i;
            reply[kDataOffset + i] = a < kFlashBytes ? state_.flash[a] : 0xFF;
        }
        break;
    case Command::ProgramFlash:
        // NOR flash: programming only clears bits.
        if (InFlash(address, kDataBytes))
            for (size_t i = 0; i < kDataBytes; ++i)
                state_.flash[address + i] &= req[kDataOffset + i];
        break;
    case Command::EraseFlash:
        if (faults_.failErase)
            return out;
        if (address % kSectorBytes == 0 && InFlash(address, kSectorBytes)) {
            std::fill_n(state_.flash.begin() + address, kSectorBytes, 0xFF);
            lastWasErase_ = true;
        }
        break;
    case Command::WriteRadioState:
        if (faults_.failRadio)
            return out;
        if (req[kRadioStateOffset] == kRadioStateOff)
            state_.radioOn = false;
        break;
    case Command::ResetDevice:
        resetRequested_ = true;
        break;
    case Command::CalculateChecksum: {
        // Bytes 9-12 are read as "the image body"; the program only ever sends
        // kChecksumConstant there.
        const uint32_t length = GetLe32(&req[kChecksumLengthOffset]);
        const uint32_t count = std::min<uint32_t>(length, kFlashBytes - kImageBodyAddress);
        uint32_t crc = ControllerCrc(&state_.flash[kImageBodyAddress], count);
        if (faults_.checksumOffByOne)
            crc ^= 1;
        PutLe32(&reply[kChecksumOffset], crc);
        break;
    }
    default:
        return out;  // unknown codes go unanswered
    }

    ApplyReplyFaults(reply, out);
    return out;
}

void SimController::ApplyReplyFaults(std::vector<uint8_t>& reply,
                                     std::vector<std::vector<uint8_t>>& out)
{
    const int index = repliesSinceFaults_++;
    if (index == faults_.dropReply)
        return;
    for (int n = 0; n < faults_.garbageBeforeReply; ++n)
        out.push_back(GarbageReport(n));
    if (index == faults_.corruptReply)
        reply[kMagicOffset] ^= 0xFF;
    if (index == faults_.wrongCodeReply)
        reply[kCodeOffset] ^= kWrongCodeFlip;
    if (index == faults_.truncateReply)
        reply.resize(kTruncatedReplyBytes);
    out.push_back(std::move(reply));
}

bool SimController::RadioOn() const
{
    std::lock_guard lock(mutex_);
    return state_.radioOn;
}

bool SimController::TakeResetRequest()
{
    std::lock_guard lock(mutex_);
    return std::exchange(resetRequested_, false);
}

bool SimController::TakeUnplugRequest()
{
    std::lock_guard lock(mutex_);
    return std::exchange(unplugRequested_, false);
}

void SimController::PowerCycle()
{
    std::lock_guard lock(mutex_);
    state_.radioOn = true;
    blockSelected_ = false;
    queryOffset_ = 0;
    const uint8_t* header = &state_.flash[kImageHeaderAddress];
    const uint8_t* body = &state_.flash[kImageBodyAddress];
    if (std::equal(kImageMagic.begin(), kImageMagic.end(), header) &&
        std::equal(kImageVersionTag.begin(), kImageVersionTag.end(), body))
        state_.version = static_cast<uint16_t>(body[4] << 8 | body[5]);
}

void SimController::SetFaults(const Faults& faults)
{
    std::lock_guard lock(mutex_);
    faults_ = faults;
    repliesSinceFaults_ = 0;
    requestsSinceFaults_ = 0;
}

ControllerState SimController::State() const
{
    std::lock_guard lock(mutex_);
    return state_;
}

void SimController::SetState(const ControllerState& state)
{
    std::lock_guard lock(mutex_);
    state_ = state;
    state_.flash.resize(kFlashBytes, 0xFF);
}

std::vector<std::vector<uint8_t>> SimController::Requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void SimController::ClearRequests()
{
    std::lock_guard lock(mutex_);
    requests_.clear();
}

Micros SimController::LastProcessingExtra(const LinkTiming& timing) const
{
    std::lock_guard lock(mutex_);
    return lastWasErase_ ? timing.erase : Micros{0};
}

}  // namespace padwright::sim
