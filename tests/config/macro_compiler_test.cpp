#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "config/macro_compiler.h"
#include "support/recording_window.h"

namespace padwright {
namespace {

using Image = std::array<uint8_t, kMacroImageBytes>;
using Bytes = std::vector<uint8_t>;

struct Compiled {
    bool ok = false;
    std::vector<std::string> shown;
    Image image{};
};

Compiled Compile(std::string_view text, bool shift = false)
{
    Compiled c;
    c.image.fill(0xEE);  // the compiler must clear what it does not write
    test::RecordingMessages messages;
    c.ok = CompileMacros(text, shift, c.image.data(), messages);
    c.shown = messages.Shown();
    return c;
}

// An empty image of the given mode with some runs of bytes written into it.
Image ExpectedImage(bool shift, std::initializer_list<std::pair<size_t, Bytes>> runs)
{
    Image image{};
    image[0] = 4;
    image[1] = shift ? 1 : 0;
    for (const auto& [offset, bytes] : runs)
        for (size_t i = 0; i < bytes.size(); ++i)
            image[offset + i] = bytes[i];
    return image;
}

uint16_t Le16(const Image& image, size_t offset)
{
    return static_cast<uint16_t>(image[offset] | image[offset + 1] << 8);
}

uint32_t Le32(const Image& image, size_t offset)
{
    return static_cast<uint32_t>(image[offset] | image[offset + 1] << 8 | image[offset + 2] << 16) |
           static_cast<uint32_t>(image[offset + 3]) << 24;
}

uint16_t HeaderOffset(const Image& image, size_t k)
{
    return Le16(image, kMacroHeaderOffset + 2 * k);
}

// Prints the first differing byte rather than two 2028-byte arrays.
void ExpectImage(const Image& got, const Image& want, const std::string& what)
{
    for (size_t i = 0; i < kMacroImageBytes; ++i) {
        if (got[i] != want[i]) {
            ADD_FAILURE() << what << ": byte " << i << " is " << int(got[i]) << ", expected " << int(want[i]);
            return;
        }
    }
}

std::string Repeat(const std::string& line, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += line;
    return text;
}

const std::string kFireTwice =
    "// fire twice\nbutton rb\n{\ntime=2\nrb\nnothing\nloop_start\nrb\nnothing\nloop_end\n}";

TEST(CompileMacros, WorkedExamplesByteForByte)
{
    struct Case {
        std::string text;
        bool shift;
        Image expected;
    };
    const Case cases[] = {
        {kFireTwice, true,
         ExpectedImage(true, {{12, {0x16, 0x00}},
                              {22, {0x04, 0x08, 0x40, 0x80, 0x00, 0x02,
                                    0x02, 0x00, 0x02, 0x02, 0x00, 0x00, 0x02, 0x00, 0x02, 0x02, 0x00, 0x00}}})},
        {"button a\n{\ntime=10, a, lx=-8, ly=7\nnothing\n}", false,
         ExpectedImage(false, {{2, {0x16, 0x00}},
                               {22, {0x02, 0x00, 0x00, 0x00, 0x00, 0x18,
                                     0x0A, 0x00, 0x10, 0x78, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00}}})},
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(c.text, c.shift);
        EXPECT_TRUE(got.ok) << c.text;
        EXPECT_TRUE(got.shown.empty()) << c.text;
        ExpectImage(got.image, c.expected, c.text);
    }
}

TEST(CompileMacros, CaseLineEndsAndCommentsDoNotChangeTheImage)
{
    const Compiled plain = Compile("button a\n{\ntime=5 a\nb\n}\nbutton x\n{\nx\n}", true);
    const char* const variants[] = {
        "BUTTON A\n{\nTime=5 A\nB\n}\nButton X\n{\nX\n}",
        "button a\r\n{\r\n\r\ntime=5 a\r\nb\r\n}\r\nbutton x\r\n{\r\nx\r\n}\r\n",
        "\n\nbutton a // the one that fires\n{\n  time=5 a  // five frames\n\tb\n}\n// next\nbutton x\n{\nx//y\n}\n\n",
        "button\ta\n{\n\v time=5 a \f\nb\n}\nbutton\tx\n{\nx\n}",
    };
    ASSERT_TRUE(plain.ok);
    for (const char* text : variants) {
        const Compiled got = Compile(text, true);
        EXPECT_TRUE(got.ok) << text;
        ExpectImage(got.image, plain.image, text);
    }
}

// One step line in a block of its own: the step's bytes (3 or 6) and the mask.
TEST(CompileMacros, StepTokens)
{
    struct Case {
        const char* line;
        Bytes step;
        uint16_t mask;
    };
    const Case cases[] = {
        {"a b x y", {20, 0x00, 0xF0}, 0xF000},
        {"dup,ddown,,dleft\tdright", {20, 0x0F, 0x00}, 0x000F},
        {"start back l3 r3", {20, 0xF0, 0x00}, 0x00F0},
        {"lb rb xenon", {20, 0x00, 0x07}, 0x0700},
        {"a a a", {20, 0x00, 0x10}, 0x1000},
        {"a time=5", {5, 0x00, 0x10}, 0x1000},  // time= counts for its own line wherever it stands
        {"time=0x10 a", {16, 0x00, 0x10}, 0x1000},
        {"time=255 nothing", {255, 0x00, 0x00}, 0x0000},
        {"time=010 b", {8, 0x00, 0x20}, 0x2000},
        {"time=+7xyz b", {7, 0x00, 0x20}, 0x2000},  // reading stops at the first non-digit
        {"lx=-8", {20, 0, 0, 0x08, 0, 0}, 0x0800},
        {"lx=0x7", {20, 0, 0, 0x07, 0, 0}, 0x0800},
        {"lx=0X7", {20, 0, 0, 0x07, 0, 0}, 0x0800},
        {"lx=", {20, 0, 0, 0x00, 0, 0}, 0x0800},  // no digits read as 0, still a stick step
        {"lx=08", {20, 0, 0, 0x00, 0, 0}, 0x0800},  // octal stops at the 8
        {"lx=0x", {20, 0, 0, 0x00, 0, 0}, 0x0800},
        {"lx=1 lx=-1", {20, 0, 0, 0x0F, 0, 0}, 0x0800},  // the later value replaces the nibble
        {"ly=-1 rx=3 ry=-0x8", {20, 0, 0, 0xF0, 0x83, 0}, 0x0800},
        {"lt=017 rt=0xf", {20, 0, 0, 0, 0, 0xFF}, 0x0800},
        {"rt=1 y", {20, 0x00, 0x80, 0, 0, 0x10}, 0x8800},
        {"mask_all a", {20, 0x00, 0x10, 0, 0, 0}, 0xFFFF},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("button a\n{\n") + c.line + "\n}";
        const Compiled got = Compile(text);
        ASSERT_TRUE(got.ok) << c.line;
        const Image want = ExpectedImage(false, {{2, {22, 0}},
                                                 {22, {1, 0, 0, 0, uint8_t(c.mask), uint8_t(c.mask >> 8)}},
                                                 {28, c.step}});
        ExpectImage(got.image, want, c.line);
    }
}

TEST(CompileMacros, BlocksWithoutStepsAreSixBytes)
{
    struct Case {
        const char* body;
        uint16_t mask;
    };
    // A line of only time=, loop markers or mask_all adds no step.
    const Case cases[] = {{"time=30", 0}, {"", 0}, {"// nothing here", 0}, {"mask_all", 0xFFFF}};
    for (const Case& c : cases) {
        // b follows at once, and the time= of a's block does not carry over into it.
        const std::string text = std::string("button a\n{\n") + c.body + "\n}\nbutton b\n{\nb\n}";
        const Compiled got = Compile(text);
        ASSERT_TRUE(got.ok) << c.body;
        const Image want = ExpectedImage(false, {{2, {22, 0, 28, 0}},
                                                 {22, {0, 0, 0, 0, uint8_t(c.mask), uint8_t(c.mask >> 8)}},
                                                 {28, {1, 0, 0, 0, 0x00, 0x20, 20, 0x00, 0x20}}});
        ExpectImage(got.image, want, c.body);
    }
}

TEST(CompileMacros, MaskAllMakesEveryStepSixBytes)
{
    const Compiled got = Compile("button x\n{\nx\nmask_all\ntime=3 y\n}");
    ASSERT_TRUE(got.ok);
    const Image want = ExpectedImage(false, {{6, {22, 0}},
                                             {22, {2, 0, 0, 0, 0xFF, 0xFF}},
                                             {28, {20, 0x00, 0x40, 0, 0, 0, 3, 0x00, 0x80, 0, 0, 0}}});
    ExpectImage(got.image, want, "mask_all");
}

TEST(CompileMacros, LoopMarkersCountTheStepsBeforeTheirLine)
{
    struct Case {
        const char* body;
        uint32_t control;
    };
    constexpr uint32_t kLoop = 0x80000000u;
    const Case cases[] = {
        {"a\nb\nx", 3},
        {"a loop_start\nb\nx loop_end", kLoop | 3 | 0 << 10 | 2 << 20},
        {"a\nloop_start\nb", kLoop | 2 | 1 << 10 | 2 << 20},  // no end: the step count
        {"a\nloop_end\nb", kLoop | 2 | 0 << 10 | 1 << 20},    // no start: 0
        {"loop_end\na", kLoop | 1},
        {"a\nb\nloop_end loop_start", kLoop | 2 | 2 << 10 | 2 << 20},
        {"a\nloop_start\nloop_start\nb\nloop_start", kLoop | 2 | 2 << 10 | 2 << 20},  // the last one counts
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(std::string("button a\n{\n") + c.body + "\n}");
        ASSERT_TRUE(got.ok) << c.body;
        EXPECT_EQ(Le32(got.image, 22), c.control) << c.body;
    }
}

TEST(CompileMacros, HeaderNamesInOrderWithStartBeforeSelect)
{
    const char* const names[] = {"a", "b", "x", "y", "lb", "rb", "start", "select", "l3", "r3"};
    for (size_t k = 0; k < 10; ++k) {
        const Compiled got = Compile(std::string("button ") + names[k] + "\n{\n}");
        ASSERT_TRUE(got.ok) << names[k];
        for (size_t j = 0; j < 10; ++j)
            EXPECT_EQ(HeaderOffset(got.image, j), j == k ? 22 : 0) << names[k] << " header " << j;
    }
    // Two blocks, not one defined twice.
    const Compiled both = Compile("button start\n{\nstart\n}\nbutton select\n{\nback\n}");
    ASSERT_TRUE(both.ok);
    const Image want = ExpectedImage(false, {{14, {22, 0, 31, 0}},
                                             {22, {1, 0, 0, 0, 0x10, 0x00, 20, 0x10, 0x00}},
                                             {31, {1, 0, 0, 0, 0x20, 0x00, 20, 0x20, 0x00}}});
    ExpectImage(both.image, want, "start and select");
}

TEST(CompileMacros, TextEndingBeforeTheBraceClosesStillSucceeds)
{
    struct Case {
        const char* text;
        uint16_t xOffset;
    };
    const Case cases[] = {
        {"button a\n{\na\n}\nbutton x\n{\nx\ny", 31},
        {"button a\n{\na\n}\nbutton x\n{", 31},
        {"button a\n{\na\n}\nbutton x", 31},
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(c.text);
        EXPECT_TRUE(got.ok) << c.text;
        EXPECT_TRUE(got.shown.empty()) << c.text;
        // The open block is announced in the header but its bytes stay zero.
        const Image want = ExpectedImage(false, {{2, {22, 0}},
                                                 {6, {uint8_t(c.xOffset), 0}},
                                                 {22, {1, 0, 0, 0, 0x00, 0x10, 20, 0x00, 0x10}}});
        ExpectImage(got.image, want, c.text);
    }
    EXPECT_TRUE(Compile("").ok);
    EXPECT_TRUE(Compile("\n\r\n \n// only comments").ok);
}

TEST(CompileMacros, ErrorMessages)
{
    struct Case {
        std::string text;
        std::string message;
    };
    const std::string open = "button a\n{\n";
    const Case cases[] = {
        {"hello", "ERROR on line 1 : syntax error \"hello\""},
        {"Hello   World // greeting", "ERROR on line 1 : syntax error \"hello   world\""},
        {"button", "ERROR on line 1 : syntax error \"button\""},
        {"buttona", "ERROR on line 1 : syntax error \"buttona\""},
        {"{\n}", "ERROR on line 1 : syntax error \"{\""},
        {"button a\nnothing", "ERROR on line 2 : syntax error \"nothing\""},
        {"button a\n{ {", "ERROR on line 2 : syntax error \"{ {\""},
        {"button a\nbutton b", "ERROR on line 2 : syntax error \"button b\""},
        {"button a\n{\n}\n}", "ERROR on line 4 : syntax error \"}\""},
        {"button a {\n{\n}", "ERROR on line 1 : unknown button assignment \"a {\""},
        {"button  a", "ERROR on line 1 : unknown button assignment \" a\""},
        {"button back", "ERROR on line 1 : unknown button assignment \"back\""},
        {"button\tdup", "ERROR on line 1 : unknown button assignment \"dup\""},
        {"Button A\n{\n}\nbutton b\n{\n}\nBUTTON a", "ERROR on line 7 : Button definition for \"a\" already exists"},
        {open + "lx=8", "ERROR on line 3 : lx must lie in the range -8 to +7!"},
        {open + "lx=-9", "ERROR on line 3 : lx must lie in the range -8 to +7!"},
        {open + "ly=0x8", "ERROR on line 3 : ly must lie in the range -8 to +7!"},
        {open + "rx=99999999999999999999999999", "ERROR on line 3 : rx must lie in the range -8 to +7!"},
        {open + "ry=-99999999999999999999999999", "ERROR on line 3 : ry must lie in the range -8 to +7!"},
        {open + "lt=-1", "ERROR on line 3 : lt must lie in the range 0 to +15!"},
        {open + "rt=16", "ERROR on line 3 : rt must lie in the range 0 to +15!"},
        {open + "time=0", "ERROR on line 3 : Cannot set a time of zero frames!"},
        {open + "time=", "ERROR on line 3 : Cannot set a time of zero frames!"},
        {open + "time=-0", "ERROR on line 3 : Cannot set a time of zero frames!"},
        {open + "time=x5", "ERROR on line 3 : Cannot set a time of zero frames!"},
        {open + "time=256", "ERROR on line 3 : Cannot set a time of greater than 255 frames!"},
        {open + "time=0x100", "ERROR on line 3 : Cannot set a time of greater than 255 frames!"},
        {open + "time=99999999999999999999999999", "ERROR on line 3 : Cannot set a time of greater than 255 frames!"},
        // time= is read as unsigned, so a minus sign wraps to a huge value.
        {open + "time=-1", "ERROR on line 3 : Cannot set a time of greater than 255 frames!"},
        {open + "a fire", "ERROR on line 3 : Unknown macro token \"fire\"!"},
        {open + "A FIRE", "ERROR on line 3 : Unknown macro token \"fire\"!"},
        {open + "a,lx,b", "ERROR on line 3 : Unknown macro token \"lx\"!"},
        {open + "a=1", "ERROR on line 3 : Unknown macro token \"a=1\"!"},
        {open + "select", "ERROR on line 3 : Unknown macro token \"select\"!"},
        {open + "time =5", "ERROR on line 3 : Unknown macro token \"time\"!"},
        {open + "{", "ERROR on line 3 : Unknown macro token \"{\"!"},
        {open + "button b", "ERROR on line 3 : Unknown macro token \"button\"!"},
        // The first fault on a line wins, and nothing after it is read.
        {open + "lx=9 fire time=0", "ERROR on line 3 : lx must lie in the range -8 to +7!"},
        // Lowering is ASCII only: other bytes reach the message as they came.
        {open + "\xC3\x84Q", "ERROR on line 3 : Unknown macro token \"\xC3\x84q\"!"},
        {"BUTTON \xC3\x84", "ERROR on line 1 : unknown button assignment \"\xC3\x84\""},
        // A NUL is an ordinary byte of the line, not its end.
        {open + std::string("a\0b c", 5), "ERROR on line 3 : Unknown macro token \"" + std::string("a\0b", 3) + "\"!"},
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(c.text);
        EXPECT_FALSE(got.ok) << c.text;
        EXPECT_EQ(got.shown, std::vector<std::string>{c.message}) << c.text;
    }
}

TEST(CompileMacros, LineNumbersCountOnlyTheLinesProduced)
{
    struct Case {
        std::string text;
        int line;
    };
    const Case cases[] = {
        {"button a\n{\nfire", 3},
        {"button a\n{\n\n\nfire", 3},          // empty lines are not lines
        {"\n\n\nbutton a\n{\nfire", 3},
        {"button a\n{\n   \n\t\nfire", 5},     // blank-only lines are
        {"// one\nbutton a // two\n{\n// four\nfire", 5},
        {"button a\r\n\r\n{\r\nfire", 3},
        {"button a\n\r\n{\nfire", 3},          // a lone CR is removed before the split
        {"button a\n\r \n{\nfire", 4},
        // Two macro files joined with a line feed, as the feature button page does.
        {kFireTwice + "\n" + "// second file\nbutton a\n\n{\nfire\n}\n", 15},
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(c.text);
        EXPECT_EQ(got.shown,
                  std::vector<std::string>{"ERROR on line " + std::to_string(c.line) + " : Unknown macro token \"fire\"!"})
            << c.text;
    }
}

TEST(CompileMacros, DuplicateDefinitionIsReportedOnTheSecondHeader)
{
    // The second block is not started: the header keeps the first one's offset.
    const Compiled got = Compile("button lb\n{\nlb\n}\nbutton rb\n{\n}\n\nbutton lb\n{\nlb\n}");
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.shown, std::vector<std::string>{"ERROR on line 8 : Button definition for \"lb\" already exists"});
    EXPECT_EQ(HeaderOffset(got.image, 4), 22);
    EXPECT_EQ(HeaderOffset(got.image, 5), 31);
}

TEST(CompileMacros, AFailureKeepsWhatWasWrittenAndStops)
{
    // b's header is already set when its bad line is met; x is never reached.
    const Compiled got = Compile("button a\n{\na\n}\nbutton b\n{\nb\nlt=16\n}\nbutton x\n{\nfire\n}", true);
    EXPECT_FALSE(got.ok);
    EXPECT_EQ(got.shown, std::vector<std::string>{"ERROR on line 8 : lt must lie in the range 0 to +15!"});
    const Image want = ExpectedImage(true, {{2, {22, 0, 31, 0}}, {22, {1, 0, 0, 0, 0x00, 0x10, 20, 0x00, 0x10}}});
    ExpectImage(got.image, want, "after the error");
}

TEST(CompileMacros, StepLimitsAndOutOfMemory)
{
    const std::string warning = "WARNING : Out of memory in the macro storage buffer!";
    struct Case {
        std::string text;
        bool ok;
        uint32_t count;  // of the first block, when it fits
    };
    // 2028 - 22 = 2006 bytes for the blocks: 6 + 3 * 666 = 2004, 6 + 6 * 333 = 2004.
    // The 1024-step cap is never observable: even 3-byte steps need 6 + 3 * 1024 bytes,
    // so a block reaching it is out of memory anyway.
    const Case cases[] = {
        {"button a\n{\n" + Repeat("a\n", 666) + "}", true, 666},
        {"button a\n{\n" + Repeat("a\n", 667) + "}", false, 0},
        {"button a\n{\n" + Repeat("lx=1\n", 333) + "}", true, 333},
        {"button a\n{\n" + Repeat("lx=1\n", 334) + "}", false, 0},
        {"button a\n{\nmask_all\n" + Repeat("a\n", 333) + "}", true, 333},
        {"button a\n{\n" + Repeat("a\n", 300) + "lt=0\n" + Repeat("a\n", 33) + "}", false, 0},
        {"button a\n{\n" + Repeat("a\n", 5000) + "}", false, 0},
        {"button a\n{\n" + Repeat("a\n", 5000) + "loop_end\n", true, 0},  // never closed
        // The room left counts from the block's own offset: a ends at 2020, leaving 8 bytes.
        {"button a\n{\n" + Repeat("a\n", 664) + "}\nbutton b\n{\n}", true, 664},
        {"button a\n{\n" + Repeat("a\n", 664) + "}\nbutton b\n{\nb\n}", false, 664},
        {"button a\n{\n" + Repeat("a\n", 664) + "}\nbutton b\n{\n}\nbutton x\n{\n}", false, 664},
    };
    for (const Case& c : cases) {
        const Compiled got = Compile(c.text);
        EXPECT_EQ(got.ok, c.ok) << c.text.size();
        EXPECT_EQ(got.shown, c.ok ? std::vector<std::string>{} : std::vector<std::string>{warning}) << c.text.size();
        EXPECT_EQ(Le32(got.image, 22), c.count) << c.text.size();
    }
}

TEST(CompileMacros, FullestImageEndsTwoBytesShort)
{
    // Every block is a multiple of 3 bytes and 2006 is not, so 2026 is as far as blocks go.
    const Compiled got = Compile("button a\n{\n" + Repeat("a\n", 664) + "}\nbutton b\n{\ntime=9 mask_all\n}", true);
    ASSERT_TRUE(got.ok);
    Bytes steps;
    for (int i = 0; i < 664; ++i)
        steps.insert(steps.end(), {20, 0x00, 0x10});
    const Image want = ExpectedImage(true, {{2, {22, 0, 0xE4, 0x07}},
                                            {22, {0x98, 0x02, 0, 0, 0x00, 0x10}},
                                            {28, steps},
                                            {2020, {0, 0, 0, 0, 0xFF, 0xFF}}});
    ExpectImage(got.image, want, "full image");
}

}  // namespace
}  // namespace padwright
