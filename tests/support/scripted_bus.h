#pragma once

// A HID bus with one scripted device, for what the simulator cannot show on its
// own: exact reply streams, replies held back until the host stops writing, and
// reports that arrive after the host gave up on them.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "device/protocol.h"
#include "platform/hid.h"

namespace padwright::test {

using Bytes = std::vector<uint8_t>;

// A reply to `request` as the controller would send it: same magic and code.
inline Bytes EchoReply(std::span<const uint8_t> request)
{
    Bytes reply(request.begin(), request.begin() + std::min(request.size(), kReportBytes));
    reply.resize(kReportBytes, 0);
    return reply;
}

inline Bytes Unrelated()
{
    Bytes report(kReportBytes, 0x5A);
    report[0] = 0;
    return report;
}

// 32-byte input and output reports without report ids.
inline std::vector<uint8_t> PlainDescriptor()
{
    return {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
            0x95, 0x20, 0x09, 0x01, 0x81, 0x02, 0x95, 0x20, 0x09, 0x01, 0x91, 0x02, 0xC0};
}

struct ScriptState {
    std::mutex mutex;
    std::condition_variable changed;
    // What the device sends back for each request; echo by default.
    std::function<std::vector<Bytes>(std::span<const uint8_t>)> respond =
        [](std::span<const uint8_t> r) { return std::vector<Bytes>{EchoReply(r)}; };
    std::deque<Bytes> input;
    std::vector<Bytes> writes;
    // With stops, input is held back until the host has written at least the next
    // stop's number of reports and then nothing more for `quiet`: a host that
    // waits at the stops shows it, whatever the machine's speed. `releases` holds
    // the write count at each release.
    std::vector<size_t> stops;
    size_t nextStop = 0;
    std::chrono::milliseconds quiet{20};
    std::chrono::steady_clock::time_point lastWrite{};
    bool released = true;
    std::vector<size_t> releases;
    // With a pace, a report becomes available only this long after the one before.
    std::chrono::milliseconds pace{0};
    std::chrono::steady_clock::time_point lastDelivery{};
    bool gone = false;
};

class ScriptedStream final : public HidStream {
public:
    explicit ScriptedStream(std::shared_ptr<ScriptState> s) : s_(std::move(s)) {}
    uint16_t VendorId() const override { return kControllerVendorId; }
    uint16_t ProductId() const override { return kControllerProductId; }
    std::vector<uint8_t> ReportDescriptor() const override { return PlainDescriptor(); }

    bool Write(const uint8_t* report, size_t length) override
    {
        std::lock_guard lock(s_->mutex);
        if (s_->gone)
            return false;
        s_->writes.emplace_back(report, report + length);
        for (Bytes& r : s_->respond({report, length}))
            s_->input.push_back(std::move(r));
        s_->lastWrite = std::chrono::steady_clock::now();
        s_->released = s_->stops.empty();
        s_->changed.notify_all();
        return true;
    }

    int Read(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        std::unique_lock lock(s_->mutex);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (s_->gone)
                return -1;
            const auto now = std::chrono::steady_clock::now();
            auto until = deadline;
            if (!s_->released && !s_->input.empty()) {
                const size_t stop = s_->nextStop < s_->stops.size() ? s_->stops[s_->nextStop] : 0;
                if (s_->writes.size() >= stop && now - s_->lastWrite >= s_->quiet) {
                    s_->released = true;
                    s_->releases.push_back(s_->writes.size());
                    while (s_->nextStop < s_->stops.size() && s_->stops[s_->nextStop] <= s_->writes.size())
                        ++s_->nextStop;
                } else {
                    until = std::min(until, s_->lastWrite + s_->quiet);
                }
            }
            const auto available = s_->lastDelivery + s_->pace;
            if (s_->released && !s_->input.empty()) {
                if (now >= available) {
                    Bytes report = std::move(s_->input.front());
                    s_->input.pop_front();
                    s_->lastDelivery = now;
                    const size_t n = std::min(report.size(), capacity);
                    std::copy_n(report.begin(), n, buffer);
                    return static_cast<int>(n);
                }
                until = std::min(until, available);
            }
            if (now >= deadline)
                return 0;
            s_->changed.wait_until(lock, until);
        }
    }

    void SetInputBufferCount(int) override {}

private:
    std::shared_ptr<ScriptState> s_;
};

class ScriptedBus final : public HidBus {
public:
    std::shared_ptr<ScriptState> state = std::make_shared<ScriptState>();
    // Changes the script while the device's threads may be using it.
    void Script(const std::function<void(ScriptState&)>& change)
    {
        std::lock_guard lock(state->mutex);
        change(*state);
        state->changed.notify_all();
    }
    std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override
    {
        return {{MakeInterfaceName("/dev/hidraw9", vendorId, productId), vendorId, productId}};
    }
    std::unique_ptr<HidStream> Open(const std::string&, HidOpenError*) override
    {
        return std::make_unique<ScriptedStream>(state);
    }
};

}  // namespace padwright::test
