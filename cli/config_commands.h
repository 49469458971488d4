#pragma once

// padwright-cli's configuration commands: compile-macros, assign, show,
// sensitivity, save-slot and load-slot.

#include <string>
#include <vector>

#include "app/controller_detection.h"
#include "cli_window.h"
#include "config/feature_button.h"
#include "config/global_settings.h"

namespace padwright::cli {

// Options after the command word, in order.
using Args = std::vector<std::string>;

// Returns the exit code: 0 done, 1 failed, 2 usage error.
int CompileMacrosCommand(const Args& args);

// The pages the commands act on, wired to the detection through the window.
struct ConfigSession {
    ConfigurationState state;
    StderrMessages& messages;
    GlobalSettings settings;
    FeatureButtonPage page;
    bool readsOk = true;  // both connection reads worked
    ConfigSession(StderrMessages& m, Clock& clock, const Resources& resources)
        : messages(m), settings(m, clock, resources), page(state, m, clock, resources)
    {
    }
};

int ConfigCommand(const std::string& command, const Args& args, ControllerDetection& detection,
                  ConfigSession& session);
bool IsConfigCommand(const std::string& command);
const char* ConfigCommandsHelp();

}  // namespace padwright::cli
