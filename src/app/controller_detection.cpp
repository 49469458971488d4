#include "app/controller_detection.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "firmware/firmware_image.h"
#include "firmware/firmware_update.h"

namespace padwright {
ControllerDetection::ControllerDetection(MainWindowOps& window, MessageBoxes& messages,
                                         UpdateSink& sink, HidBus& bus, Clock& clock,
                                         const Resources& resources)
    : window_(window), messages_(messages), sink_(sink), bus_(bus), clock_(clock),
      resources_(resources)
{
}

ControllerDetection::~ControllerDetection()
{
    // The worker holds its own reference to the record; let it finish first.
    if (worker_.joinable())
        worker_.join();
}

std::string ControllerDetection::ModelName() const
{
    return resources_.String(kStringModelName);
}

void ControllerDetection::StartUp()
{
    configMode_ = 0;
    imagePresent_ = false;
    updatePending_ = false;
    window_.InsertTab(0, resources_.String(kStringReadMeTab));
    window_.SetReadMePicture(kBitmapNoController);
    currentTab_ = 0;
    featureTabCount_ = 0;
    window_.ShowPage(0, true);
    window_.SetProgress(0);
    window_.EnableUpdateButton(false);
    ShowNoController();
    DetectController();
    if (displayState_ > kDisplayNoController)
        configMode_ = 1;
}

void ControllerDetection::ShowNoController()
{
    window_.SetStatusText(FormatText(resources_.String(kStringNoController), ModelName()));
    window_.SetProgress(0);
}

void ControllerDetection::ConnectDevice(const std::optional<std::string>& path)
{
    device_.reset();
    auto device = std::make_shared<CHidDevice>(&sink_, bus_, clock_);
    const bool opened = path ? device->OpenPath(*path) : device->OpenFirst();
    if (opened)
        device_ = std::move(device);
}

ProbeResult ControllerDetection::ProbeDeviceKind()
{
    ProbeResult result;
    if (!device_ || !device_->QueryBegin())
        return result;
    std::array<uint8_t, kQueryBlockBytes> a{}, b{};
    uint8_t status = 0;
    if (!device_->QuerySelect(kQuerySelectorA, kQueryLengthByte) || !device_->QueryRead(a, status) ||
        status != kQueryStatusValid)
        return result;
    if (!device_->QuerySelect(kQuerySelectorB, kQueryLengthByte) || !device_->QueryRead(b, status) ||
        status != kQueryStatusValid)
        return result;
    b[3] = a[3];
    result.ok = true;
    result.blocksDiffer = a != b;
    return result;
}

void ControllerDetection::DetectController(const std::optional<std::string>& path)
{
    window_.EnableUpdateButton(false);
    ShowNoController();
    ConnectDevice(path);
    clock_.SleepMs(kOpenSettleMs);
    window_.EnableUpdateButton(true);
    if (!device_)
        return;

    while (!device_->WriteRadioState()) {
        if (!holding_.empty()) {
            messages_.Show(kRadioStateFailText);
            return;
        }
        // Keep the first record open and try a fresh one on the same device.
        holding_.push_back(std::move(device_));
        device_.reset();
        ConnectDevice(path);
        if (!device_)
            return;
    }

    clock_.SleepMs(kRadioSettleMs);
    uint16_t version = 0;
    if (!device_->ReadFirmwareVersion(version)) {
        messages_.Show(resources_.String(kStringVersionReadError));
        OnControllerLost();
        return;
    }
    version_ = version;
    device_->WriteRadioState();

    featureTabCount_ = 1;
    const ProbeResult probe = ProbeDeviceKind();
    bool updateAvailable = false;
    if (probe.ok && probe.blocksDiffer && version < kNewestFirmwareVariant1) {
        deviceKind_ = 1;
        updateAvailable = true;
    } else if (probe.ok && !probe.blocksDiffer && version < kNewestFirmwareVariant2) {
        deviceKind_ = 2;
        updateAvailable = true;
    } else if (!probe.ok) {
        deviceKind_ = -1;
    }

    std::string status;
    if (updateAvailable) {
        status = FormatText(resources_.String(kStringUpdateAvailable), version >> 8, version & 0xFF);
        displayState_ = kDisplayUpdateAvailable;
        window_.SetSensitivityState(1);
        window_.SetPageState(1);
    } else {
        status = probe.ok ? FormatText(resources_.String(kStringUpToDate), version >> 8, version & 0xFF)
                          : std::string(kProbeFailedText);
        displayState_ = kDisplayUpToDate;
        window_.EnableUpdateButton(false);
        Payload report;
        if (device_->EnterConfigMode() && device_->ReadReport(report) &&
            (report[kConfigReportFlagsOffset - 1] & kTwoFeatureButtonsMask))
            featureTabCount_ = 2;
        device_->LeaveConfigMode();
        device_->Flush();
        window_.ReadGlobalSettings(*device_);
        window_.ReadConfigImage(*device_);
        window_.SetSensitivityState(2);
        window_.SetPageState(2);
    }

    window_.SetReadMePicture(kBitmapConnected);
    window_.InsertTab(1, resources_.String(kStringAnalogTab));
    for (int i = 1; i <= featureTabCount_; ++i)
        window_.InsertTab(i + 1, FormatText(resources_.String(kStringFeatureButtonTab), i));
    window_.SetStatusText(status);

    imagePresent_ = false;
    std::array<uint8_t, kImageHeaderBytes> header{};
    if (device_->ReadMemory(kImageHeaderAddress, header.data(), header.size()) &&
        HeaderIsValid(header.data()))
        imagePresent_ = true;

    if (updatePending_) {
        updatePending_ = false;
        StartUpdateWorker();
    }
}

void ControllerDetection::OnDeviceChange(const HotplugEvent& event)
{
    if (!IsControllerPath(event.path))
        return;
    if (event.kind == HotplugKind::Arrival) {
        if (configMode_ != 0)
            return;
        configMode_ = 1;
        DetectController(ToUpperAscii(event.path));
    } else {
        if (configMode_ != 1)
            return;
        configMode_ = 0;
        OnControllerLost();
    }
}

void ControllerDetection::OnControllerLost()
{
    device_.reset();
    holding_.clear();
    window_.EnableUpdateButton(false);
    ShowNoController();
    displayState_ = kDisplayNoController;
    window_.ShowPage(currentTab_, false);
    currentTab_ = 0;
    window_.SelectTab(0);
    window_.ShowPage(0, true);
    window_.DeleteTab(1);
    for (int i = 0; i < featureTabCount_; ++i)
        window_.DeleteTab(1);
    window_.SetReadMePicture(kBitmapNoController);
    window_.SetPageState(0);
}

void ControllerDetection::OnTabSelected(int index)
{
    window_.ShowPage(currentTab_, false);
    currentTab_ = index;
    window_.ShowPage(currentTab_, true);
}

bool ControllerDetection::OnUpdateButton()
{
    window_.EnableUpdateButton(false);
    if (configMode_ != 1) {
        messages_.Show(kConfigModeNotSetText);
        return false;
    }
    return StartUpdate();
}

bool ControllerDetection::StartUpdate()
{
    // While a worker runs it is the only user of the record.
    if (WorkerRunning())
        return false;
    // An arrival whose detection opened nothing leaves ConfigMode 1 without a
    // record: there is nothing to update.
    if (!device_) {
        messages_.Show(kUpdateStartErrorText);
        return false;
    }
    if (imagePresent_) {
        updatePending_ = true;
        if (!device_->WriteRadioState() ||
            !device_->ProgramFlash(kImageHeaderAddress, kInvalidHeader.data(), kInvalidHeader.size()) ||
            !device_->ResetDevice()) {
            messages_.Show(kUpdateStartErrorText);
            return false;
        }
        return true;
    }
    return StartUpdateWorker();
}

bool ControllerDetection::StartUpdateWorker()
{
    if (worker_.joinable() && workerFinished_)
        worker_.join();  // its done notice is still on the way
    if (worker_.joinable() || !device_)
        return false;  // one worker at a time
    UpdateContext context;
    context.device = device_;
    context.deviceKind = deviceKind_;
    context.configMode = &configMode_;
    context.sink = &sink_;
    context.messages = &messages_;
    context.resources = &resources_;
    workerFinished_ = false;
    worker_ = std::thread(UpdateThreadProc, std::move(context), &workerFinished_);
    return true;
}

void ControllerDetection::OnUpdateDone()
{
    // The notice is the worker's last act, so this join is immediate; a notice
    // from a worker already joined finds a newer one still running and leaves it.
    if (worker_.joinable() && workerFinished_)
        worker_.join();
}

}  // namespace padwright
