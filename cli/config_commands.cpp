#include "config_commands.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "config/macro_compiler.h"
#include "config/remap_codec.h"
#include "device/hid_device.h"

namespace padwright::cli {
namespace {

constexpr const char* kCommands[] = {"assign", "show", "sensitivity", "save-slot", "load-slot"};

int Usage(const char* what)
{
    std::fprintf(stderr, "padwright-cli: %s (see --help)\n", what);
    return 2;
}

// Answers the file dialogs with the path from the command line.
class PathDialogs final : public FileDialogs {
public:
    explicit PathDialogs(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> SaveFileName() override { return path_; }
    std::optional<std::string> OpenFileName() override { return path_; }

private:
    std::string path_;
};

// Collects the messages a compile shows, to print them on stderr as they are.
class CollectingMessages final : public MessageBoxes {
public:
    std::vector<std::string> shown;
    MessageAnswer Show(const std::string& text, const std::string&, MessageButtons) override
    {
        shown.push_back(text);
        return MessageAnswer::Ok;
    }
};

// Reads a whole file; false for anything that cannot be read (a directory too).
bool ReadWholeFile(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.clear();
    char chunk[4096];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
        text.append(chunk, static_cast<size_t>(in.gcount()));
    return !in.bad();
}

// Messages go out whole, NUL bytes included, as the compiler made them.
void PrintMessage(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
}

void PrintHex(const uint8_t* data, size_t length)
{
    for (size_t offset = 0; offset < length; offset += 16) {
        std::printf("%04zx:", offset);
        for (size_t i = offset; i < std::min(length, offset + 16); ++i)
            std::printf(" %02x", data[i]);
        std::printf("\n");
    }
}

std::optional<int> ParseInt(const std::string& text, int min, int max)
{
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < min || v > max)
        return std::nullopt;
    return static_cast<int>(v);
}

std::optional<int> FindFunctionRow(const std::string& name, const Resources& resources)
{
    const std::string wanted = ToLowerAscii(name);
    for (size_t i = 0; i < kFeatureFunctionTable.size(); ++i)
        if (ToLowerAscii(resources.String(kFeatureFunctionTable[i].nameId)) == wanted)
            return static_cast<int>(i);
    return std::nullopt;
}

std::optional<int> FindMacroRow(const std::string& word)
{
    for (size_t i = 0; i < kMacroRowWords.size(); ++i)
        if (ToLowerAscii(word) == kMacroRowWords[i])
            return static_cast<int>(i);
    return ParseInt(word, 0, static_cast<int>(kMacroRows) - 1);
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (;;) {
        const size_t comma = text.find(',', start);
        items.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos)
            return items;
        start = comma + 1;
    }
}

// What a slot holds, as the page recognises it, with the details of a remap or
// a macro set.
void PrintSlot(const uint8_t* slot, const Resources& resources)
{
    const SlotRecognition r = RecognizeSlot(slot);
    std::printf("%s\n", resources.String(kFeatureFunctionTable[r.row].nameId).c_str());
    if (r.customRemap) {
        RemapTable table;
        std::copy_n(slot, table.size(), table.begin());
        RemapSelections selections{};
        if (!DecodeRemap(table, selections)) {
            std::printf("remap: not one the editor can show\n");
            return;
        }
        for (int i = 0; i < kRemapSelections; ++i)
            std::printf("%s = %s\n", std::string(kRemapOutputs[i].name).c_str(),
                        std::string(SelectionText(i, selections[i]).value_or("?")).c_str());
    }
    if (r.macros) {
        std::printf("mode = %s\n", slot[1] ? "shift" : "toggle");
        for (size_t k = 0; k < kMacroHeaderButtons; ++k)
            if (slot[kMacroHeaderOffset + 2 * k] | slot[kMacroHeaderOffset + 2 * k + 1])
                std::printf("macro on %s\n", std::string(kMacroHeaderNames[k]).c_str());
        const MacroIdTable ids = LoadMacroIds(slot);
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i])
                std::printf("id %s = 0x%04x\n", kMacroRowWords[i], ids[i]);
    }
}

// The controller connected and up to date, ready for the pages.
bool Ready(ControllerDetection& detection, const Resources& resources)
{
    if (!detection.Device() || detection.DisplayState() == kDisplayNoController) {
        std::fprintf(stderr, "padwright-cli: no controller\n");
        return false;
    }
    if (detection.DisplayState() != kDisplayUpToDate) {
        std::fprintf(stderr, "padwright-cli: %s\n", resources.String(kStringMustUpdate).c_str());
        return false;
    }
    return true;
}

