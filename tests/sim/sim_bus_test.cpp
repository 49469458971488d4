// The simulated bus: names, opens, plug events, resets, the host queue, report
// lengths and the link model under threads.

#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cctype>
#include <thread>

#include "device/protocol.h"
#include "platform/hid_descriptor.h"
#include "platform/hid_port.h"
#include "sim/sim_bus.h"

namespace padwright::sim {
namespace {

using Bytes = std::vector<uint8_t>;

bool Readable(const HotplugWatcher& w)
{
    pollfd p{w.Fd(), POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

std::string Upper(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

bool Send(HidStream& s, const Report& r) { return s.Write(r.data(), r.size()); }

// Every report waiting now; stops at the first empty or failed read.
std::vector<Bytes> Drain(HidStream& s)
{
    std::vector<Bytes> got;
    uint8_t buffer[80];
    for (int n; (n = s.Read(buffer, sizeof buffer, 0)) > 0;)
        got.emplace_back(buffer, buffer + n);
    return got;
}

ControllerState RadioOff()
{
    ControllerState s;
    s.radioOn = false;
    return s;
}

class SimBusTest : public ::testing::Test {
protected:
    SimBus bus;
    std::unique_ptr<HotplugWatcher> watcher = bus.CreateWatcher();
};

TEST_F(SimBusTest, EnumerateFiltersByIdsInPlugOrderAndOpenIgnoresCase)
{
    auto a = std::make_shared<SimController>();
    const std::string first = bus.Plug(a);
    const std::string foreign = bus.Plug(std::make_shared<SimController>(), 0x046D, 0xC216);
    const std::string second = bus.Plug(std::make_shared<SimController>());
    EXPECT_NE(first.find("vid_1209&pid_0001"), std::string::npos);
    EXPECT_NE(foreign.find("vid_046d&pid_c216"), std::string::npos);

    const auto found = bus.Enumerate(kControllerVendorId, kControllerProductId);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, first);
    EXPECT_EQ(found[1].path, second);
    EXPECT_EQ(bus.Enumerate(0x046D, 0xC216).size(), 1u);

    HidOpenError error = HidOpenError::Failed;
    auto s = bus.Open(Upper(foreign), &error);
    ASSERT_TRUE(s);
    EXPECT_EQ(error, HidOpenError::None);
    EXPECT_EQ(s->VendorId(), 0x046D);
    EXPECT_EQ(s->ProductId(), 0xC216);

    EXPECT_FALSE(bus.Open("/dev/hidraw-sim9#vid_1209&pid_0001", &error));
    EXPECT_EQ(error, HidOpenError::NotFound);
}

TEST_F(SimBusTest, NodeNumbersAreReusedLowestFirst)
{
    const std::string a = bus.Plug(std::make_shared<SimController>());
    const std::string b = bus.Plug(std::make_shared<SimController>());
    bus.Unplug(a);
    EXPECT_EQ(bus.Plug(std::make_shared<SimController>()), a);
    EXPECT_NE(a, b);
}

TEST_F(SimBusTest, ScriptedOpenFailuresRunOutThenOpensSucceed)
{
    for (HidOpenError scripted : {HidOpenError::PermissionDenied, HidOpenError::Failed}) {
        const std::string path = bus.Plug(std::make_shared<SimController>());
        bus.FailOpens(Upper(path), 2, scripted);
        HidOpenError error = HidOpenError::None;
        for (int i = 0; i < 2; ++i) {
            EXPECT_FALSE(bus.Open(path, &error));
            EXPECT_EQ(error, scripted);
        }
        EXPECT_TRUE(bus.Open(path, &error));
        EXPECT_EQ(error, HidOpenError::None);
        bus.Unplug(path);
    }
}

TEST_F(SimBusTest, WatcherFdSignalsPlugEventsInOrder)
{
    EXPECT_FALSE(Readable(*watcher));
    const std::string a = bus.Plug(std::make_shared<SimController>());
    auto late = bus.CreateWatcher();  // sees only what happens from here on
    const std::string b = bus.Plug(std::make_shared<SimController>());
    bus.Unplug(a);
    bus.Unplug("/dev/hidraw-sim7#vid_1209&pid_0001");  // not there: no event

    ASSERT_TRUE(Readable(*watcher));
    const auto events = watcher->ReadEvents();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, HotplugKind::Arrival);
    EXPECT_EQ(events[0].path, a);
    EXPECT_EQ(events[1].kind, HotplugKind::Arrival);
    EXPECT_EQ(events[1].path, b);
    EXPECT_EQ(events[2].kind, HotplugKind::Removal);
    EXPECT_EQ(events[2].path, a);
    EXPECT_FALSE(Readable(*watcher));
    EXPECT_TRUE(watcher->ReadEvents().empty());

    const auto lateEvents = late->ReadEvents();
    ASSERT_EQ(lateEvents.size(), 2u);
    EXPECT_EQ(lateEvents[0].path, b);
}

TEST_F(SimBusTest, UnplugFailsOpenStreamsEvenWithReportsWaiting)
{
    const std::string gone = bus.Plug(std::make_shared<SimController>());
    const std::string kept = bus.Plug(std::make_shared<SimController>());
    auto s = bus.Open(gone, nullptr);
    auto other = bus.Open(kept, nullptr);
    ASSERT_TRUE(Send(*s, MakeRequest(Command::QueryBegin)));
    bus.Unplug(Upper(gone));

    uint8_t buffer[64];
    EXPECT_EQ(s->Read(buffer, sizeof buffer, 0), -1);
    EXPECT_FALSE(Send(*s, MakeRequest(Command::QueryBegin)));
    EXPECT_EQ(bus.Enumerate(kControllerVendorId, kControllerProductId).size(), 1u);
    EXPECT_FALSE(bus.Open(gone, nullptr));
    ASSERT_TRUE(Send(*other, MakeRequest(Command::QueryBegin)));
    EXPECT_EQ(Drain(*other).size(), 2u);
}

TEST_F(SimBusTest, UnplugAtRequestLeavesThatRequestUnanswered)
{
    auto controller = std::make_shared<SimController>(RadioOff());
    const std::string path = bus.Plug(controller);
    auto s = bus.Open(path, nullptr);
    watcher->ReadEvents();
    Faults faults;
    faults.unplugAtRequest = 1;
    controller->SetFaults(faults);

    ASSERT_TRUE(Send(*s, MakeRequest(Command::QueryBegin)));
    EXPECT_EQ(Drain(*s).size(), 1u);
    Send(*s, MakeRequest(Command::QueryBegin));
    uint8_t buffer[64];
    EXPECT_EQ(s->Read(buffer, sizeof buffer, 0), -1);

    ASSERT_TRUE(Readable(*watcher));
    const auto events = watcher->ReadEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, HotplugKind::Removal);
    EXPECT_TRUE(bus.Enumerate(kControllerVendorId, kControllerProductId).empty());
    EXPECT_EQ(controller->Requests().size(), 2u);
}

ControllerState WithImage(bool header, bool tag)
{
    ControllerState s;  // radio on: a pad report goes out before the reply
    s.version = 0x0214;
    if (header)
        std::copy_n("QUELM_DFU", 9, &s.flash[kImageHeaderAddress]);
    if (tag)
        std::copy_n("PWFW\x03\x07", 6, &s.flash[kImageBodyAddress]);
    return s;
}

TEST_F(SimBusTest, ResetLeavesAfterItsReplyIsReadAndReturnsUnderTheSameName)
{
    const struct {
        bool header;
        bool tag;
        uint16_t versionAfter;
    } cases[] = {{true, true, 0x0307}, {true, false, 0x0214}, {false, true, 0x0214}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.header << c.tag);
        auto controller = std::make_shared<SimController>(WithImage(c.header, c.tag));
        const std::string path = bus.Plug(controller);
        auto s = bus.Open(path, nullptr);
        watcher->ReadEvents();

        ASSERT_TRUE(Send(*s, MakeRequest(Command::ResetDevice)));
        uint8_t buffer[64];
        ASSERT_EQ(s->Read(buffer, sizeof buffer, 0), int(kReportBytes));  // the pad report
        EXPECT_FALSE(Readable(*watcher));  // not before the host has the reply
        EXPECT_EQ(bus.Enumerate(kControllerVendorId, kControllerProductId).size(), 1u);
        EXPECT_FALSE(Send(*s, MakeRequest(Command::QueryBegin)));  // restarting

        ASSERT_EQ(s->Read(buffer, sizeof buffer, 0), int(kReportBytes));
        EXPECT_TRUE(ReplyMatches({buffer, kReportBytes}, Command::ResetDevice));
        ASSERT_TRUE(Readable(*watcher));
        const auto events = watcher->ReadEvents();
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].kind, HotplugKind::Removal);
        EXPECT_EQ(events[1].kind, HotplugKind::Arrival);
        EXPECT_EQ(events[0].path, path);
        EXPECT_EQ(events[1].path, path);
        EXPECT_EQ(s->Read(buffer, sizeof buffer, 0), -1);

