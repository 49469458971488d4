// The simulated controller's answers, driven through a SimBus stream the way the
// program drives a real one.

#include <gtest/gtest.h>

#include <functional>
#include <numeric>

#include "device/crc.h"
#include "device/protocol.h"
#include "sim/sim_bus.h"

namespace padwright::sim {
namespace {

using Bytes = std::vector<uint8_t>;

bool HasMagic(const Bytes& r)
{
    return r.size() > kCodeOffset &&
           std::equal(kMagic.begin(), kMagic.end(), r.begin() + kMagicOffset);
}

class SimControllerTest : public ::testing::Test {
protected:
    void SetUp() override { Replug({}); }

    void Replug(const ControllerState& state)
    {
        stream.reset();
        if (!path.empty())
            bus.Unplug(path);
        controller = std::make_shared<SimController>(state);
        path = bus.Plug(controller);
        stream = bus.Open(path, nullptr);
        ASSERT_TRUE(stream);
    }

    // Every report one request causes, in order.
    std::vector<Bytes> Exchange(const Report& request)
    {
        EXPECT_TRUE(stream->Write(request.data(), request.size()));
        std::vector<Bytes> got;
        uint8_t buffer[kMaxReportBytes];
        for (int n; (n = stream->Read(buffer, sizeof buffer, 0)) > 0;)
            got.emplace_back(buffer, buffer + n);
        return got;
    }

    // The one reply to a request; pad reports before it are skipped.
    Report Reply(const Report& request)
    {
        const auto code = static_cast<Command>(request[kCodeOffset]);
        Report reply{};
        int matches = 0;
        for (const Bytes& r : Exchange(request))
            if (ReplyMatches(r, code)) {
                std::copy_n(r.begin(), kReportBytes, reply.begin());
                ++matches;
            }
        EXPECT_EQ(matches, 1) << "code " << int(request[kCodeOffset]);
        return reply;
    }

    void RadioOff() { Reply(BuildWriteRadioState()); }

    Bytes ReadFlash(uint32_t address)
    {
        const Report r = Reply(BuildReadMemory(address));
        return Bytes(r.begin() + kDataOffset, r.end());
    }

    void Program(uint32_t address, const Bytes& data)
    {
        Reply(BuildProgramFlash(address, data.data(), data.size()));
    }

