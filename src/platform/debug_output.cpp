#include "platform/debug_output.h"

#include <mutex>

namespace padwright {
namespace {

std::mutex g_sinkMutex;
std::function<void(const std::string&)> g_sink;

}  // namespace

void DebugOutput(const std::string& line)
{
    std::lock_guard lock(g_sinkMutex);
    if (g_sink)
        g_sink(line);
}

void SetDebugSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}

}  // namespace padwright
