#include "platform/hidapi_bus.h"

#include <fcntl.h>
#include <hidapi/hidapi.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "platform/hid_descriptor.h"

namespace padwright {
namespace {

std::once_flag g_initOnce;

void InitHidapi()
{
    std::call_once(g_initOnce, [] { hid_init(); });
}

HidOpenError OpenErrorFrom(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return HidOpenError::PermissionDenied;
    case ENOENT:
    case ENODEV:
    case ENXIO: return HidOpenError::NotFound;
    default: return HidOpenError::Failed;
    }
}

// Reads and writes go straight to the hidraw node: the port reads on one thread
// while it writes on another, and hidapi 0.13 does not allow that on one device
// (both calls replace the device's error text without a lock).
class HidrawStream final : public HidStream {
public:
    HidrawStream(int fd, uint16_t vendorId, uint16_t productId, std::vector<uint8_t> descriptor)
        : fd_(fd), vendorId_(vendorId), productId_(productId), descriptor_(std::move(descriptor)),
          numbered_(ReportLengthsFromDescriptor(descriptor_.data(), descriptor_.size()).numbered)
    {
    }
    ~HidrawStream() override { close(fd_); }

    uint16_t VendorId() const override { return vendorId_; }
    uint16_t ProductId() const override { return productId_; }
    std::vector<uint8_t> ReportDescriptor() const override { return descriptor_; }

    bool Write(const uint8_t* report, size_t length) override
    {
        // hidraw takes the report id first and drops a zero id itself.
        ssize_t n;
        do
            n = write(fd_, report, length);
        while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(length);
    }

    int Read(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        if (capacity < 2)
            return -1;
        pollfd p{fd_, POLLIN, 0};
        const int ready = poll(&p, 1, timeoutMs);
        if (ready < 0)
            return errno == EINTR ? 0 : -1;
        if (ready == 0)
            return 0;
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL))
            return -1;  // unplugged
        // Without numbered reports hidraw hands over the report without an id;
        // the rest of the program sees id 0 in front, as on every other platform.
        uint8_t* into = numbered_ ? buffer : buffer + 1;
        const size_t room = numbered_ ? capacity : capacity - 1;
        const ssize_t n = read(fd_, into, room);
        if (n < 0)
            return errno == EINTR || errno == EAGAIN ? 0 : -1;
        if (n == 0)
            return -1;
        if (numbered_)
            return static_cast<int>(n);
        buffer[0] = 0;
        return static_cast<int>(n) + 1;
    }

    // hidraw has no input buffer count (each reader keeps 64 reports and drops
    // the newest); the port keeps its own buffer of that size instead.
    void SetInputBufferCount(int) override {}

private:
    int fd_;
    uint16_t vendorId_;
    uint16_t productId_;
    std::vector<uint8_t> descriptor_;
    bool numbered_;
};

}  // namespace

bool ParseHidId(const std::string& text, uint16_t& vendorId, uint16_t& productId)
{
    unsigned bus = 0, vendor = 0, product = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%x:%x:%x%c", &bus, &vendor, &product, &tail) != 3)
        return false;
    if (vendor > 0xFFFF || product > 0xFFFF)
        return false;
    vendorId = static_cast<uint16_t>(vendor);
    productId = static_cast<uint16_t>(product);
    return true;
}

HidapiBus::HidapiBus()
{
    InitHidapi();
}

HidapiBus::~HidapiBus() = default;

std::vector<HidDeviceInfo> HidapiBus::Enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceInfo> found;
    hid_device_info* list = hid_enumerate(vendorId, productId);
    for (hid_device_info* d = list; d; d = d->next) {
        if (!d->path)
            continue;
        const std::string name = MakeInterfaceName(d->path, d->vendor_id, d->product_id);
        // One entry per top-level collection; the node is what we open.
        if (std::none_of(found.begin(), found.end(),
                         [&](const HidDeviceInfo& i) { return i.path == name; }))
            found.push_back({name, d->vendor_id, d->product_id});
    }
    hid_free_enumeration(list);
    return found;
}

std::unique_ptr<HidStream> HidapiBus::Open(const std::string& path, HidOpenError* error)
{
    const auto failWith = [error](HidOpenError e) {
        if (error)
            *error = e;
        return nullptr;
    };
    const std::string node = InterfaceNode(path);
    if (!IsHidrawNode(node))
        return failWith(HidOpenError::NotFound);
    const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return failWith(OpenErrorFrom(errno));

    hidraw_devinfo info{};
    int descriptorSize = 0;
    hidraw_report_descriptor descriptor{};
    if (ioctl(fd, HIDIOCGRAWINFO, &info) < 0 || ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 ||
        descriptorSize < 0 || descriptorSize > HID_MAX_DESCRIPTOR_SIZE) {
        close(fd);
        return failWith(HidOpenError::Failed);
    }
    descriptor.size = static_cast<uint32_t>(descriptorSize);
    if (ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        close(fd);
        return failWith(HidOpenError::Failed);
    }
    if (error)
        *error = HidOpenError::None;
    return std::make_unique<HidrawStream>(
        fd, static_cast<uint16_t>(info.vendor), static_cast<uint16_t>(info.product),
        std::vector<uint8_t>(descriptor.value, descriptor.value + descriptor.size));
}

}  // namespace padwright