        auto again = bus.Open(path, nullptr);
        ASSERT_TRUE(again);
        EXPECT_TRUE(controller->RadioOn());
        EXPECT_EQ(controller->State().version, c.versionAfter);
        ASSERT_TRUE(Send(*again, MakeRequest(Command::ReadFirmwareVersion)));
        EXPECT_EQ(Drain(*again).size(), 2u);  // pad report again, then the reply
        again.reset();
        s.reset();
        bus.Unplug(path);
        watcher->ReadEvents();
    }
}

TEST_F(SimBusTest, ResetWhoseReplyCannotBeReadRestartsAnyway)
{
    const struct {
        const char* what;
        bool dropReply;
        bool closeUnread;
    } cases[] = {{"reply dropped", true, false}, {"stream closed unread", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto controller = std::make_shared<SimController>(RadioOff());
        const std::string path = bus.Plug(controller);
        auto s = bus.Open(path, nullptr);
        watcher->ReadEvents();
        Faults faults;
        faults.dropReply = c.dropReply ? 0 : -1;
        controller->SetFaults(faults);
        ASSERT_TRUE(Send(*s, MakeRequest(Command::ResetDevice)));
        if (c.closeUnread)
            s.reset();
        const auto events = watcher->ReadEvents();
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[1].kind, HotplugKind::Arrival);
        s.reset();
        bus.Unplug(path);
        watcher->ReadEvents();
    }
}

