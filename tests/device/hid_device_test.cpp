#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <numeric>

#include "device/crc.h"
#include "device/hid_device.h"
#include "platform/debug_output.h"
#include "sim/sim_bus.h"
#include "support/recording_sink.h"
#include "support/scripted_bus.h"

namespace padwright {
namespace {

using sim::Faults;
using sim::SimBus;
using sim::SimController;
using test::Bytes;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 7)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed);
    return v;
}

// Commands the simulator received, by code.
std::vector<std::vector<uint8_t>> RequestsWithCode(const SimController& c, Command code)
{
    std::vector<std::vector<uint8_t>> out;
    for (auto& r : c.Requests())
        if (r.size() > kCodeOffset && r[kCodeOffset] == static_cast<uint8_t>(code))
            out.push_back(r);
    return out;
}

struct SimDeviceTest : ::testing::Test {
    SimBus bus;
    VirtualClock clock;
    test::RecordingSink sink;
    std::shared_ptr<SimController> controller = std::make_shared<SimController>();
    std::string path;
    std::shared_ptr<CHidDevice> device = std::make_shared<CHidDevice>(&sink, bus, clock);

    void SetUp() override { path = bus.Plug(controller); }
    void OpenQuiet()
    {
        ASSERT_TRUE(device->OpenFirst());
        ASSERT_TRUE(device->WriteRadioState());
        controller->ClearRequests();
    }
};

TEST_F(SimDeviceTest, OpenFirstSkipsForeignDevicesAndSetsUpTheRecord)
{
    SimBus mixed;
    mixed.Plug(std::make_shared<SimController>(), 0x1209, 0x0002);  // our vendor, other product
    mixed.Plug(std::make_shared<SimController>(), 0x045E, 0x028E);
    auto ours = std::make_shared<SimController>();
    const std::string oursPath = mixed.Plug(ours);
    std::vector<std::string> debug;
    SetDebugSink([&](const std::string& line) { debug.push_back(line); });

    CHidDevice d(nullptr, mixed, clock);
    ASSERT_TRUE(d.OpenFirst());
    EXPECT_EQ(d.InputReportLength(), 33u);
    EXPECT_EQ(d.OutputReportLength(), 33u);
    EXPECT_EQ(d.InputBufferCount(), 2);
    uint16_t version = 0;
    EXPECT_TRUE(d.ReadFirmwareVersion(version));
    EXPECT_EQ(RequestsWithCode(*ours, Command::ReadFirmwareVersion).size(), 1u);

    // Opening again closes the first handle.
    ASSERT_TRUE(d.OpenFirst());
    SetDebugSink(nullptr);
    EXPECT_EQ(debug, (std::vector<std::string>{"Opened handle\n", "ClosedHandle(1)\n", "Opened handle\n"}));

    SimBus empty;
    CHidDevice none(nullptr, empty, clock);
    EXPECT_FALSE(none.OpenFirst());
    EXPECT_FALSE(none.IsOpen());
}

TEST_F(SimDeviceTest, OpenPathTakesTheNameInAnyCaseAndChecksTheIds)
{
    std::string upper = path;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(device->OpenPath(upper));
    EXPECT_TRUE(device->WriteRadioState());

    const std::string foreign = bus.Plug(std::make_shared<SimController>(), 0x1209, 0x0002);
    CHidDevice other(nullptr, bus, clock);
    EXPECT_FALSE(other.OpenPath(foreign));
    EXPECT_FALSE(other.OpenPath("/dev/hidraw-nothing#vid_1209&pid_0001"));
}

TEST_F(SimDeviceTest, OpenPathWaitsOutAPermissionDeniedRightAfterArrival)
{
    bus.FailOpens(path, 3, HidOpenError::PermissionDenied);
    ASSERT_TRUE(device->OpenPath(path));
    EXPECT_EQ(clock.Sleeps().size(), 3u);

    // Permissions that never come: it gives up after the retry time.
    CHidDevice late(nullptr, bus, clock);
    bus.FailOpens(path, 1000, HidOpenError::PermissionDenied);
    EXPECT_FALSE(late.OpenPath(path));
    const auto sleeps = clock.Sleeps();
    const auto total = std::accumulate(sleeps.begin() + 3, sleeps.end(), Micros{0});
    EXPECT_EQ(total, std::chrono::milliseconds(CHidDevice::kOpenRetryMs));

    // Other failures are not retried.
    bus.FailOpens(path, 1, HidOpenError::Failed);
    const size_t before = clock.Sleeps().size();
    EXPECT_FALSE(late.OpenPath(path));
    EXPECT_EQ(clock.Sleeps().size(), before);
}

