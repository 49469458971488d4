#pragma once

// The firmware images the program carries, one per controller variant, and
// their preparation for programming.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/resources.h"

namespace padwright {

constexpr std::array<uint8_t, 9> kImageMagic = {'Q', 'U', 'E', 'L', 'M', '_', 'D', 'F', 'U'};
constexpr std::array<uint8_t, 16> kInvalidHeader = {};
constexpr const char* kFirmwareResourceType = "BINARY";
constexpr int kFirmwareResourceVariant1 = 252;
constexpr int kFirmwareResourceVariant2 = 254;

// Status texts of the load, as string numbers.
constexpr int kStringFindingFirmware = 128;
constexpr int kStringLoadingFirmware = 129;
constexpr int kStringLockingFirmware = 130;
constexpr int kStringUpgradeImagesOnly = 131;

// The resource id for a DeviceKind; 0 for a kind without an image.
int SelectFirmwareResource(int deviceKind);

struct PreparedImage {
    std::vector<uint8_t> bytes;  // the resource and four zero bytes after it
    size_t workingSize = 0;      // the resource size rounded up to a multiple of 4
    size_t BodyLength() const { return workingSize - kInvalidHeader.size(); }
    const uint8_t* Body() const { return bytes.data() + kInvalidHeader.size(); }
};

// Loads and checks the image for a DeviceKind. Returns 0, or the number of the
// string that says which step failed.
int LoadFirmwareImage(const Resources& resources, int deviceKind, PreparedImage& image);

// True when 16 bytes read from the image header address start with the magic.
bool HeaderIsValid(const uint8_t* header);

}  // namespace padwright
