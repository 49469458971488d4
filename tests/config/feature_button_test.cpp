#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "config/feature_button.h"
#include "config/global_settings.h"
#include "config/macro_compiler.h"
#include "device/hid_device.h"
#include "sim/sim_bus.h"
#include "support/recording_window.h"
#include "support/scripted_dialogs.h"

namespace padwright {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + seed);
    return v;
}

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("padwright-config-" + std::to_string(getpid()) + "-" +
                                                 std::to_string(reinterpret_cast<uintptr_t>(this)));
    TempDir() { fs::create_directories(path); }
    ~TempDir()
    {
        std::error_code ec;
        fs::permissions(path, fs::perms::owner_all, ec);
        fs::remove_all(path, ec);
    }
    std::string File(const std::string& name, const std::vector<uint8_t>& bytes) const
    {
        const fs::path p = path / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 static_cast<std::streamsize>(bytes.size()));
        return p.string();
    }
};

// A feature button page on an up-to-date simulated controller whose sector
// holds a distinct pattern in each slot.
struct PageTest : ::testing::Test {
    sim::SimBus bus;
    VirtualClock clock;
    test::RecordingMessages messages;
    test::ScriptedDialogs dialogs;
    std::shared_ptr<sim::SimController> controller;
    std::unique_ptr<CHidDevice> device;
    ConfigurationState state;
    FeatureButtonPage page{state, messages, clock, EmbeddedResources()};
    std::map<std::string, std::string> files;  // what the macro fetcher serves
    TextFetcher fetch = [this](const std::string& location, TextBuffer& buffer) {
        const auto it = files.find(location);
        if (it == files.end())
            return -1;
        const size_t n = std::min(it->second.size(), buffer.size());
        std::copy_n(it->second.begin(), n, buffer.begin());
        if (n == buffer.size())
            return static_cast<int>(n);
        buffer[n] = '\0';
        return static_cast<int>(n + 1);
    };

    void Connect(int buttons)
    {
        sim::ControllerState s;
        s.version = 0x0215;
        s.featureButtons = buttons;
        s.radioOn = false;
        const auto slot0 = Pattern(kSlotBytes, 1), slot1 = Pattern(kSlotBytes, 2);
        std::copy(slot0.begin(), slot0.end(), s.flash.begin() + kFeatureButtonAddress);
        std::copy(slot1.begin(), slot1.end(), s.flash.begin() + kFeatureButtonAddress + kSlotBytes);
        controller = std::make_shared<sim::SimController>(s);
        bus.Plug(controller);
        device = std::make_unique<CHidDevice>(nullptr, bus, clock);
        ASSERT_TRUE(device->OpenFirst());
        ASSERT_TRUE(ReadConfigImage(*device, state.configImage));
        page.SetPageState(2);
    }
    std::vector<uint8_t> ControllerSlot(int index) const
    {
        const auto flash = controller->State().flash;
        const auto at = flash.begin() + kFeatureButtonAddress + kSlotBytes * index;
        return {at, at + kSlotBytes};
    }
    std::vector<uint8_t> HostSlot(int index) const
    {
        const uint8_t* at = SlotData(state.configImage, index);
        return {at, at + kSlotBytes};
    }
    size_t Erases() const
    {
        size_t n = 0;
        for (const auto& r : controller->Requests())
            n += r[kCodeOffset] == static_cast<uint8_t>(Command::EraseFlash);
        return n;
    }
    void Choose(int nameId) { page.SelectRow(RowForNameId(nameId)); }
};

TEST_F(PageTest, TwoButtonsCrossTheSlotsAndTheOtherSlotGoesBackAsRead)
{
    Connect(2);
    page.ShowFeatureButton(0, 2);
    EXPECT_EQ(page.CurrentSlot(), 1);
    page.ShowFeatureButton(1, 2);
    EXPECT_EQ(page.CurrentSlot(), 0);
    Choose(kNameSniper);
    ASSERT_TRUE(page.AssignFunction(device.get(), fetch));
    std::vector<uint8_t> sniper(kSlotBytes, 0);
    sniper[0] = 2;
    EXPECT_EQ(ControllerSlot(0), sniper);
    EXPECT_EQ(ControllerSlot(1), Pattern(kSlotBytes, 2));
    EXPECT_EQ(clock.Sleeps().back(), std::chrono::milliseconds(1500));
    EXPECT_TRUE(page.AssignEnabled());

    ConfigurationState one;
    FeatureButtonPage single(one, messages, clock, EmbeddedResources());
    single.ShowFeatureButton(0, 1);
    EXPECT_EQ(single.CurrentSlot(), 0);
}

