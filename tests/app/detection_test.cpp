#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "app/controller_detection.h"
#include "firmware/firmware_image.h"
#include "sim/sim_bus.h"
#include "support/recording_sink.h"
#include "support/recording_window.h"
#include "support/test_image.h"

namespace padwright {
namespace {

using sim::ControllerState;
using sim::Faults;

const std::string kNoController = "  No Quelm Blazewing Device Detected";
const std::vector<std::string> kReadMeOnly = {" ReadMe "};

ControllerState State(int variant, uint16_t version, int buttons = 1, bool withImage = true)
{
    ControllerState s;
    s.variant = variant;
    s.version = version;
    s.featureButtons = buttons;
    if (withImage) {
        const auto image = test::MakeTestImage(version);
        std::copy(image.begin(), image.end(), s.flash.begin() + kImageHeaderAddress);
    }
    return s;
}

struct DetectionTest : ::testing::Test {
    sim::SimBus bus;
    VirtualClock clock;
    test::RecordingSink sink;
    test::RecordingWindow window;
    test::RecordingMessages messages;
    FaultyResources resources{EmbeddedResources()};
    std::vector<uint8_t> image1 = test::MakeTestImage(0x0215);
    std::vector<uint8_t> image2 = test::MakeTestImage(0x0185);
    std::unique_ptr<HotplugWatcher> watcher = bus.CreateWatcher();
    std::unique_ptr<ControllerDetection> detection;
    std::shared_ptr<sim::SimController> controller;
    std::string path;
    size_t doneSeen = 0;

