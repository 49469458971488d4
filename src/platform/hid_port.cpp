#include "platform/hid_port.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>

namespace padwright {
namespace {

// How long the reader blocks in one call, so it notices cancellation and shutdown.
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
    changed_.notify_all();
}

void HidPort::StartRead(int slot, size_t length)
{
    Operation op{slot, 0, std::min(length, kMaxReportBytes), {}};
    {
        std::lock_guard lock(mutex_);
        op.ticket = nextTicket_++;
        slots_[slot] = Slot{SlotState::Pending, op.ticket, 0, {}};
        reads_.push_back(op);
    }
    changed_.notify_all();
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
    std::unique_lock lock(mutex_);
    flushRequested_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kFlushWait, [this] { return !flushRequested_ || stopping_; });
}

void HidPort::SetInputBufferCount(int count)
{
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
        changed_.wait(lock, [this] { return stopping_ || !writes_.empty(); });
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
    // A report that arrived for a read that was cancelled meanwhile stays for the
    // next read, as it would in the host's queue.
    std::optional<std::array<uint8_t, kMaxReportBytes>> stash;
    size_t stashLength = 0;
    std::array<uint8_t, kMaxReportBytes> buffer{};

    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || flushRequested_ || !reads_.empty(); });
        if (stopping_)
            return;
        if (flushRequested_) {
            stash.reset();
            lock.unlock();
            for (int i = 0; i < kMaxFlushReports; ++i)
                if (stream_->Read(buffer.data(), buffer.size(), 0) <= 0)
                    break;
            lock.lock();
            flushRequested_ = false;
            changed_.notify_all();
            continue;
        }
        const Operation op = reads_.front();
        if (stash) {
            reads_.pop_front();
            Complete(op.slot, op.ticket, true, stash->data(), std::min(stashLength, op.length));
            stash.reset();
            continue;
        }
        lock.unlock();
        const int got = stream_->Read(buffer.data(), buffer.size(), kReadPollMs);
        lock.lock();
        if (got == 0)
            continue;  // nothing yet; look at the queue again
        const bool current = !reads_.empty() && reads_.front().ticket == op.ticket;
        if (got < 0) {
            if (current) {
                reads_.pop_front();
                Complete(op.slot, op.ticket, false, nullptr, 0);
            }
            continue;
        }
        const size_t length = static_cast<size_t>(got);
        if (current) {
            reads_.pop_front();
            Complete(op.slot, op.ticket, true, buffer.data(), std::min(length, op.length));
        } else {
            stash = buffer;
            stashLength = length;
        }
    }
}

}  // namespace padwright
