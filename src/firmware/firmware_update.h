#pragma once

// Rewrites the controller's firmware with the embedded image: radio off, erase,
// program the body with progress, verify by checksum, write the header last,
// reset. Runs on the update worker and reports only through the sink.

#include <atomic>
#include <memory>
#include <string>

#include "device/hid_device.h"
#include "device/update_sink.h"
#include "platform/message_boxes.h"
#include "platform/resources.h"

namespace padwright {

// Status texts, as string numbers.
constexpr int kStringDisablingRadio = 132;
constexpr int kStringErasingFlash = 133;
constexpr int kStringReprogramming = 134;
constexpr int kStringProgrammingFlash = 135;
constexpr int kStringCalculatingChecksum = 136;
constexpr int kStringChecksumsDiffer = 137;
constexpr int kStringFinalizingFlash = 138;
constexpr int kStringResettingDevice = 139;
constexpr int kStringResetFailed = 140;
constexpr int kStringProgrammingComplete = 141;

constexpr const char* kConfigModeNotSetNotice = "Update progress error - ConfigMode not set";

// What the worker takes from the main window.
struct UpdateContext {
    // The worker's own reference: the record stays open while the worker runs,
    // even when a removal notice drops the window's.
    std::shared_ptr<CHidDevice> device;
    int deviceKind = 0;
    const std::atomic<int>* configMode = nullptr;
    UpdateSink* sink = nullptr;
    MessageBoxes* messages = nullptr;
    const Resources* resources = nullptr;
};

// Posts a status text while ConfigMode is 1; otherwise shows the notice.
void PostUpdateText(const UpdateContext& context, const std::string& text, int percentage);
// Always returns 0: the outcome is told only by the posted texts.
int ProgramFirmware(const UpdateContext& context);
// Runs ProgramFirmware, then posts the done notice with its result. `finished`,
// when given, is set just before the notice goes out.
void UpdateThreadProc(UpdateContext context, std::atomic<bool>* finished = nullptr);

}  // namespace padwright