    void SetUp() override
    {
        resources.Replace("BINARY", 252, image1);
        resources.Replace("BINARY", 254, image2);
        detection = std::make_unique<ControllerDetection>(window, messages, sink, bus, clock, resources);
    }
    void Plug(const ControllerState& state, const Faults& faults = {})
    {
        controller = std::make_shared<sim::SimController>(state);
        controller->SetFaults(faults);
        path = bus.Plug(controller);
    }
    // Hands every waiting notice to the detection, as the window's event loop would.
    bool Pump()
    {
        bool any = false;
        for (const HotplugEvent& e : watcher->ReadEvents()) {
            detection->OnDeviceChange(e);
            any = true;
        }
        if (sink.Done().size() > doneSeen) {
            ++doneSeen;
            detection->OnUpdateDone();
            any = true;
        }
        return any;
    }
    // Runs the event loop until the condition holds (or a generous deadline passes).
    template <typename Pred>
    bool PumpUntil(Pred done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            if (!Pump())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    // Runs the event loop until the update worker is done and nothing more comes.
    void Settle()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        int quiet = 0;
        while (std::chrono::steady_clock::now() < deadline && quiet < 3) {
            if (Pump() || detection->WorkerHeld())
                quiet = 0;
            else
                ++quiet;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    size_t Sleeps() const { return clock.Sleeps().size(); }
};

TEST_F(DetectionTest, NoControllerAtStart)
{
    detection->StartUp();
    EXPECT_EQ(window.status, kNoController);
    EXPECT_EQ(window.tabs, kReadMeOnly);
    EXPECT_TRUE(window.updateEnabled);  // after the pause
    EXPECT_EQ(clock.Sleeps(), std::vector<Micros>{std::chrono::milliseconds(500)});
    EXPECT_EQ(detection->DisplayState(), 1);
    EXPECT_EQ(detection->ConfigMode(), 0);
    EXPECT_EQ(window.picture, kBitmapNoController);

    detection->OnUpdateButton();
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"ERROR : Configuration mode not set"});
    EXPECT_FALSE(window.updateEnabled);
}

TEST_F(DetectionTest, VersionAndVariantDecideTheOffer)
{
    struct Case {
        int variant;
        uint16_t version;
        int buttons;
        const char* status;
        int displayState;
        int kind;
        std::vector<std::string> tabs;
    };
    const std::string avail = "  WIRELESS Controller - Current firmware is ";
    const Case cases[] = {
        {1, 0x0214, 1, "v2.14 - an update is available", 2, 1,
         {" ReadMe ", "Analog Sensitivity", " Feature Button 1 "}},
        {1, 0x0215, 2, "v2.15 - no update is required", 3, 0,
         {" ReadMe ", "Analog Sensitivity", " Feature Button 1 ", " Feature Button 2 "}},
        {1, 0x0215, 1, "v2.15 - no update is required", 3, 0,
         {" ReadMe ", "Analog Sensitivity", " Feature Button 1 "}},
        {2, 0x0184, 2, "v1.84 - an update is available", 2, 2,
         {" ReadMe ", "Analog Sensitivity", " Feature Button 1 "}},  // the count is read only when up to date
        {2, 0x0185, 1, "v1.85 - no update is required", 3, 0,
         {" ReadMe ", "Analog Sensitivity", " Feature Button 1 "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        bus.Unplug(path.empty() ? "none" : path);
        window = {};
        detection = std::make_unique<ControllerDetection>(window, messages, sink, bus, clock, resources);
        Plug(State(c.variant, c.version, c.buttons));
        detection->StartUp();
        EXPECT_EQ(window.status, avail + c.status);
        EXPECT_EQ(detection->DisplayState(), c.displayState);
        EXPECT_EQ(detection->DeviceKind(), c.kind);
        EXPECT_EQ(window.tabs, c.tabs);
        EXPECT_EQ(detection->ConfigMode(), 1);
        EXPECT_TRUE(detection->ImagePresent());
        EXPECT_EQ(window.picture, kBitmapConnected);
        const bool upToDate = c.displayState == 3;
        EXPECT_EQ(window.updateEnabled, !upToDate);
        EXPECT_EQ(window.pageState, upToDate ? 2 : 1);
        EXPECT_EQ(window.sensitivityState, upToDate ? 2 : 1);
        EXPECT_EQ(window.globalReads, upToDate ? 1 : 0);
        EXPECT_EQ(window.configReads, upToDate ? 1 : 0);
        EXPECT_EQ(controller->State().radioOn, false);
    }
}

TEST_F(DetectionTest, AFailedProbeAndTheLaterGoodOne)
{
    Faults noQueryBegin;
    noQueryBegin.dropReply = 3;  // radio, version, radio, then the probe's first step
    Plug(State(1, 0x0215), noQueryBegin);
    detection->StartUp();
    EXPECT_EQ(window.status, "CONNECTION FAIL - Please reinsert controller ");
    EXPECT_EQ(detection->DisplayState(), 3);
    EXPECT_EQ(detection->DeviceKind(), -1);
    EXPECT_EQ(window.pageState, 2);  // pages stay usable

    bus.Unplug(path);
    Pump();
    EXPECT_EQ(window.tabs, kReadMeOnly);
    Plug(State(1, 0x0215));
    Pump();
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v2.15 - no update is required");
    EXPECT_EQ(detection->DeviceKind(), -1);  // an up-to-date controller leaves it as it was
}

TEST_F(DetectionTest, NoticesForOtherDevicesAndRepeatedArrivalsAreIgnored)
{
    Plug(State(1, 0x0214));
    detection->StartUp();
    const size_t sleeps = Sleeps();
    detection->OnDeviceChange({HotplugKind::Arrival, path});  // a second arrival
    const std::string foreign = bus.Plug(std::make_shared<sim::SimController>(), 0x045E, 0x028E);
    bus.Unplug(foreign);
    Pump();
    EXPECT_EQ(Sleeps(), sleeps);
    EXPECT_EQ(detection->ConfigMode(), 1);
    EXPECT_EQ(window.tabs.size(), 3u);

    bus.Unplug(path);
    Pump();
    EXPECT_EQ(detection->ConfigMode(), 0);
    EXPECT_EQ(detection->DisplayState(), 1);
    EXPECT_EQ(window.tabs, kReadMeOnly);
    EXPECT_EQ(window.picture, kBitmapNoController);
    EXPECT_EQ(window.pageState, 0);
    EXPECT_EQ(window.status, kNoController);
    EXPECT_EQ(detection->Device(), nullptr);
}

TEST_F(DetectionTest, AVersionReadFailureKeepsConfigModeUntilTheRemoval)
{
    detection->StartUp();
    Faults noVersion;
    noVersion.dropReply = 1;
    Plug(State(1, 0x0214), noVersion);
    Pump();
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"COMMS ERROR: Whilst reading firmware version"});
    EXPECT_EQ(window.status, kNoController);
    EXPECT_EQ(detection->DisplayState(), 1);
    EXPECT_EQ(detection->ConfigMode(), 1);

    const size_t sleeps = Sleeps();
    detection->OnDeviceChange({HotplugKind::Arrival, path});
    EXPECT_EQ(Sleeps(), sleeps);  // ignored
    bus.Unplug(path);
    Pump();
    EXPECT_EQ(detection->ConfigMode(), 0);
}

TEST_F(DetectionTest, RadioStateRecoveryHoldsOneRecord)
{
    Faults once;
    once.dropReply = 0;
    Plug(State(1, 0x0214), once);
    detection->StartUp();
    EXPECT_EQ(detection->HeldRecords(), 1u);
    EXPECT_EQ(detection->DisplayState(), 2);
    EXPECT_TRUE(messages.Shown().empty());
    bus.Unplug(path);
    Pump();
    EXPECT_EQ(detection->HeldRecords(), 0u);

    Faults always;
    always.failRadio = true;
    Plug(State(1, 0x0214), always);
    Pump();
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"WriteRadioState : FAIL\nRemove controller and try again"});
    EXPECT_EQ(detection->HeldRecords(), 1u);
    ASSERT_NE(detection->Device(), nullptr);
    EXPECT_TRUE(detection->Device()->IsOpen());
    EXPECT_TRUE(window.updateEnabled);
    EXPECT_EQ(window.status, kNoController);
    EXPECT_EQ(window.tabs, kReadMeOnly);
    bus.Unplug(path);
    Pump();
    EXPECT_EQ(detection->HeldRecords(), 0u);
    EXPECT_EQ(detection->Device(), nullptr);
}

