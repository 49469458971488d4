// Sim state files, --sim-fault words, starting states, and the committed test
// firmware images as the sim sees them.

#include "sim/sim_state_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "device/crc.h"
#include "device/protocol.h"

namespace padwright::sim {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        std::string tmpl = (fs::temp_directory_path() / "pw-state-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }

private:
    fs::path path_;
};

bool SameState(const ControllerState& a, const ControllerState& b)
{
    return a.flash == b.flash && a.version == b.version && a.variant == b.variant &&
           a.featureButtons == b.featureButtons && a.radioOn == b.radioOn;
}

ControllerState Distinctive()
{
    ControllerState s = MakeStartingState(2, 0xA1B2, 2, true);
    s.radioOn = false;
    for (size_t i = 0; i < s.flash.size(); i += 97)
        s.flash[i] = static_cast<uint8_t>(i * 31);
    s.flash[kFlashBytes - 1] = '\n';  // raw bytes that look like header syntax
    s.flash[0] = '\n';
    return s;
}

std::string Header(const std::string& lines)
{
    return "padwright-sim-state 1\n" + lines + "\n";
}

std::string Flash(size_t bytes = kFlashBytes) { return std::string(bytes, '\xFF'); }

const std::string kGoodLines = "version=0x0214\nvariant=1\nbuttons=1\nradio=on\n";

TEST(SimStateFile, RoundTripThroughAFile)
{
    TempDir dir;
    const std::string path = (dir.Path() / "state").string();
    const ControllerState saved = Distinctive();
    std::string error;
    ASSERT_TRUE(SaveControllerState(path, saved, &error)) << error;
    ControllerState loaded;
    ASSERT_TRUE(LoadControllerState(path, loaded, &error)) << error;
    EXPECT_TRUE(SameState(saved, loaded));

    // Saving again replaces the file whole and leaves no temp file behind.
    ControllerState second = MakeStartingState(1, 0x0001, 1, false);
    ASSERT_TRUE(SaveControllerState(path, second, &error)) << error;
    ASSERT_TRUE(LoadControllerState(path, loaded, &error)) << error;
    EXPECT_TRUE(SameState(second, loaded));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SimStateFile, HeaderIsReadableText)
{
    const std::string text = SerializeControllerState(Distinctive());
    EXPECT_EQ(text.substr(0, text.find("\n\n") + 2),
              "padwright-sim-state 1\nversion=0xA1B2\nvariant=2\nbuttons=2\nradio=off\n\n");
    EXPECT_EQ(text.size(), text.find("\n\n") + 2 + kFlashBytes);
}

TEST(SimStateFile, AcceptsKeysInAnyOrderAndDecimalVersion)
{
    ControllerState out;
    std::string error;
    ASSERT_TRUE(ParseControllerState(
        Header("radio=off\nbuttons=2\nversion=65535\nvariant=2\n") + Flash(), out, &error))
        << error;
    EXPECT_EQ(out.version, 0xFFFF);
    EXPECT_EQ(out.variant, 2);
    EXPECT_EQ(out.featureButtons, 2);
    EXPECT_FALSE(out.radioOn);
}

TEST(SimStateFile, RejectsCorruptInputAndLeavesStateAlone)
{
    struct Case {
        const char* name;
        std::string text;
        const char* messagePart;
    };
    const Case cases[] = {
        {"empty", "", "not a padwright sim state"},
        {"wrong magic", "padwright-sim-state 2\n" + kGoodLines + "\n" + Flash(), "first line"},
        {"magic only", "padwright-sim-state 1\n", "no blank line"},
        {"no blank line", Header(kGoodLines).substr(0, 60) + Flash(), "no blank line"},
        {"header too long", Header(kGoodLines + std::string(2000, 'x')) + Flash(), "no blank line"},
        {"missing version", Header("variant=1\nbuttons=1\nradio=on\n") + Flash(), "missing key version"},
        {"missing radio", Header("version=1\nvariant=1\nbuttons=1\n") + Flash(), "missing key radio"},
        {"duplicate key", Header(kGoodLines + "variant=2\n") + Flash(), "variant given twice"},
        {"unknown key", Header(kGoodLines + "colour=red\n") + Flash(), "unknown key 'colour'"},
        {"no equals sign", Header(kGoodLines + "version\n") + Flash(), "expected key=value"},
        {"version not a number", Header("version=v2\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "version: not a number"},
        {"version bare 0x", Header("version=0x\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "not a number"},
        {"version negative", Header("version=-1\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "not a number"},
        {"version too big", Header("version=0x10000\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "out of range"},
        {"version huge", Header("version=99999999999999999999\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "not a number"},
        {"version with space", Header("version= 1\nvariant=1\nbuttons=1\nradio=on\n") + Flash(),
         "not a number"},
        {"variant 0", Header("version=1\nvariant=0\nbuttons=1\nradio=on\n") + Flash(), "1 or 2"},
        {"variant 3", Header("version=1\nvariant=3\nbuttons=1\nradio=on\n") + Flash(), "1 or 2"},
        {"buttons 0", Header("version=1\nvariant=1\nbuttons=0\nradio=on\n") + Flash(), "1 or 2"},
        {"radio yes", Header("version=1\nvariant=1\nbuttons=1\nradio=yes\n") + Flash(), "on or off"},
        {"CRLF line", Header("version=1\r\nvariant=1\nbuttons=1\nradio=on\n") + Flash(), "not a number"},
        {"flash short", Header(kGoodLines) + Flash(kFlashBytes - 1), "131071 bytes"},
        {"flash long", Header(kGoodLines) + Flash(kFlashBytes + 1), "131073 bytes"},
        {"no flash", Header(kGoodLines), "0 bytes"},
    };
    const ControllerState before = Distinctive();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ControllerState out = before;
        std::string error;
        EXPECT_FALSE(ParseControllerState(c.text, out, &error));
        EXPECT_NE(error.find(c.messagePart), std::string::npos) << error;
        EXPECT_TRUE(SameState(out, before));
    }
}

TEST(SimStateFile, MessagesDoNotEchoRawBytes)
{
    ControllerState out;
    std::string error;
    EXPECT_FALSE(ParseControllerState(std::string("\x1b[2J\x01\xff") + std::string(3000, 'A'), out, &error));
    for (char c : error)
        EXPECT_TRUE(c >= 0x20 && c < 0x7F) << static_cast<int>(c);
    EXPECT_LT(error.size(), 200u);
}

TEST(SimStateFile, FileErrorsNameThePath)
{
    TempDir dir;
    ControllerState out = Distinctive();
    const ControllerState before = out;
    std::string error;

    const std::string missing = (dir.Path() / "missing").string();
    EXPECT_FALSE(LoadControllerState(missing, out, &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;

    const std::string big = (dir.Path() / "big").string();
    std::ofstream(big, std::ios::binary) << Header(kGoodLines) << Flash(2 * kFlashBytes);
    EXPECT_FALSE(LoadControllerState(big, out, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;

    const std::string bad = (dir.Path() / "bad").string();
    std::ofstream(bad, std::ios::binary) << Header("version=1\n") << Flash();
    EXPECT_FALSE(LoadControllerState(bad, out, &error));
    EXPECT_NE(error.find(bad + ": "), std::string::npos) << error;
    EXPECT_TRUE(SameState(out, before));

    const std::string noDir = (dir.Path() / "no-such-dir" / "state").string();
    EXPECT_FALSE(SaveControllerState(noDir, before, &error));
    EXPECT_NE(error.find(noDir), std::string::npos) << error;

    // The rename fails (a directory is in the way): the temp file goes too.
    const fs::path inTheWay = dir.Path() / "in-the-way";
    fs::create_directories(inTheWay / "child");
    EXPECT_FALSE(SaveControllerState(inTheWay.string(), before, &error));
    EXPECT_NE(error.find("cannot replace"), std::string::npos) << error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"bad", "big", "in-the-way"}));
}

TEST(SimStateFile, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = (dir.Path() / "state").string();
    const ControllerState old = MakeStartingState(1, 0x0214, 1, true);
    std::string error;
    ASSERT_TRUE(SaveControllerState(path, old, &error)) << error;
    // No file can be opened now, root or not: the temp file cannot be made.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    const int next = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(next, 0);
    ::close(next);
    rlimit tight = limit;
    tight.rlim_cur = static_cast<rlim_t>(next);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const bool saved = SaveControllerState(path, Distinctive(), &error);
    ::setrlimit(RLIMIT_NOFILE, &limit);
    EXPECT_FALSE(saved);
    ControllerState loaded;
    ASSERT_TRUE(LoadControllerState(path, loaded, &error)) << error;
    EXPECT_TRUE(SameState(loaded, old));
}

TEST(FaultList, GoodLists)
{
    struct Case {
        const char* list;
        Faults expected;
    };
    const auto with = [](auto change) {
        Faults f;
        change(f);
        return f;
    };
    const Case cases[] = {
        {"drop-reply=0", with([](Faults& f) { f.dropReply = 0; })},
        {"corrupt-reply=12", with([](Faults& f) { f.corruptReply = 12; })},
        {"wrong-code-reply=3", with([](Faults& f) { f.wrongCodeReply = 3; })},
        {"truncate-reply=2147483647", with([](Faults& f) { f.truncateReply = 2147483647; })},
        {"garbage=1000", with([](Faults& f) { f.garbageBeforeReply = 1000; })},
        {"unplug-at=7", with([](Faults& f) { f.unplugAtRequest = 7; })},
        {"fail-radio", with([](Faults& f) { f.failRadio = true; })},
        {"fail-erase", with([](Faults& f) { f.failErase = true; })},
        {"bad-checksum", with([](Faults& f) { f.checksumOffByOne = true; })},
        {"bad-checksum,drop-reply=5,garbage=2,fail-radio", with([](Faults& f) {
             f.checksumOffByOne = f.failRadio = true;
             f.dropReply = 5;
             f.garbageBeforeReply = 2;
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        Faults out;
        out.failErase = !c.expected.failErase;  // the result replaces, not merges
        std::string error;
        ASSERT_TRUE(ParseFaultList(c.list, out, &error)) << error;
        EXPECT_EQ(out.dropReply, c.expected.dropReply);
        EXPECT_EQ(out.corruptReply, c.expected.corruptReply);
        EXPECT_EQ(out.wrongCodeReply, c.expected.wrongCodeReply);
        EXPECT_EQ(out.truncateReply, c.expected.truncateReply);
        EXPECT_EQ(out.garbageBeforeReply, c.expected.garbageBeforeReply);
        EXPECT_EQ(out.unplugAtRequest, c.expected.unplugAtRequest);
        EXPECT_EQ(out.failRadio, c.expected.failRadio);
        EXPECT_EQ(out.failErase, c.expected.failErase);
        EXPECT_EQ(out.checksumOffByOne, c.expected.checksumOffByOne);
    }
}

TEST(FaultList, BadListsNameTheWordAndChangeNothing)
{
    struct Case {
        const char* list;
        const char* messagePart;
    };
    const Case cases[] = {
        {"", "empty fault list"},
        {"drop-reply=3,", "empty fault word"},
        {",fail-radio", "empty fault word"},
        {"fail-radio,,fail-erase", "empty fault word"},
        {"explode", "'explode': unknown fault"},
        {"fail-radio,Drop-reply=1", "'Drop-reply=1': unknown"},
        {"drop-reply", "'drop-reply': needs a number"},
        {"drop-reply=", "'drop-reply=': expected a decimal"},
        {"drop-reply=-1", "'drop-reply=-1': expected a decimal"},
        {"drop-reply=+1", "expected a decimal"},
        {"drop-reply=0x10", "expected a decimal"},
        {"drop-reply=1 ", "expected a decimal"},
        {"unplug-at=2147483648", "'unplug-at=2147483648': expected a decimal number 0..2147483647"},
        {"garbage=1001", "'garbage=1001': expected a decimal number 0..1000"},
        {"fail-radio=1", "'fail-radio=1': takes no value"},
        {"drop-reply=1,drop-reply=2", "'drop-reply=2': given twice"},
        {" fail-radio", "unknown fault"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        Faults out;
        out.corruptReply = 42;
        std::string error;
        EXPECT_FALSE(ParseFaultList(c.list, out, &error));
        EXPECT_NE(error.find(c.messagePart), std::string::npos) << error;
        EXPECT_EQ(out.corruptReply, 42);
        EXPECT_FALSE(out.failRadio);
    }
}

TEST(FaultList, HelpMentionsEveryWord)
{
    const std::string help = FaultListHelp();
    for (const char* word : {"drop-reply=N", "corrupt-reply=N", "wrong-code-reply=N", "truncate-reply=N",
                             "garbage=N", "unplug-at=N", "fail-radio", "fail-erase", "bad-checksum"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
        // Every word the help names must parse.
        std::string list = word;
        if (list.ends_with("=N"))
            list.replace(list.size() - 1, 1, "1");
        Faults f;
        EXPECT_TRUE(ParseFaultList(list, f, nullptr)) << list;
    }
}

TEST(StartingState, WithAndWithoutImage)
{
    for (bool withImage : {true, false}) {
        SCOPED_TRACE(withImage);
        const ControllerState s = MakeStartingState(2, 0x0150, 2, withImage);
        EXPECT_EQ(s.variant, 2);
        EXPECT_EQ(s.featureButtons, 2);
        EXPECT_EQ(s.version, 0x0150);
        EXPECT_TRUE(s.radioOn);
        ASSERT_EQ(s.flash.size(), kFlashBytes);

        const std::string header(s.flash.begin() + kImageHeaderAddress,
                                 s.flash.begin() + kImageHeaderAddress + kImageHeaderBytes);
        if (withImage) {
            EXPECT_EQ(header, std::string("QUELM_DFU\0\0\0\0\0\0\0", 16));
            EXPECT_EQ(std::string(s.flash.begin() + kImageBodyAddress, s.flash.begin() + kImageBodyAddress + 6),
                      "PWFW\x01\x50");
        } else {
            EXPECT_TRUE(std::all_of(s.flash.begin() + kImageRangeStart, s.flash.end(),
                                    [](uint8_t b) { return b == 0xFF; }));
        }
        // Below the image range nothing is written either way.
        EXPECT_TRUE(std::all_of(s.flash.begin(), s.flash.begin() + kImageRangeStart,
                                [](uint8_t b) { return b == 0xFF; }));

        // A reset keeps the tagged version; without an image it keeps the old one.
        ControllerState other = s;
        other.version = 0x0999;
        SimController controller(other);
        controller.PowerCycle();
        EXPECT_EQ(controller.State().version, withImage ? 0x0150 : 0x0999);
    }
}

TEST(CommittedImages, LayoutVersionAndChecksum)
{
    struct Case {
        const char* file;
        uint16_t version;
        uint32_t bodyCrc;  // as tools/make_firmware.py prints it
    };
    const Case cases[] = {
        {"image252.bin", 0x0215, 0xB76EA531},
        {"image254.bin", 0x0185, 0xE35AF872},
    };
    std::vector<std::vector<uint8_t>> bodies;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path path = fs::path(PADWRIGHT_SOURCE_DIR) / "resources" / "firmware" / c.file;
        std::ifstream in(path, std::ios::binary);
        ASSERT_TRUE(in) << path;
        const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
        ASSERT_EQ(image.size(), 49152u);
        EXPECT_EQ(std::string(image.begin(), image.begin() + 16), std::string("QUELM_DFU\0\0\0\0\0\0\0", 16));
        EXPECT_EQ(std::string(image.begin() + 16, image.begin() + 20), "PWFW");
        EXPECT_EQ(image[20] << 8 | image[21], c.version);
        EXPECT_EQ(ControllerCrc(image.data() + 16, image.size() - 16), c.bodyCrc);

        ControllerState state = MakeStartingState(1, 0x0100, 1, false);
        std::copy(image.begin(), image.end(), state.flash.begin() + kImageHeaderAddress);
        SimController controller(state);
        controller.PowerCycle();
        EXPECT_EQ(controller.State().version, c.version);
        bodies.emplace_back(image.begin() + 16, image.end());
    }
    ASSERT_EQ(bodies.size(), 2u);
    EXPECT_NE(bodies[0], bodies[1]);
}

}  // namespace
}  // namespace padwright::sim
