#include "platform/hid_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace padwright {
namespace {

// How long the reader blocks in one call, so it notices a flush and shutdown.
constexpr int kReadPollMs = 20;
// A flush gives up after this many reports: a device that never stops talking
// must not hold the caller.
constexpr int kMaxFlushReports = 256;
constexpr auto kFlushWait = std::chrono::milliseconds(1000);

}  // namespace

HidPort::HidPort(std::unique_ptr<HidStream> stream) : stream_(std::move(stream))
{
    writer_ = std::thread([this] { WriterLoop(); });
    reader_ = std::thread([this] { ReaderLoop(); });
}

HidPort::~HidPort()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    writesQueued_.notify_all();
    writer_.join();
    reader_.join();
}

void HidPort::StartWrite(int slot, const uint8_t* report, size_t length)
{
    Operation op{slot, 0, std::min(length, kMaxReportBytes), {}};
    std::memcpy(op.data.data(), report, op.length);
    {
        std::lock_guard lock(mutex_);
        op.ticket = nextTicket_++;
        slots_[slot] = Slot{SlotState::Pending, op.ticket, 0, {}};
        writes_.push_back(op);
    }
    writesQueued_.notify_one();
}

void HidPort::StartRead(int slot, size_t length)
{
    std::lock_guard lock(mutex_);
    const uint64_t ticket = nextTicket_++;
    slots_[slot] = Slot{SlotState::Pending, ticket, 0, {}};
    if (!buffered_.empty()) {
        const InputReport& r = buffered_.front();
        Complete(slot, ticket, true, r.data.data(), std::min(r.length, length));
        buffered_.pop_front();
    } else if (gone_) {
        Complete(slot, ticket, false, nullptr, 0);
    } else {
        reads_.push_back(Operation{slot, ticket, std::min(length, kMaxReportBytes), {}});
    }
}

bool HidPort::WaitSlots(int first, int count, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    const auto settled = [&] {
        for (int i = first; i < first + count; ++i)
            if (slots_[i].state == SlotState::Pending)
                return false;
        return true;
    };
    if (!changed_.wait_until(lock, deadline, settled))
        return false;
    for (int i = first; i < first + count; ++i)
        if (slots_[i].state != SlotState::Done)
            return false;
    return true;
}

std::span<const uint8_t> HidPort::ReadData(int slot) const
{
    std::lock_guard lock(mutex_);
    const Slot& s = slots_[slot];
    if (s.state != SlotState::Done)
        return {};
    return {s.data.data(), s.length};
}

void HidPort::CancelPending()
{
    std::lock_guard lock(mutex_);
    writes_.clear();
    reads_.clear();
    for (Slot& s : slots_)
        if (s.state == SlotState::Pending)
            s.state = SlotState::Failed;
    changed_.notify_all();
}

void HidPort::Flush()
{
    // The reader empties the host's queue too, then says so.
    std::unique_lock lock(mutex_);
    buffered_.clear();
    if (gone_)
        return;
    flushRequested_ = true;
    changed_.wait_for(lock, kFlushWait, [this] { return !flushRequested_ || gone_ || stopping_; });
}

void HidPort::SetInputBufferCount(int count)
{
    {
        std::lock_guard lock(mutex_);
        bufferCount_ = static_cast<size_t>(std::max(count, 1));
        while (buffered_.size() > bufferCount_)
            buffered_.pop_front();
    }
    stream_->SetInputBufferCount(count);
}

void HidPort::Complete(int slot, uint64_t ticket, bool ok, const uint8_t* data, size_t length)
{
    Slot& s = slots_[slot];
    if (s.ticket != ticket || s.state != SlotState::Pending)
        return;  // cancelled or reused meanwhile
    s.state = ok ? SlotState::Done : SlotState::Failed;
    s.length = ok ? length : 0;
    if (ok && length > 0)
        std::memcpy(s.data.data(), data, length);
    changed_.notify_all();
}

void HidPort::WriterLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        writesQueued_.wait(lock, [this] { return stopping_ || !writes_.empty(); });
        if (stopping_)
            return;
        const Operation op = writes_.front();
        writes_.pop_front();
        lock.unlock();
        const bool ok = stream_->Write(op.data.data(), op.length);
        lock.lock();
        Complete(op.slot, op.ticket, ok, nullptr, 0);
    }
}

void HidPort::ReaderLoop()
{
    std::array<uint8_t, kMaxReportBytes> buffer{};
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (flushRequested_) {
            lock.unlock();
            for (int i = 0; i < kMaxFlushReports; ++i)
                if (stream_->Read(buffer.data(), buffer.size(), 0) <= 0)
                    break;
            lock.lock();
            buffered_.clear();
            flushRequested_ = false;
            changed_.notify_all();
            continue;
        }
        lock.unlock();
        const int got = stream_->Read(buffer.data(), buffer.size(), kReadPollMs);
        lock.lock();
        if (got == 0)
            continue;
        if (got < 0) {
            // The device is gone or broken: fail what waits, and every read after.
            gone_ = true;
            for (const Operation& op : reads_)
                Complete(op.slot, op.ticket, false, nullptr, 0);
            reads_.clear();
            changed_.wait(lock, [this] { return stopping_; });
            return;
        }
        const size_t length = std::min(static_cast<size_t>(got), buffer.size());
        if (!reads_.empty()) {
            const Operation op = reads_.front();
            reads_.pop_front();
            Complete(op.slot, op.ticket, true, buffer.data(), std::min(length, op.length));
        } else {
            buffered_.push_back(InputReport{length, buffer});
            while (buffered_.size() > bufferCount_)
                buffered_.pop_front();
        }
    }
}

}  // namespace padwright