TEST_F(SimDeviceTest, FlashRoundTripAndChecksum)
{
    OpenQuiet();
    const auto body = Pattern(1000);
    ASSERT_TRUE(device->EraseFlash(kImageRangeStart, kImageRangeBytes));
    EXPECT_EQ(RequestsWithCode(*controller, Command::EraseFlash).size(), 16u);
    ASSERT_TRUE(device->ProgramFlash(kImageBodyAddress, body.data(), body.size()));
    EXPECT_EQ(RequestsWithCode(*controller, Command::ProgramFlash).size(), 63u);

    std::vector<uint8_t> back(body.size());
    ASSERT_TRUE(device->ReadMemory(kImageBodyAddress, back.data(), back.size()));
    EXPECT_EQ(back, body);
    // The short last chunk carried its fill pattern: bytes 8-15 of the report's
    // data area are zero, and zero is what the flash now holds there.
    std::vector<uint8_t> tail(24);
    ASSERT_TRUE(device->ReadMemory(kImageBodyAddress + 1000, tail.data(), tail.size()));
    std::vector<uint8_t> expected(24, 0xFF);
    std::fill(expected.begin(), expected.begin() + 8, 0x00);
    EXPECT_EQ(tail, expected);

    uint32_t sum = 0;
    ASSERT_TRUE(device->CalculateChecksum(static_cast<uint32_t>(body.size()), sum));
    EXPECT_EQ(sum, ControllerCrc(body.data(), body.size()));
}

TEST_F(SimDeviceTest, SingleCommandsReadTheirReplies)
{
    sim::ControllerState s;
    s.version = 0x0215;
    s.featureButtons = 2;
    controller->SetState(s);
    ASSERT_TRUE(device->OpenFirst());
    // The radio is still on: pad reports come before each reply and are skipped.
    uint16_t version = 0;
    ASSERT_TRUE(device->ReadFirmwareVersion(version));
    EXPECT_EQ(version, 0x0215);
    ASSERT_TRUE(device->WriteRadioState());
    EXPECT_FALSE(controller->State().radioOn);
    EXPECT_TRUE(device->QueryBegin());

    ASSERT_TRUE(device->EnterConfigMode());
    Payload report;
    ASSERT_TRUE(device->ReadReport(report));
    EXPECT_TRUE(report[kConfigReportFlagsOffset - 1] & kTwoFeatureButtonsMask);
    EXPECT_TRUE(device->LeaveConfigMode());
    device->Flush();
    EXPECT_TRUE(device->ResetDevice());
}

TEST_F(SimDeviceTest, ProbeBlocksTellTheVariantsApart)
{
    for (int variant : {1, 2}) {
        sim::ControllerState s;
        s.variant = variant;
        controller->SetState(s);
        OpenQuiet();
        std::array<uint8_t, kQueryBlockBytes> a{}, b{};
        uint8_t statusA = 0, statusB = 0;
        ASSERT_TRUE(device->QueryBegin());
        ASSERT_TRUE(device->QuerySelect(kQuerySelectorA, kQueryLengthByte));
        ASSERT_TRUE(device->QueryRead(a, statusA));
        ASSERT_TRUE(device->QuerySelect(kQuerySelectorB, kQueryLengthByte));
        ASSERT_TRUE(device->QueryRead(b, statusB));
        EXPECT_EQ(statusA, 1);
        EXPECT_EQ(statusB, 1);
        b[3] = a[3];
        EXPECT_EQ(a != b, variant == 1) << variant;
        const auto reads = RequestsWithCode(*controller, Command::QueryRead);
        ASSERT_EQ(reads.size(), 4u);
        EXPECT_EQ(GetLe32(&reads[0][7]), 25u);
        EXPECT_EQ(GetLe32(&reads[1][7]), 4u);
    }
}

