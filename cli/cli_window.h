#pragma once

// The command-line tool's stand-ins for the window: a window that remembers
// what it would show, message boxes on stderr, and an update sink that queues
// the worker's posts for the main loop, as the window's message queue would.

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window_ops.h"
#include "device/update_sink.h"
#include "platform/message_boxes.h"

namespace padwright::cli {

class CliWindow final : public MainWindowOps {
public:
    std::string status;
    int detections = 0;  // how many times a connected picture was shown
    // The pages' calls, where a command has pages.
    std::function<void(CHidDevice&)> onReadGlobalSettings, onReadConfigImage;
    std::function<void(int)> onSensitivityState, onPageState;

    void EnableUpdateButton(bool) override {}
    void SetStatusText(const std::string& text) override { status = text; }
    void SetProgress(int) override {}
    void SelectTab(int) override {}
    void ShowPage(int, bool) override {}
    void InsertTab(int, const std::string&) override {}
    void DeleteTab(int) override {}
    void SetReadMePicture(int bitmap) override { detections += bitmap == kBitmapConnected; }
    void SetSensitivityState(int state) override
    {
        if (onSensitivityState)
            onSensitivityState(state);
    }
    void ReadGlobalSettings(CHidDevice& device) override
    {
        if (onReadGlobalSettings)
            onReadGlobalSettings(device);
    }
    void SetPageState(int state) override
    {
        if (onPageState)
            onPageState(state);
    }
    void ReadConfigImage(CHidDevice& device) override
    {
        if (onReadConfigImage)
            onReadConfigImage(device);
    }
};

class StderrMessages final : public MessageBoxes {
public:
    MessageAnswer Show(const std::string& text, const std::string&, MessageButtons buttons) override
    {
        std::lock_guard lock(mutex_);
        std::fprintf(stderr, "%s\n", text.c_str());
        return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
    }

private:
    std::mutex mutex_;
};

struct UpdateEvent {
    bool done = false;
    int percentage = 0;
    std::string text;
};

class QueuedSink final : public UpdateSink {
public:
    void PostUpdateProgress(int percentage, const std::string& text) override
    {
        Push({false, percentage, text});
    }
    void PostUpdateDone(int result) override { Push({true, result, {}}); }
    // Everything posted so far, oldest first; waits up to timeoutMs for a first one.
    std::vector<UpdateEvent> Take(int timeoutMs)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !events_.empty(); });
        std::vector<UpdateEvent> out(events_.begin(), events_.end());
        events_.clear();
        return out;
    }

private:
    void Push(UpdateEvent e)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
        }
        changed_.notify_all();
    }
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<UpdateEvent> events_;
};

}  // namespace padwright::cli
