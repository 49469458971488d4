#pragma once

// The button remap editor's sixteen selections and the remap table they stand
// for: the item lists, where each output lives in the table, and the two
// conversions between them.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "config/config_image.h"  // RemapTable
#include "platform/message_boxes.h"

namespace padwright {

constexpr int kRemapSelections = 16;
using RemapSelections = std::array<int, kRemapSelections>;

constexpr uint8_t kRemapFunctionCode = 7;
constexpr uint8_t kNoSourceCode = 31;  // the output is never pressed
constexpr int kButtonItemCount = 15;
constexpr int kStickItemCount = 8;
constexpr int kNothingItem = 14;        // " --- "
constexpr int kStickSelectionBase = 16;  // stick selections are 16 + the stick item

// Button and trigger lists, in list order. The blanks around " --- " are the
// list's own text.
inline constexpr std::array<std::string_view, kButtonItemCount> kButtonItemTexts = {
    "Button A",     "Button B",           "Button X",     "Button Y",      "Dpad Up",
    "Dpad Down",    "Dpad Left",          "Dpad Right",   "Left Bumper",   "Left Trigger",
    "Left Analog Button", "Right Bumper", "Right Trigger", "Right Analog Button", " --- ",
};

// Source code per button item, for a button output and for a trigger output.
inline constexpr std::array<uint8_t, kButtonItemCount> kItemDigitalCodes = {
    12, 13, 14, 15, 0, 1, 2, 3, 8, 16, 6, 9, 17, 7, kNoSourceCode,
};
inline constexpr std::array<uint8_t, kButtonItemCount> kItemTriggerCodes = {
    16, 17, 18, 19, 4, 5, 6, 7, 12, 0, 10, 13, 1, 11, kNoSourceCode,
};

inline constexpr std::array<std::string_view, kStickItemCount> kStickItemTexts = {
    "Left Analog Stick",  "Left Stick X inv.",  "Left Stick Y inv.",  "Left Stick X & Y inv.",
    "Right Analog Stick", "Right Stick X inv.", "Right Stick Y inv.", "Right Stick X & Y inv.",
};

// Axis codes a stick item writes: bits 0..1 pick the source axis, 4 inverts it.
struct AxisPair {
    uint8_t x;
    uint8_t y;
};
inline constexpr std::array<AxisPair, kStickItemCount> kStickPairs = {{
    {0, 1}, {4, 1}, {0, 5}, {4, 5}, {2, 3}, {6, 3}, {2, 7}, {6, 7},
}};

enum class RemapCode { Digital, Trigger, Stick };

struct RemapOutput {
    std::string_view name;  // the pictured control, for printing
    int controlId;          // its drop-down list in the editor
    int identity;           // selection that leaves the output on its own input
    int byte;               // table byte; a stick also uses the next one for Y
    RemapCode code;
};

// The sixteen outputs in selection order.
inline constexpr std::array<RemapOutput, kRemapSelections> kRemapOutputs = {{
    {"A", 1047, 0, 19, RemapCode::Digital},
    {"B", 1044, 1, 20, RemapCode::Digital},
    {"X", 1045, 2, 21, RemapCode::Digital},
    {"Y", 1046, 3, 22, RemapCode::Digital},
    {"D-pad up", 1040, 4, 7, RemapCode::Digital},
    {"D-pad down", 1043, 5, 8, RemapCode::Digital},
    {"D-pad left", 1041, 6, 9, RemapCode::Digital},
    {"D-pad right", 1042, 7, 10, RemapCode::Digital},
    {"left bumper", 1035, 8, 15, RemapCode::Digital},
    {"left trigger", 1034, 9, 5, RemapCode::Trigger},
    {"left stick click", 1048, 10, 13, RemapCode::Digital},
    {"right bumper", 1036, 11, 16, RemapCode::Digital},
    {"right trigger", 1037, 12, 6, RemapCode::Trigger},
    {"right stick click", 1049, 13, 14, RemapCode::Digital},
    {"left stick", 1038, kStickSelectionBase + 0, 1, RemapCode::Stick},
    {"right stick", 1039, kStickSelectionBase + 4, 3, RemapCode::Stick},
}};

// Start, Back, guide and bit 11 always pass straight through; the editor has no
// list for them and decoding ignores them.
struct FixedRemapByte {
    int byte;
    uint8_t code;
};
inline constexpr std::array<FixedRemapByte, 4> kFixedRemapBytes = {{{11, 4}, {12, 5}, {17, 10}, {18, 11}}};

// Shown when a list has no valid selection. "Digitial" is how the message has
// always read.
inline constexpr std::string_view kAnalogCustomiseError = "Analog Customise Error";
inline constexpr std::string_view kShoulderCustomiseError = "Shoulder Customise Error";
inline constexpr std::string_view kDigitalCustomiseError = "Digitial Button Customise Error";

// Every output driven by its own input.
RemapSelections IdentitySelections();

// Writes all 32 bytes of the table. A selection out of its list's range shows
// its message once and leaves 0 in its byte(s); the rest is still encoded.
void EncodeRemap(const RemapSelections& selections, RemapTable& table, MessageBoxes& messages);

// False, with the selections unchanged, unless byte 0 is the remap code and
// every one of the sixteen outputs holds a code some item produces.
bool DecodeRemap(const RemapTable& table, RemapSelections& selections);

// The list index of an item, matched ignoring case and surrounding blanks.
std::optional<int> FindButtonItem(std::string_view text);
std::optional<int> FindStickItem(std::string_view text);

// Selection value for an output from an item text (stick items plus 16), and
// the item text of a selection value; nothing when it is not in that output's list.
std::optional<int> FindSelection(int output, std::string_view text);
std::optional<std::string_view> SelectionText(int output, int selection);

}  // namespace padwright
