#pragma once

// The record of one opened controller: single reports with a short wait, long runs
// of reports pipelined through the batch engine, and every command as an operation.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "device/protocol.h"
#include "device/update_sink.h"
#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/hid_port.h"

namespace padwright {

// True when an interface name (in any letter case) carries the controller's ids.
bool IsControllerPath(const std::string& name);

class CHidDevice {
public:
    static constexpr int kBatchSlots = 96;  // 48 request/reply pairs in flight
    static constexpr int kSingleSlot = 96;
    static constexpr int kWaitGroupSlots = 64;
    static constexpr int kSingleTimeoutMs = 500;
    static constexpr int kBatchGroupTimeoutMs = 1000;
    static constexpr int kIdleInputBuffers = 2;
    static constexpr int kBatchInputBuffers = 96;
    // Right after an arrival the udev rules may not have set the node's
    // permissions yet; an open refused for permission is tried again this long.
    static constexpr int kOpenRetryMs = 2000;
    static constexpr int kOpenRetryStepMs = 100;

    // owner receives batch progress; it may be null.
    CHidDevice(UpdateSink* owner, HidBus& bus, Clock& clock);
    ~CHidDevice();
    CHidDevice(const CHidDevice&) = delete;
    CHidDevice& operator=(const CHidDevice&) = delete;

    bool OpenFirst();
    bool OpenPath(const std::string& path);
    bool IsOpen() const { return open_; }

    size_t InputReportLength() const { return inputLength_; }
    size_t OutputReportLength() const { return outputLength_; }
    // The input buffer count last set on the device (0 before the first open).
    int InputBufferCount() const { return inputBufferCount_; }

    bool SendCommand(const Payload& payload);
    bool ReadReport(Payload& reply);
    bool ReadReply(Command code, Payload& reply);
    // requests: count reports of OutputReportLength() bytes; replies: room for
    // count reports of InputReportLength() bytes.
    bool TransferBatch(uint8_t* replies, const uint8_t* requests, int count, bool progress,
                       const std::string& progressText);
    bool WaitBatch(int pending);
    void Flush();

    bool EnterConfigMode();
    bool LeaveConfigMode();
    bool ReadFirmwareVersion(uint16_t& version);
    bool QueryBegin();
    bool QuerySelect(uint32_t selector, uint8_t lengthByte);
    // status is valid (1) only when bit 0 was set in both replies.
    bool QueryRead(std::array<uint8_t, kQueryBlockBytes>& block, uint8_t& status);
    // dest is written only when every reply checked out.
    bool ReadMemory(uint32_t address, uint8_t* dest, size_t length);
    bool ProgramFlash(uint32_t address, const uint8_t* data, size_t length, bool progress = false,
                      const std::string& progressText = {});
    bool EraseFlash(uint32_t start, uint32_t length);
    bool WriteRadioState();
    bool ResetDevice();
    bool CalculateChecksum(uint32_t length, uint32_t& checksum);

private:
    // Closes the handle; pending operations are dropped with it. Only the record
    // itself does this (on reopening and when the last owner lets go), so a
    // worker still using it never finds it closed under its feet.
    void Close();
    // One input report; its real length tells a short one apart.
    bool ReadInput(Payload& reply, size_t& length);
    bool Attach(std::unique_ptr<HidStream> stream);
    void SetInputBufferCount(int count);
    bool SingleCommand(const Report& request, Command code, Report* reply);
    bool RunBatch(const std::vector<Report>& requests, Command code, std::vector<Report>* replies,
                  bool progress = false, const std::string& progressText = {});

    UpdateSink* owner_;
    HidBus& bus_;
    Clock& clock_;
    std::unique_ptr<HidPort> port_;
    size_t inputLength_ = 0;
    size_t outputLength_ = 0;
    int inputBufferCount_ = 0;
    bool open_ = false;
};

}  // namespace padwright
