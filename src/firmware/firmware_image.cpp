#include "firmware/firmware_image.h"

#include <algorithm>

namespace padwright {

int SelectFirmwareResource(int deviceKind)
{
    switch (deviceKind) {
    case 1: return kFirmwareResourceVariant1;
    case 2: return kFirmwareResourceVariant2;
    default: return 0;
    }
}

int LoadFirmwareImage(const Resources& resources, int deviceKind, PreparedImage& image)
{
    const int id = SelectFirmwareResource(deviceKind);
    if (id == 0)
        return kStringFindingFirmware;
    std::span<const uint8_t> data;
    switch (resources.Binary(kFirmwareResourceType, id, data)) {
    case ResourceFailure::Find: return kStringFindingFirmware;
    case ResourceFailure::Load: return kStringLoadingFirmware;
    case ResourceFailure::Lock: return kStringLockingFirmware;
    case ResourceFailure::None: break;
    }
    // An image too short to hold its header cannot be one, whatever it begins with.
    if (data.size() < kInvalidHeader.size() || !HeaderIsValid(data.data()))
        return kStringUpgradeImagesOnly;
    image.bytes.assign(data.begin(), data.end());
    image.bytes.resize(data.size() + 4, 0);
    image.workingSize = (data.size() + 3) & ~size_t{3};
    return 0;
}

bool HeaderIsValid(const uint8_t* header)
{
    return std::equal(kImageMagic.begin(), kImageMagic.end(), header);
}

}  // namespace padwright
