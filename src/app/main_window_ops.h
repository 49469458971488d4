#pragma once

// What the controller detection asks of the main window. The Qt window
// implements these; tests record them.

#include <string>

namespace padwright {

class CHidDevice;

constexpr int kBitmapNoController = 167;
constexpr int kBitmapConnected = 168;

class MainWindowOps {
public:
    virtual ~MainWindowOps() = default;
    virtual void EnableUpdateButton(bool enabled) = 0;
    // Sets the status line and repaints it.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual void SetProgress(int position) = 0;
    virtual void SelectTab(int index) = 0;
    virtual void ShowPage(int index, bool show) = 0;
    virtual void InsertTab(int index, const std::string& text) = 0;
    virtual void DeleteTab(int index) = 0;
    // Shows a bitmap in the Read Me page's picture and repaints the page.
    virtual void SetReadMePicture(int bitmap) = 0;
    // Page and image calls the detection passes on.
    virtual void SetSensitivityState(int state) = 0;
    virtual void ReadGlobalSettings(CHidDevice& device) = 0;
    virtual void SetPageState(int state) = 0;
    virtual void ReadConfigImage(CHidDevice& device) = 0;
};

}  // namespace padwright
