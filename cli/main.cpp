// padwright-cli: a scriptable front end over the core.

#include <poll.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "device/hid_device.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/hidapi_bus.h"
#include "platform/udev_watcher.h"
#include "sim/sim_bus.h"

using namespace padwright;

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: padwright-cli [--simulate] [--debug] COMMAND\n"
                 "commands:\n"
                 "  list     print the interface name of every controller present\n"
                 "  watch    print controller arrivals and removals until interrupted\n");
}

int List(HidBus& bus, Clock& clock)
{
    const auto found = bus.Enumerate(kControllerVendorId, kControllerProductId);
    for (const HidDeviceInfo& info : found)
        std::printf("%s\n", info.path.c_str());
    if (found.empty()) {
        std::printf("no controller found\n");
        return 1;
    }
    // Show that the first one answers, as the program would use it.
    CHidDevice device(nullptr, bus, clock);
    uint16_t version = 0;
    if (!device.OpenFirst()) {
        std::fprintf(stderr, "cannot open %s (see the udev rule in the README)\n",
                     found.front().path.c_str());
        return 1;
    }
    if (!device.WriteRadioState() || !device.ReadFirmwareVersion(version)) {
        std::fprintf(stderr, "the controller did not answer\n");
        return 1;
    }
    std::printf("firmware v%d.%2.2x\n", version >> 8, version & 0xFF);
    return 0;
}

int Watch(HotplugWatcher& watcher)
{
    std::printf("watching for controllers; Ctrl+C ends\n");
    std::fflush(stdout);
    for (;;) {
        pollfd fd{watcher.Fd(), POLLIN, 0};
        if (poll(&fd, 1, -1) < 0)
            return 1;
        for (const HotplugEvent& e : watcher.ReadEvents()) {
            if (!IsControllerPath(e.path))
                continue;
            std::printf("%s %s\n", e.kind == HotplugKind::Arrival ? "arrived" : "removed",
                        e.path.c_str());
            std::fflush(stdout);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    bool simulate = false;
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--simulate")
            simulate = true;
        else if (arg == "--debug")
            SetDebugSink([](const std::string& line) { std::fputs(line.c_str(), stderr); });
        else if (command.empty() && arg[0] != '-')
            command = arg;
        else {
            Usage();
            return 2;
        }
    }

    SteadyClock clock;
    std::unique_ptr<HidBus> bus;
    sim::SimBus* simBus = nullptr;
    if (simulate) {
        auto s = std::make_unique<sim::SimBus>();
        s->Plug(std::make_shared<sim::SimController>());
        simBus = s.get();
        bus = std::move(s);
    } else {
        bus = std::make_unique<HidapiBus>();
    }

    if (command == "list")
        return List(*bus, clock);
    if (command == "watch") {
        std::unique_ptr<HotplugWatcher> watcher =
            simBus ? simBus->CreateWatcher() : std::unique_ptr<HotplugWatcher>(UdevWatcher::Create());
        if (!watcher) {
            std::fprintf(stderr, "cannot listen for device notices (udev unavailable)\n");
            return 1;
        }
        return Watch(*watcher);
    }
    Usage();
    return 2;
}
