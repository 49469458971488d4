#pragma once

// A HID bus holding simulated controllers (and foreign devices), with hot-plug
// notices and the link model. CHidDevice runs on it unchanged.

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/hid.h"
#include "sim_controller.h"

namespace padwright::sim {

class SimBus final : public HidBus {
public:
    explicit SimBus(LinkTiming timing = {});
    ~SimBus() override;

    // Plugs a controller in; returns its interface name. Raises an arrival notice.
    std::string Plug(std::shared_ptr<SimController> controller,
                     uint16_t vendorId = kControllerVendorId,
                     uint16_t productId = kControllerProductId);
    // Removes a device; open streams on it fail from then on. Raises a removal notice.
    void Unplug(const std::string& path);
    // The next `count` opens of this path fail with `error`.
    void FailOpens(const std::string& path, int count, HidOpenError error);
    // Report lengths of devices plugged from now on (id byte included), e.g. 64.
    void SetReportLength(size_t inputLength, size_t outputLength);

    std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override;
    std::unique_ptr<HidStream> Open(const std::string& path, HidOpenError* error) override;

    // A watcher of this bus's plug events (eventfd based, pollable).
    std::unique_ptr<HotplugWatcher> CreateWatcher();

    // Input-buffer counts that streams were asked for, in order.
    std::vector<int> InputBufferCounts() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace padwright::sim