TEST_F(DetectionTest, FullUpdateFromAValidImage)
{
    Plug(State(1, 0x0214));
    detection->StartUp();
    ASSERT_EQ(detection->DisplayState(), 2);
    ASSERT_TRUE(detection->ImagePresent());
    detection->OnUpdateButton();
    // Nothing is programmed yet: the header was invalidated and the controller reset.
    EXPECT_TRUE(sink.Progress().empty());
    EXPECT_TRUE(detection->UpdatePending());
    Settle();

    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Reprogramming firmware..", "Resetting device",
                                                         "Programming complete"}));
    EXPECT_EQ(sink.Done(), std::vector<int>{0});
    EXPECT_FALSE(detection->UpdatePending());
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v2.15 - no update is required");
    EXPECT_EQ(detection->DisplayState(), 3);
    EXPECT_TRUE(detection->ImagePresent());
    EXPECT_TRUE(messages.Shown().empty());
    size_t programmed = 0, erased = 0;
    for (const auto& r : controller->Requests()) {
        programmed += r[kCodeOffset] == static_cast<uint8_t>(Command::ProgramFlash);
        erased += r[kCodeOffset] == static_cast<uint8_t>(Command::EraseFlash);
    }
    EXPECT_EQ(programmed, 1u + 3071u + 1u);  // invalidated header, body, header
    EXPECT_EQ(erased, 16u);
    const auto flash = controller->State().flash;
    EXPECT_TRUE(std::equal(image1.begin(), image1.end(), flash.begin() + kImageHeaderAddress));
}

TEST_F(DetectionTest, WithoutAValidImageProgrammingStartsAtOnce)
{
    Plug(State(2, 0x0184, 1, false));
    detection->StartUp();
    ASSERT_FALSE(detection->ImagePresent());
    detection->OnUpdateButton();
    EXPECT_TRUE(detection->WorkerHeld());
    Settle();
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v1.85 - no update is required");
    EXPECT_EQ(sink.Texts().back(), "Programming complete");
}

TEST_F(DetectionTest, UpdateWithoutAnOpenRecordTouchesNothing)
{
    detection->StartUp();
    const std::string p = bus.Plug(std::make_shared<sim::SimController>(State(1, 0x0214)));
    bus.FailOpens(p, 100, HidOpenError::Failed);
    Pump();  // accepted arrival, nothing opened
    ASSERT_EQ(detection->ConfigMode(), 1);
    ASSERT_EQ(detection->Device(), nullptr);
    detection->OnUpdateButton();
    EXPECT_FALSE(detection->WorkerHeld());
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Controller update error - please reconnect and try again"});
}