std::optional<int> TakeButton(Args& args, int featureButtons)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--button") {
            const auto n = ParseInt(args[i + 1], 1, 2);
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            if (!n || *n > featureButtons)
                return std::nullopt;
            return *n - 1;
        }
    return std::nullopt;
}

int Assign(Args args, ControllerDetection& detection, ConfigSession& s, const Resources& resources)
{
    const auto button = TakeButton(args, detection.FeatureTabCount());
    if (!button)
        return Usage("assign needs --button 1 or 2 (as many as the controller has)");
    std::string function;
    std::optional<std::string> remap;
    std::vector<std::pair<int, std::string>> macros;
    bool toggle = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--remap" && i + 1 < args.size()) {
            remap = args[++i];
        } else if (args[i] == "--macro" && i + 1 < args.size()) {
            const std::string& pair = args[++i];
            const size_t eq = pair.find('=');
            const auto row = eq == std::string::npos ? std::nullopt : FindMacroRow(pair.substr(0, eq));
            if (!row)
                return Usage(("bad --macro (ROW=FILE): " + pair).c_str());
            macros.emplace_back(*row, pair.substr(eq + 1));
        } else if (args[i] == "--toggle") {
            toggle = true;
        } else if (function.empty() && args[i].rfind("--", 0) != 0) {
            function = args[i];
        } else {
            return Usage(("unknown assign argument: " + args[i]).c_str());
        }
    }
    if (function.empty())
        return Usage("assign needs a FUNCTION, one of the function list's names");
    if (macros.size() > kMacroRows)
        return Usage("at most ten --macro pairs, one per button row");
    const auto row = FindFunctionRow(function, resources);
    if (!row)
        return Usage(("unknown function: " + function).c_str());
    const int nameId = kFeatureFunctionTable[*row].nameId;
    if (remap && nameId != kNameRemapping)
        return Usage("--remap goes with \"Button Remapping\"");
    if ((!macros.empty() || toggle) && nameId != kNameMacros)
        return Usage("--macro and --toggle go with \"Preset Button Macros\"");

    s.page.ShowFeatureButton(*button, detection.FeatureTabCount());
    if (remap) {
        const std::vector<std::string> items = SplitList(*remap);
        if (items.size() != kRemapSelections)
            return Usage("--remap takes sixteen comma-separated selections");
        RemapSelections selections{};
        for (int i = 0; i < kRemapSelections; ++i) {
            const auto sel = FindSelection(i, items[static_cast<size_t>(i)]);
            if (!sel)
                return Usage(("not a choice for " + std::string(kRemapOutputs[i].name) + ": " + items[i]).c_str());
            selections[static_cast<size_t>(i)] = *sel;
        }
        s.page.OnRemapEditorOk(selections);
    }
    if (nameId == kNameMacros) {
        s.state.macroAssignments = {};
        s.state.macroIds.fill(0);
        for (size_t i = 0; i < macros.size(); ++i)
            s.state.macroAssignments[i] = {macros[i].first, 0, macros[i].second};
        s.state.triggerMode = toggle ? MacroTriggerMode::Toggle : MacroTriggerMode::Shift;
    }
    s.page.SelectRow(*row);
    const bool written = s.page.AssignFunction(detection.Device().get(), FetchLocalTextFile);
    // What the controller holds now, read back from it.
    ConfigImage readBack{};
    if (!ReadConfigImage(*detection.Device(), readBack)) {
        std::fprintf(stderr, "padwright-cli: cannot read the slot back\n");
        return 1;
    }
    PrintSlot(SlotData(readBack, s.page.CurrentSlot()), resources);
    return written ? 0 : 1;
}

int Show(Args args, ControllerDetection& detection, ConfigSession& s, const Resources& resources)
{
    const auto button = TakeButton(args, detection.FeatureTabCount());
    if (!button || !args.empty())
        return Usage("show takes --button 1 or 2 (as many as the controller has)");
    s.page.ShowFeatureButton(*button, detection.FeatureTabCount());
    PrintSlot(SlotData(s.state.configImage, s.page.CurrentSlot()), resources);
    return 0;
}

