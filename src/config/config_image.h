#pragma once

// The controller's configuration memory as the program keeps it: the
// feature-button sector (two slots) and the global settings sector, their fixed
// contents, and reading and writing them over the device record.

#include <array>
#include <cstddef>
#include <cstdint>

namespace padwright {

class CHidDevice;

constexpr size_t kSlotBytes = 2048;
constexpr size_t kConfigImageBytes = 4096;
constexpr size_t kRemapTableBytes = 32;
constexpr size_t kGlobalSettingsBytes = 4096;
constexpr size_t kGlobalSettingsReadBytes = 256;
constexpr size_t kMacroIdsOffset = 2028;  // ten 16-bit macro ids at the end of a macro slot
constexpr size_t kMacroIdCount = 10;

using SlotImage = std::array<uint8_t, kSlotBytes>;
using ConfigImage = std::array<uint8_t, kConfigImageBytes>;  // slot 0, then slot 1
using RemapTable = std::array<uint8_t, kRemapTableBytes>;
using GlobalSettingsImage = std::array<uint8_t, kGlobalSettingsBytes>;
using MacroIdTable = std::array<uint16_t, kMacroIdCount>;

enum class FunctionCode : uint8_t {
    None = 0,
    Turbo = 1,        // byte 1 zero: plain turbo; nonzero: the zombie turbo
    Sniper = 2,
    LowRecoil = 3,
    Macros = 4,
    SoundPlayer = 5,
    Unused = 6,       // never offered; shown as no function
    Remap = 7,        // the slot starts with a remap table
};

// Fixed slot contents; their meaning is the firmware's.
extern const std::array<uint8_t, 12> kZombieTurboBytes;
extern const std::array<uint8_t, 192> kSoundPlayerBlock;
// The three game layouts, in the order the page compares them.
extern const std::array<RemapTable, 3> kGameLayouts;

// Which slot a feature button (0 for the first tab, 1 for the second) uses: with
// two buttons the order is crossed.
int SlotIndexFor(int featureButton, int featureButtonCount);
uint8_t* SlotData(ConfigImage& image, int slotIndex);
const uint8_t* SlotData(const ConfigImage& image, int slotIndex);

// ReadMemory of the feature-button sector into the host copy. On a failed read
// nothing of the copy changes.
bool ReadConfigImage(CHidDevice& device, ConfigImage& image);
// Erases the sector, then (only if the erase worked) programs all 4096 bytes.
bool WriteConfigImage(CHidDevice& device, const ConfigImage& image);

// Global settings record.
constexpr std::array<uint8_t, 12> kGlobalTag = {'Q', 'U', 'E', 'L', 'M', '_', 'G', 'L', 'O', 'B', 'A', 'L'};
constexpr size_t kGlobalValidOffset = 12;
constexpr size_t kGlobalKeepSlidersOffset = 13;
constexpr size_t kGlobalLeftStickOffset = 16;   // and 17
constexpr size_t kGlobalRightStickOffset = 18;  // and 19
constexpr size_t kGlobalLeftTriggerOffset = 20;
constexpr size_t kGlobalRightTriggerOffset = 21;
constexpr size_t kGlobalRecordEnd = 22;

}  // namespace padwright
