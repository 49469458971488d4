#pragma once

// The logic behind the main window's status line: finds the controller, reads
// its version and variant, decides whether an update is available, follows the
// controller through arrivals and removals, and starts firmware updates.
// Everything here runs on the UI thread except the update worker it starts.

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window_ops.h"
#include "device/hid_device.h"
#include "device/update_sink.h"
#include "platform/clock.h"
#include "platform/hid.h"
#include "platform/message_boxes.h"
#include "platform/resources.h"
#include "platform/text.h"

namespace padwright {

constexpr uint16_t kNewestFirmwareVariant1 = 0x0215;
constexpr uint16_t kNewestFirmwareVariant2 = 0x0185;

constexpr int kStringReadMeTab = 122;
constexpr int kStringVersionReadError = 123;
constexpr int kStringUpdateAvailable = 124;
constexpr int kStringUpToDate = 125;
constexpr int kStringFeatureButtonTab = 126;
constexpr int kStringNoController = 127;
constexpr int kStringModelName = 168;
constexpr int kStringAnalogTab = 170;

constexpr const char* kProbeFailedText = "CONNECTION FAIL - Please reinsert controller ";
constexpr const char* kRadioStateFailText = "WriteRadioState : FAIL\nRemove controller and try again";
constexpr const char* kConfigModeNotSetText = "ERROR : Configuration mode not set";
constexpr const char* kUpdateStartErrorText = "Controller update error - please reconnect and try again";

constexpr int kOpenSettleMs = 500;
constexpr int kRadioSettleMs = 200;

enum DisplayStateValue { kDisplayNoController = 1, kDisplayUpdateAvailable = 2, kDisplayUpToDate = 3 };

struct ProbeResult {
    bool ok = false;
    bool blocksDiffer = false;
};

class ControllerDetection {
public:
    // sink receives the update progress (also the batch engine's) and the done
    // notice, from the worker thread.
    ControllerDetection(MainWindowOps& window, MessageBoxes& messages, UpdateSink& sink,
                        HidBus& bus, Clock& clock, const Resources& resources);
    ~ControllerDetection();

    void DetectController(const std::optional<std::string>& path = std::nullopt);
    // A hot-plug notice; the name is the interface name it carries.
    void OnDeviceChange(const HotplugEvent& event);
    void OnControllerLost();
    void ShowNoController();
    ProbeResult ProbeDeviceKind();
    void ConnectDevice(const std::optional<std::string>& path);

    // The Update button. True when the update was set going: the worker
    // started, or the image invalidated and the controller reset.
    bool OnUpdateButton();
    bool StartUpdate();
    // The worker's done notice, once the window has it on the UI thread.
    void OnUpdateDone();
    // A worker is running, or has finished and its done notice is not handled yet.
    bool WorkerHeld() const { return worker_.joinable(); }
    bool WorkerRunning() const { return worker_.joinable() && !workerFinished_; }
    // A tab was chosen in the tab row.
    void OnTabSelected(int index);

    // The window's start-up ends with a detection that may set ConfigMode.
    void StartUp();

    int ConfigMode() const { return configMode_.load(); }
    void SetConfigMode(int mode) { configMode_.store(mode); }
    int DisplayState() const { return displayState_; }
    int DeviceKind() const { return deviceKind_; }
    int FeatureTabCount() const { return featureTabCount_; }
    bool ImagePresent() const { return imagePresent_; }
    bool UpdatePending() const { return updatePending_; }
    uint16_t Version() const { return version_; }
    int CurrentTab() const { return currentTab_; }
    const std::shared_ptr<CHidDevice>& Device() const { return device_; }
    size_t HeldRecords() const { return holding_.size(); }
    std::string ModelName() const;

private:
    bool StartUpdateWorker();

    MainWindowOps& window_;
    MessageBoxes& messages_;
    UpdateSink& sink_;
    HidBus& bus_;
    Clock& clock_;
    const Resources& resources_;

    std::shared_ptr<CHidDevice> device_;
    std::vector<std::shared_ptr<CHidDevice>> holding_;
    std::atomic<int> configMode_{0};
    bool imagePresent_ = false;
    bool updatePending_ = false;
    int deviceKind_ = 0;
    int featureTabCount_ = 0;
    int displayState_ = kDisplayNoController;
    uint16_t version_ = 0;
    int currentTab_ = 0;
    std::thread worker_;
    std::atomic<bool> workerFinished_{false};
};


}  // namespace padwright
