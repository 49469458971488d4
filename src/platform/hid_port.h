#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>

#include "platform/hid.h"

namespace padwright {

// Overlapped reads and writes over a blocking HidStream, in numbered slots.
//
// Writes go out in the order they were started, on a writer thread. A reader
// thread takes every input report as it comes: a pending read gets it, or else it
// waits in the port's input buffer, which keeps the newest `input buffer count`
// reports and drops older ones. Reading all the time matters on Linux: hidraw
// keeps 64 reports and drops the newest, so a device that chatters while nobody
// reads would otherwise crowd out the reply to the next command.
//
// Every slot has its own buffer inside the port, so an operation that is still
// pending when its caller gave up (a time-out) never completes into the caller's
// memory; the port outlives all of its operations.
class HidPort {
public:
    static constexpr int kSlotCount = 97;
    static constexpr size_t kMaxReportBytes = 64;
    static constexpr int kDefaultInputBuffers = 2;

    explicit HidPort(std::unique_ptr<HidStream> stream);
    ~HidPort();
    HidPort(const HidPort&) = delete;
    HidPort& operator=(const HidPort&) = delete;

    const HidStream& Stream() const { return *stream_; }

    // Starting an operation on a slot forgets whatever the slot did before.
    void StartWrite(int slot, const uint8_t* report, size_t length);
    void StartRead(int slot, size_t length);
    // True when every slot in [first, first + count) has completed without error
    // within timeoutMs.
    bool WaitSlots(int first, int count, int timeoutMs);
    // The report a completed read received (its real length, which may be short).
    std::span<const uint8_t> ReadData(int slot) const;
    // Drops every operation that has not completed; a write already on the wire
    // finishes but marks nothing. Reports that arrive later go to the input buffer.
    void CancelPending();
    // Discards the input reports waiting in the input buffer and the host's queue.
    void Flush();
    // How many unread input reports are kept (at least 1).
    void SetInputBufferCount(int count);

private:
    enum class SlotState { Idle, Pending, Done, Failed };
    struct Slot {
        SlotState state = SlotState::Idle;
        uint64_t ticket = 0;  // identifies the operation the slot waits for
        size_t length = 0;
        std::array<uint8_t, kMaxReportBytes> data{};
    };
    struct Operation {
        int slot;
        uint64_t ticket;
        size_t length;
        std::array<uint8_t, kMaxReportBytes> data;
    };
    struct InputReport {
        size_t length;
        std::array<uint8_t, kMaxReportBytes> data;
    };

    void WriterLoop();
    void ReaderLoop();
    void Complete(int slot, uint64_t ticket, bool ok, const uint8_t* data, size_t length);

    std::unique_ptr<HidStream> stream_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;       // a slot completed, a flush ended
    std::condition_variable writesQueued_;  // wakes the writer only
    std::array<Slot, kSlotCount> slots_{};
    std::deque<Operation> writes_;
    std::deque<Operation> reads_;
    std::deque<InputReport> buffered_;
    size_t bufferCount_ = kDefaultInputBuffers;
    uint64_t nextTicket_ = 1;
    bool gone_ = false;  // the stream failed; it is not read again
    bool flushRequested_ = false;
    bool stopping_ = false;
    std::thread writer_;
    std::thread reader_;
};

}  // namespace padwright
