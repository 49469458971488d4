#pragma once

#include <functional>
#include <string>

namespace padwright {

// Lines for a developer watching the program, like a debugger's output window.
// Nothing is written unless a sink was installed (the command-line tool's --debug).
void DebugOutput(const std::string& line);
void SetDebugSink(std::function<void(const std::string&)> sink);

}  // namespace padwright
