#pragma once

// Follows an update as the window's event loop would: device notices from the
// watcher and the worker's posts from the sink go to the detection, until the
// controller is back after the update's reset, or the update ended without one.

#include <chrono>
#include <functional>
#include <string>

#include "app/controller_detection.h"
#include "cli_window.h"
#include "platform/hid.h"
#include "platform/resources.h"

namespace padwright::cli {

class UpdateFollower {
public:
    using ProgressFn = std::function<void(int percentage, const std::string& text)>;

    UpdateFollower(ControllerDetection& detection, CliWindow& window, QueuedSink& sink,
                   HotplugWatcher& watcher, const Resources& resources, ProgressFn onProgress = {});
    // Call once the Update button set the update going. False when the
    // controller did not come back within `timeout` of the last sign of life.
    bool Follow(std::chrono::milliseconds timeout);

private:
    ControllerDetection& detection_;
    CliWindow& window_;
    QueuedSink& sink_;
    HotplugWatcher& watcher_;
    const Resources& resources_;
    ProgressFn onProgress_;
};

}  // namespace padwright::cli
