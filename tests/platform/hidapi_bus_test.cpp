#include <gtest/gtest.h>

#include "device/hid_device.h"
#include "platform/clock.h"
#include "platform/hidapi_bus.h"
#include "platform/udev_watcher.h"

namespace padwright {
namespace {

TEST(InterfaceNames, SurviveUpperCasingAndCarryTheIds)
{
    const std::string name = MakeInterfaceName("/dev/hidraw3", 0x1209, 0x0001);
    EXPECT_EQ(name, "/dev/hidraw3#vid_1209&pid_0001");
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_EQ(InterfaceNode(upper), "/dev/hidraw3");
    EXPECT_TRUE(IsControllerPath(upper));
    EXPECT_EQ(InterfaceNode("/dev/hidraw12"), "/dev/hidraw12");
}

TEST(ParseHidId, ReadsBusVendorAndProduct)
{
    uint16_t vid = 0, pid = 0;
    EXPECT_TRUE(ParseHidId("0003:00001209:00000001", vid, pid));
    EXPECT_EQ(vid, 0x1209);
    EXPECT_EQ(pid, 0x0001);
    EXPECT_TRUE(ParseHidId("0005:0000045E:000002E0", vid, pid));
    EXPECT_EQ(vid, 0x045E);
    EXPECT_EQ(pid, 0x02E0);
    for (const char* bad : {"", "0003", "0003:1209", "0003:00011209:00000001", "0003:1209:1:x",
                            "zz:yy:xx"})
        EXPECT_FALSE(ParseHidId(bad, vid, pid)) << bad;
}

TEST(HidapiBus, RefusesNamesThatAreNotHidrawNodes)
{
    HidapiBus bus;
    for (const char* name : {"", "/etc/passwd#vid_1209&pid_0001", "/dev/hidraw#vid_1209&pid_0001",
                             "/dev/hidraw1x#vid_1209&pid_0001", "/dev/hidraw99999#vid_1209&pid_0001"}) {
        HidOpenError error = HidOpenError::None;
        EXPECT_EQ(bus.Open(name, &error), nullptr) << name;
        EXPECT_EQ(error, HidOpenError::NotFound) << name;
    }
}

TEST(HidapiBus, NoControllerMeansAPlainFailure)
{
    // On the build machines no controller is plugged in; where one is, this
    // opens it instead, which is just as good.
    HidapiBus bus;
    VirtualClock clock;
    CHidDevice device(nullptr, bus, clock);
    const bool present = !bus.Enumerate(kControllerVendorId, kControllerProductId).empty();
    if (!present) {
        EXPECT_FALSE(device.OpenFirst());
    }
    Payload reply;
    if (!device.IsOpen()) {
        EXPECT_FALSE(device.ReadReport(reply));
    }
}

TEST(UdevWatcher, OffersAPollableDescriptorWhereUdevIsReachable)
{
    auto watcher = UdevWatcher::Create();
    if (!watcher)
        GTEST_SKIP() << "no udev netlink here";
    EXPECT_GE(watcher->Fd(), 0);
    EXPECT_TRUE(watcher->ReadEvents().empty());
}

}  // namespace
}  // namespace padwright
