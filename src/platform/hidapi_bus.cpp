#include "platform/hidapi_bus.h"
#include "platform/hid_descriptor.h"

#include <hidapi/hidapi.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>

namespace padwright {
namespace {

constexpr const char* kHidrawPrefix = "/dev/hidraw";

std::once_flag g_initOnce;

void InitHidapi()
{
    std::call_once(g_initOnce, [] { hid_init(); });
}

bool IsHidrawNode(const std::string& node)
{
    if (node.rfind(kHidrawPrefix, 0) != 0 || node.size() == std::strlen(kHidrawPrefix))
        return false;
    return std::all_of(node.begin() + static_cast<long>(std::strlen(kHidrawPrefix)), node.end(),
                       [](unsigned char c) { return c >= '0' && c <= '9'; });
}

std::vector<uint8_t> ReadSysfsDescriptor(const std::string& node)
{
    const std::string name = node.substr(std::strlen("/dev/"));
    std::ifstream in("/sys/class/hidraw/" + name + "/device/report_descriptor", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HidapiStream final : public HidStream {
public:
    HidapiStream(hid_device* device, uint16_t vendorId, uint16_t productId,
                 std::vector<uint8_t> descriptor, bool numbered)
        : device_(device), vendorId_(vendorId), productId_(productId),
          descriptor_(std::move(descriptor)), numbered_(numbered)
    {
    }
    ~HidapiStream() override { hid_close(device_); }

    uint16_t VendorId() const override { return vendorId_; }
    uint16_t ProductId() const override { return productId_; }
    std::vector<uint8_t> ReportDescriptor() const override { return descriptor_; }

    bool Write(const uint8_t* report, size_t length) override
    {
        // hidraw takes the report id first and drops a zero id itself.
        return hid_write(device_, report, length) == static_cast<int>(length);
    }

    int Read(uint8_t* buffer, size_t capacity, int timeoutMs) override
    {
        if (capacity < 2)
            return -1;
        // Without numbered reports hidraw hands over the report without an id;
        // the rest of the program sees id 0 in front, as on every other platform.
        uint8_t* into = numbered_ ? buffer : buffer + 1;
        const size_t room = numbered_ ? capacity : capacity - 1;
        const int got = hid_read_timeout(device_, into, room, timeoutMs);
        if (got <= 0)
            return got;
        if (numbered_)
            return got;
        buffer[0] = 0;
        return got + 1;
    }

    // hidraw has no input buffer count: each reader keeps up to 64 reports and
    // drops the newest when full, which covers the 48 replies of a batch.
    void SetInputBufferCount(int) override {}

private:
    hid_device* device_;
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
    if (access(node.c_str(), R_OK | W_OK) != 0)
        return failWith(errno == EACCES || errno == EPERM ? HidOpenError::PermissionDenied
                                                          : HidOpenError::NotFound);
    hid_device* device = hid_open_path(node.c_str());
    if (!device)
        return failWith(HidOpenError::Failed);
    hid_device_info* info = hid_get_device_info(device);
    if (!info) {
        hid_close(device);
        return failWith(HidOpenError::Failed);
    }
    std::vector<uint8_t> descriptor = ReadSysfsDescriptor(node);
    const bool numbered = ReportLengthsFromDescriptor(descriptor.data(), descriptor.size()).numbered;
    if (error)
        *error = HidOpenError::None;
    return std::make_unique<HidapiStream>(device, info->vendor_id, info->product_id,
                                          std::move(descriptor), numbered);
}

}  // namespace padwright