TEST_F(DetectionTest, RemovalDuringProgramming)
{
    Plug(State(1, 0x0214, 1, false));
    detection->StartUp();
    sink.onPost = [this](size_t n) {
        if (n != 10)
            return;
        // Pulled out while the body goes over; the worker carries on only once
        // the window has seen the removal, as it would with a real device's
        // slower failure.
        bus.Unplug(path);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (detection->ConfigMode() != 0 && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    ASSERT_TRUE(detection->OnUpdateButton());
    // The window lets go of the record; the worker still holds its own.
    ASSERT_TRUE(PumpUntil([this] { return detection->ConfigMode() == 0; }));
    EXPECT_EQ(detection->Device(), nullptr);
    Settle();
    EXPECT_FALSE(detection->WorkerHeld());
    sink.onPost = nullptr;
    const auto notices = messages.Shown();
    ASSERT_FALSE(notices.empty());
    for (const auto& n : notices)
        EXPECT_EQ(n, "Update progress error - ConfigMode not set");

    // Back again: no valid image, so the update is offered and starts at once.
    Plug(controller->State());
    Pump();
    EXPECT_EQ(detection->DisplayState(), 2);
    EXPECT_FALSE(detection->ImagePresent());
    detection->OnUpdateButton();
    Settle();
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v2.15 - no update is required");
}

TEST_F(DetectionTest, AFailedInvalidationLeavesTheUpdatePendingForTheNextDetection)
{
    Faults noReset;
    noReset.dropReply = 12;  // detection 0-9, then radio 10, header 11, reset 12
    Plug(State(1, 0x0214), noReset);
    detection->StartUp();
    EXPECT_FALSE(detection->OnUpdateButton());
    EXPECT_EQ(messages.Shown(), std::vector<std::string>{"Controller update error - please reconnect and try again"});
    EXPECT_TRUE(detection->UpdatePending());
    EXPECT_FALSE(window.updateEnabled);

    // The user reconnects: the detection that follows finds the pending flag
    // and starts programming.
    bus.Unplug(path);
    ASSERT_TRUE(PumpUntil([this] { return detection->ConfigMode() == 0; }));
    Plug(controller->State());
    ASSERT_TRUE(PumpUntil([this] { return detection->WorkerHeld(); }));
    EXPECT_FALSE(detection->ImagePresent());  // the header was invalidated before the reset failed
    Settle();
    EXPECT_EQ(detection->DisplayState(), 3);
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v2.15 - no update is required");
    EXPECT_FALSE(detection->UpdatePending());
}

TEST_F(DetectionTest, UpdateIsRefusedWhileTheWorkerPrograms)
{
    Plug(State(1, 0x0214, 1, false));
    detection->StartUp();
    bool pressed = false, accepted = true;
    sink.onPost = [&](size_t n) {
        if (n == 20) {
            accepted = detection->StartUpdate();  // a second press, while programming
            pressed = true;
        }
    };
    ASSERT_TRUE(detection->OnUpdateButton());
    Settle();
    sink.onPost = nullptr;
    EXPECT_TRUE(pressed);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(sink.Done(), std::vector<int>{0});
    EXPECT_EQ(window.status, "  WIRELESS Controller - Current firmware is v2.15 - no update is required");
}

TEST_F(DetectionTest, LosingTheControllerHidesTheShownPageFirst)
{
    Plug(State(1, 0x0215, 2));
    detection->StartUp();
    detection->OnTabSelected(2);
    window.log.clear();
    bus.Unplug(path);
    Pump();
    const std::vector<std::string> expected = {"disable update", "status " + kNoController, "hide 2",
                                               "select 0", "show 0"};
    EXPECT_EQ(window.log, expected);
    EXPECT_EQ(window.tabs, kReadMeOnly);  // "Analog Sensitivity" and both Feature Button tabs
    EXPECT_EQ(detection->CurrentTab(), 0);
}

TEST_F(DetectionTest, ClosingTheWindowWhileTheWorkerRunsWaitsForIt)
{
    Plug(State(1, 0x0214, 1, false));
    detection->StartUp();
    ASSERT_TRUE(detection->OnUpdateButton());
    detection.reset();  // joins the worker, which still holds its record
    EXPECT_EQ(sink.Done(), std::vector<int>{0});
    EXPECT_EQ(sink.Texts().back(), "Programming complete");
}

}  // namespace
}  // namespace padwright
