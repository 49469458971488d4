#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/text.h"

namespace padwright {

struct HidDeviceInfo {
    std::string path;  // interface name, see MakeInterfaceName
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// One opened HID device. Write and Read may run at the same time on two
// threads (one writer, one reader); neither is called from two threads at once.
class HidStream {
public:
    virtual ~HidStream() = default;

    virtual uint16_t VendorId() const = 0;
    virtual uint16_t ProductId() const = 0;
    // The raw report descriptor; the report lengths are worked out from it.
    virtual std::vector<uint8_t> ReportDescriptor() const = 0;

    // Sends one output report, report id first. Blocks until the device has
    // taken it; false when it failed or the device is gone.
    virtual bool Write(const uint8_t* report, size_t length) = 0;
    // Receives one input report, report id first. Returns its length, 0 when
    // nothing came within timeoutMs, -1 when the device failed or is gone.
    virtual int Read(uint8_t* buffer, size_t capacity, int timeoutMs) = 0;
    // How many input reports the host keeps while nobody reads.
    virtual void SetInputBufferCount(int count) = 0;
};

enum class HidOpenError { None, NotFound, PermissionDenied, Failed };

class HidBus {
public:
    virtual ~HidBus() = default;
    // Present interfaces with these ids, in enumeration order.
    virtual std::vector<HidDeviceInfo> Enumerate(uint16_t vendorId, uint16_t productId) = 0;
    // Opens an interface by name. The name may have been changed to upper case.
    virtual std::unique_ptr<HidStream> Open(const std::string& path, HidOpenError* error) = 0;
};

enum class HotplugKind { Arrival, Removal };

struct HotplugEvent {
    HotplugKind kind;
    std::string path;  // interface name, as Enumerate gives it
};

// Arrival and removal notices. Fd() becomes readable when events wait; the
// owner's event loop watches it and then calls ReadEvents.
class HotplugWatcher {
public:
    virtual ~HotplugWatcher() = default;
    virtual int Fd() const = 0;
    // Every waiting event, oldest first; never blocks.
    virtual std::vector<HotplugEvent> ReadEvents() = 0;
};

// Interface names carry the ids the way the controller path rule expects them:
// "<node>#vid_xxxx&pid_yyyy", lower-case hex. The node part is the device node
// (for hidraw "/dev/hidrawN"), which is lower case, so a name that was upper-cased
// on the way still resolves.
std::string MakeInterfaceName(const std::string& node, uint16_t vendorId, uint16_t productId);
// "vid_xxxx&pid_yyyy", the part of a name that says whose device it is.
std::string InterfaceIds(uint16_t vendorId, uint16_t productId);

// The node of an interface name in lower case; empty if the name has none.
std::string InterfaceNode(const std::string& name);
// True for "/dev/hidrawN" and nothing else: the only nodes the real bus opens.
bool IsHidrawNode(const std::string& node);

}  // namespace padwright