    SimBus bus;
    std::shared_ptr<SimController> controller;
    std::string path;
    std::unique_ptr<HidStream> stream;
};

TEST_F(SimControllerTest, ProgramClearsBitsOnlyAndEraseRestoresOneSector)
{
    RadioOff();
    const Bytes zeros(16, 0x00);
    Program(0x1DFF0, zeros);  // last unit of the sector before
    Program(0x1F000, zeros);  // first unit of the sector after
    Program(0x1E000, Bytes(16, 0xF0));
    Program(0x1E000, Bytes(16, 0x3C));
    EXPECT_EQ(ReadFlash(0x1E000), Bytes(16, 0x30));

    Reply(BuildEraseFlash(0x1E000));
    EXPECT_EQ(ReadFlash(0x1E000), Bytes(16, 0xFF));
    EXPECT_EQ(ReadFlash(0x1EFF0), Bytes(16, 0xFF));
    EXPECT_EQ(ReadFlash(0x1DFF0), zeros);
    EXPECT_EQ(ReadFlash(0x1F000), zeros);
}

TEST_F(SimControllerTest, OutOfRangeWritesAreAcknowledgedAndChangeNothing)
{
    const Bytes zeros(16, 0x00);
    const struct {
        const char* what;
        Report request;
    } cases[] = {
        {"erase unaligned", BuildEraseFlash(0x1E800)},
        {"erase past the end", BuildEraseFlash(kFlashBytes)},
        {"erase far out", BuildEraseFlash(0xFFFFF000)},
        {"program across the end", BuildProgramFlash(kFlashBytes - 8, zeros.data(), 16)},
        {"program past the end", BuildProgramFlash(kFlashBytes, zeros.data(), 16)},
        {"program wrapping", BuildProgramFlash(0xFFFFFFF8, zeros.data(), 16)},
    };
    ControllerState state;
    std::iota(state.flash.begin(), state.flash.end(), uint8_t{0});
    state.radioOn = false;
    Replug(state);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Reply(c.request);
        EXPECT_EQ(controller->State().flash, state.flash);
    }
}

TEST_F(SimControllerTest, ReadMemoryGivesErasedBytesBeyondTheFlash)
{
    ControllerState state;
    state.flash.assign(kFlashBytes, 0x5A);
    state.radioOn = false;
    Replug(state);
    const struct {
        uint32_t address;
        size_t inFlash;
    } cases[] = {{0x00000, 16}, {0x1FFF0, 16}, {0x1FFF8, 8}, {kFlashBytes, 0}, {0xFFFFFFF8, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        const Report r = Reply(BuildReadMemory(c.address));
        EXPECT_EQ(GetLe32(&r[kAddressOffset]), c.address);
        for (size_t i = 0; i < kDataBytes; ++i)
            EXPECT_EQ(r[kDataOffset + i], i < c.inFlash ? 0x5A : 0xFF) << i;
    }
}

TEST_F(SimControllerTest, VersionIsBigEndianMajorMinor)
{
    ControllerState state;
    state.version = 0x0185;
    Replug(state);
    const Report r = Reply(MakeRequest(Command::ReadFirmwareVersion));
    EXPECT_EQ(r[kVersionMajorOffset], 0x01);
    EXPECT_EQ(r[kVersionMinorOffset], 0x85);
    EXPECT_EQ(ParseFirmwareVersion(r), 0x0185);
}

TEST_F(SimControllerTest, ChecksumCoversTheImageBodyUpToTheFlashEnd)
{
    ControllerState state;
    for (size_t i = 0; i < state.flash.size(); ++i)
        state.flash[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    Replug(state);
    const uint8_t* body = &state.flash[kImageBodyAddress];
    const uint32_t bodyRoom = kFlashBytes - kImageBodyAddress;
    const struct {
        uint32_t length;
        uint32_t covered;
    } cases[] = {{0, 0}, {3, 3}, {49136, 49136}, {bodyRoom, bodyRoom}, {0x10000, bodyRoom},
                 {0xFFFFFFFF, bodyRoom}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        const Report r = Reply(BuildCalculateChecksum(c.length));
        EXPECT_EQ(ParseChecksum(r), ControllerCrc(body, c.covered));
    }
}

struct ProbeRead {
    std::array<uint8_t, kQueryBlockBytes> block{};
    uint8_t status = 0;
};

class SimProbeTest : public SimControllerTest {
protected:
    ProbeRead ReadBlock(uint32_t selector)
    {
        Reply(BuildQuerySelect(selector, kQueryLengthByte));
        std::vector<Report> replies;
        ProbeRead out;
        size_t at = 0;
        for (uint32_t chunk : kQueryChunkBytes) {
            replies.push_back(Reply(BuildQueryRead(chunk)));
            std::copy_n(&replies.back()[kQueryChunkOffset], chunk, &out.block[at]);
            at += chunk;
        }
        out.status = QueryReadStatus(replies);
        return out;
    }
};

TEST_F(SimProbeTest, BlocksDifferBeyondByteThreeOnlyOnVariantOne)
{
    for (int variant : {1, 2}) {
        SCOPED_TRACE(variant);
        ControllerState state;
        state.variant = variant;
        Replug(state);
        Reply(MakeRequest(Command::QueryBegin));
        const ProbeRead a = ReadBlock(kQuerySelectorA);
        ProbeRead b = ReadBlock(kQuerySelectorB);
        EXPECT_EQ(a.status, 1);
        EXPECT_EQ(b.status, 1);
        EXPECT_NE(a.block[3], b.block[3]);  // the program has to mask it
        b.block[3] = a.block[3];
        EXPECT_EQ(a.block != b.block, variant == 1);
    }
}

TEST_F(SimProbeTest, ReadsThatCannotBeServedAreInvalid)
{
    // Unknown selector or sub-code selects nothing.
    EXPECT_EQ(ReadBlock(0x08006B09).status, 0);
    Report wrongSubcode = BuildQuerySelect(kQuerySelectorA, kQueryLengthByte);
    wrongSubcode[kQuerySubcodeOffset] = 0x04;
    Reply(wrongSubcode);
    EXPECT_EQ(Reply(BuildQueryRead(25))[kStatusOffset] & 1, 0);

    // A third chunk runs past the 29-byte block.
    ReadBlock(kQuerySelectorA);
    EXPECT_EQ(Reply(BuildQueryRead(4))[kStatusOffset] & 1, 0);
    // A new selection starts over.
    EXPECT_EQ(ReadBlock(kQuerySelectorB).status, 1);
}

TEST_F(SimControllerTest, ConfigModeSendsOneReportCarryingTheButtonBit)
{
    for (int buttons : {1, 2}) {
        SCOPED_TRACE(buttons);
        ControllerState state;
        state.featureButtons = buttons;
        state.radioOn = false;
        Replug(state);
        const std::vector<Bytes> got = Exchange(MakeRequest(Command::EnterConfigMode));
        ASSERT_EQ(got.size(), 1u);
        EXPECT_FALSE(HasMagic(got[0]));
        EXPECT_EQ((got[0][kConfigReportFlagsOffset] & kTwoFeatureButtonsMask) != 0, buttons == 2);
        EXPECT_TRUE(Exchange(MakeRequest(Command::LeaveConfigMode)).empty());
    }
}

TEST_F(SimControllerTest, PadReportPrecedesEveryReplyUntilRadioOff)
{
    const Report version = MakeRequest(Command::ReadFirmwareVersion);
    std::vector<Bytes> got = Exchange(version);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_FALSE(HasMagic(got[0]));
    EXPECT_EQ(got[0].size(), kReportBytes);
    EXPECT_TRUE(ReplyMatches(got[1], Command::ReadFirmwareVersion));

    // Another state is answered but leaves the radio on.
    Report otherState = BuildWriteRadioState();
    otherState[kRadioStateOffset] = 0x03;
    EXPECT_EQ(Exchange(otherState).size(), 2u);
    EXPECT_EQ(Exchange(version).size(), 2u);

    got = Exchange(BuildWriteRadioState());  // still on when this one arrives
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(ReplyMatches(got[1], Command::WriteRadioState));
    got = Exchange(version);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(ReplyMatches(got[0], Command::ReadFirmwareVersion));
}

TEST_F(SimControllerTest, MalformedAndUnknownRequestsGoUnansweredButAreLogged)
{
    RadioOff();
    controller->ClearRequests();
    Report badMagic = MakeRequest(Command::ReadFirmwareVersion);
    badMagic[kMagicOffset + 4] = 'X';
    const Report unknown = MakeRequest(static_cast<Command>(0x05));
    const Report version = MakeRequest(Command::ReadFirmwareVersion);
    const std::vector<Bytes> sent = {Bytes(version.begin(), version.end() - 1),
                                     Bytes(badMagic.begin(), badMagic.end()),
                                     Bytes(unknown.begin(), unknown.end())};
    for (const Bytes& r : sent) {
        ASSERT_TRUE(stream->Write(r.data(), r.size()));
        uint8_t buffer[kMaxReportBytes];
        EXPECT_EQ(stream->Read(buffer, sizeof buffer, 0), 0);
    }
    EXPECT_EQ(controller->Requests(), sent);
}

// Faults. The radio goes off before they are set, so reply 0 is the first one below.
class SimFaultTest : public SimControllerTest {
protected:
    void SetUp() override
    {
        SimControllerTest::SetUp();
        RadioOff();
    }
};

TEST_F(SimFaultTest, NthReplyFaultHitsOnlyThatReply)
{
    const struct {
        const char* what;
        int Faults::*field;
        std::function<void(const std::vector<Bytes>&)> check;
    } cases[] = {
        {"drop", &Faults::dropReply, [](const auto& got) { EXPECT_TRUE(got.empty()); }},
        {"corrupt", &Faults::corruptReply,
         [](const auto& got) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_FALSE(HasMagic(got[0]));
             EXPECT_EQ(got[0][kCodeOffset], uint8_t(Command::ReadFirmwareVersion));
         }},
        {"wrong code", &Faults::wrongCodeReply,
         [](const auto& got) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_TRUE(HasMagic(got[0]));
             EXPECT_NE(got[0][kCodeOffset], uint8_t(Command::ReadFirmwareVersion));
         }},
        {"truncate", &Faults::truncateReply,
         [](const auto& got) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_EQ(got[0].size(), 8u);
             EXPECT_TRUE(HasMagic(got[0]));
         }},
    };
    const Report version = MakeRequest(Command::ReadFirmwareVersion);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Faults faults;
        faults.*c.field = 1;
        controller->SetFaults(faults);
        for (int i = 0; i < 3; ++i) {
            const std::vector<Bytes> got = Exchange(version);
            if (i == 1) {
                c.check(got);
            } else {
                ASSERT_EQ(got.size(), 1u);
                EXPECT_TRUE(ReplyMatches(got[0], Command::ReadFirmwareVersion));
            }
        }
    }
}

