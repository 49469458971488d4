#pragma once

// Macro assignments shared by the macro chooser and the feature button page for
// the whole run.

#include <array>
#include <cstdint>
#include <string>

#include "config/config_image.h"

namespace padwright {

constexpr size_t kMacroRows = 10;
// The word of the macro language for each button row, top to bottom.
constexpr std::array<const char*, kMacroRows> kMacroRowWords = {"a",  "b",      "x",     "y",  "lb",
                                                                "rb", "select", "start", "l3", "r3"};
constexpr size_t kMacroLocationChars = 257;  // the location field holds 258 bytes with its zero

struct MacroAssignment {
    int row = -1;  // 0..9, or -1 for an empty entry
    uint16_t id = 0;
    std::string location;
};
using MacroAssignmentTable = std::array<MacroAssignment, kMacroRows>;

enum class MacroTriggerMode { Shift = 0, Toggle = 1 };

}  // namespace padwright
