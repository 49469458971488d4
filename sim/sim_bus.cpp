#include "sim/sim_bus.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <thread>

namespace padwright::sim {
namespace {

using SteadyTime = std::chrono::steady_clock;
using TimePoint = SteadyTime::time_point;

// hidraw keeps this many reports per open file and drops the newest beyond it.
constexpr size_t kHostQueueReports = 64;
constexpr const char* kNodePrefix = "/dev/hidraw-sim";

struct QueuedReport {
    std::vector<uint8_t> data;
    bool resetMarker = false;  // the last report the controller sent for ResetDevice
};

struct WireReport {
    TimePoint due;  // its IN frame
    QueuedReport report;
};

// One open file's input queue.
struct HostQueue {
    std::deque<QueuedReport> reports;
};

// One appearance of a device on the bus; a reset makes a new one under the same name.
struct Device {
    int number = 0;
    std::string node;
    std::string name;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::shared_ptr<SimController> controller;
    size_t inputLength = kReportBytes;
    size_t outputLength = kReportBytes;

    // Everything below is guarded by SimBus::Impl::mutex.
    bool plugged = true;
    bool resetPending = false;
    TimePoint outFree{};
    TimePoint deviceFree{};
    TimePoint inFree{};
    uint64_t nextTicket = 0;    // requests are handled in the order of their OUT frames
    uint64_t servedTicket = 0;
    std::deque<WireReport> wire;
    std::vector<HostQueue*> queues;
};

// Timed waits here overshoot by a tenth of a millisecond or more, which on a
// 1 ms frame would make the link slower than the one it models: sleep to just
// short of the moment, then yield until it has come.
constexpr auto kSpinAhead = std::chrono::microseconds(300);

void SleepUntilPrecisely(TimePoint when)
{
    if (when - SteadyTime::now() > kSpinAhead)
        std::this_thread::sleep_until(when - kSpinAhead);
    while (SteadyTime::now() < when)
        std::this_thread::yield();
}

struct WatcherState {
    int fd = -1;
    std::deque<HotplugEvent> events;
};

void PutReportCount(std::vector<uint8_t>& d, size_t count)
{
    d.insert(d.end(), {0x96, static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)});
}

// Vendor-defined, no report ids: one byte array each way.
std::vector<uint8_t> VendorDescriptor(size_t inputLength, size_t outputLength)
{
    std::vector<uint8_t> d = {
        0x06, 0x00, 0xFF,  // usage page (vendor 0xFF00)
        0x09, 0x01,        // usage 1
        0xA1, 0x01,        // collection (application)
        0x15, 0x00,        // logical minimum 0
        0x26, 0xFF, 0x00,  // logical maximum 255
        0x75, 0x08,        // report size 8
    };
    if (inputLength > 1) {
        PutReportCount(d, inputLength - 1);
        d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});  // usage 1, input (data, var, abs)
    }
    if (outputLength > 1) {
        PutReportCount(d, outputLength - 1);
        d.insert(d.end(), {0x09, 0x01, 0x91, 0x02});  // usage 1, output (data, var, abs)
    }
    d.push_back(0xC0);  // end collection
    return d;
}

}  // namespace

struct SimBus::Impl {
    std::mutex mutex;
    std::condition_variable changed;
    LinkTiming timing;
    size_t inputLength = kReportBytes;
    size_t outputLength = kReportBytes;
    std::vector<std::shared_ptr<Device>> devices;  // plugged order
    std::map<std::string, std::pair<int, HidOpenError>> failOpens;  // by node
    std::vector<WatcherState*> watchers;
    std::vector<int> inputBufferCounts;

    // All of these expect mutex to be held.
    std::shared_ptr<Device> Find(const std::string& path) const
    {
        const std::string node = InterfaceNode(path);
        for (const auto& d : devices)
            if (d->node == node)
                return d;
        return nullptr;
    }