TEST_F(PageTest, EachRowWritesItsSlot)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    struct Case {
        int nameId;
        std::vector<uint8_t> head;
    };
    const Case cases[] = {
        {kNameNoFunction, {}},
        {kNameTurbo, {1}},
        {kNameZombieTurbo, {kZombieTurboBytes.begin(), kZombieTurboBytes.end()}},
        {kNameSniper, {2}},
        {kNameLowRecoil, {3}},
        {kNameSoundPlayer, {kSoundPlayerBlock.begin(), kSoundPlayerBlock.end()}},
        {kNameCodForHalo, {kGameLayouts[0].begin(), kGameLayouts[0].end()}},
        {kNameHaloForCod, {kGameLayouts[1].begin(), kGameLayouts[1].end()}},
        {kNameHaloForBlackOps, {kGameLayouts[2].begin(), kGameLayouts[2].end()}},
        {kNameRemapping, {}},  // the editor never opened: the working table is still zero
    };
    for (const Case& c : cases) {
        Choose(c.nameId);
        ASSERT_TRUE(page.AssignFunction(device.get(), fetch)) << c.nameId;
        std::vector<uint8_t> expected(kSlotBytes, 0);
        std::copy(c.head.begin(), c.head.end(), expected.begin());
        EXPECT_EQ(ControllerSlot(0), expected) << c.nameId;
        EXPECT_EQ(HostSlot(0), expected) << c.nameId;
        // Shown again, the slot selects the row it came from ("Button Remapping"
        // with a zero table reads back as "No Function").
        page.ShowFeatureButton(0, 1);
        EXPECT_EQ(page.SelectedRow(), RowForNameId(c.nameId == kNameRemapping ? kNameNoFunction : c.nameId));
    }
    // The sound player block as laid down: 05 00, then records of 18 bytes.
    EXPECT_EQ(kSoundPlayerBlock[2], 0x02);
    EXPECT_EQ(kSoundPlayerBlock[4], 0x9E);
    EXPECT_EQ(kSoundPlayerBlock[5], 0x03);
    EXPECT_EQ(kSoundPlayerBlock[20 + 14], 0x98);
    EXPECT_EQ(kSoundPlayerBlock[128 + 17], 0x40);
    EXPECT_EQ(kSoundPlayerBlock[146], 0x00);
}

TEST(RecognizeSlot, ReadsTheFunctionBackAsThePageShowsIt)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> head;
        int nameId;
        bool custom;
    };
    std::vector<uint8_t> offByOne(kGameLayouts[1].begin(), kGameLayouts[1].end());
    offByOne[14] ^= 1;
    const Case cases[] = {
        {"zero", {0}, kNameNoFunction, false},
        {"plain turbo", {1, 0}, kNameTurbo, false},
        {"zombie turbo", {1, 0xA5}, kNameZombieTurbo, false},
        {"sniper", {2}, kNameSniper, false},
        {"low recoil", {3}, kNameLowRecoil, false},
        {"macros", {4}, kNameMacros, false},
        {"sound player", {5}, kNameSoundPlayer, false},
        {"code 6", {6}, kNameNoFunction, false},
        {"code 9", {9}, kNameNoFunction, false},
        {"CoD layout", {kGameLayouts[0].begin(), kGameLayouts[0].end()}, kNameCodForHalo, false},
        {"Halo layout", {kGameLayouts[1].begin(), kGameLayouts[1].end()}, kNameHaloForCod, false},
        {"Black Ops layout", {kGameLayouts[2].begin(), kGameLayouts[2].end()}, kNameHaloForBlackOps, false},
        {"one byte off a layout", offByOne, kNameRemapping, true},
    };
    for (const Case& c : cases) {
        SlotImage slot{};
        std::copy(c.head.begin(), c.head.end(), slot.begin());
        const SlotRecognition r = RecognizeSlot(slot.data());
        EXPECT_EQ(r.row, RowForNameId(c.nameId)) << c.name;
        EXPECT_EQ(r.customRemap, c.custom) << c.name;
    }
}

