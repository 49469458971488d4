#pragma once

// The feature button page as logic: the function list, what the page shows for
// a selection and for the slot it reads, the assign flow that builds a slot and
// writes the sector, and the slot file. A page widget shows what this decides.

#include <array>
#include <string>

#include "config/config_image.h"
#include "config/macro_tables.h"
#include "config/remap_codec.h"
#include "config/text_fetcher.h"
#include "platform/clock.h"
#include "platform/file_dialogs.h"
#include "platform/message_boxes.h"
#include "platform/resources.h"

namespace padwright {

enum EditorKind { kEditorNone = 0, kEditorSensitivity = 2, kEditorRemap = 3, kEditorPresetMaps = 4,
                  kEditorMacros = 5 };

struct FeatureFunctionRow {
    int icon;
    int nameId;
    int titleId;
    int helpId;
    int editorKind;
};
constexpr size_t kFeatureFunctionRows = 11;
extern const std::array<FeatureFunctionRow, kFeatureFunctionRows> kFeatureFunctionTable;

// Name ids of the rows, the keys of the assign switch.
enum FeatureNameId {
    kNameNoFunction = 106, kNameTurbo = 107, kNameSniper = 109, kNameLowRecoil = 145,
    kNameSoundPlayer = 147, kNameRemapping = 155, kNameCodForHalo = 159, kNameHaloForCod = 162,
    kNameMacros = 180, kNameHaloForBlackOps = 183, kNameZombieTurbo = 186,
};

constexpr int kStringInvalidFirmware = 115;
constexpr int kStringMustUpdate = 116;
constexpr int kStringChooseFunction = 117;
constexpr int kTitlePresetMaps = 177;
constexpr int kTitleMacros = 180;
constexpr int kHelpNoPresetMaps = 179;
constexpr int kHelpNoPresetMacros = 182;
constexpr int kAssignWaitMs = 1500;
constexpr int kMacroAssignWaitMs = 500;

constexpr const char* kMacroCaption = "Blazewing2 Controller Update Utility";
constexpr const char* kMacroDownloadErrorText = "Error downloading Macro file";
constexpr const char* kNoMacrosText = "No Macros Setup";
constexpr const char* kUnknownOptionText = "Warning - unknown option";
constexpr const char* kCustomisePopupText = "Customise settings - pop up dialog box";
constexpr const char* kSaveDoneText = "SAVE DONE!";
constexpr const char* kSaveErrorText = "SAVE ERROR!";
constexpr const char* kLoadDoneText = "LOAD DONE!";
constexpr const char* kLoadErrorText = "LOAD ERROR";

int RowForNameId(int nameId);

// Which row the page shows for a slot's contents, and whether it is a custom remap.
struct SlotRecognition {
    int row = 0;
    bool customRemap = false;
    bool macros = false;
};
SlotRecognition RecognizeSlot(const uint8_t* slot);

// Ten 16-bit macro ids, little-endian, at the end of a macro slot.
void StoreMacroIds(uint8_t* slot, const MacroIdTable& ids);
MacroIdTable LoadMacroIds(const uint8_t* slot);

// What the program keeps for the whole run and every page shares.
struct ConfigurationState {
    ConfigImage configImage{};
    RemapTable workingRemap{};
    MacroIdTable macroIds{};
    MacroAssignmentTable macroAssignments{};
    MacroTriggerMode triggerMode = MacroTriggerMode::Shift;
};

class FeatureButtonPage {
public:
    FeatureButtonPage(ConfigurationState& state, MessageBoxes& messages, Clock& clock,
                      const Resources& resources);

    // Whether the two preset files were fetched at start.
    void SetPresetsAvailable(bool buttonMaps, bool macros);
    void SetPageState(int state);
    // The tab of feature button n (0 or 1) is shown on an up-to-date controller.
    void ShowFeatureButton(int n, int featureButtonCount);
    void ShowInvalidFirmware();
    // The list selection changed (also run by the two above).
    void SelectRow(int row);

    // The Customise button: which editor the selected row opens (kEditorNone,
    // after the pop-up notice, for a kind without one).
    int CustomiseEditor();
    // The remap editor: where it starts, and what its OK does.
    RemapSelections RemapEditorStart() const;
    void OnRemapEditorOk(const RemapSelections& selections);
    // The macro chooser's OK hands back its ten ids.
    void OnMacroChooserOk(const MacroIdTable& ids);

    // The Assign button. True when the slot was written to the controller.
    bool AssignFunction(CHidDevice* device, const TextFetcher& fetch);
    bool PrepareMacroSlot(const TextFetcher& fetch);

    bool SaveSlot(FileDialogs& dialogs);
    bool LoadSlot(FileDialogs& dialogs, CHidDevice* device);

    // What the page shows.
    int PageState() const { return pageState_; }
    const std::string& Heading() const { return heading_; }
    const std::string& Title() const { return title_; }
    const std::string& Help() const { return help_; }
    bool ListEnabled() const { return listEnabled_; }
    bool ListFilled() const { return listFilled_; }
    int SelectedRow() const { return selectedRow_; }
    bool CustomiseVisible() const { return customiseVisible_; }
    bool CustomiseEnabled() const { return customiseEnabled_; }
    bool AssignEnabled() const { return assignEnabled_; }
    int CurrentSlot() const { return currentSlot_; }
    bool CustomRemap() const { return customRemap_; }

private:
    uint8_t* Slot() { return SlotData(state_.configImage, currentSlot_); }
    bool WriteToController(CHidDevice* device);

    ConfigurationState& state_;
    MessageBoxes& messages_;
    Clock& clock_;
    const Resources& resources_;
    bool presetMaps_ = false;
    bool presetMacros_ = false;
    int pageState_ = 0;
    std::string heading_, title_, help_;
    bool listEnabled_ = false;
    bool listFilled_ = false;
    int selectedRow_ = 0;
    bool customiseVisible_ = false;
    bool customiseEnabled_ = false;
    bool assignEnabled_ = false;
    int currentSlot_ = 0;
    bool customRemap_ = false;
};

}  // namespace padwright
