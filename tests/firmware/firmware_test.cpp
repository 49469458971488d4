#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/crc.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_update.h"
#include "sim/sim_bus.h"
#include "support/recording_sink.h"
#include "support/recording_window.h"
#include "support/test_image.h"

namespace padwright {
namespace {

using sim::Faults;

// Counts how often a binary was asked for, to show what is refused up front.
class CountingResources final : public Resources {
public:
    explicit CountingResources(const Resources& base) : base_(base) {}
    std::string String(int id) const override { return base_.String(id); }
    bool HasString(int id) const override { return base_.HasString(id); }
    ResourceFailure Binary(std::string_view type, int id, std::span<const uint8_t>& data) const override
    {
        ++lookups;
        return base_.Binary(type, id, data);
    }
    mutable int lookups = 0;

private:
    const Resources& base_;
};

TEST(FirmwareImage, KindsWithoutAnImageAreRefusedBeforeAnyLookup)
{
    CountingResources resources(EmbeddedResources());
    PreparedImage image;
    for (int kind : {0, -1, 3})
        EXPECT_EQ(LoadFirmwareImage(resources, kind, image), kStringFindingFirmware) << kind;
    EXPECT_EQ(resources.lookups, 0);
    EXPECT_EQ(SelectFirmwareResource(1), 252);
    EXPECT_EQ(SelectFirmwareResource(2), 254);
}

TEST(FirmwareImage, EachFailingStepHasItsText)
{
    const struct {
        ResourceFailure step;
        int text;
    } cases[] = {{ResourceFailure::Find, 128}, {ResourceFailure::Load, 129}, {ResourceFailure::Lock, 130}};
    for (const auto& c : cases) {
        FaultyResources resources(EmbeddedResources());
        resources.FailAt("BINARY", 254, c.step);
        PreparedImage image;
        EXPECT_EQ(LoadFirmwareImage(resources, 2, image), c.text);
        EXPECT_EQ(LoadFirmwareImage(resources, 1, image), 0);  // only 254 was made to fail
    }
    EXPECT_EQ(EmbeddedResources().String(128), "ERROR: Finding firmware resource");
    EXPECT_EQ(EmbeddedResources().String(131), "ERROR: This program only supports upgrade images");
}

TEST(FirmwareImage, OnlyTheMagicIsChecked)
{
    struct Case {
        const char* name;
        size_t size;
        int poke;  // byte to change, -1 for none
        int expected;
    };
    const Case cases[] = {
        {"tenth byte set", 49152, 9, 0},
        {"ninth byte off", 49152, 8, kStringUpgradeImagesOnly},
        {"first byte off", 49152, 0, kStringUpgradeImagesOnly},
        {"too short for a header", 12, -1, kStringUpgradeImagesOnly},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = test::MakeTestImage(0x0215, std::max<size_t>(c.size, 22));
        bytes.resize(c.size);
        if (c.poke >= 0)
            bytes[c.poke] ^= 0x20;
        FaultyResources resources(EmbeddedResources());
        resources.Replace("BINARY", 252, bytes);
        PreparedImage image;
        EXPECT_EQ(LoadFirmwareImage(resources, 1, image), c.expected) << c.name;
    }
}

TEST(FirmwareImage, WorkingSizeRoundsUpOverAddedZeros)
{
    std::vector<uint8_t> bytes = test::MakeTestImage(0x0215, 49150);
    bytes[49148] = 0xAA;
    bytes[49149] = 0xBB;
    FaultyResources resources(EmbeddedResources());
    resources.Replace("BINARY", 252, bytes);
    PreparedImage image;
    ASSERT_EQ(LoadFirmwareImage(resources, 1, image), 0);
    EXPECT_EQ(image.workingSize, 49152u);
    EXPECT_EQ(image.bytes.size(), 49154u);
    EXPECT_EQ(image.bytes[49149], 0xBB);
    EXPECT_EQ(image.bytes[49150], 0);
    EXPECT_EQ(image.bytes[49151], 0);

    PreparedImage full;
    ASSERT_EQ(LoadFirmwareImage(EmbeddedResources(), 2, full), 0);
    EXPECT_EQ(full.workingSize, 49152u);
    EXPECT_EQ(full.BodyLength(), 49136u);
}

// ProgramFirmware against the simulator, on the calling thread.
struct ProgramTest : ::testing::Test {
    sim::SimBus bus;
    VirtualClock clock;
    test::RecordingSink sink;
    test::RecordingMessages messages;
    FaultyResources resources{EmbeddedResources()};
    std::vector<uint8_t> image = test::MakeTestImage(0x0215);
    std::shared_ptr<sim::SimController> controller = std::make_shared<sim::SimController>();
    std::atomic<int> configMode{1};

