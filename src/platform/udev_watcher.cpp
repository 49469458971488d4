#include "platform/udev_watcher.h"

#include <libudev.h>
#include <unistd.h>

#include <cstring>

#include "platform/hidapi_bus.h"

namespace padwright {

std::unique_ptr<UdevWatcher> UdevWatcher::Create()
{
    struct udev* context = udev_new();
    if (!context)
        return nullptr;
    // Without a running udev daemon its notices never come; the kernel's own do,
    // before any rule has set the node's permissions (the device record retries
    // an open refused for permission for that reason).
    const char* source = access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    struct udev_monitor* monitor = udev_monitor_new_from_netlink(context, source);
    if (!monitor || udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr) < 0 ||
        udev_monitor_enable_receiving(monitor) < 0) {
        if (monitor)
            udev_monitor_unref(monitor);
        udev_unref(context);
        return nullptr;
    }
    std::unique_ptr<UdevWatcher> watcher(new UdevWatcher(context, monitor));

    // Nodes present before we started listening still need names for their removal.
    struct udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate) {
        udev_enumerate_add_match_subsystem(enumerate, "hidraw");
        udev_enumerate_scan_devices(enumerate);
        struct udev_list_entry* entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            struct udev_device* device =
                udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
            if (!device)
                continue;
            if (const char* node = udev_device_get_devnode(device))
                watcher->names_[node] = watcher->NameOf(device);
            udev_device_unref(device);
        }
        udev_enumerate_unref(enumerate);
    }
    return watcher;
}

UdevWatcher::UdevWatcher(struct udev* context, struct udev_monitor* monitor)
    : context_(context), monitor_(monitor)
{
}

UdevWatcher::~UdevWatcher()
{
    udev_monitor_unref(monitor_);
    udev_unref(context_);
}

int UdevWatcher::Fd() const
{
    return udev_monitor_get_fd(monitor_);
}

std::string UdevWatcher::NameOf(struct udev_device* device) const
{
    const char* node = udev_device_get_devnode(device);
    uint16_t vendorId = 0, productId = 0;
    struct udev_device* hid = udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr);
    const char* hidId = hid ? udev_device_get_property_value(hid, "HID_ID") : nullptr;
    if (!node)
        return {};
    if (!hidId || !ParseHidId(hidId, vendorId, productId))
        return node;  // no ids: never taken for the controller
    return MakeInterfaceName(node, vendorId, productId);
}

std::vector<HotplugEvent> UdevWatcher::ReadEvents()
{
    std::vector<HotplugEvent> events;
    // The monitor socket is non-blocking: this returns null once it is drained.
    while (struct udev_device* device = udev_monitor_receive_device(monitor_)) {
        const char* action = udev_device_get_action(device);
        const char* node = udev_device_get_devnode(device);
        if (action && node) {
            if (std::strcmp(action, "add") == 0) {
                std::string name = NameOf(device);
                names_[node] = name;
                events.push_back({HotplugKind::Arrival, name});
            } else if (std::strcmp(action, "remove") == 0) {
                const auto known = names_.find(node);
                events.push_back({HotplugKind::Removal, known != names_.end() ? known->second : node});
                if (known != names_.end())
                    names_.erase(known);
            }
        }
        udev_device_unref(device);
    }
    return events;
}

}  // namespace padwright