TEST_F(PageTest, ShowingACustomRemapMakesItTheEditorsStart)
{
    Connect(1);
    RemapSelections chosen = IdentitySelections();
    chosen[0] = 14;  // A drives nothing
    chosen[14] = 19;  // left stick inverted both ways
    RemapTable table{};
    EncodeRemap(chosen, table, messages);
    std::copy(table.begin(), table.end(), SlotData(state.configImage, 0));
    page.ShowFeatureButton(0, 1);
    EXPECT_EQ(page.SelectedRow(), RowForNameId(kNameRemapping));
    EXPECT_TRUE(page.CustomRemap());
    EXPECT_EQ(state.workingRemap, table);
    EXPECT_EQ(page.RemapEditorStart(), chosen);
    EXPECT_TRUE(page.CustomiseVisible());

    // The editor's OK replaces the working table; assigning writes it.
    chosen[1] = 0;
    page.OnRemapEditorOk(chosen);
    ASSERT_TRUE(page.AssignFunction(device.get(), fetch));
    EncodeRemap(chosen, table, messages);
    EXPECT_TRUE(std::equal(table.begin(), table.end(), ControllerSlot(0).begin()));
}

TEST_F(PageTest, SelectionShowsTitleHelpAndCustomise)
{
    Connect(1);
    page.SetPresetsAvailable(false, false);
    Choose(kNameMacros);
    EXPECT_EQ(page.Title(), "Preset Button Macros");
    EXPECT_EQ(page.Help(), EmbeddedResources().String(182));
    EXPECT_TRUE(page.CustomiseVisible());
    EXPECT_FALSE(page.CustomiseEnabled());
    page.SetPresetsAvailable(true, true);
    Choose(kNameMacros);
    EXPECT_EQ(page.Help(), EmbeddedResources().String(181));
    EXPECT_TRUE(page.CustomiseEnabled());
    EXPECT_EQ(page.CustomiseEditor(), kEditorMacros);
    Choose(kNameRemapping);
    EXPECT_EQ(page.CustomiseEditor(), kEditorRemap);
    Choose(kNameZombieTurbo);
    EXPECT_EQ(page.Title(), "Zombie Turbo Fire");
    EXPECT_FALSE(page.CustomiseVisible());
    EXPECT_EQ(page.CustomiseEditor(), kEditorNone);
    EXPECT_EQ(messages.Shown().back(), "Customise settings - pop up dialog box");

    page.SetPageState(1);
    EXPECT_EQ(page.Heading(), EmbeddedResources().String(116));
    EXPECT_EQ(page.Title(), "Invalid Firmware");
    EXPECT_FALSE(page.ListEnabled());
    EXPECT_FALSE(page.AssignEnabled());
    page.SetPageState(2);
    EXPECT_EQ(page.Heading(), "Choose the functionality required for the feature button");
    EXPECT_EQ(page.SelectedRow(), 0);
    EXPECT_TRUE(page.AssignEnabled());
}

TEST_F(PageTest, MacrosAreFetchedJoinedCompiledAndTheirIdsStored)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    files["http://server/fire.txt"] = "button xx\n{\nxx\nnothing\n}";
    files["http://server/jump.txt"] = "button xx\n{\ntime=3\nxx\n}";
    state.macroAssignments[0] = {5, 0x0101, "http://server/fire.txt"};  // rb
    state.macroAssignments[3] = {0, 0x0202, "http://server/jump.txt"};  // a
    state.macroIds = {0x0202, 0, 0, 0, 0, 0x0101, 0, 0, 0, 0};
    Choose(kNameMacros);
    ASSERT_TRUE(page.AssignFunction(device.get(), fetch));
    EXPECT_TRUE(messages.Shown().empty());
    EXPECT_EQ(clock.Sleeps().back(), std::chrono::milliseconds(500));

    SlotImage expected{};
    const std::string joined = "button rb\n{\nrb\nnothing\n}\nbutton a\n{\ntime=3\na\n}\n";
    test::RecordingMessages quiet;
    ASSERT_TRUE(CompileMacros(joined, true, expected.data(), quiet));
    StoreMacroIds(expected.data(), state.macroIds);
    EXPECT_EQ(ControllerSlot(0), std::vector<uint8_t>(expected.begin(), expected.end()));
    EXPECT_EQ(ControllerSlot(0)[2028], 0x02);
    EXPECT_EQ(ControllerSlot(0)[2029], 0x02);

    // Shown again, the ids come back into the shared table.
    state.macroIds.fill(0);
    page.ShowFeatureButton(0, 1);
    EXPECT_EQ(page.SelectedRow(), RowForNameId(kNameMacros));
    EXPECT_EQ(state.macroIds[5], 0x0101);

    // Toggle mode clears the mode flag.
    state.triggerMode = MacroTriggerMode::Toggle;
    Choose(kNameMacros);
    ASSERT_TRUE(page.AssignFunction(device.get(), fetch));
    EXPECT_EQ(ControllerSlot(0)[1], 0);
}