    void SetUp() override
    {
        resources.Replace("BINARY", 252, image);
        bus.Plug(controller);
    }
    UpdateContext Context()
    {
        auto device = std::make_shared<CHidDevice>(&sink, bus, clock);
        EXPECT_TRUE(device->OpenFirst());
        return UpdateContext{device, 1, &configMode, &sink, &messages, &resources};
    }
    bool HeaderWritten() const
    {
        return HeaderIsValid(&controller->State().flash[kImageHeaderAddress]);
    }
};

TEST_F(ProgramTest, ProgramsTheBodyThenTheHeaderThenResets)
{
    EXPECT_EQ(ProgramFirmware(Context()), 0);
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Reprogramming firmware..", "Resetting device",
                                                 "Programming complete"}));
    const auto posts = sink.Progress();
    ASSERT_EQ(posts.size(), 102u);
    EXPECT_EQ(posts[99].first, 99);
    EXPECT_EQ(posts[100].first, 100);
    EXPECT_EQ(posts[101].first, 0);
    const auto flash = controller->State().flash;
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + kImageHeaderAddress));
    EXPECT_EQ(controller->State().version, 0x0215);  // installed and reset
    EXPECT_TRUE(messages.Shown().empty());
}

TEST_F(ProgramTest, EveryFailingStepEndsWithItsTextAndALaterUpdateSucceeds)
{
    // Replies since the faults were set: radio 0, erase 1-16, body 17-3087,
    // checksum 3088, header 3089, reset 3090.
    struct Case {
        const char* text;
        Faults faults;
        bool headerWritten;
    };
    Faults radio, erase, program, sumCommand, mismatch, header, reset;
    radio.failRadio = true;
    erase.failErase = true;
    program.corruptReply = 500;
    sumCommand.dropReply = 3088;
    mismatch.checksumOffByOne = true;
    header.corruptReply = 3089;
    reset.dropReply = 3090;
    const Case cases[] = {
        {"ERROR: Whilst disabling radio", radio, false},
        {"ERROR: Whilst erasing flash", erase, false},
        {"ERROR: Whilst programming flash", program, false},
        {"ERROR: Whilst calculating checksum", sumCommand, false},
        {"ERROR: Checksums don't match", mismatch, false},
        {"ERROR: Whilst finalizing flash", header, true},  // the flash took it; the reply was bad
        {"ERROR: Whilst resetting device", reset, true},
    };
    for (const Case& c : cases) {
        sim::ControllerState state = controller->State();
        std::fill_n(state.flash.begin() + kImageHeaderAddress, kImageHeaderBytes, 0x00);
        controller->SetState(state);  // no valid header before the attempt
        sink.Clear();
        controller->SetFaults(c.faults);
        ProgramFirmware(Context());
        const auto posts = sink.Progress();
        ASSERT_FALSE(posts.empty()) << c.text;
        EXPECT_EQ(posts.back().second, c.text);
        EXPECT_EQ(posts.back().first, 0) << c.text;
        EXPECT_EQ(HeaderWritten(), c.headerWritten) << c.text;

        controller->SetFaults({});
        sink.Clear();
        ProgramFirmware(Context());
        ASSERT_FALSE(sink.Progress().empty());
        EXPECT_EQ(sink.Progress().back().second, "Programming complete") << "after " << c.text;
        EXPECT_TRUE(HeaderWritten());
    }
}

TEST_F(ProgramTest, WithoutConfigModeTheWorkersTextsBecomeNotices)
{
    UpdateContext context = Context();
    sink.onPost = [this](size_t n) {
        if (n == 10)
            configMode = 0;  // the controller was removed meanwhile
    };
    std::thread worker([&] { ProgramFirmware(context); });
    worker.join();
    sink.onPost = nullptr;
    const auto posts = sink.Progress();
    // The batch engine's progress is not gated; it ran on to 99.
    ASSERT_EQ(posts.size(), 100u);
    EXPECT_EQ(posts.back().first, 99);
    const auto notices = messages.Shown();
    EXPECT_EQ(notices, (std::vector<std::string>{kConfigModeNotSetNotice, kConfigModeNotSetNotice}));
}

TEST_F(ProgramTest, AKindWithoutAnImageSendsNothing)
{
    for (int kind : {0, -1}) {
        UpdateContext context = Context();
        context.deviceKind = kind;
        controller->ClearRequests();
        sink.Clear();
        EXPECT_EQ(ProgramFirmware(context), 0);
        EXPECT_EQ(sink.Progress(), (std::vector<std::pair<int, std::string>>{{0, "ERROR: Finding firmware resource"}}));
        EXPECT_TRUE(controller->Requests().empty());
    }
}

}  // namespace
}  // namespace padwright
