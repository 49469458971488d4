#pragma once

// The "Analog Sensitivity" page as logic: four sliders, their labels, and the
// global settings record they are read from and written to.

#include <array>
#include <string>

#include "config/config_image.h"
#include "platform/clock.h"
#include "platform/message_boxes.h"
#include "platform/resources.h"

namespace padwright {

constexpr int kSensitivityMin = 50;
constexpr int kSensitivityMax = 200;
constexpr int kSensitivityDefault = 100;
constexpr int kGlobalWriteWaitMs = 1000;

enum SensitivitySlider { kLeftStick = 0, kRightStick = 1, kLeftTrigger = 2, kRightTrigger = 3 };
constexpr int kSliderCount = 4;
constexpr std::array<int, kSliderCount> kSliderLabelStrings = {171, 172, 173, 174};
constexpr int kStringSensitivityEnabled = 175;
constexpr int kStringSensitivityDisabled = 176;

// Shown when a controller write (erase or program) failed, so nobody believes
// the controller holds a setting it does not.
constexpr const char* kControllerWriteFailedText =
    "ERROR: Whilst writing the settings to the controller";

class GlobalSettings {
public:
    GlobalSettings(MessageBoxes& messages, Clock& clock, const Resources& resources);

    // 0 or 1 disable the page, anything else enables it.
    void SetSensitivityState(int state);
    bool Enabled() const { return enabled_; }
    bool SlidersEnabled() const { return enabled_ && slidersFree_; }
    std::string PageText() const;

    int Slider(int slider) const { return sliders_[slider]; }
    // A user's move; kept within the slider's range.
    void SetSlider(int slider, int value);
    std::string Label(int slider) const;

    // Reads the record's first 256 bytes; a valid record moves the sliders
    // unless it says to leave them.
    bool ReadGlobalSettings(CHidDevice& device);
    // The Assign and Reset to Defaults buttons. False when the controller did
    // not take the write (the user was told).
    bool Assign(CHidDevice* device);
    bool ResetToDefaults(CHidDevice* device);

    const GlobalSettingsImage& Image() const { return image_; }

private:
    bool WriteGlobalSettings(CHidDevice* device);

    MessageBoxes& messages_;
    Clock& clock_;
    const Resources& resources_;
    GlobalSettingsImage image_{};
    std::array<int, kSliderCount> sliders_ = {kSensitivityDefault, kSensitivityDefault,
                                              kSensitivityDefault, kSensitivityDefault};
    bool enabled_ = false;
    bool slidersFree_ = true;
};

// The four values as the record stores them, for a caller that only wants to read them.
std::array<int, kSliderCount> SensitivitiesOf(const GlobalSettingsImage& image);
bool HasValidGlobalRecord(const GlobalSettingsImage& image);

}  // namespace padwright
