#pragma once

// A simulated controller's state on disk, and the --sim-fault words, so the
// command-line tool can run against a sim that survives between runs.
//
// File format: a text header, a blank line, then the raw flash:
//
//   padwright-sim-state 1
//   version=0x0214
//   variant=1
//   buttons=1
//   radio=on
//
//   <131072 flash bytes>
//
// Every key appears exactly once, in any order. version is 0..0xFFFF, written
// as 0x-prefixed hex or decimal; variant and buttons are 1 or 2; radio is on or off.

#include <cstdint>
#include <string>
#include <string_view>

#include "sim_controller.h"

namespace padwright::sim {

std::string SerializeControllerState(const ControllerState& state);
// Strict: anything but a well-formed state fails with a message, and `out` is
// left as it was.
bool ParseControllerState(std::string_view text, ControllerState& out, std::string* error);

// Writes a temp file next to `path` and renames it over it, so a crash leaves
// either the old state or the new one.
bool SaveControllerState(const std::string& path, const ControllerState& state, std::string* error);
bool LoadControllerState(const std::string& path, ControllerState& state, std::string* error);

// A comma-separated list of fault words, e.g. "drop-reply=3,fail-radio". The
// result is the whole fault set: fields not named keep their defaults (off).
// On failure `out` is left as it was and the message names the word.
bool ParseFaultList(std::string_view list, Faults& out, std::string* error);
// Help text for the words, a few lines, each ending in a newline.
const char* FaultListHelp();

// A factory-fresh controller. With an image, flash 0x10000 holds a valid
// header and a body tagged with `version`, so a reset keeps that version;
// without, the image range is erased.
ControllerState MakeStartingState(int variant, uint16_t version, int buttons, bool withImage);

}  // namespace padwright::sim
