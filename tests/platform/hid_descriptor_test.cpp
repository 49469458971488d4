#include <gtest/gtest.h>

#include <vector>

#include "platform/hid_descriptor.h"

namespace padwright {
namespace {

HidReportLengths Lengths(const std::vector<uint8_t>& d)
{
    return ReportLengthsFromDescriptor(d.data(), d.size());
}

TEST(ReportLengths, CountTheReportIdByteWhetherPresentOrNot)
{
    // Vendor page, 32-byte input and output, no report ids: the controller's shape.
    const std::vector<uint8_t> plain = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00,
                                        0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x20, 0x09, 0x01,
                                        0x81, 0x02, 0x95, 0x20, 0x09, 0x01, 0x91, 0x02, 0xC0};
    const HidReportLengths a = Lengths(plain);
    EXPECT_EQ(a.input, 33u);
    EXPECT_EQ(a.output, 33u);
    EXPECT_FALSE(a.numbered);

    // Two numbered input reports of 4 and 7 bytes, one 2-byte output report built
    // from bit fields: the longest report of each direction counts.
    const std::vector<uint8_t> numbered = {
        0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x81, 0x02,  // id 1: 4 bytes in
        0x85, 0x02, 0x95, 0x07, 0x81, 0x02,              // id 2: 7 bytes in
        0x75, 0x01, 0x95, 0x0C, 0x91, 0x02,              // id 2: 12 bits out
        0x95, 0x04, 0x91, 0x03,                          //       4 bits padding
    };
    const HidReportLengths b = Lengths(numbered);
    EXPECT_EQ(b.input, 8u);
    EXPECT_EQ(b.output, 3u);
    EXPECT_TRUE(b.numbered);
}

TEST(ReportLengths, PushPopAndLongItemsAreFollowed)
{
    const std::vector<uint8_t> d = {
        0x75, 0x08, 0x95, 0x10,  // 16 bytes
        0xA4,                    // push
        0x95, 0x02, 0x91, 0x02,  // 2 bytes out
        0xB4,                    // pop: 16 again
        0xFE, 0x02, 0x10, 0xAA, 0xBB,  // long item, skipped whole
        0x81, 0x02,              // 16 bytes in
    };
    const HidReportLengths l = Lengths(d);
    EXPECT_EQ(l.input, 17u);
    EXPECT_EQ(l.output, 3u);
}

TEST(ReportLengths, MalformedInputStopsWithoutReadingPastTheEnd)
{
    const std::vector<std::vector<uint8_t>> cases = {
        {},
        {0x75},                    // item cut short
        {0x27, 0xFF, 0xFF},        // 4-byte item with 2 bytes
        {0xFE},                    // long item without its size
        {0xFE, 0xFF, 0x00},        // long item running far past the end
        {0xB4, 0xB4, 0x81, 0x02},  // pops with nothing pushed
    };
    for (const auto& d : cases) {
        const HidReportLengths l = Lengths(d);
        EXPECT_EQ(l.input, 0u);
        EXPECT_EQ(l.output, 0u);
    }
    // Huge sizes and counts are capped instead of overflowing.
    const std::vector<uint8_t> huge = {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0x81, 0x02, 0x81, 0x02};
    EXPECT_GT(Lengths(huge).input, 1u);
}

}  // namespace
}  // namespace padwright
