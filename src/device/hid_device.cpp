#include "device/hid_device.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/debug_output.h"
#include "platform/hid_descriptor.h"

namespace padwright {

static_assert(CHidDevice::kBatchSlots + 1 == HidPort::kSlotCount, "96 batch slots and one single");
static_assert(HidPort::kMaxReportBytes == kMaxReportBytes);

namespace {

// Addresses are 32 bits on the wire: a range past the top would wrap.
bool FitsAddressSpace(uint32_t address, size_t length)
{
    return static_cast<uint64_t>(address) + length <= (uint64_t{1} << 32);
}

}  // namespace

bool IsControllerPath(const std::string& name)
{
    return ToLowerAscii(name).find(InterfaceIds(kControllerVendorId, kControllerProductId)) !=
           std::string::npos;
}

CHidDevice::CHidDevice(UpdateSink* owner, HidBus& bus, Clock& clock)
    : owner_(owner), bus_(bus), clock_(clock)
{
}

CHidDevice::~CHidDevice()
{
    Close();
}

void CHidDevice::Close()
{
    open_ = false;
    if (port_) {
        port_.reset();
        DebugOutput("ClosedHandle(1)\n");
    }
}

bool CHidDevice::Attach(std::unique_ptr<HidStream> stream)
{
    if (!stream || stream->VendorId() != kControllerVendorId ||
        stream->ProductId() != kControllerProductId)
        return false;
    const std::vector<uint8_t> descriptor = stream->ReportDescriptor();
    const HidReportLengths lengths = ReportLengthsFromDescriptor(descriptor.data(), descriptor.size());
    // Every report the program formats is 33 bytes and single reads use 64-byte
    // buffers: a device outside that range is not a controller we can drive.
    if (lengths.input < kReportBytes || lengths.input > kMaxReportBytes ||
        lengths.output < kReportBytes || lengths.output > kMaxReportBytes)
        return false;
    inputLength_ = lengths.input;
    outputLength_ = lengths.output;
    port_ = std::make_unique<HidPort>(std::move(stream));
    SetInputBufferCount(kIdleInputBuffers);
    open_ = true;
    DebugOutput("Opened handle\n");
    return true;
}

bool CHidDevice::OpenFirst()
{
    Close();
    for (const HidDeviceInfo& info : bus_.Enumerate(kControllerVendorId, kControllerProductId)) {
        HidOpenError error = HidOpenError::None;
        if (Attach(bus_.Open(info.path, &error)))
            return true;
    }
    return false;
}

bool CHidDevice::OpenPath(const std::string& path)
{
    Close();
    int waitedMs = 0;
    for (;;) {
        HidOpenError error = HidOpenError::None;
        std::unique_ptr<HidStream> stream = bus_.Open(path, &error);
        if (stream)
            return Attach(std::move(stream));
        if (error != HidOpenError::PermissionDenied || waitedMs >= kOpenRetryMs)
            return false;
        clock_.SleepMs(kOpenRetryStepMs);
        waitedMs += kOpenRetryStepMs;
    }
}

void CHidDevice::SetInputBufferCount(int count)
{
    inputBufferCount_ = count;
    port_->SetInputBufferCount(count);
}

bool CHidDevice::SendCommand(const Payload& payload)
{
    if (!open_)
        return false;
    std::array<uint8_t, kMaxReportBytes> report{};
    report[0] = kReportId;
    std::copy(payload.begin(), payload.end(), report.begin() + 1);
    port_->StartWrite(kSingleSlot, report.data(), outputLength_);
    // A write that times out stays queued; it can only complete into the port's
    // own slot, which the next operation takes over.
    return port_->WaitSlots(kSingleSlot, 1, kSingleTimeoutMs);
}

bool CHidDevice::ReadInput(Payload& reply, size_t& length)
{
    reply.fill(0);
    length = 0;
    if (!open_)
        return false;
    port_->StartRead(kSingleSlot, inputLength_);
    if (!port_->WaitSlots(kSingleSlot, 1, kSingleTimeoutMs)) {
        port_->CancelPending();
        return false;
    }
    const std::span<const uint8_t> data = port_->ReadData(kSingleSlot);
    length = data.size();
    if (length > 1)
        std::copy(data.begin() + 1, data.begin() + std::min(length, kReportBytes), reply.begin());
    return true;
}

bool CHidDevice::ReadReport(Payload& reply)
{
    size_t length = 0;
    if (!ReadInput(reply, length))
        return false;
    if (length < kReportBytes) {
        reply.fill(0);
        return false;  // a short report is not one of the controller's
    }
    return true;
}

bool CHidDevice::ReadReply(Command code, Payload& reply)
{
    for (int examined = 0; examined < kReplyMatchLimit; ++examined) {
        size_t length = 0;
        if (!ReadInput(reply, length))
            return false;
        // A short report is unrelated, however it begins.
        if (length >= kReportBytes && ReplyMatches(FromPayload(reply), code))
            return true;
    }
    reply.fill(0);
    return false;
}

bool CHidDevice::TransferBatch(uint8_t* replies, const uint8_t* requests, int count, bool progress,
                               const std::string& progressText)
{
    if (!open_)
        return false;
    if (count <= 0)
        return count == 0;
    SetInputBufferCount(kBatchInputBuffers);

    // Replies of the pairs waited for are copied out of the port after each wait.
    int firstPending = 0;  // index of the report whose pair sits in slot 0
    const auto collect = [&](int pairs) {
        for (int j = 0; j < pairs; ++j) {
            const std::span<const uint8_t> data = port_->ReadData(2 * j + 1);
            if (data.size() < kReportBytes)
                return false;
            uint8_t* out = replies + static_cast<size_t>(firstPending + j) * inputLength_;
            std::memset(out, 0, inputLength_);
            std::memcpy(out, data.data(), std::min(data.size(), inputLength_));
        }
        firstPending += pairs;
        return true;
    };
    const auto fail = [&] {
        port_->CancelPending();
        SetInputBufferCount(kIdleInputBuffers);
        return false;
    };

    int slot = 0;
    int lastPosted = -1;
    long long accumulator = 0;
    for (int k = 0; k < count; ++k) {
        port_->StartWrite(slot, requests + static_cast<size_t>(k) * outputLength_, outputLength_);
        port_->StartRead(slot + 1, inputLength_);
        slot += 2;
        if (slot == kBatchSlots) {
            if (!WaitBatch(kBatchSlots) || !collect(kBatchSlots / 2))
                return fail();
            slot = 0;
        }
        if (progress) {
            const int percentage = static_cast<int>(accumulator / count);
            if (percentage != lastPosted) {
                if (owner_)
                    owner_->PostUpdateProgress(percentage, progressText);
                lastPosted = percentage;
            }
        }
        accumulator += 100;
    }
    if (slot != 0 && (!WaitBatch(slot) || !collect(slot / 2)))
        return fail();
    SetInputBufferCount(kIdleInputBuffers);
    return true;
}

bool CHidDevice::WaitBatch(int pending)
{
    if (!open_)
        return false;
    for (int first = 0; first < pending; first += kWaitGroupSlots) {
        const int group = std::min(kWaitGroupSlots, pending - first);
        if (!port_->WaitSlots(first, group, kBatchGroupTimeoutMs))
            return false;
    }
    return true;
}

void CHidDevice::Flush()
{
    if (open_)
        port_->Flush();
}

bool CHidDevice::SingleCommand(const Report& request, Command code, Report* reply)
{
    if (!SendCommand(ToPayload(request)))
        return false;
    Payload payload;
    if (!ReadReply(code, payload))
        return false;
    if (reply)
        *reply = FromPayload(payload);
    return true;
}

bool CHidDevice::RunBatch(const std::vector<Report>& requests, Command code,
                          std::vector<Report>* replies, bool progress,
                          const std::string& progressText)
{
    if (!open_)
        return false;
    const int count = static_cast<int>(requests.size());
    const std::vector<uint8_t> requestArray = BuildBatch(requests, outputLength_);
    std::vector<uint8_t> replyArray(requests.size() * inputLength_, 0);
    if (!TransferBatch(replyArray.data(), requestArray.data(), count, progress, progressText))
        return false;
    if (replies)
        replies->resize(requests.size());
    for (size_t k = 0; k < requests.size(); ++k) {
        const std::span<const uint8_t> reply(&replyArray[k * inputLength_], inputLength_);
        if (!ReplyMatches(reply, code))
            return false;
        if (replies)
            std::copy(reply.begin(), reply.begin() + kReportBytes, (*replies)[k].begin());
    }
    return true;
}

bool CHidDevice::EnterConfigMode()
{
    return SendCommand(ToPayload(MakeRequest(Command::EnterConfigMode)));
}

bool CHidDevice::LeaveConfigMode()
{
    return SendCommand(ToPayload(MakeRequest(Command::LeaveConfigMode)));
}

bool CHidDevice::ReadFirmwareVersion(uint16_t& version)
{
    Report reply;
    if (!SingleCommand(MakeRequest(Command::ReadFirmwareVersion), Command::ReadFirmwareVersion,
                       &reply))
        return false;
    version = ParseFirmwareVersion(reply);
    return true;
}

bool CHidDevice::QueryBegin()
{
    return SingleCommand(MakeRequest(Command::QueryBegin), Command::QueryBegin, nullptr);
}

bool CHidDevice::QuerySelect(uint32_t selector, uint8_t lengthByte)
{
    return RunBatch({BuildQuerySelect(selector, lengthByte)}, Command::QuerySelect, nullptr);
}

bool CHidDevice::QueryRead(std::array<uint8_t, kQueryBlockBytes>& block, uint8_t& status)
{
    std::vector<Report> requests;
    for (uint32_t chunk : kQueryChunkBytes)
        requests.push_back(BuildQueryRead(chunk));
    std::vector<Report> replies;
    if (!RunBatch(requests, Command::QueryRead, &replies))
        return false;
    size_t offset = 0;
    for (size_t j = 0; j < replies.size(); ++j) {
        std::copy_n(replies[j].begin() + kQueryChunkOffset, kQueryChunkBytes[j],
                    block.begin() + offset);
        offset += kQueryChunkBytes[j];
    }
    status = QueryReadStatus(replies);
    return true;
}

bool CHidDevice::ReadMemory(uint32_t address, uint8_t* dest, size_t length)
{
    if (!FitsAddressSpace(address, length))
        return false;
    std::vector<Report> replies;
    if (!RunBatch(ReadMemoryRequests(address, length), Command::ReadMemory, &replies))
        return false;
    for (size_t i = 0; i < replies.size(); ++i) {
        const size_t offset = kDataBytes * i;
        std::memcpy(dest + offset, &replies[i][kDataOffset], std::min(kDataBytes, length - offset));
    }
    return true;
}

bool CHidDevice::ProgramFlash(uint32_t address, const uint8_t* data, size_t length, bool progress,
                              const std::string& progressText)
{
    if (!FitsAddressSpace(address, length))
        return false;
    return RunBatch(ProgramFlashRequests(address, data, length), Command::ProgramFlash, nullptr,
                    progress, progressText);
}

bool CHidDevice::EraseFlash(uint32_t start, uint32_t length)
{
    return RunBatch(EraseFlashRequests(start, length), Command::EraseFlash, nullptr);
}

bool CHidDevice::WriteRadioState()
{
    return SingleCommand(BuildWriteRadioState(), Command::WriteRadioState, nullptr);
}

bool CHidDevice::ResetDevice()
{
    return SingleCommand(MakeRequest(Command::ResetDevice), Command::ResetDevice, nullptr);
}

bool CHidDevice::CalculateChecksum(uint32_t length, uint32_t& checksum)
{
    Report reply;
    if (!SingleCommand(BuildCalculateChecksum(length), Command::CalculateChecksum, &reply))
        return false;
    checksum = ParseChecksum(reply);
    return true;
}

}  // namespace padwright