TEST_F(SimBusTest, HostQueueKeepsTheOldest64Reports)
{
    const std::string path = bus.Plug(std::make_shared<SimController>(RadioOff()));
    auto s = bus.Open(path, nullptr);
    for (uint32_t i = 0; i < 70; ++i)
        ASSERT_TRUE(Send(*s, BuildReadMemory(i * 16)));
    const auto got = Drain(*s);
    ASSERT_EQ(got.size(), 64u);
    for (uint32_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(GetLe32(&got[i][kAddressOffset]), i * 16);
}

TEST_F(SimBusTest, EveryOpenStreamGetsItsOwnCopy)
{
    const std::string path = bus.Plug(std::make_shared<SimController>(RadioOff()));
    auto held = bus.Open(path, nullptr);
    auto s = bus.Open(path, nullptr);
    ASSERT_TRUE(Send(*s, MakeRequest(Command::QueryBegin)));
    EXPECT_EQ(Drain(*s).size(), 1u);
    EXPECT_EQ(Drain(*held).size(), 1u);
    // A stream opened later does not see what came before.
    auto late = bus.Open(path, nullptr);
    ASSERT_TRUE(Send(*s, MakeRequest(Command::QueryBegin)));
    EXPECT_EQ(Drain(*late).size(), 1u);
}

TEST_F(SimBusTest, ReportLengthsComeFromTheDescriptor)
{
    const struct {
        size_t input, output;
    } cases[] = {{33, 33}, {65, 65}, {65, 33}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.input << "/" << c.output);
        bus.SetReportLength(c.input, c.output);
        auto controller = std::make_shared<SimController>(RadioOff());
        const std::string path = bus.Plug(controller);
        auto s = bus.Open(path, nullptr);
        const Bytes d = s->ReportDescriptor();
        const HidReportLengths lengths = ReportLengthsFromDescriptor(d.data(), d.size());
        EXPECT_EQ(lengths.input, c.input);
        EXPECT_EQ(lengths.output, c.output);

        Bytes request = BuildBatch(std::vector<Report>{BuildReadMemory(0x40)}, c.output);
        Faults faults;
        faults.truncateReply = 1;
        controller->SetFaults(faults);
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(s->Write(request.data(), request.size()));
        const auto got = Drain(*s);
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].size(), c.input);
        EXPECT_TRUE(ReplyMatches(got[0], Command::ReadMemory));
        EXPECT_TRUE(std::all_of(got[0].begin() + kReportBytes, got[0].end(),
                                [](uint8_t b) { return b == 0; }));
        EXPECT_EQ(got[1].size(), 8u);  // a short reply stays short
        s.reset();
        bus.Unplug(path);
    }
}