TEST_F(PageTest, AFailedMacroPreparationLeavesSlotAndControllerAsTheyWere)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    const std::string caption = kMacroCaption;
    struct Case {
        const char* name;
        std::map<std::string, std::string> served;
        std::vector<std::string> messages;
    };
    // A macro file padded with blank lines to the buffer's limit, and one byte more.
    const std::string fits = "button xx\n{\n}\n" + std::string(8176, ' ');
    const std::string full = fits + " ";
    const Case cases[] = {
        {"nothing chosen", {}, {"No Macros Setup"}},
        {"download fails", {{"u0", "x"}}, {"Error downloading Macro file", "No Macros Setup"}},
        {"8191-byte file", {{"u1", full}}, {"Error downloading Macro file", "No Macros Setup"}},
        {"error in the second file",
         {{"u1", "button xx\n{\nxx\n}"}, {"u2", "button xx\n{\nbogus\n}"}},
         {"ERROR on line 7 : Unknown macro token \"bogus\"!"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files = c.served;
        state.macroAssignments = {};
        if (c.served.count("u1"))
            state.macroAssignments[0] = {1, 1, "u1"};
        if (c.served.count("u2"))
            state.macroAssignments[1] = {2, 2, "u2"};
        if (c.served.count("u0"))
            state.macroAssignments[2] = {2, 2, "missing"};
        const auto hostBefore = HostSlot(0);
        const size_t erasesBefore = Erases();
        test::RecordingMessages seen;
        FeatureButtonPage p(state, seen, clock, EmbeddedResources());
        p.SetPageState(2);
        p.ShowFeatureButton(0, 1);
        p.SelectRow(RowForNameId(kNameMacros));
        EXPECT_FALSE(p.AssignFunction(device.get(), fetch));
        EXPECT_EQ(seen.Shown(), c.messages);
        EXPECT_EQ(HostSlot(0), hostBefore);
        EXPECT_EQ(Erases(), erasesBefore);
        EXPECT_TRUE(p.AssignEnabled());
    }

    // 8190 bytes still fit.
    ASSERT_EQ(fits.size(), 8190u);
    files = {{"ok", fits}};
    state.macroAssignments = {};
    state.macroAssignments[0] = {3, 3, "ok"};
    Choose(kNameMacros);
    EXPECT_TRUE(page.AssignFunction(device.get(), fetch));
    EXPECT_EQ(HostSlot(0)[0], 4);
}

TEST_F(PageTest, AControllerThatFailsTheWriteIsReported)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    for (bool failErase : {true, false}) {
        sim::Faults f;
        if (failErase)
            f.failErase = true;
        else
            f.corruptReply = 40;  // during the program step
        controller->SetFaults(f);
        test::RecordingMessages seen;
        FeatureButtonPage p(state, seen, clock, EmbeddedResources());
        p.SetPageState(2);
        p.ShowFeatureButton(0, 1);
        p.SelectRow(RowForNameId(kNameLowRecoil));
        EXPECT_FALSE(p.AssignFunction(device.get(), fetch));
        EXPECT_EQ(seen.Shown(), std::vector<std::string>{kControllerWriteFailedText});
        EXPECT_EQ(HostSlot(0)[0], 3);  // the host copy keeps the new content
        EXPECT_TRUE(p.AssignEnabled());
        controller->SetFaults({});
        device->Flush();
    }
}

TEST_F(PageTest, SaveThenLoadLeavesTheSectorAsItWas)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    TempDir dir;
    dialogs.answer = (dir.path / "slot.bin").string();
    ASSERT_TRUE(page.SaveSlot(dialogs));
    EXPECT_EQ(messages.Shown().back(), "SAVE DONE!");
    EXPECT_EQ(fs::file_size(*dialogs.answer), kSlotBytes);
    const auto before = controller->State().flash;
    ASSERT_TRUE(page.LoadSlot(dialogs, device.get()));
    EXPECT_EQ(messages.Shown().back(), "LOAD DONE!");
    EXPECT_EQ(controller->State().flash, before);
    EXPECT_TRUE(page.CustomRemap());
}

