#pragma once

// Arrival and removal of hidraw nodes, from udev's notices (sent after the rules
// have run, so a node that arrives already has its permissions), or from the
// kernel's where no udev daemon runs.

#include <map>
#include <memory>
#include <string>

#include "platform/hid.h"

struct udev;
struct udev_monitor;
struct udev_device;

namespace padwright {

class UdevWatcher final : public HotplugWatcher {
public:
    // Null when no netlink monitor can be had.
    static std::unique_ptr<UdevWatcher> Create();
    ~UdevWatcher() override;

    int Fd() const override;
    std::vector<HotplugEvent> ReadEvents() override;

private:
    UdevWatcher(struct udev* context, struct udev_monitor* monitor);
    // The interface name of a hidraw device, ids read from its HID parent.
    std::string NameOf(struct udev_device* device) const;

    struct udev* context_;
    struct udev_monitor* monitor_;
    // A removed node can no longer be asked for its ids: remember the names.
    std::map<std::string, std::string> names_;
};

}  // namespace padwright
