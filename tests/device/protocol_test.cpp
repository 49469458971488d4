#include <gtest/gtest.h>

#include <cstring>

#include "device/crc.h"
#include "device/protocol.h"

namespace padwright {
namespace {

TEST(EraseSectors, CoversEverySectorTheRangeTouches)
{
    struct Case {
        uint32_t start, length;
        std::vector<uint32_t> sectors;
    };
    std::vector<uint32_t> image;
    for (uint32_t a = 0x10000; a <= 0x1F000; a += 0x1000)
        image.push_back(a);
    const Case cases[] = {
        {0x10000, 0x10000, image},
        {0x1FF00, 0x200, {0x1F000, 0x20000}},
        {0x1F800, 0x100, {0x1F000}},
        {0x1F000, 0x1000, {0x1F000}},
        {0x1F000, 0, {}},
        {0xFFFFF800, 0x1000, {0xFFFFF000}},  // must not wrap into an endless list
    };
    for (const Case& c : cases)
        EXPECT_EQ(EraseSectors(c.start, c.length), c.sectors) << std::hex << c.start << "+" << c.length;

    const auto requests = EraseFlashRequests(0x1FF00, 0x200);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(GetLe32(&requests[1][kAddressOffset]), 0x20000u);
    EXPECT_EQ(requests[1][kCodeOffset], 0x10);
}

TEST(ReadMemoryRequests, OneReportPerSixteenBytes)
{
    EXPECT_EQ(ReadMemoryRequests(0x1E000, 256).size(), 16u);
    EXPECT_EQ(ReadMemoryRequests(0x1F000, 4096).size(), 256u);
    EXPECT_EQ(ReadMemoryRequests(0x10000, 17).size(), 2u);
    const auto requests = ReadMemoryRequests(0x1F000, 4096);
    for (size_t i = 0; i < requests.size(); ++i) {
        ASSERT_EQ(GetLe32(&requests[i][kAddressOffset]), 0x1F000 + 16 * i);
        ASSERT_EQ(requests[i][7], 0);  // no length field: bytes 7-8 stay zero
        ASSERT_EQ(requests[i][8], 0);
    }
}

TEST(ProgramFlashRequests, ShortLastChunkKeepsTheFillPattern)
{
    const uint8_t data[21] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
    const auto one = ProgramFlashRequests(0x10010, data, 5);
    ASSERT_EQ(one.size(), 1u);
    const Report& r = one[0];
    EXPECT_EQ(r[kCodeOffset], 0x0F);
    EXPECT_EQ(GetLe32(&r[kAddressOffset]), 0x10010u);
    for (int i = 17; i <= 21; ++i)
        EXPECT_EQ(r[i], data[i - 17]) << i;
    for (int i = 22; i <= 24; ++i)
        EXPECT_EQ(r[i], 0xFF) << i;
    for (int i = 25; i <= 32; ++i)
        EXPECT_EQ(r[i], 0x00) << i;

    const auto two = ProgramFlashRequests(0x10010, data, 21);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(0, std::memcmp(&two[0][17], data, 16));
    EXPECT_EQ(GetLe32(&two[1][kAddressOffset]), 0x10020u);
    EXPECT_EQ(0, std::memcmp(&two[1][17], data + 16, 5));
    EXPECT_EQ(two[1][22], 0xFF);
    EXPECT_EQ(two[1][25], 0x00);

    EXPECT_EQ(FlashReportCount(49136), 3071u);
}

TEST(Requests, CarryTheirFixedFields)
{
    const Report radio = BuildWriteRadioState();
    EXPECT_EQ(0, std::memcmp(&radio[1], "QUELM", 5));
    EXPECT_EQ(radio[0], 0);
    EXPECT_EQ(radio[6], 0x16);
    EXPECT_EQ(radio[7], 0x07);

    const Report select = BuildQuerySelect(kQuerySelectorB, kQueryLengthByte);
    EXPECT_EQ(select[7], 0x05);
    EXPECT_EQ(GetLe32(&select[8]), 0x04006B09u);
    EXPECT_EQ(select[12], 0x17);
    for (int i = 13; i <= 32; ++i)
        EXPECT_EQ(select[i], 0xFF) << i;

    const Report read = BuildQueryRead(25);
    EXPECT_EQ(GetLe32(&read[7]), 25u);

    const Report sum = BuildCalculateChecksum(49136);
    EXPECT_EQ(sum[9], 0x10);
    EXPECT_EQ(sum[10], 0x00);
    EXPECT_EQ(sum[11], 0x03);
    EXPECT_EQ(sum[12], 0x00);
    EXPECT_EQ(GetLe32(&sum[13]), 49136u);
}

TEST(BuildBatch, ZeroFillsLongerReports)
{
    const std::vector<Report> requests = {BuildWriteRadioState(), BuildEraseFlash(0x1F000)};
    const auto batch = BuildBatch(requests, 65);
    ASSERT_EQ(batch.size(), 130u);
    EXPECT_EQ(0, std::memcmp(&batch[65], requests[1].data(), kReportBytes));
    for (size_t i = 33; i < 65; ++i)
        EXPECT_EQ(batch[i], 0) << i;
}

TEST(Replies, MatchOnlyWithMagicCodeAndFullLength)
{
    Report reply = MakeRequest(Command::ReadFirmwareVersion);
    reply[kVersionMajorOffset] = 0x02;
    reply[kVersionMinorOffset] = 0x15;
    EXPECT_TRUE(ReplyMatches(reply, Command::ReadFirmwareVersion));
    EXPECT_EQ(ParseFirmwareVersion(reply), 0x0215);

    EXPECT_FALSE(ReplyMatches(reply, Command::ResetDevice));
    EXPECT_FALSE(ReplyMatches(std::span<const uint8_t>(reply.data(), 32), Command::ReadFirmwareVersion));
    Report badMagic = reply;
    badMagic[5] = 'N';
    EXPECT_FALSE(ReplyMatches(badMagic, Command::ReadFirmwareVersion));

    Report sum = MakeRequest(Command::CalculateChecksum);
    PutLe32(&sum[kChecksumOffset], 0xCA6598D0);
    EXPECT_EQ(ParseChecksum(sum), 0xCA6598D0u);
}

TEST(QueryReadStatus, NeedsBitZeroInBothReplies)
{
    const auto status = [](uint8_t a, uint8_t b) {
        std::vector<Report> replies(2);
        replies[0][kStatusOffset] = a;
        replies[1][kStatusOffset] = b;
        return QueryReadStatus(replies);
    };
    EXPECT_EQ(status(0x03, 0x01), 1);
    EXPECT_EQ(status(0x01, 0x02), 0);
    EXPECT_EQ(status(0x00, 0x01), 0);
    EXPECT_EQ(status(0xFF, 0xFF), 1);
}

TEST(ControllerCrc, StartsAtZeroAndIsNotInverted)
{
    EXPECT_EQ(ControllerCrc(reinterpret_cast<const uint8_t*>("abc"), 3), 0xCA6598D0u);
    const std::vector<uint8_t> zeros(49136, 0);
    EXPECT_EQ(ControllerCrc(zeros.data(), zeros.size()), 0u);
    EXPECT_EQ(ControllerCrc(zeros.data(), 1), 0u);
    // Chaining over pieces gives the same value as one pass.
    const uint8_t text[] = "the controller's body";
    EXPECT_EQ(ControllerCrc(text + 5, sizeof text - 5, ControllerCrc(text, 5)),
              ControllerCrc(text, sizeof text));
}

}  // namespace
}  // namespace padwright