TEST_F(PageTest, SlotFilesOfAnyShape)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        bool ok;
        size_t replaced;  // bytes of the slot the file replaces
    };
    const std::string unreadable = dir.File("unreadable", Pattern(2048, 9));
    chmod(unreadable.c_str(), 0);
    const bool root = geteuid() == 0;  // root reads it all the same
    const Case cases[] = {
        {"empty", dir.File("0", {}), true, 0},
        {"one byte", dir.File("1", Pattern(1, 50)), true, 1},
        {"one short", dir.File("2047", Pattern(2047, 51)), true, 2047},
        {"whole slot", dir.File("2048", Pattern(2048, 52)), true, 2048},
        {"twice a slot", dir.File("4096", Pattern(4096, 53)), true, 2048},
        {"a directory", dir.path.string(), false, 0},
        {"missing", (dir.path / "nothing").string(), false, 0},
        {"unreadable", unreadable, root, root ? 2048u : 0u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto before = HostSlot(0);
        dialogs.answer = c.path;
        EXPECT_EQ(page.LoadSlot(dialogs, device.get()), c.ok);
        EXPECT_EQ(messages.Shown().back(), c.ok ? "LOAD DONE!" : "LOAD ERROR");
        auto expected = before;
        if (c.replaced > 0) {
            std::ifstream in(c.path, std::ios::binary);
            in.read(reinterpret_cast<char*>(expected.data()), static_cast<std::streamsize>(c.replaced));
        }
        EXPECT_EQ(HostSlot(0), expected);
        if (c.ok) {
            EXPECT_EQ(ControllerSlot(0), expected);
        }
    }
}

TEST_F(PageTest, AShortFileOverAMacroSlotKeepsTheRest)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    SlotImage macro{};
    test::RecordingMessages quiet;
    ASSERT_TRUE(CompileMacros("button a\n{\na\n}", true, macro.data(), quiet));
    StoreMacroIds(macro.data(), {7, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::copy(macro.begin(), macro.end(), SlotData(state.configImage, 0));
    TempDir dir;
    dialogs.answer = dir.File("short", Pattern(100, 77));
    ASSERT_TRUE(page.LoadSlot(dialogs, device.get()));
    const auto slot = HostSlot(0);
    EXPECT_TRUE(std::equal(slot.begin(), slot.begin() + 100, Pattern(100, 77).begin()));
    EXPECT_TRUE(std::equal(slot.begin() + 100, slot.end(), macro.begin() + 100));
}

TEST_F(PageTest, LoadingARemapFileReopensTheEditorOnIt)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    RemapSelections chosen = IdentitySelections();
    chosen[4] = 7;
    chosen[15] = 23;
    RemapTable table{};
    EncodeRemap(chosen, table, messages);
    TempDir dir;
    dialogs.answer = dir.File("remap", std::vector<uint8_t>(table.begin(), table.end()));
    ASSERT_TRUE(page.LoadSlot(dialogs, device.get()));
    EXPECT_EQ(page.RemapEditorStart(), chosen);
}

TEST_F(PageTest, SaveAndLoadFailuresAreNeverReportedAsDone)
{
    Connect(1);
    page.ShowFeatureButton(0, 1);
    dialogs.answer.reset();
    EXPECT_FALSE(page.SaveSlot(dialogs));
    EXPECT_EQ(messages.Shown().back(), "SAVE ERROR!");
    EXPECT_FALSE(page.LoadSlot(dialogs, device.get()));
    EXPECT_EQ(messages.Shown().back(), "LOAD ERROR");

    dialogs.answer = "/dev/full";  // opens, then every write fails
    EXPECT_FALSE(page.SaveSlot(dialogs));
    EXPECT_EQ(messages.Shown().back(), "SAVE ERROR!");
    dialogs.answer = "/nonexistent-dir/slot.bin";
    EXPECT_FALSE(page.SaveSlot(dialogs));
    EXPECT_EQ(messages.Shown().back(), "SAVE ERROR!");

    TempDir dir;
    dialogs.answer = dir.File("good", Pattern(2048, 5));
    sim::Faults f;
    f.failErase = true;
    controller->SetFaults(f);
    EXPECT_FALSE(page.LoadSlot(dialogs, device.get()));
    EXPECT_EQ(messages.Shown().back(), "LOAD ERROR");
}

}  // namespace
}  // namespace padwright
