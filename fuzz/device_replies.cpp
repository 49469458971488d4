// Input reports come from the device: feed arbitrary ones to every command.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "device/hid_device.h"
#include "platform/clock.h"
#include "support/scripted_bus.h"

namespace {

using namespace padwright;

// Each input report is one length byte and that many bytes of the input; when
// the input runs out the device is gone, so nothing waits on a time-out.
class FuzzStream final : public HidStream {
public:
    FuzzStream(const uint8_t* data, size_t size) : data_(data, data + size) {}
    uint16_t VendorId() const override { return kControllerVendorId; }
    uint16_t ProductId() const override { return kControllerProductId; }
    std::vector<uint8_t> ReportDescriptor() const override { return test::PlainDescriptor(); }
    bool Write(const uint8_t*, size_t) override { return true; }
    int Read(uint8_t* buffer, size_t capacity, int) override
    {
        std::lock_guard lock(mutex_);
        if (pos_ >= data_.size())
            return -1;
        size_t n = data_[pos_++];
        n = std::min({n, data_.size() - pos_, capacity});
        if (n == 0)
            return -1;
        std::memcpy(buffer, &data_[pos_], n);
        pos_ += n;
        return static_cast<int>(n);
    }
    void SetInputBufferCount(int) override {}

private:
    std::mutex mutex_;
    std::vector<uint8_t> data_;
    size_t pos_ = 0;
};

class FuzzBus final : public HidBus {
public:
    FuzzBus(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    std::vector<HidDeviceInfo> Enumerate(uint16_t v, uint16_t p) override
    {
        return {{MakeInterfaceName("/dev/hidraw0", v, p), v, p}};
    }
    std::unique_ptr<HidStream> Open(const std::string&, HidOpenError*) override
    {
        return std::make_unique<FuzzStream>(data_, size_);
    }

private:
    const uint8_t* data_;
    size_t size_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzBus bus(data, size);
    VirtualClock clock;
    CHidDevice device(nullptr, bus, clock);
    if (!device.OpenFirst())
        __builtin_trap();
    uint16_t version = 0;
    uint32_t sum = 0;
    uint8_t status = 0;
    std::array<uint8_t, kQueryBlockBytes> block{};
    std::vector<uint8_t> memory(64, 0xEE);
    Payload report;
    device.WriteRadioState();
    device.ReadFirmwareVersion(version);
    device.QuerySelect(kQuerySelectorA, kQueryLengthByte);
    device.QueryRead(block, status);
    if (status > 1)
        __builtin_trap();
    if (!device.ReadMemory(kFeatureButtonAddress, memory.data(), memory.size())) {
        for (uint8_t b : memory)
            if (b != 0xEE)
                __builtin_trap();  // a failed read must leave the caller's buffer alone
    }
    device.EnterConfigMode();
    device.ReadReport(report);
    device.CalculateChecksum(16, sum);
    device.EraseFlash(kFeatureButtonAddress, kSectorBytes);
    return 0;
}