TEST_F(SimDeviceTest, ProgressRunsFromZeroTo99OnceEach)
{
    OpenQuiet();
    const auto body = Pattern(49136);
    ASSERT_TRUE(device->EraseFlash(kImageRangeStart, kImageRangeBytes));
    ASSERT_TRUE(device->ProgramFlash(kImageBodyAddress, body.data(), body.size(), true,
                                     "Reprogramming firmware.."));
    EXPECT_EQ(RequestsWithCode(*controller, Command::ProgramFlash).size(), 3071u);
    const auto posts = sink.Progress();
    ASSERT_EQ(posts.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(posts[i].first, i);
        EXPECT_EQ(posts[i].second, "Reprogramming firmware..");
    }
    // Without progress nothing is posted.
    ASSERT_TRUE(device->ProgramFlash(kImageHeaderAddress, body.data(), 16));
    EXPECT_EQ(sink.Progress().size(), 100u);
    EXPECT_EQ(device->InputBufferCount(), 2);
}

TEST_F(SimDeviceTest, LongerReportsAreSentWithZerosAfterTheProgramsBytes)
{
    SimBus wide;
    wide.SetReportLength(64, 64);
    auto c = std::make_shared<SimController>();
    wide.Plug(c);
    CHidDevice d(nullptr, wide, clock);
    ASSERT_TRUE(d.OpenFirst());
    EXPECT_EQ(d.OutputReportLength(), 64u);
    ASSERT_TRUE(d.WriteRadioState());
    std::vector<uint8_t> data(32);
    ASSERT_TRUE(d.ReadMemory(kFeatureButtonAddress, data.data(), data.size()));
    for (const auto& r : c->Requests()) {
        ASSERT_EQ(r.size(), 64u);
        for (size_t i = kReportBytes; i < r.size(); ++i)
            ASSERT_EQ(r[i], 0) << i;
    }

    // Reports the single-report buffers cannot hold, or shorter than the
    // program's own, are not a controller we can drive.
    for (size_t length : {size_t{65}, size_t{32}}) {
        SimBus odd;
        odd.SetReportLength(length, length);
        odd.Plug(std::make_shared<SimController>());
        CHidDevice e(nullptr, odd, clock);
        EXPECT_FALSE(e.OpenFirst()) << length;
    }
}

TEST_F(SimDeviceTest, AnUnopenedRecordFailsWithoutTouchingAnything)
{
    std::vector<uint8_t> requests(33 * 4), replies(33 * 4);
    EXPECT_FALSE(device->TransferBatch(replies.data(), requests.data(), 4, true, "x"));
    EXPECT_EQ(device->InputBufferCount(), 0);
    EXPECT_FALSE(device->WaitBatch(4));
    uint16_t version = 0;
    uint32_t sum = 0;
    Payload p{};
    EXPECT_FALSE(device->SendCommand(p));
    EXPECT_FALSE(device->ReadReport(p));
    EXPECT_FALSE(device->ReadFirmwareVersion(version));
    EXPECT_FALSE(device->CalculateChecksum(16, sum));
    EXPECT_FALSE(device->EraseFlash(0x1F000, 0x1000));
    EXPECT_FALSE(device->ReadMemory(0x1F000, replies.data(), 16));
    EXPECT_FALSE(device->EnterConfigMode());
    device->Flush();
    EXPECT_TRUE(controller->Requests().empty());
    EXPECT_TRUE(sink.Progress().empty());
    EXPECT_TRUE(bus.InputBufferCounts().empty());
}

