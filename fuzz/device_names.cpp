// Interface names and HID_ID properties come from udev and the kernel.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/hid_device.h"
#include "platform/hid.h"
#include "platform/hidapi_bus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    uint16_t vid = 0, pid = 0;
    if (padwright::ParseHidId(text, vid, pid)) {
        const std::string name = padwright::MakeInterfaceName("/dev/hidraw0", vid, pid);
        const bool ours = vid == padwright::kControllerVendorId && pid == padwright::kControllerProductId;
        if (padwright::IsControllerPath(name) != ours)
            __builtin_trap();
    }
    padwright::IsControllerPath(text);
    // Only /dev/hidrawN nodes are ever opened, whatever the name says.
    const std::string node = padwright::InterfaceNode(text);
    if (padwright::IsHidrawNode(node)) {
        if (node.compare(0, 11, "/dev/hidraw") != 0 || node.size() == 11 ||
            node.find_first_not_of("0123456789", 11) != std::string::npos)
            __builtin_trap();
    }
    return 0;
}
