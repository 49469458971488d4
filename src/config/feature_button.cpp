#include "config/feature_button.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/global_settings.h"
#include "config/macro_compiler.h"
#include "device/hid_device.h"
#include "platform/file_io.h"

namespace padwright {

const std::array<FeatureFunctionRow, kFeatureFunctionRows> kFeatureFunctionTable = {{
    {187, kNameNoFunction, 106, 111, kEditorNone},
    {183, kNameTurbo, 107, 112, kEditorNone},
    {183, kNameZombieTurbo, 187, 188, kEditorNone},
    {184, kNameSniper, 109, 114, kEditorNone},
    {202, kNameLowRecoil, 145, 146, kEditorNone},
    {201, kNameSoundPlayer, 165, 148, kEditorNone},
    {183, kNameMacros, 180, 181, kEditorMacros},
    {202, kNameCodForHalo, 161, 160, kEditorNone},
    {202, kNameHaloForCod, 164, 163, kEditorNone},
    {202, kNameHaloForBlackOps, 184, 185, kEditorNone},
    {202, kNameRemapping, 155, 156, kEditorRemap},
}};

namespace {

constexpr std::array<int, 3> kGameLayoutNames = {kNameCodForHalo, kNameHaloForCod, kNameHaloForBlackOps};

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace

int RowForNameId(int nameId)
{
    for (size_t i = 0; i < kFeatureFunctionTable.size(); ++i)
        if (kFeatureFunctionTable[i].nameId == nameId)
            return static_cast<int>(i);
    return 0;
}

SlotRecognition RecognizeSlot(const uint8_t* slot)
{
    SlotRecognition r;
    switch (static_cast<FunctionCode>(slot[0])) {
    case FunctionCode::Turbo: r.row = RowForNameId(slot[1] ? kNameZombieTurbo : kNameTurbo); break;
    case FunctionCode::Sniper: r.row = RowForNameId(kNameSniper); break;
    case FunctionCode::LowRecoil: r.row = RowForNameId(kNameLowRecoil); break;
    case FunctionCode::Macros:
        r.row = RowForNameId(kNameMacros);
        r.macros = true;
        break;
    case FunctionCode::SoundPlayer: r.row = RowForNameId(kNameSoundPlayer); break;
    case FunctionCode::Remap:
        for (size_t i = 0; i < kGameLayouts.size(); ++i)
            if (std::equal(kGameLayouts[i].begin(), kGameLayouts[i].end(), slot))
                return {RowForNameId(kGameLayoutNames[i]), false, false};
        r.row = RowForNameId(kNameRemapping);
        r.customRemap = true;
        break;
    default: r.row = 0; break;  // 0, 6 and anything above 7
    }
    return r;
}

void StoreMacroIds(uint8_t* slot, const MacroIdTable& ids)
{
    for (size_t i = 0; i < ids.size(); ++i) {
        slot[kMacroIdsOffset + 2 * i] = static_cast<uint8_t>(ids[i] & 0xFF);
        slot[kMacroIdsOffset + 2 * i + 1] = static_cast<uint8_t>(ids[i] >> 8);
    }
}

MacroIdTable LoadMacroIds(const uint8_t* slot)
{
    MacroIdTable ids{};
    for (size_t i = 0; i < ids.size(); ++i)
        ids[i] = static_cast<uint16_t>(slot[kMacroIdsOffset + 2 * i] | slot[kMacroIdsOffset + 2 * i + 1] << 8);
    return ids;
}

FeatureButtonPage::FeatureButtonPage(ConfigurationState& state, MessageBoxes& messages, Clock& clock,
                                     const Resources& resources)
    : state_(state), messages_(messages), clock_(clock), resources_(resources)
{
    state_.workingRemap.fill(0);
}

void FeatureButtonPage::SetPresetsAvailable(bool buttonMaps, bool macros)
{
    presetMaps_ = buttonMaps;
    presetMacros_ = macros;
}

void FeatureButtonPage::SetPageState(int state)
{
    title_.clear();
    help_.clear();
    pageState_ = state;
    customiseVisible_ = false;
    if (state == 1) {
        heading_ = resources_.String(kStringMustUpdate);
        listEnabled_ = false;
        assignEnabled_ = false;
    } else if (state == 2) {
        heading_ = resources_.String(kStringChooseFunction);
        listEnabled_ = true;
        assignEnabled_ = true;
    }
    listFilled_ = true;  // the rows go in on the first call and stay
    if (state == 2)
        SelectRow(0);
    else
        ShowInvalidFirmware();
}

void FeatureButtonPage::ShowInvalidFirmware()
{
    title_ = resources_.String(kStringInvalidFirmware);
    help_ = resources_.String(kStringMustUpdate);
}

void FeatureButtonPage::ShowFeatureButton(int n, int featureButtonCount)
{
    currentSlot_ = SlotIndexFor(n, featureButtonCount);
    const SlotRecognition r = RecognizeSlot(Slot());
    if (r.macros)
        state_.macroIds = LoadMacroIds(Slot());
    if (r.customRemap) {
        customRemap_ = true;
        std::copy_n(Slot(), kRemapTableBytes, state_.workingRemap.begin());
    }
    SelectRow(r.row);
}

void FeatureButtonPage::SelectRow(int row)
{
    selectedRow_ = std::clamp(row, 0, static_cast<int>(kFeatureFunctionRows) - 1);
    const FeatureFunctionRow& f = kFeatureFunctionTable[selectedRow_];
    int helpId = f.helpId;
    bool customiseAllowed = true;
    if (f.titleId == kTitlePresetMaps && !presetMaps_) {
        helpId = kHelpNoPresetMaps;
        customiseAllowed = false;
    }
    if (f.titleId == kTitleMacros && !presetMacros_) {
        helpId = kHelpNoPresetMacros;
        customiseAllowed = false;
    }
    title_ = resources_.String(f.titleId);
    help_ = resources_.String(helpId);
    customiseVisible_ = f.editorKind != kEditorNone;
    customiseEnabled_ = customiseVisible_ && customiseAllowed;
    assignEnabled_ = true;
}

int FeatureButtonPage::CustomiseEditor()
{
    const int kind = kFeatureFunctionTable[selectedRow_].editorKind;
    switch (kind) {
    case kEditorSensitivity:
    case kEditorRemap:
    case kEditorPresetMaps:
    case kEditorMacros: return kind;
    default:
        messages_.Show(kCustomisePopupText);
        return kEditorNone;
    }
}

RemapSelections FeatureButtonPage::RemapEditorStart() const
{
    RemapSelections selections = IdentitySelections();
    if (customRemap_)
        DecodeRemap(state_.workingRemap, selections);
    return selections;
}

void FeatureButtonPage::OnRemapEditorOk(const RemapSelections& selections)
{
    state_.workingRemap.fill(0);
    EncodeRemap(selections, state_.workingRemap, messages_);
    customRemap_ = true;
}

void FeatureButtonPage::OnMacroChooserOk(const MacroIdTable& ids)
{
    state_.macroIds = ids;
}

bool FeatureButtonPage::PrepareMacroSlot(const TextFetcher& fetch)
{
    std::string joined;
    int count = 0;
    TextBuffer buffer;
    for (const MacroAssignment& entry : state_.macroAssignments) {
        if (entry.row < 0 || entry.row >= static_cast<int>(kMacroRows))
            continue;
        buffer.fill(0);
        const int got = fetch(entry.location, buffer);
        if (static_cast<unsigned>(got) > kTextBufferBytes - 1) {
            messages_.Show(kMacroDownloadErrorText, kMacroCaption);
            messages_.Show(kNoMacrosText, kMacroCaption);
            return false;
        }
        const std::string text(buffer.data(), strnlen(buffer.data(), static_cast<size_t>(got)));
        joined += ReplaceAll(text, "xx", kMacroRowWords[static_cast<size_t>(entry.row)]);
        joined += '\n';
        ++count;
    }
    if (count == 0) {
        messages_.Show(kNoMacrosText, kMacroCaption);
        return false;
    }
    const bool shift = state_.triggerMode == MacroTriggerMode::Shift;
    if (!CompileMacros(joined, shift, Slot(), messages_))
        return false;
    StoreMacroIds(Slot(), state_.macroIds);
    return true;
}

bool FeatureButtonPage::WriteToController(CHidDevice* device)
{
    if (device && WriteConfigImage(*device, state_.configImage))
        return true;
    messages_.Show(kControllerWriteFailedText);
    return false;
}

bool FeatureButtonPage::AssignFunction(CHidDevice* device, const TextFetcher& fetch)
{
    assignEnabled_ = false;
    const FeatureFunctionRow& f = kFeatureFunctionTable[selectedRow_];
    uint8_t* slot = Slot();
    SlotImage previous;
    std::copy_n(slot, kSlotBytes, previous.begin());
    std::fill_n(slot, kSlotBytes, 0);
    int waitMs = kAssignWaitMs;

    switch (f.nameId) {
    case kNameNoFunction: break;
    case kNameTurbo: slot[0] = static_cast<uint8_t>(FunctionCode::Turbo); break;
    case kNameSniper: slot[0] = static_cast<uint8_t>(FunctionCode::Sniper); break;
    case kNameLowRecoil: slot[0] = static_cast<uint8_t>(FunctionCode::LowRecoil); break;
    case kNameSoundPlayer: std::copy(kSoundPlayerBlock.begin(), kSoundPlayerBlock.end(), slot); break;
    case kNameZombieTurbo: std::copy(kZombieTurboBytes.begin(), kZombieTurboBytes.end(), slot); break;
    case kNameCodForHalo: std::copy(kGameLayouts[0].begin(), kGameLayouts[0].end(), slot); break;
    case kNameHaloForCod: std::copy(kGameLayouts[1].begin(), kGameLayouts[1].end(), slot); break;
    case kNameHaloForBlackOps: std::copy(kGameLayouts[2].begin(), kGameLayouts[2].end(), slot); break;
    case kNameRemapping:
        std::copy(state_.workingRemap.begin(), state_.workingRemap.end(), slot);
        customRemap_ = true;
        break;
    case kNameMacros:
        if (!PrepareMacroSlot(fetch)) {
            // A failed attempt must never reach the controller with a later write.
            std::copy(previous.begin(), previous.end(), slot);
            assignEnabled_ = true;
            return false;
        }
        waitMs = kMacroAssignWaitMs;
        break;
    default: messages_.Show(kUnknownOptionText); break;
    }

    const bool written = WriteToController(device);
    clock_.SleepMs(waitMs);
    assignEnabled_ = true;
    return written;
}

bool FeatureButtonPage::SaveSlot(FileDialogs& dialogs)
{
    const auto path = dialogs.SaveFileName();
    const int fd = path ? open(path->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    if (fd < 0) {
        messages_.Show(kSaveErrorText);
        return false;
    }
    const bool written = WriteAll(fd, Slot(), kSlotBytes);
    const bool closed = close(fd) == 0;
    // A write that did not reach the file is not a saved slot.
    messages_.Show(written && closed ? kSaveDoneText : kSaveErrorText);
    return written && closed;
}

bool FeatureButtonPage::LoadSlot(FileDialogs& dialogs, CHidDevice* device)
{
    const auto path = dialogs.OpenFileName();
    const int fd = path ? open(path->c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        messages_.Show(kLoadErrorText);
        return false;
    }
    // Read into a scratch buffer first: a file that cannot be read leaves the slot alone.
    SlotImage read{};
    size_t got = 0;
    bool readOk = true;
    while (got < kSlotBytes) {
        const ssize_t n = ::read(fd, read.data() + got, kSlotBytes - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            readOk = false;
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    if (!readOk) {
        messages_.Show(kLoadErrorText);
        return false;
    }
    // A shorter file replaces only as many bytes as it holds.
    std::copy_n(read.begin(), got, Slot());
    const bool written = device && WriteConfigImage(*device, state_.configImage);
    customRemap_ = true;
    std::copy_n(Slot(), kRemapTableBytes, state_.workingRemap.begin());
    messages_.Show(written ? kLoadDoneText : kLoadErrorText);
    return written;
}

}  // namespace padwright