    int LowestFreeNumber() const
    {
        for (int n = 0;; ++n)
            if (std::none_of(devices.begin(), devices.end(),
                             [n](const auto& d) { return d->number == n; }))
                return n;
    }

    void Raise(HotplugKind kind, const std::string& name)
    {
        for (WatcherState* w : watchers) {
            w->events.push_back({kind, name});
            const uint64_t one = 1;
            if (w->fd >= 0)
                (void)!write(w->fd, &one, sizeof one);
        }
    }

    void Attach(std::shared_ptr<Device> d)
    {
        devices.push_back(d);
        Raise(HotplugKind::Arrival, d->name);
        changed.notify_all();
    }

    void Detach(Device& d)
    {
        if (!d.plugged)
            return;
        d.plugged = false;
        d.resetPending = false;
        d.wire.clear();
        std::erase_if(devices, [&d](const auto& p) { return p.get() == &d; });
        Raise(HotplugKind::Removal, d.name);
        changed.notify_all();
    }

    // The controller restarts: it leaves the bus and comes back under its old name.
    void Restart(Device& d)
    {
        Detach(d);
        d.controller->PowerCycle();
        auto fresh = std::make_shared<Device>();
        fresh->number = d.number;
        fresh->node = d.node;
        fresh->name = d.name;
        fresh->vendorId = d.vendorId;
        fresh->productId = d.productId;
        fresh->controller = d.controller;
        fresh->inputLength = d.inputLength;
        fresh->outputLength = d.outputLength;
        Attach(fresh);
    }

    bool MarkerOutstanding(const Device& d) const
    {
        const auto marked = [](const QueuedReport& r) { return r.resetMarker; };
        if (std::any_of(d.wire.begin(), d.wire.end(),
                        [&](const WireReport& w) { return marked(w.report); }))
            return true;
        return std::any_of(d.queues.begin(), d.queues.end(), [&](const HostQueue* q) {
            return std::any_of(q->reports.begin(), q->reports.end(), marked);
        });
    }

    // Moves the reports whose IN frame has come into every open file's queue.
    // Doing this lazily on each access gives the same queues as doing it on time:
    // between two accesses nobody reads, so the queues only fill.
    void Advance(Device& d, TimePoint now)
    {
        while (d.plugged && !d.wire.empty() && d.wire.front().due <= now) {
            QueuedReport r = std::move(d.wire.front().report);
            d.wire.pop_front();
            bool reached = false;
            for (HostQueue* q : d.queues) {
                if (q->reports.size() < kHostQueueReports) {
                    q->reports.push_back(r);
                    reached = true;
                }
            }
            if (r.resetMarker && !reached)
                Restart(d);  // nobody can read the reply any more
        }
    }
};

namespace {

class SimStream final : public HidStream {
public:
    SimStream(std::shared_ptr<SimBus::Impl> impl, std::shared_ptr<Device> device)
        : impl_(std::move(impl)), device_(std::move(device))
    {
        device_->queues.push_back(&queue_);  // caller holds the mutex
    }

    ~SimStream() override
    {
        std::lock_guard lock(impl_->mutex);
        Device& d = *device_;
        std::erase(d.queues, &queue_);
        if (d.plugged && d.resetPending && (d.queues.empty() || !impl_->MarkerOutstanding(d)))
            impl_->Restart(d);
    }

    uint16_t VendorId() const override { return device_->vendorId; }
    uint16_t ProductId() const override { return device_->productId; }
    std::vector<uint8_t> ReportDescriptor() const override
    {
        return VendorDescriptor(device_->inputLength, device_->outputLength);
    }

