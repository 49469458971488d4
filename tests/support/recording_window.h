#pragma once

// Records what the detection asks of the main window, and keeps the state a
// window would show (tabs, status line, Update button, picture).

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "app/main_window_ops.h"
#include "platform/message_boxes.h"

namespace padwright::test {

class RecordingWindow final : public MainWindowOps {
public:
    std::vector<std::string> log;
    std::vector<std::string> tabs;
    std::string status;
    bool updateEnabled = false;
    int picture = 0;
    int progress = -1;
    int pageState = -1;
    int sensitivityState = -1;
    int globalReads = 0;
    int configReads = 0;

    void EnableUpdateButton(bool enabled) override
    {
        updateEnabled = enabled;
        log.push_back(enabled ? "enable update" : "disable update");
    }
    void SetStatusText(const std::string& text) override
    {
        status = text;
        log.push_back("status " + text);
    }
    void SetProgress(int position) override { progress = position; }
    void SelectTab(int index) override { log.push_back("select " + std::to_string(index)); }
    void ShowPage(int index, bool show) override
    {
        log.push_back((show ? "show " : "hide ") + std::to_string(index));
    }
    void InsertTab(int index, const std::string& text) override
    {
        tabs.insert(tabs.begin() + std::min<size_t>(static_cast<size_t>(index), tabs.size()), text);
    }
    void DeleteTab(int index) override
    {
        if (static_cast<size_t>(index) < tabs.size())
            tabs.erase(tabs.begin() + index);
    }
    void SetReadMePicture(int bitmap) override { picture = bitmap; }
    void SetSensitivityState(int state) override { sensitivityState = state; }
    void ReadGlobalSettings(CHidDevice&) override { ++globalReads; }
    void SetPageState(int state) override { pageState = state; }
    void ReadConfigImage(CHidDevice&) override { ++configReads; }
};

// Message boxes that answer at once and remember what they said; any thread.
class RecordingMessages final : public MessageBoxes {
public:
    MessageAnswer answer = MessageAnswer::Ok;
    MessageAnswer Show(const std::string& text, const std::string&, MessageButtons) override
    {
        std::lock_guard lock(mutex_);
        shown_.push_back(text);
        return answer;
    }
    std::vector<std::string> Shown() const
    {
        std::lock_guard lock(mutex_);
        return shown_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> shown_;
};

}  // namespace padwright::test