TEST_F(SimBusTest, InputBufferCountsAreRecordedInOrder)
{
    const std::string path = bus.Plug(std::make_shared<SimController>());
    auto s = bus.Open(path, nullptr);
    for (int n : {2, 96, 2})
        s->SetInputBufferCount(n);
    EXPECT_EQ(bus.InputBufferCounts(), (std::vector<int>{2, 96, 2}));
}

TEST(SimBusLifetime, StreamsAndWatchersOutliveTheBus)
{
    std::unique_ptr<HidStream> s;
    std::unique_ptr<HotplugWatcher> w;
    {
        SimBus bus;
        s = bus.Open(bus.Plug(std::make_shared<SimController>()), nullptr);
        w = bus.CreateWatcher();
        ASSERT_TRUE(Send(*s, MakeRequest(Command::QueryBegin)));
    }
    uint8_t buffer[64];
    EXPECT_EQ(s->Read(buffer, sizeof buffer, 0), -1);
    EXPECT_FALSE(Send(*s, MakeRequest(Command::QueryBegin)));
    EXPECT_TRUE(w->ReadEvents().empty());
}

TEST(SimBusThreads, UnplugWakesABlockedRead)
{
    SimBus bus;
    const std::string path = bus.Plug(std::make_shared<SimController>());
    auto s = bus.Open(path, nullptr);
    int got = 0;
    std::thread reader([&] {
        uint8_t buffer[64];
        got = s->Read(buffer, sizeof buffer, 30000);
    });
    bus.Unplug(path);
    reader.join();
    EXPECT_EQ(got, -1);
}

// The link model with real frames, under the port's writer and reader threads:
// pipelined batches must come back complete and in order.
TEST(SimBusThreads, PipelinedBatchesThroughTheLinkModel)
{
    const LinkTiming timing{Micros{125}, Micros{40}, Micros{500}};
    SimBus bus(timing);
    auto controller = std::make_shared<SimController>(RadioOff());
    const std::string path = bus.Plug(controller);
    HidPort port(bus.Open(path, nullptr));

    Bytes data(48 * 16);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13);
    const auto run = [&](const std::vector<Report>& requests) {
        std::vector<Bytes> replies;
        for (size_t k = 0; k < requests.size(); ++k) {
            port.StartWrite(int(2 * k), requests[k].data(), requests[k].size());
            port.StartRead(int(2 * k + 1), kReportBytes);
        }
        EXPECT_TRUE(port.WaitSlots(0, int(2 * requests.size()), 10000));
        for (size_t k = 0; k < requests.size(); ++k) {
            const auto r = port.ReadData(int(2 * k + 1));
            replies.emplace_back(r.begin(), r.end());
        }
        return replies;
    };

    const auto erased = run(EraseFlashRequests(0x1E000, 0x2000));
    const auto programmed = run(ProgramFlashRequests(0x1E000, data.data(), data.size()));
    const auto read = run(ReadMemoryRequests(0x1E000, data.size()));
    for (const auto& r : erased)
        EXPECT_TRUE(ReplyMatches(r, Command::EraseFlash));
    for (const auto& r : programmed)
        EXPECT_TRUE(ReplyMatches(r, Command::ProgramFlash));
    Bytes back;
    for (size_t k = 0; k < read.size(); ++k) {
        ASSERT_TRUE(ReplyMatches(read[k], Command::ReadMemory)) << k;
        EXPECT_EQ(GetLe32(&read[k][kAddressOffset]), 0x1E000 + 16 * k);
        back.insert(back.end(), read[k].begin() + kDataOffset, read[k].end());
    }
    EXPECT_EQ(back, data);
}

}  // namespace
}  // namespace padwright::sim
