#pragma once

// The macro language compiler: turns the joined text of the chosen macro files
// into the MacroImage that fills bytes 0..2027 of a slot with function code 4.
// Layout of the image (little-endian):
//   0      function code 4
//   1      mode flag (1 shift, 0 toggle)
//   2+2k   offset of the block of header button k, 0 = no macro
//   22..   the blocks in the order of the text:
//          control word (4), mask (2), then count steps of 3 or 6 bytes

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/message_boxes.h"

namespace padwright {

constexpr size_t kMacroImageBytes = 2028;
constexpr uint8_t kMacroFunctionCode = 4;
constexpr size_t kMacroFunctionCodeOffset = 0;
constexpr size_t kMacroModeOffset = 1;
constexpr size_t kMacroHeaderOffset = 2;       // ten 16-bit block offsets
constexpr size_t kMacroHeaderButtons = 10;
constexpr size_t kMacroFirstBlockOffset = 22;  // right after the header

constexpr size_t kMacroBlockControlOffset = 0;  // 32-bit control word
constexpr size_t kMacroBlockMaskOffset = 4;     // 16-bit mask
constexpr size_t kMacroBlockHeaderBytes = 6;
constexpr size_t kMacroStepBytesDigital = 3;  // duration, button word
constexpr size_t kMacroStepBytesAnalog = 6;   // + sticks and triggers
constexpr size_t kMacroMaxSteps = 1024;       // steps past this are dropped

// Step bytes.
constexpr size_t kMacroStepDurationOffset = 0;
constexpr size_t kMacroStepButtonsOffset = 1;  // 16-bit button word
constexpr size_t kMacroStepLeftStickOffset = 3;   // lx bits 0..3, ly bits 4..7
constexpr size_t kMacroStepRightStickOffset = 4;  // rx bits 0..3, ry bits 4..7
constexpr size_t kMacroStepTriggersOffset = 5;    // lt bits 0..3, rt bits 4..7

constexpr uint8_t kMacroDefaultDurationFrames = 20;
constexpr unsigned long kMacroMaxDurationFrames = 255;
constexpr uint16_t kMacroAnalogFlag = 0x0800;  // some step uses a stick or trigger
constexpr uint16_t kMacroMaskAll = 0xFFFF;

// Control word fields.
constexpr uint32_t kMacroCountMask = 0x3FF;
constexpr unsigned kMacroLoopStartShift = 10;
constexpr unsigned kMacroLoopEndShift = 20;
constexpr uint32_t kMacroLoopIndexMask = 0x3FF;
constexpr unsigned kMacroLoopFlagShift = 31;

constexpr int kMacroStickMin = -8;
constexpr int kMacroStickMax = 7;
constexpr int kMacroTriggerMin = 0;
constexpr int kMacroTriggerMax = 15;

// Header index k of the name after "button". The header calls index 7
// "select" although the step token for the same bit is "back".
constexpr std::array<std::string_view, kMacroHeaderButtons> kMacroHeaderNames = {
    "a", "b", "x", "y", "lb", "rb", "start", "select", "l3", "r3",
};

struct MacroButtonToken {
    std::string_view token;
    uint16_t bit;
};

// Step tokens and the button word bits they set (the controller's button word).
constexpr std::array<MacroButtonToken, 15> kMacroButtonTokens = {{
    {"dup", 0x0001},
    {"ddown", 0x0002},
    {"dleft", 0x0004},
    {"dright", 0x0008},
    {"start", 0x0010},
    {"back", 0x0020},
    {"l3", 0x0040},
    {"r3", 0x0080},
    {"lb", 0x0100},
    {"rb", 0x0200},
    {"xenon", 0x0400},
    {"a", 0x1000},
    {"b", 0x2000},
    {"x", 0x4000},
    {"y", 0x8000},
}};

// Compiles text into image (kMacroImageBytes bytes). On the first error or
// warning it shows one message box and returns false at once; the image keeps
// what was written up to then. Any bytes are accepted as text.
bool CompileMacros(std::string_view text, bool shiftMode, uint8_t* image, MessageBoxes& messages);

}  // namespace padwright
