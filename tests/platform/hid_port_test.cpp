#include <gtest/gtest.h>

#include <thread>

#include "platform/hid_port.h"
#include "support/scripted_bus.h"

namespace padwright {
namespace {

using test::Bytes;
using test::ScriptedStream;
using test::ScriptState;

struct PortTest : ::testing::Test {
    std::shared_ptr<ScriptState> state = std::make_shared<ScriptState>();
    std::unique_ptr<HidPort> port = std::make_unique<HidPort>(std::make_unique<ScriptedStream>(state));

    void Queue(uint8_t tag)
    {
        std::lock_guard lock(state->mutex);
        Bytes report(kReportBytes, tag);
        report[0] = 0;
        state->input.push_back(report);
        state->changed.notify_all();
    }
    void Write(int slot, uint8_t tag)
    {
        Bytes report(kReportBytes, tag);
        port->StartWrite(slot, report.data(), report.size());
    }
};

TEST_F(PortTest, WritesGoOutInOrderAndReadsTakeReportsInOrder)
{
    state->respond = [](std::span<const uint8_t> r) {
        Bytes reply(r.begin(), r.end());
        reply[0] = 0;
        return std::vector<Bytes>{reply};
    };
    for (int k = 0; k < 10; ++k) {
        Write(2 * k, static_cast<uint8_t>(k + 1));
        port->StartRead(2 * k + 1, kReportBytes);
    }
    ASSERT_TRUE(port->WaitSlots(0, 20, 2000));
    for (int k = 0; k < 10; ++k) {
        const auto data = port->ReadData(2 * k + 1);
        ASSERT_EQ(data.size(), kReportBytes);
        EXPECT_EQ(data[1], k + 1) << k;
        EXPECT_EQ(state->writes[k][1], k + 1);
    }
}

TEST_F(PortTest, AReportForACancelledReadGoesToTheNextRead)
{
    state->respond = [](std::span<const uint8_t>) { return std::vector<Bytes>{}; };
    port->StartRead(3, kReportBytes);
    EXPECT_FALSE(port->WaitSlots(3, 1, 30));
    port->CancelPending();
    EXPECT_TRUE(port->ReadData(3).empty());
    Queue(0x42);
    port->StartRead(5, kReportBytes);
    ASSERT_TRUE(port->WaitSlots(5, 1, 2000));
    EXPECT_EQ(port->ReadData(5)[1], 0x42);
}

TEST_F(PortTest, ALateCompletionDoesNotMarkTheSlotsNextOperation)
{
    // The first read is still waiting when the slot is given a write; the report
    // that finally arrives must not be taken for the write's completion, nor land
    // anywhere the write's caller could see.
    state->respond = [](std::span<const uint8_t>) { return std::vector<Bytes>{}; };
    port->StartRead(0, kReportBytes);
    EXPECT_FALSE(port->WaitSlots(0, 1, 20));
    Write(0, 0x11);
    ASSERT_TRUE(port->WaitSlots(0, 1, 2000));
    EXPECT_TRUE(port->ReadData(0).empty());  // a write has no data
}

TEST_F(PortTest, GoneDeviceFailsPendingOperationsAtOnce)
{
    port->StartRead(1, kReportBytes);
    {
        std::lock_guard lock(state->mutex);
        state->gone = true;
    }
    Write(0, 1);
    EXPECT_FALSE(port->WaitSlots(0, 2, 2000));
    EXPECT_TRUE(port->ReadData(1).empty());
}

TEST_F(PortTest, FlushDropsWaitingReports)
{
    for (uint8_t t = 1; t <= 5; ++t)
        Queue(t);
    port->Flush();
    Queue(0x77);
    port->StartRead(0, kReportBytes);
    ASSERT_TRUE(port->WaitSlots(0, 1, 2000));
    EXPECT_EQ(port->ReadData(0)[1], 0x77);
}

TEST_F(PortTest, ClosingWithOperationsPendingIsClean)
{
    state->respond = [](std::span<const uint8_t>) { return std::vector<Bytes>{}; };
    for (int k = 0; k < 48; ++k) {
        Write(2 * k, 1);
        port->StartRead(2 * k + 1, kReportBytes);
    }
    port.reset();  // joins its threads; nothing may complete into freed memory
    Queue(1);
}

TEST_F(PortTest, AnIdleSlotNeverCountsAsComplete)
{
    EXPECT_FALSE(port->WaitSlots(10, 1, 2000));
}

}  // namespace
}  // namespace padwright