// Bad input from the device: every case ends in a plain failure, the caller's
// buffer keeps what it had, and the record still works afterwards.
TEST_F(SimDeviceTest, BadRepliesFailTheCommandAndLeaveTheDestinationAlone)
{
    struct Case {
        const char* name;
        Faults faults;
    };
    Faults corrupt, wrongCode, truncated, dropped;
    corrupt.corruptReply = 5;
    wrongCode.wrongCodeReply = 40;
    truncated.truncateReply = 60;
    dropped.dropReply = 3;
    const Case cases[] = {{"corrupt magic", corrupt},
                          {"wrong code", wrongCode},
                          {"truncated", truncated},
                          {"missing", dropped}};
    OpenQuiet();
    for (const Case& c : cases) {
        controller->SetFaults(c.faults);
        std::vector<uint8_t> dest(1024, 0xAB);
        EXPECT_FALSE(device->ReadMemory(kFeatureButtonAddress, dest.data(), dest.size())) << c.name;
        EXPECT_EQ(dest, std::vector<uint8_t>(1024, 0xAB)) << c.name;
        EXPECT_EQ(device->InputBufferCount(), 2) << c.name;
        controller->SetFaults({});
        device->Flush();
        EXPECT_TRUE(device->ReadMemory(kFeatureButtonAddress, dest.data(), 64)) << c.name;
    }
}

TEST_F(SimDeviceTest, FaultsInSingleCommandsAreFailures)
{
    OpenQuiet();
    Faults f;
    f.checksumOffByOne = true;
    controller->SetFaults(f);
    uint32_t sum = 0;
    ASSERT_TRUE(device->CalculateChecksum(16, sum));
    std::vector<uint8_t> flash = controller->State().flash;
    EXPECT_EQ(sum ^ 1u, ControllerCrc(&flash[kImageBodyAddress], 16));

    f = {};
    f.failRadio = true;
    controller->SetFaults(f);
    EXPECT_FALSE(device->WriteRadioState());
    f = {};
    f.failErase = true;
    controller->SetFaults(f);
    EXPECT_FALSE(device->EraseFlash(kFeatureButtonAddress, kSectorBytes));
    f = {};
    f.garbageBeforeReply = 20;
    controller->SetFaults(f);
    uint16_t version = 0;
    EXPECT_TRUE(device->ReadFirmwareVersion(version));
}

TEST_F(SimDeviceTest, UnplugInTheMiddleFailsPlainly)
{
    OpenQuiet();
    Faults f;
    f.unplugAtRequest = 30;
    controller->SetFaults(f);
    const auto body = Pattern(1600);
    EXPECT_FALSE(device->ProgramFlash(kImageBodyAddress, body.data(), body.size(), true, "p"));
    uint16_t version = 0;
    EXPECT_FALSE(device->ReadFirmwareVersion(version));
    std::vector<uint8_t> dest(16, 0xAB);
    EXPECT_FALSE(device->ReadMemory(kFeatureButtonAddress, dest.data(), dest.size()));
    EXPECT_EQ(dest, std::vector<uint8_t>(16, 0xAB));

    // Unplugged during a single command.
    auto second = std::make_shared<SimController>();
    const std::string p2 = bus.Plug(second);
    CHidDevice d(nullptr, bus, clock);
    ASSERT_TRUE(d.OpenPath(p2));
    f = {};
    f.unplugAtRequest = 0;
    second->SetFaults(f);
    EXPECT_FALSE(d.ReadFirmwareVersion(version));
    EXPECT_FALSE(d.WriteRadioState());
}

TEST_F(SimDeviceTest, TheRecordOutlivesTheWindowsReference)
{
    OpenQuiet();
    ASSERT_TRUE(device->EraseFlash(kImageRangeStart, kImageRangeBytes));
    const auto body = Pattern(49136);
    std::atomic<bool> ok{false};
    std::thread worker([record = device, &body, &ok] {
        ok = record->ProgramFlash(kImageBodyAddress, body.data(), body.size(), true, "p");
    });
    // The removal notice drops the window's reference while the worker programs.
    while (sink.Progress().size() < 10)
        std::this_thread::yield();
    device.reset();
    worker.join();
    EXPECT_TRUE(ok);
    EXPECT_EQ(sink.Progress().size(), 100u);
}

TEST_F(SimDeviceTest, ChatterWhileIdleNeverCrowdsOutTheNextReply)
{
    // With the radio on the controller keeps sending pad reports. Far more than
    // the host queue holds pile up while nobody reads; the reply to the next
    // command must still get through.
    ASSERT_TRUE(device->OpenFirst());
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(device->LeaveConfigMode());  // no reply, one pad report each
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the controller idles
    uint16_t version = 0;
    EXPECT_TRUE(device->ReadFirmwareVersion(version));
    EXPECT_TRUE(device->WriteRadioState());
}