    bool Write(const uint8_t* report, size_t length) override
    {
        std::unique_lock lock(impl_->mutex);
        Device& d = *device_;
        const LinkTiming timing = impl_->timing;
        if (!d.plugged || d.resetPending || length == 0)
            return false;

        const TimePoint now = SteadyTime::now();
        // A write that comes back within a frame of the previous one's completion
        // (a host keeping the pipe busy, give or take its wake-up delay) takes the
        // very next frame; the schedule does not drift with the host's sleeps.
        const TimePoint outFrame =
            (now < d.outFree + timing.frameInterval ? d.outFree : now) + timing.frameInterval;
        d.outFree = outFrame;
        const uint64_t ticket = d.nextTicket++;
        if (outFrame > now) {
            lock.unlock();
            SleepUntilPrecisely(outFrame);
            lock.lock();
        }
        impl_->changed.wait(lock, [&] { return !d.plugged || d.servedTicket == ticket; });
        ++d.servedTicket;
        impl_->changed.notify_all();
        if (!d.plugged || d.resetPending)
            return false;

        std::vector<std::vector<uint8_t>> out = d.controller->HandleRequest({report, length});
        const TimePoint done = std::max(outFrame, d.deviceFree) + timing.processing +
                               d.controller->LastProcessingExtra(timing);
        d.deviceFree = done;
        const bool reset = d.controller->TakeResetRequest();
        const bool unplug = d.controller->TakeUnplugRequest();

        for (size_t i = 0; i < out.size(); ++i) {
            std::vector<uint8_t>& r = out[i];
            // Full reports go out at the device's input length; a truncated one stays short.
            if (r.size() >= kReportBytes && r.size() < d.inputLength)
                r.resize(d.inputLength, 0x00);
            if (r.size() > d.inputLength)
                r.resize(d.inputLength);
            const TimePoint inFrame = std::max(done, d.inFree) + timing.frameInterval;
            d.inFree = inFrame;
            d.wire.push_back({inFrame, {std::move(r), reset && i + 1 == out.size()}});
        }
        if (unplug) {
            impl_->Detach(d);
            return true;
        }
        if (reset) {
            d.resetPending = true;
            if (out.empty())
                impl_->Restart(d);
        }
        impl_->Advance(d, SteadyTime::now());
        impl_->changed.notify_all();
        return true;
    }

    int Read(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        std::unique_lock lock(impl_->mutex);
        Device& d = *device_;
        const TimePoint deadline = timeoutMs < 0
                                       ? TimePoint::max()
                                       : SteadyTime::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            const TimePoint now = SteadyTime::now();
            impl_->Advance(d, now);
            if (!d.plugged)
                return -1;
            if (!queue_.reports.empty()) {
                QueuedReport r = std::move(queue_.reports.front());
                queue_.reports.pop_front();
                const size_t n = std::min(capacity, r.data.size());
                std::memcpy(buffer, r.data.data(), n);
                if (r.resetMarker && d.resetPending)
                    impl_->Restart(d);
                return static_cast<int>(n);
            }
            if (now >= deadline)
                return 0;
            TimePoint wake = deadline;
            if (!d.wire.empty())
                wake = std::min(wake, d.wire.front().due);
            if (wake == TimePoint::max()) {
                impl_->changed.wait(lock);
            } else if (wake - now <= kSpinAhead) {
                lock.unlock();
                SleepUntilPrecisely(wake);
                lock.lock();
            } else {
                impl_->changed.wait_until(lock, wake - kSpinAhead);
            }
        }
    }

    void SetInputBufferCount(int count) override
    {
        std::lock_guard lock(impl_->mutex);
        impl_->inputBufferCounts.push_back(count);
    }

private:
    std::shared_ptr<SimBus::Impl> impl_;
    std::shared_ptr<Device> device_;
    HostQueue queue_;
};

class SimWatcher final : public HotplugWatcher {
public:
    explicit SimWatcher(std::shared_ptr<SimBus::Impl> impl) : impl_(std::move(impl))
    {
        state_.fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        std::lock_guard lock(impl_->mutex);
        impl_->watchers.push_back(&state_);
    }

