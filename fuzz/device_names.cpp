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
    padwright::InterfaceNode(text);
    padwright::HidapiBus bus;
    padwright::HidOpenError error;
    // Only /dev/hidrawN nodes are ever opened, whatever the name says.
    if (text.find("/dev/hidraw") != 0 && bus.Open(text, &error))
        __builtin_trap();
    return 0;
}
