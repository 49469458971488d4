#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "config/remap_codec.h"
#include "support/recording_window.h"

namespace padwright {
namespace {

using test::RecordingMessages;

// Every output on its own input, bytes 0..22; the rest are zero.
constexpr RemapTable kIdentityTable = {0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
                                       0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F};

// Selection indices used below.
constexpr int kA = 0;
constexpr int kLeftTrigger = 9;
constexpr int kRightTrigger = 12;
constexpr int kLeftStick = 14;
constexpr int kRightStick = 15;

RemapTable Encode(const RemapSelections& selections, RecordingMessages& messages)
{
    RemapTable table;
    table.fill(0xEE);  // encoding must not leave anything from before
    EncodeRemap(selections, table, messages);
    return table;
}

RemapSelections Sentinel()
{
    RemapSelections s;
    s.fill(-99);
    return s;
}

TEST(RemapCodec, IdentitySelectionsEncodeToThePassThroughTable)
{
    RecordingMessages messages;
    const RemapTable table = Encode(IdentitySelections(), messages);
    EXPECT_EQ(table, kIdentityTable);
    EXPECT_TRUE(messages.Shown().empty());

    RemapSelections decoded = Sentinel();
    ASSERT_TRUE(DecodeRemap(table, decoded));
    EXPECT_EQ(decoded, IdentitySelections());
}

TEST(RemapCodec, EveryButtonItemStoresItsSourceCode)
{
    struct Row {
        const char* text;
        int digital, trigger;
    };
    const Row rows[kButtonItemCount] = {
        {"Button A", 12, 16},
        {"Button B", 13, 17},
        {"Button X", 14, 18},
        {"Button Y", 15, 19},
        {"Dpad Up", 0, 4},
        {"Dpad Down", 1, 5},
        {"Dpad Left", 2, 6},
        {"Dpad Right", 3, 7},
        {"Left Bumper", 8, 12},
        {"Left Trigger", 16, 0},
        {"Left Analog Button", 6, 10},
        {"Right Bumper", 9, 13},
        {"Right Trigger", 17, 1},
        {"Right Analog Button", 7, 11},
        {" --- ", 31, 31},
    };
    for (int item = 0; item < kButtonItemCount; ++item) {
        const Row& row = rows[item];
        SCOPED_TRACE(row.text);
        EXPECT_EQ(kButtonItemTexts[item], row.text);

        RemapSelections s = IdentitySelections();
        s[kA] = item;
        s[kLeftTrigger] = item;
        s[kRightTrigger] = item;
        RecordingMessages messages;
        const RemapTable table = Encode(s, messages);
        EXPECT_EQ(table[19], row.digital);  // A
        EXPECT_EQ(table[5], row.trigger);   // left trigger
        EXPECT_EQ(table[6], row.trigger);   // right trigger
    }
}

TEST(RemapCodec, EveryStickItemStoresItsAxisPair)
{
    struct Row {
        const char* text;
        int x, y;
    };
    const Row rows[kStickItemCount] = {
        {"Left Analog Stick", 0, 1},  {"Left Stick X inv.", 4, 1},  {"Left Stick Y inv.", 0, 5},
        {"Left Stick X & Y inv.", 4, 5}, {"Right Analog Stick", 2, 3}, {"Right Stick X inv.", 6, 3},
        {"Right Stick Y inv.", 2, 7}, {"Right Stick X & Y inv.", 6, 7},
    };
    for (int item = 0; item < kStickItemCount; ++item) {
        const Row& row = rows[item];
        SCOPED_TRACE(row.text);
        EXPECT_EQ(kStickItemTexts[item], row.text);

        RemapSelections s = IdentitySelections();
        s[kLeftStick] = kStickSelectionBase + item;
        s[kRightStick] = kStickSelectionBase + item;
        RecordingMessages messages;
        const RemapTable table = Encode(s, messages);
        EXPECT_EQ(table[1], row.x);
        EXPECT_EQ(table[2], row.y);
        EXPECT_EQ(table[3], row.x);
        EXPECT_EQ(table[4], row.y);
    }
}

TEST(RemapCodec, NothingItemEncodesAsNeverPressedAndDecodesBack)
{
    RemapSelections s = IdentitySelections();
    s[kA] = kNothingItem;
    s[kLeftTrigger] = kNothingItem;
    RecordingMessages messages;
    const RemapTable table = Encode(s, messages);
    EXPECT_EQ(table[19], 31);
    EXPECT_EQ(table[5], 31);

    RemapSelections decoded = Sentinel();
    ASSERT_TRUE(DecodeRemap(table, decoded));
    EXPECT_EQ(decoded[kA], kNothingItem);
    EXPECT_EQ(decoded[kLeftTrigger], kNothingItem);
    EXPECT_EQ(*SelectionText(kA, decoded[kA]), " --- ");
}

TEST(RemapCodec, EveryItemOnEveryOutputRoundTrips)
{
    for (int output = 0; output < kRemapSelections; ++output) {
        const bool stick = kRemapOutputs[output].code == RemapCode::Stick;
        const int first = stick ? kStickSelectionBase : 0;
        const int count = stick ? kStickItemCount : kButtonItemCount;
        for (int selection = first; selection < first + count; ++selection) {
            RemapSelections s = IdentitySelections();
            s[output] = selection;
            RecordingMessages messages;
            const RemapTable table = Encode(s, messages);
            RemapSelections decoded = Sentinel();
            ASSERT_TRUE(DecodeRemap(table, decoded)) << kRemapOutputs[output].name << " " << selection;
            EXPECT_EQ(decoded, s) << kRemapOutputs[output].name << " " << selection;
            EXPECT_TRUE(messages.Shown().empty());
        }
    }
}

TEST(RemapCodec, RandomFullCombinationsRoundTrip)
{
    std::mt19937 rng(20240611);
    for (int round = 0; round < 500; ++round) {
        RemapSelections s{};
        for (int output = 0; output < kRemapSelections; ++output)
            s[output] = kRemapOutputs[output].code == RemapCode::Stick
                            ? kStickSelectionBase + static_cast<int>(rng() % kStickItemCount)
                            : static_cast<int>(rng() % kButtonItemCount);
        RecordingMessages messages;
        const RemapTable table = Encode(s, messages);
        RemapSelections decoded = Sentinel();
        ASSERT_TRUE(DecodeRemap(table, decoded)) << "round " << round;
        ASSERT_EQ(decoded, s) << "round " << round;
        // Re-encoding the decoded selections gives the same bytes.
        ASSERT_EQ(Encode(decoded, messages), table) << "round " << round;
        ASSERT_TRUE(messages.Shown().empty());
    }
}

// Byte values each kind of byte accepts when decoding: exactly the codes some item writes.
TEST(RemapCodec, DecodeAcceptsOnlyCodesAnItemProduces)
{
    const std::set<int> digital = {0, 1, 2, 3, 6, 7, 8, 9, 12, 13, 14, 15, 16, 17, 31};
    const std::set<int> trigger = {0, 1, 4, 5, 6, 7, 10, 11, 12, 13, 16, 17, 18, 19, 31};
    struct Kind {
        int byte;
        const std::set<int>* valid;
    };
    const Kind kinds[] = {{19, &digital}, {7, &digital}, {14, &digital}, {22, &digital},
                          {5, &trigger},  {6, &trigger}};
    for (const Kind& kind : kinds) {
        for (int value = 0; value < 256; ++value) {
            RemapTable table = kIdentityTable;
            table[kind.byte] = static_cast<uint8_t>(value);
            RemapSelections s = Sentinel();
            const bool ok = DecodeRemap(table, s);
            EXPECT_EQ(ok, kind.valid->count(value) == 1) << "byte " << kind.byte << " = " << value;
            if (!ok) {
                EXPECT_EQ(s, Sentinel()) << "byte " << kind.byte << " = " << value;
            }
        }
    }
}

TEST(RemapCodec, DecodeAcceptsOnlyWholeStickPairs)
{
    for (int stickByte : {1, 3}) {
        for (int x = 0; x < 16; ++x) {
            for (int y = 0; y < 16; ++y) {
                RemapTable table = kIdentityTable;
                table[stickByte] = static_cast<uint8_t>(x);
                table[stickByte + 1] = static_cast<uint8_t>(y);
                const bool pair = std::any_of(kStickPairs.begin(), kStickPairs.end(),
                                              [&](AxisPair p) { return p.x == x && p.y == y; });
                RemapSelections s = Sentinel();
                EXPECT_EQ(DecodeRemap(table, s), pair) << "byte " << stickByte << ": " << x << "," << y;
                if (!pair) {
                    EXPECT_EQ(s, Sentinel());
                }
            }
        }
    }
}

TEST(RemapCodec, UndecodableTablesLeaveTheSelectionsAlone)
{
    struct Case {
        const char* what;
        std::vector<std::pair<int, uint8_t>> changes;
    };
    const Case cases[] = {
        {"function code 0", {{0, 0}}},
        {"function code 4", {{0, 4}}},
        {"left trigger code 2", {{5, 2}}},
        {"A digital code 4", {{19, 4}}},
        {"left stick X=0 Y=3", {{1, 0}, {2, 3}}},
        {"right stick X=1 Y=0", {{3, 1}, {4, 0}}},
    };
    for (const Case& c : cases) {
        RemapTable table = kIdentityTable;
        for (auto [byte, value] : c.changes)
            table[byte] = value;
        RemapSelections s = Sentinel();
        EXPECT_FALSE(DecodeRemap(table, s)) << c.what;
        EXPECT_EQ(s, Sentinel()) << c.what;
    }
    RemapSelections s = Sentinel();
    EXPECT_FALSE(DecodeRemap(RemapTable{}, s));
    EXPECT_EQ(s, Sentinel());
}

TEST(RemapCodec, DecodeIgnoresThePassThroughBytes)
{
    RemapTable table = kIdentityTable;
    for (const FixedRemapByte& fixed : kFixedRemapBytes)
        table[fixed.byte] = 0xFF;
    table[23] = 0xFF;
    table[31] = 0xFF;
    RemapSelections s = Sentinel();
    ASSERT_TRUE(DecodeRemap(table, s));
    EXPECT_EQ(s, IdentitySelections());
}

TEST(RemapCodec, OutOfRangeSelectionShowsItsMessageAndStoresZero)
{
    struct Case {
        int output;
        int selection;
        std::string message;
        std::vector<int> bytes;
    };
    const std::string analog = "Analog Customise Error";
    const std::string shoulder = "Shoulder Customise Error";
    const std::string digital = "Digitial Button Customise Error";
    const Case cases[] = {
        {kLeftStick, -1, analog, {1, 2}},
        {kLeftStick, 0, analog, {1, 2}},  // a button item is not a stick item
        {kLeftStick, 15, analog, {1, 2}},
        {kRightStick, 24, analog, {3, 4}},
        {kLeftTrigger, -1, shoulder, {5}},
        {kRightTrigger, 15, shoulder, {6}},
        {kRightTrigger, 16, shoulder, {6}},  // a stick item is not a button item
        {kA, 15, digital, {19}},
        {4, -1, digital, {7}},    // D-pad up
        {13, 100, digital, {14}},  // right stick click
        {11, -5, digital, {16}},   // right bumper
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(kRemapOutputs[c.output].name) + " " + std::to_string(c.selection));
        RemapSelections s = IdentitySelections();
        s[c.output] = c.selection;
        RecordingMessages messages;
        const RemapTable table = Encode(s, messages);
        EXPECT_EQ(messages.Shown(), std::vector<std::string>{c.message});
        RemapTable expected = kIdentityTable;
        for (int byte : c.bytes)
            expected[byte] = 0;
        EXPECT_EQ(table, expected);
    }
}

TEST(RemapCodec, EveryBadListGetsItsOwnMessageInTableOrder)
{
    RemapSelections s;
    s.fill(-1);
    RecordingMessages messages;
    const RemapTable table = Encode(s, messages);

    std::vector<std::string> expected(2, "Analog Customise Error");
    expected.insert(expected.end(), 2, "Shoulder Customise Error");
    expected.insert(expected.end(), 12, "Digitial Button Customise Error");
    EXPECT_EQ(messages.Shown(), expected);

    RemapTable bytes{};
    bytes[0] = 7;
    bytes[11] = 4;
    bytes[12] = 5;
    bytes[17] = 10;
    bytes[18] = 11;
    EXPECT_EQ(table, bytes);
}

TEST(RemapCodec, GameLayoutsDecodeAndEncodeBackUnchanged)
{
    struct Layout {
        const char* name;
        RemapTable bytes;
    };
    const Layout layouts[] = {
        {"CoD Remap for Halo Reach",
         {0x07, 0x00, 0x01, 0x02, 0x03, 0x0D, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
          0x05, 0x0D, 0x10, 0x06, 0x07, 0x0A, 0x0B, 0x0C, 0x08, 0x0E, 0x0F}},
        {"Halo Reach Remap for CoD",
         {0x07, 0x00, 0x01, 0x02, 0x03, 0x0B, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
          0x05, 0x08, 0x09, 0x0D, 0x10, 0x0A, 0x0B, 0x0C, 0x06, 0x0E, 0x0F}},
        {"Halo Remap for Black Ops",
         {0x07, 0x00, 0x01, 0x02, 0x03, 0x00, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04,
          0x05, 0x08, 0x09, 0x0D, 0x07, 0x0A, 0x0B, 0x0C, 0x06, 0x0E, 0x0F}},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        RemapSelections s = Sentinel();
        ASSERT_TRUE(DecodeRemap(layout.bytes, s));
        RecordingMessages messages;
        EXPECT_EQ(Encode(s, messages), layout.bytes);
        EXPECT_TRUE(messages.Shown().empty());
    }
    // Spot check: the first layout drives the left trigger output from the right bumper.
    RemapSelections s = Sentinel();
    ASSERT_TRUE(DecodeRemap(layouts[0].bytes, s));
    EXPECT_EQ(*SelectionText(kLeftTrigger, s[kLeftTrigger]), "Right Bumper");
}

TEST(RemapCodec, ItemsAreFoundIgnoringCaseAndBlanks)
{
    struct Case {
        const char* text;
        std::optional<int> button, stick;
    };
    const Case cases[] = {
        {"Button A", 0, std::nullopt},
        {"button a", 0, std::nullopt},
        {"  RIGHT ANALOG BUTTON\t", 13, std::nullopt},
        {"---", 14, std::nullopt},
        {" --- ", 14, std::nullopt},
        {"right analog stick", std::nullopt, 4},
        {"left stick x & y inv.", std::nullopt, 3},
        {"Left Stick X inv", std::nullopt, std::nullopt},
        {"Button", std::nullopt, std::nullopt},
        {"Button A B", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {"-- -", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindButtonItem(c.text), c.button) << '"' << c.text << '"';
        EXPECT_EQ(FindStickItem(c.text), c.stick) << '"' << c.text << '"';
    }
}

TEST(RemapCodec, SelectionTextAndFindSelectionFollowTheOutputsList)
{
    for (int output = 0; output < kRemapSelections; ++output) {
        const int identity = kRemapOutputs[output].identity;
        const auto text = SelectionText(output, identity);
        ASSERT_TRUE(text) << kRemapOutputs[output].name;
        EXPECT_EQ(FindSelection(output, *text), identity) << kRemapOutputs[output].name;
    }
    EXPECT_EQ(FindSelection(kLeftStick, "right stick y inv."), kStickSelectionBase + 6);
    EXPECT_EQ(FindSelection(kLeftStick, "Button A"), std::nullopt);
    EXPECT_EQ(FindSelection(kA, "Left Analog Stick"), std::nullopt);
    EXPECT_EQ(FindSelection(kRemapSelections, "Button A"), std::nullopt);
    EXPECT_EQ(SelectionText(kLeftStick, 3), std::nullopt);
    EXPECT_EQ(SelectionText(kA, kStickSelectionBase), std::nullopt);
    EXPECT_EQ(SelectionText(-1, 0), std::nullopt);
}

}  // namespace
}  // namespace padwright