    ~SimWatcher() override
    {
        {
            std::lock_guard lock(impl_->mutex);
            std::erase(impl_->watchers, &state_);
        }
        if (state_.fd >= 0)
            close(state_.fd);
    }

    int Fd() const override { return state_.fd; }

    std::vector<HotplugEvent> ReadEvents() override
    {
        std::lock_guard lock(impl_->mutex);
        uint64_t count = 0;
        if (state_.fd >= 0)
            (void)!read(state_.fd, &count, sizeof count);
        std::vector<HotplugEvent> events(state_.events.begin(), state_.events.end());
        state_.events.clear();
        return events;
    }

private:
    std::shared_ptr<SimBus::Impl> impl_;
    WatcherState state_;
};

}  // namespace

SimBus::SimBus(LinkTiming timing) : impl_(std::make_shared<Impl>())
{
    impl_->timing = timing;
}

SimBus::~SimBus()
{
    // Streams and watchers may live on; to them every device is gone.
    std::lock_guard lock(impl_->mutex);
    for (const auto& d : impl_->devices) {
        d->plugged = false;
        d->resetPending = false;
        d->wire.clear();
    }
    impl_->devices.clear();
    impl_->changed.notify_all();
}

std::string SimBus::Plug(std::shared_ptr<SimController> controller, uint16_t vendorId,
                         uint16_t productId)
{
    std::lock_guard lock(impl_->mutex);
    auto d = std::make_shared<Device>();
    d->number = impl_->LowestFreeNumber();
    d->node = kNodePrefix + std::to_string(d->number);
    d->name = MakeInterfaceName(d->node, vendorId, productId);
    d->vendorId = vendorId;
    d->productId = productId;
    d->controller = std::move(controller);
    d->inputLength = impl_->inputLength;
    d->outputLength = impl_->outputLength;
    impl_->Attach(d);
    return d->name;
}

void SimBus::Unplug(const std::string& path)
{
    std::lock_guard lock(impl_->mutex);
    if (auto d = impl_->Find(path))
        impl_->Detach(*d);
}

void SimBus::FailOpens(const std::string& path, int count, HidOpenError error)
{
    std::lock_guard lock(impl_->mutex);
    impl_->failOpens[InterfaceNode(path)] = {count, error};
}

void SimBus::SetReportLength(size_t inputLength, size_t outputLength)
{
    std::lock_guard lock(impl_->mutex);
    impl_->inputLength = inputLength;
    impl_->outputLength = outputLength;
}

std::vector<HidDeviceInfo> SimBus::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::lock_guard lock(impl_->mutex);
    std::vector<HidDeviceInfo> found;
    for (const auto& d : impl_->devices)
        if ((vendorId == 0 || d->vendorId == vendorId) &&
            (productId == 0 || d->productId == productId))
            found.push_back({d->name, d->vendorId, d->productId});
    return found;
}

std::unique_ptr<HidStream> SimBus::Open(const std::string& path, HidOpenError* error)
{
    HidOpenError ignored;
    HidOpenError& result = error ? *error : ignored;
    std::lock_guard lock(impl_->mutex);
    auto d = impl_->Find(path);
    if (d) {
        // Reports already due belong to the files open before this one.
        impl_->Advance(*d, SteadyTime::now());
        if (!d->plugged)
            d = impl_->Find(path);  // it restarted just now
    }
    if (!d) {
        result = HidOpenError::NotFound;
        return nullptr;
    }
    auto fail = impl_->failOpens.find(d->node);
    if (fail != impl_->failOpens.end() && fail->second.first > 0) {
        --fail->second.first;
        result = fail->second.second;
        return nullptr;
    }
    result = HidOpenError::None;
    return std::make_unique<SimStream>(impl_, d);
}

std::unique_ptr<HotplugWatcher> SimBus::CreateWatcher()
{
    return std::make_unique<SimWatcher>(impl_);
}

std::vector<int> SimBus::InputBufferCounts() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->inputBufferCounts;
}

}  // namespace padwright::sim
