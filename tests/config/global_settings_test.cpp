#include <gtest/gtest.h>

#include "config/global_settings.h"
#include "device/hid_device.h"
#include "sim/sim_bus.h"
#include "support/recording_window.h"

namespace padwright {
namespace {

struct SensitivityTest : ::testing::Test {
    sim::SimBus bus;
    VirtualClock clock;
    test::RecordingMessages messages;
    std::shared_ptr<sim::SimController> controller;
    std::unique_ptr<CHidDevice> device;
    GlobalSettings page{messages, clock, EmbeddedResources()};

    // A controller whose global sector holds `record` (then 0xEE up to 255).
    void Connect(const std::vector<uint8_t>& record)
    {
        sim::ControllerState s;
        s.radioOn = false;
        std::fill_n(s.flash.begin() + kGlobalSettingsAddress, 256, 0xEE);
        std::copy(record.begin(), record.end(), s.flash.begin() + kGlobalSettingsAddress);
        controller = std::make_shared<sim::SimController>(s);
        bus.Plug(controller);
        device = std::make_unique<CHidDevice>(nullptr, bus, clock);
        ASSERT_TRUE(device->OpenFirst());
        page.SetSensitivityState(2);
    }
    std::vector<uint8_t> Sector() const
    {
        const auto flash = controller->State().flash;
        return {flash.begin() + kGlobalSettingsAddress, flash.begin() + kGlobalSettingsAddress + 4096};
    }
    static std::vector<uint8_t> Record(uint8_t keep, std::array<uint8_t, 4> v)
    {
        std::vector<uint8_t> r(kGlobalTag.begin(), kGlobalTag.end());
        r.insert(r.end(), {1, keep, 0, 0, v[0], v[0], v[1], v[1], v[2], v[3]});
        return r;
    }
};

TEST_F(SensitivityTest, AValidRecordMovesTheSlidersUnlessItSaysNot)
{
    Connect(Record(0, {150, 60, 200, 75}));
    ASSERT_TRUE(page.ReadGlobalSettings(*device));
    EXPECT_EQ(page.Slider(kLeftStick), 150);
    EXPECT_EQ(page.Slider(kRightStick), 60);
    EXPECT_EQ(page.Slider(kLeftTrigger), 200);
    EXPECT_EQ(page.Slider(kRightTrigger), 75);
    EXPECT_EQ(page.Label(kLeftStick), "Left Stick 150%");
    EXPECT_EQ(page.Label(kRightTrigger), "Right Trigger 75%");

    struct Case {
        const char* name;
        std::vector<uint8_t> record;
    };
    auto badTag = Record(0, {120, 120, 120, 120});
    badTag[0] = 'X';
    auto invalid = Record(0, {120, 120, 120, 120});
    invalid[12] = 0;
    const Case unmoved[] = {{"keep flag set", Record(1, {120, 120, 120, 120})},
                            {"wrong tag", badTag},
                            {"not valid", invalid}};
    for (const Case& c : unmoved) {
        GlobalSettings fresh(messages, clock, EmbeddedResources());
        fresh.SetSlider(kLeftStick, 170);
        bus.Unplug(bus.Enumerate(kControllerVendorId, kControllerProductId).front().path);
        Connect(c.record);
        ASSERT_TRUE(fresh.ReadGlobalSettings(*device)) << c.name;
        EXPECT_EQ(fresh.Slider(kLeftStick), 170) << c.name;
        EXPECT_EQ(fresh.Label(kLeftStick), "Left Stick 170%") << c.name;
    }

    // Values from outside the range stay within it.
    bus.Unplug(bus.Enumerate(kControllerVendorId, kControllerProductId).front().path);
    Connect(Record(0, {10, 255, 49, 201}));
    ASSERT_TRUE(page.ReadGlobalSettings(*device));
    EXPECT_EQ(page.Slider(kLeftStick), 50);
    EXPECT_EQ(page.Slider(kRightStick), 200);
}

TEST_F(SensitivityTest, AssignWritesTheRecordAndKeepsTheRestAsRead)
{
    Connect(Record(0, {100, 110, 120, 130}));
    ASSERT_TRUE(page.ReadGlobalSettings(*device));
    page.SetSlider(kLeftStick, 150);
    ASSERT_TRUE(page.Assign(device.get()));
    const auto sector = Sector();
    EXPECT_TRUE(std::equal(kGlobalTag.begin(), kGlobalTag.end(), sector.begin()));
    EXPECT_EQ(sector[12], 1);
    EXPECT_EQ(sector[13], 0);
    EXPECT_EQ(sector[16], 0x96);
    EXPECT_EQ(sector[17], 0x96);
    EXPECT_EQ(sector[18], 110);
    EXPECT_EQ(sector[19], 110);
    EXPECT_EQ(sector[20], 120);
    EXPECT_EQ(sector[21], 130);
    for (size_t i = 22; i < 256; ++i)
        ASSERT_EQ(sector[i], 0xEE) << i;
    for (size_t i = 256; i < 4096; ++i)
        ASSERT_EQ(sector[i], 0x00) << i;
    EXPECT_EQ(clock.Sleeps().back(), std::chrono::milliseconds(1000));
    EXPECT_TRUE(page.SlidersEnabled());

    ASSERT_TRUE(page.ResetToDefaults(device.get()));
    const auto reset = Sector();
    for (size_t i : {16, 17, 18, 19, 20, 21})
        EXPECT_EQ(reset[i], 0x64) << i;
    EXPECT_EQ(page.Label(kRightStick), "Right Stick 100%");
}

TEST_F(SensitivityTest, StateDecidesWhetherThePageIsUsable)
{
    for (int state : {0, 1, 2}) {
        page.SetSensitivityState(state);
        EXPECT_EQ(page.Enabled(), state == 2);
        EXPECT_EQ(page.PageText(), EmbeddedResources().String(state == 2 ? 175 : 176));
    }
}

TEST_F(SensitivityTest, AFailedWriteIsReportedAndTheSlidersComeBack)
{
    Connect(Record(0, {100, 100, 100, 100}));
    sim::Faults f;
    f.failErase = true;
    controller->SetFaults(f);
    page.SetSlider(kRightTrigger, 180);
    EXPECT_FALSE(page.Assign(device.get()));
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{kControllerWriteFailedText});
    EXPECT_EQ(page.Image()[kGlobalRightTriggerOffset], 180);  // the host copy keeps it
    EXPECT_TRUE(page.SlidersEnabled());
    EXPECT_EQ(Sector()[kGlobalRightTriggerOffset], 100);

    EXPECT_FALSE(page.ResetToDefaults(nullptr));  // no controller at all
    EXPECT_EQ(messages.Shown().size(), 2u);
}

}  // namespace
}  // namespace padwright