TEST_F(SimFaultTest, GarbageGoesOutBeforeEveryReply)
{
    Faults faults;
    faults.garbageBeforeReply = 3;
    controller->SetFaults(faults);
    for (Command code : {Command::ReadFirmwareVersion, Command::QueryBegin}) {
        const std::vector<Bytes> got = Exchange(MakeRequest(code));
        ASSERT_EQ(got.size(), 4u);
        for (int i = 0; i < 3; ++i)
            EXPECT_FALSE(ReplyMatches(got[i], code)) << i;
        EXPECT_TRUE(ReplyMatches(got[3], code));
    }
}

TEST_F(SimControllerTest, FailedRadioSwitchIsNeverAnsweredAndLeavesRadioOn)
{
    Faults faults;
    faults.failRadio = true;
    controller->SetFaults(faults);
    const std::vector<Bytes> got = Exchange(BuildWriteRadioState());
    ASSERT_EQ(got.size(), 1u);  // the pad report only
    EXPECT_FALSE(HasMagic(got[0]));
    EXPECT_TRUE(controller->RadioOn());
}

TEST_F(SimFaultTest, FailedEraseIsNeverAnsweredAndErasesNothing)
{
    Program(0x1F000, Bytes(16, 0x00));
    Faults faults;
    faults.failErase = true;
    controller->SetFaults(faults);
    EXPECT_TRUE(Exchange(BuildEraseFlash(0x1F000)).empty());
    EXPECT_EQ(ReadFlash(0x1F000), Bytes(16, 0x00));
}

TEST_F(SimFaultTest, ChecksumOffByOneFlipsTheLowestBit)
{
    Program(kImageBodyAddress, Bytes{'a', 'b', 'c'});
    Faults faults;
    faults.checksumOffByOne = true;
    controller->SetFaults(faults);
    const uint8_t abcAndErased[] = {'a', 'b', 'c', 0xFF};
    EXPECT_EQ(ParseChecksum(Reply(BuildCalculateChecksum(4))),
              ControllerCrc(abcAndErased, 4) ^ 1u);
}

TEST_F(SimFaultTest, FaultIndicesCountFromSetFaults)
{
    Faults faults;
    faults.dropReply = 0;
    controller->SetFaults(faults);
    EXPECT_TRUE(Exchange(MakeRequest(Command::QueryBegin)).empty());
    controller->SetFaults(faults);  // counts start again
    EXPECT_TRUE(Exchange(MakeRequest(Command::QueryBegin)).empty());
    EXPECT_EQ(Exchange(MakeRequest(Command::QueryBegin)).size(), 1u);
}

}  // namespace
}  // namespace padwright::sim
