#pragma once

// The real HID bus: hidapi's hidraw backend finds the devices, and the hidraw
// node itself carries the reports. Interface names are
// "/dev/hidrawN#vid_xxxx&pid_yyyy" (MakeInterfaceName).

#include <cstdint>
#include <string>

#include "platform/hid.h"

namespace padwright {

class HidapiBus final : public HidBus {
public:
    HidapiBus();
    ~HidapiBus() override;
    std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) override;
    std::unique_ptr<HidStream> Open(const std::string& path, HidOpenError* error) override;
};

// Reads the ids out of a HID_ID property ("0003:00001209:00000001": bus, vendor,
// product in hex). False when it is not of that form.
bool ParseHidId(const std::string& text, uint16_t& vendorId, uint16_t& productId);

}  // namespace padwright
