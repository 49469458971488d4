#include "config/global_settings.h"

#include <algorithm>

#include "device/hid_device.h"
#include "platform/text.h"

namespace padwright {

bool HasValidGlobalRecord(const GlobalSettingsImage& image)
{
    return std::equal(kGlobalTag.begin(), kGlobalTag.end(), image.begin()) &&
           image[kGlobalValidOffset] != 0;
}

std::array<int, kSliderCount> SensitivitiesOf(const GlobalSettingsImage& image)
{
    return {image[kGlobalLeftStickOffset], image[kGlobalRightStickOffset],
            image[kGlobalLeftTriggerOffset], image[kGlobalRightTriggerOffset]};
}

GlobalSettings::GlobalSettings(MessageBoxes& messages, Clock& clock, const Resources& resources)
    : messages_(messages), clock_(clock), resources_(resources)
{
}

void GlobalSettings::SetSensitivityState(int state)
{
    enabled_ = state != 0 && state != 1;
}

std::string GlobalSettings::PageText() const
{
    return resources_.String(enabled_ ? kStringSensitivityEnabled : kStringSensitivityDisabled);
}

void GlobalSettings::SetSlider(int slider, int value)
{
    sliders_[slider] = std::clamp(value, kSensitivityMin, kSensitivityMax);
}

std::string GlobalSettings::Label(int slider) const
{
    return FormatText(resources_.String(kSliderLabelStrings[slider]), sliders_[slider]);
}

bool GlobalSettings::ReadGlobalSettings(CHidDevice& device)
{
    if (!device.ReadMemory(kGlobalSettingsAddress, image_.data(), kGlobalSettingsReadBytes))
        return false;
    if (!HasValidGlobalRecord(image_))
        return true;  // no record yet: the sliders stay; the next write makes one
    if (image_[kGlobalKeepSlidersOffset] == 0) {
        const auto values = SensitivitiesOf(image_);
        // A slider keeps a value from outside its range within it.
        for (int i = 0; i < kSliderCount; ++i)
            SetSlider(i, values[i]);
    }
    return true;
}

bool GlobalSettings::WriteGlobalSettings(CHidDevice* device)
{
    std::fill(image_.begin(), image_.begin() + kGlobalRecordEnd, 0);
    std::copy(kGlobalTag.begin(), kGlobalTag.end(), image_.begin());
    image_[kGlobalValidOffset] = 1;
    image_[kGlobalLeftStickOffset] = image_[kGlobalLeftStickOffset + 1] =
        static_cast<uint8_t>(sliders_[kLeftStick]);
    image_[kGlobalRightStickOffset] = image_[kGlobalRightStickOffset + 1] =
        static_cast<uint8_t>(sliders_[kRightStick]);
    image_[kGlobalLeftTriggerOffset] = static_cast<uint8_t>(sliders_[kLeftTrigger]);
    image_[kGlobalRightTriggerOffset] = static_cast<uint8_t>(sliders_[kRightTrigger]);

    slidersFree_ = false;
    const bool written = device && device->EraseFlash(kGlobalSettingsAddress, kSectorBytes) &&
                         device->ProgramFlash(kGlobalSettingsAddress, image_.data(), image_.size());
    if (!written)
        messages_.Show(kControllerWriteFailedText);
    clock_.SleepMs(kGlobalWriteWaitMs);
    slidersFree_ = true;
    return written;
}

bool GlobalSettings::Assign(CHidDevice* device)
{
    return WriteGlobalSettings(device);
}

bool GlobalSettings::ResetToDefaults(CHidDevice* device)
{
    sliders_.fill(kSensitivityDefault);
    return WriteGlobalSettings(device);
}

}  // namespace padwright