// Exact reply streams through a scripted device.
struct ScriptedDeviceTest : ::testing::Test {
    test::ScriptedBus bus;
    VirtualClock clock;
    CHidDevice device{nullptr, bus, clock};
    void SetUp() override { ASSERT_TRUE(device.OpenFirst()); }
};

TEST_F(ScriptedDeviceTest, ReplyMatchingLooksAt65ReportsAtMost)
{
    // Reports trickle in, so each one meets a read that waits for it rather than
    // piling up in the input buffer, which keeps only the newest two.
    for (int unrelated : {0, 1, 64, 65, 80}) {
        bus.Script([unrelated](test::ScriptState& s) {
            s.pace = std::chrono::milliseconds(3);
            s.input.clear();  // what the last case left unread
            s.respond = [unrelated](std::span<const uint8_t> r) {
                std::vector<Bytes> out(unrelated, test::Unrelated());
                Bytes wrongCode = test::EchoReply(r);
                wrongCode[kCodeOffset] ^= 0x40;
                if (unrelated > 0)
                    out[0] = wrongCode;  // a reply with another code is unrelated too
                out.push_back(test::EchoReply(r));
                return out;
            };
        });
        EXPECT_EQ(device.ResetDevice(), unrelated < 65) << unrelated;
    }
}

TEST_F(ScriptedDeviceTest, BatchesWaitAfterEvery48PairsAndAtTheEnd)
{
    // Replies are held back at each expected stop until the host has stopped
    // writing there; an engine that wrote on past a stop shows a later release,
    // one that stopped early times out.
    struct Case {
        size_t count;
        std::vector<size_t> releases;
    };
    const Case cases[] = {{100, {48, 96, 100}}, {48, {48}}, {1, {1}}, {97, {48, 96, 97}}};
    for (const Case& c : cases) {
        bus.Script([&c](test::ScriptState& s) {
            s.releases.clear();
            s.writes.clear();
            s.stops = c.releases;
            s.nextStop = 0;
        });
        std::vector<uint8_t> data(c.count * 16, 0x33);
        ASSERT_TRUE(device.ProgramFlash(0x10010, data.data(), data.size())) << c.count;
        bus.Script([&c](test::ScriptState& s) {
            EXPECT_EQ(s.releases, c.releases) << c.count;
            EXPECT_EQ(s.writes.size(), c.count);
        });
    }
}

TEST_F(ScriptedDeviceTest, AReplyThatComesAfterTheTimeOutLandsNowhere)
{
    bus.Script([](test::ScriptState& s) {
        s.respond = [](std::span<const uint8_t>) { return std::vector<Bytes>{}; };
    });
    {
        auto buffer = std::make_unique<Payload>();
        EXPECT_FALSE(device.ReadReport(*buffer));
    }  // the caller's buffer is gone; the read it asked for was not
    bus.Script([](test::ScriptState& s) { s.input.push_back(test::EchoReply(MakeRequest(Command::ResetDevice))); });
    Payload reply;
    ASSERT_TRUE(device.ReadReport(reply));
    EXPECT_EQ(reply[kCodeOffset - 1], static_cast<uint8_t>(Command::ResetDevice));
}

TEST(ControllerPath, MatchesTheIdsInAnyCase)
{
    struct Case {
        const char* name;
        bool matches;
    };
    const Case cases[] = {
        {"\\\\?\\hid#vid_1209&pid_0001#7&1a2b3c4d&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", true},
        {"\\\\?\\HID#VID_1209&PID_0001#7&1A2B3C4D&0&0000#{4D1E55B2-F16F-11CF-88CB-001111000030}", true},
        {"\\\\?\\Hid#Vid_1209&Pid_0001#x", true},
        {"/dev/hidraw3#vid_1209&pid_0001", true},
        {"/DEV/HIDRAW3#VID_1209&PID_0001", true},
        {"\\\\?\\hid#vid_1209&pid_0002#7&1a2b", false},
        {"\\\\?\\hid#vid_1208&pid_0001#7&1a2b", false},
        {"/dev/hidraw3", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsControllerPath(c.name), c.matches) << c.name;
}

}  // namespace
}  // namespace padwright