int Sensitivity(const Args& args, ControllerDetection& detection, ConfigSession& s)
{
    static constexpr const char* kOptions[kSliderCount] = {"--left-stick", "--right-stick",
                                                           "--left-trigger", "--right-trigger"};
    bool change = false, reset = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--reset") {
            reset = true;
            continue;
        }
        const auto* option = std::find(std::begin(kOptions), std::end(kOptions), args[i]);
        if (option == std::end(kOptions) || i + 1 >= args.size())
            return Usage(("unknown sensitivity argument: " + args[i]).c_str());
        const auto value = ParseInt(args[++i], kSensitivityMin, kSensitivityMax);
        if (!value)
            return Usage("sensitivities are percentages from 50 to 200");
        s.settings.SetSlider(static_cast<int>(option - std::begin(kOptions)), *value);
        change = true;
    }
    if (reset && change)
        return Usage("--reset sets every value to 100; give it alone");
    bool ok = true;
    if (reset)
        ok = s.settings.ResetToDefaults(detection.Device().get());
    else if (change)
        ok = s.settings.Assign(detection.Device().get());
    for (int i = 0; i < kSliderCount; ++i)
        std::printf("%s\n", s.settings.Label(i).c_str());
    return ok ? 0 : 1;
}

int SlotFile(bool save, Args args, ControllerDetection& detection, ConfigSession& s)
{
    const auto button = TakeButton(args, detection.FeatureTabCount());
    if (!button || args.size() != 1)
        return Usage(save ? "save-slot takes --button N FILE" : "load-slot takes --button N FILE");
    s.page.ShowFeatureButton(*button, detection.FeatureTabCount());
    PathDialogs dialogs(args[0]);
    const bool ok = save ? s.page.SaveSlot(dialogs) : s.page.LoadSlot(dialogs, detection.Device().get());
    return ok ? 0 : 1;
}

}  // namespace

bool IsConfigCommand(const std::string& command)
{
    return std::find(std::begin(kCommands), std::end(kCommands), command) != std::end(kCommands);
}

const char* ConfigCommandsHelp()
{
    return "  compile-macros FILE [--toggle] [--out IMAGE]\n"
           "           compile a macro text; print the image as hex, or write it raw to IMAGE\n"
           "  assign --button N FUNCTION [--remap LIST] [--macro ROW=FILE ...] [--toggle]\n"
           "           give feature button N (1 or 2) a function: one of the function list's\n"
           "           names, e.g. \"Sniper Mode\"; LIST is sixteen comma-separated choices in\n"
           "           the order A, B, X, Y, D-pad up, down, left, right, left bumper, left\n"
           "           trigger, left stick click, right bumper, right trigger, right stick\n"
           "           click, left stick, right stick; ROW is a, b, x, y, lb, rb, select,\n"
           "           start, l3 or r3\n"
           "  show --button N\n"
           "           print the function feature button N holds\n"
           "  sensitivity [--left-stick P] [--right-stick P] [--left-trigger P]\n"
           "              [--right-trigger P] [--reset]\n"
           "           show the four sensitivities, or write new ones (50 to 200)\n"
           "  save-slot --button N FILE, load-slot --button N FILE\n"
           "           keep a feature button's settings in a file, or put them back\n";
}

int CompileMacrosCommand(const Args& args)
{
    std::string file, out;
    bool toggle = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--toggle")
            toggle = true;
        else if (args[i] == "--out" && i + 1 < args.size())
            out = args[++i];
        else if (file.empty() && args[i].rfind("--", 0) != 0)
            file = args[i];
        else
            return Usage(("unknown compile-macros argument: " + args[i]).c_str());
    }
    if (file.empty())
        return Usage("compile-macros needs a FILE");
    std::string text;
    if (!ReadWholeFile(file, text)) {
        std::fprintf(stderr, "padwright-cli: cannot read %s\n", file.c_str());
        return 1;
    }
    std::array<uint8_t, kMacroImageBytes> image{};
    CollectingMessages messages;
    if (!CompileMacros(text, !toggle, image.data(), messages)) {
        for (const std::string& m : messages.shown)
            PrintMessage(m);
        return 1;
    }
    if (out.empty()) {
        PrintHex(image.data(), image.size());
        return 0;
    }
    std::ofstream o(out, std::ios::binary | std::ios::trunc);
    o.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    o.close();
    if (!o) {
        std::fprintf(stderr, "padwright-cli: cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}

int ConfigCommand(const std::string& command, const Args& args, ControllerDetection& detection,
                  ConfigSession& session)
{
    const Resources& resources = EmbeddedResources();
    detection.StartUp();
    if (!Ready(detection, resources))
        return 1;
    // Each run starts with empty host copies: acting on them after a failed read
    // would show, or write back, settings the controller does not hold.
    if (!session.readsOk) {
        std::fprintf(stderr, "padwright-cli: cannot read the controller's settings\n");
        return 1;
    }
    if (command == "assign")
        return Assign(args, detection, session, resources);
    if (command == "show")
        return Show(args, detection, session, resources);
    if (command == "sensitivity")
        return Sensitivity(args, detection, session);
    return SlotFile(command == "save-slot", args, detection, session);
}

}  // namespace padwright::cli
