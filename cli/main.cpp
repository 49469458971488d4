// padwright-cli: a scriptable front end over the core.

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/controller_detection.h"
#include "cli_window.h"
#include "config_commands.h"
#include "update_follower.h"
#include "device/hid_device.h"
#include "firmware/firmware_update.h"
#include "platform/clock.h"
#include "platform/debug_output.h"
#include "platform/hidapi_bus.h"
#include "platform/resources.h"
#include "platform/udev_watcher.h"
#include "sim/sim_bus.h"
#include "sim/sim_state_file.h"

using namespace padwright;

namespace {

constexpr const char* kVersionText = "padwright-cli 1.8";
// How long an update waits for the controller to come back after a reset.
constexpr auto kReturnTimeout = std::chrono::milliseconds(30000);

void Usage(FILE* to)
{
    std::fprintf(to,
                 "usage: padwright-cli [options] COMMAND\n"
                 "\n"
                 "commands:\n"
                 "  detect   find the controller and print its status line and state\n"
                 "  update   update the controller's firmware, following it through its resets\n"
                 "  list     print the interface name of every controller present\n"
                 "  watch    print controller arrivals and removals until interrupted\n"
                 "%s"
                 "\n"
                 "options:\n"
                 "  --simulate           use the simulated controller instead of real hardware\n"
                 "  --sim-state FILE     keep the simulated controller's state in FILE\n"
                 "  --sim-variant 1|2    starting state: controller variant (default 1)\n"
                 "  --sim-version 0xNNNN starting state: firmware version (default 0x0214)\n"
                 "  --sim-buttons 1|2    starting state: feature buttons (default 1)\n"
                 "  --sim-no-image       starting state: no valid firmware image in flash\n"
                 "  --sim-fault LIST     scripted faults for this run, comma separated:\n"
                 "%s"
                 "  --debug              print the device record's debug lines on stderr\n"
                 "  --help, --version\n"
                 "\n"
                 "The starting state applies when the state file does not exist yet.\n"
                 "Exit status: 0 success, 1 failure, 2 usage error.\n",
                 cli::ConfigCommandsHelp(), sim::FaultListHelp());
}

struct Options {
    bool simulate = false;
    bool simOptions = false;  // some --sim-* option was given
    sim::Faults faults;
    std::string simState;
    int simVariant = 1;
    uint16_t simVersion = 0x0214;
    int simButtons = 1;
    bool simNoImage = false;
    std::string command;
    std::vector<std::string> args;  // what follows the command word
};

// Decimal, or hexadecimal with 0x in front (a leading 0 is not octal here).
bool ParseNumber(const char* text, long min, long max, long& out)
{
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, hex ? 16 : 10);
    if (errno != 0 || end == text || *end != '\0' || value < min || value > max)
        return false;
    out = value;
    return true;
}

// Returns -1 to go on, or the exit code.
int ParseOptions(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "padwright-cli: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        long n = 0;
        if (arg == "--help") {
            Usage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("%s\n", kVersionText);
            return 0;
        } else if (arg == "--simulate") {
            o.simulate = true;
        } else if (arg == "--debug") {
            SetDebugSink([](const std::string& line) { std::fputs(line.c_str(), stderr); });
        } else if (arg == "--sim-no-image") {
            o.simNoImage = o.simOptions = true;
        } else if (arg == "--sim-state") {
            const char* v = value(arg.c_str());
            if (!v)
                return 2;
            o.simState = v;
            o.simOptions = true;
        } else if (arg == "--sim-fault") {
            const char* v = value(arg.c_str());
            if (!v)
                return 2;
            std::string error;
            if (!sim::ParseFaultList(v, o.faults, &error)) {
                std::fprintf(stderr, "padwright-cli: --sim-fault: %s\n", error.c_str());
                return 2;
            }
            o.simOptions = true;
        } else if (arg == "--sim-variant" || arg == "--sim-buttons" || arg == "--sim-version") {
            const char* v = value(arg.c_str());
            if (!v)
                return 2;
            const bool version = arg == "--sim-version";
            o.simOptions = true;
            if (!ParseNumber(v, version ? 0 : 1, version ? 0xFFFF : 2, n)) {
                std::fprintf(stderr, "padwright-cli: bad value for %s: %s\n", arg.c_str(), v);
                return 2;
            }
            if (version)
                o.simVersion = static_cast<uint16_t>(n);
            else
                (arg == "--sim-variant" ? o.simVariant : o.simButtons) = static_cast<int>(n);
        } else if (o.command.empty() && !arg.empty() && arg[0] != '-') {
            o.command = arg;
            o.args.assign(argv + i + 1, argv + argc);
            break;
        } else {
            std::fprintf(stderr, "padwright-cli: unknown argument: %s\n", arg.c_str());
            Usage(stderr);
            return 2;
        }
    }
    static const char* const kCommands[] = {"detect", "update", "list", "watch", "compile-macros"};
    if (std::find(std::begin(kCommands), std::end(kCommands), o.command) == std::end(kCommands) &&
        !cli::IsConfigCommand(o.command)) {
        if (!o.command.empty())
            std::fprintf(stderr, "padwright-cli: unknown command: %s\n", o.command.c_str());
        Usage(stderr);
        return 2;
    }
    const bool takesArgs = o.command == "compile-macros" || cli::IsConfigCommand(o.command);
    if (!takesArgs && !o.args.empty()) {
        std::fprintf(stderr, "padwright-cli: %s takes no arguments: %s\n", o.command.c_str(),
                     o.args.front().c_str());
        return 2;
    }
    if (o.simOptions && !o.simulate) {
        std::fprintf(stderr, "padwright-cli: the --sim-* options need --simulate\n");
        return 2;
    }
    return -1;
}

// What the program runs against: real hardware or the simulated controller.
struct Environment {
    std::unique_ptr<HidBus> bus;
    std::unique_ptr<HotplugWatcher> watcher;
    std::shared_ptr<sim::SimController> controller;
    std::string statePath;

    bool Save() const
    {
        std::string error;
        if (!controller || statePath.empty() ||
            sim::SaveControllerState(statePath, controller->State(), &error))
            return true;
        std::fprintf(stderr, "padwright-cli: %s\n", error.c_str());
        return false;
    }
};

bool MakeEnvironment(const Options& o, Environment& env)
{
    if (!o.simulate) {
        env.bus = std::make_unique<HidapiBus>();
        env.watcher = UdevWatcher::Create();
        return true;
    }
    sim::ControllerState state =
        sim::MakeStartingState(o.simVariant, o.simVersion, o.simButtons, !o.simNoImage);
    std::string error;
    if (!o.simState.empty() && access(o.simState.c_str(), F_OK) == 0 &&
        !sim::LoadControllerState(o.simState, state, &error)) {
        std::fprintf(stderr, "padwright-cli: %s\n", error.c_str());
        return false;
    }
    env.controller = std::make_shared<sim::SimController>(state);
    env.controller->SetFaults(o.faults);
    auto bus = std::make_unique<sim::SimBus>();
    bus->Plug(env.controller);
    env.watcher = bus->CreateWatcher();
    env.bus = std::move(bus);
    env.statePath = o.simState;
    return true;
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

void PrintDetection(const ControllerDetection& d, const cli::CliWindow& window)
{
    std::printf("%s\n", window.status.c_str());
    std::printf("display_state=%d\n", d.DisplayState());
    std::printf("device_kind=%d\n", d.DeviceKind());
    std::printf("version=0x%04x\n", d.DisplayState() > kDisplayNoController ? d.Version() : 0);
    std::printf("feature_buttons=%d\n", d.DisplayState() > kDisplayNoController ? d.FeatureTabCount() : 0);
    std::printf("image_present=%d\n", d.ImagePresent() ? 1 : 0);
}

// One line per post; on a terminal the body's progress redraws one line as a bar.
class ProgressPrinter {
public:
    ProgressPrinter() : tty_(isatty(STDOUT_FILENO)) {}
    ~ProgressPrinter() { EndLine(); }
    void Print(int percentage, const std::string& text)
    {
        if (!tty_) {
            std::printf("%3d%% %s\n", percentage, text.c_str());
            return;
        }
        if (text != last_)
            EndLine();
        const int filled = percentage * 30 / 100;
        std::printf("\r[%s%s] %3d%% %s", std::string(filled, '#').c_str(),
                    std::string(30 - filled, ' ').c_str(), percentage, text.c_str());
        std::fflush(stdout);
        last_ = text;
        open_ = true;
    }
    void EndLine()
    {
        if (open_)
            std::printf("\n");
        open_ = false;
    }

private:
    bool tty_;
    bool open_ = false;
    std::string last_;
};

int Update(ControllerDetection& d, cli::CliWindow& window, cli::QueuedSink& sink,
           HotplugWatcher* watcher, const Resources& resources)
{
    if (!watcher) {
        std::fprintf(stderr, "padwright-cli: cannot follow the controller through its resets "
                             "without device notices (udev unavailable)\n");
        return 1;
    }
    d.StartUp();
    std::printf("%s\n", window.status.c_str());
    if (d.DisplayState() == kDisplayNoController)
        return 1;
    if (d.DisplayState() != kDisplayUpdateAvailable) {
        std::fprintf(stderr, "padwright-cli: no update is available\n");
        return d.ImagePresent() ? 0 : 1;
    }
    if (!d.OnUpdateButton())
        return 1;  // the reason went to stderr

    ProgressPrinter printer;
    cli::UpdateFollower follower(d, window, sink, *watcher, resources,
                                 [&](int pct, const std::string& text) { printer.Print(pct, text); });
    const bool back = follower.Follow(kReturnTimeout);
    printer.EndLine();
    if (!back) {
        std::fprintf(stderr, "padwright-cli: the controller did not come back\n");
        return 1;
    }
    std::printf("%s\n", window.status.c_str());
    return d.ImagePresent() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (const int exit = ParseOptions(argc, argv, options); exit >= 0)
        return exit;
    if (options.command == "compile-macros")
        return cli::CompileMacrosCommand(options.args);
    Environment env;
    if (!MakeEnvironment(options, env))
        return 1;

    SteadyClock clock;
    int result = 2;
    if (options.command == "list") {
        result = List(*env.bus, clock);
    } else if (options.command == "watch") {
        if (!env.watcher) {
            std::fprintf(stderr, "padwright-cli: cannot listen for device notices (udev unavailable)\n");
            return 1;
        }
        result = Watch(*env.watcher);
    } else if (cli::IsConfigCommand(options.command)) {
        cli::CliWindow window;
        cli::StderrMessages messages;
        cli::QueuedSink sink;
        cli::ConfigSession session(messages, clock, EmbeddedResources());
        window.onReadGlobalSettings = [&](CHidDevice& d) {
            session.readsOk = session.settings.ReadGlobalSettings(d) && session.readsOk;
        };
        window.onReadConfigImage = [&](CHidDevice& d) {
            session.readsOk = ReadConfigImage(d, session.state.configImage) && session.readsOk;
        };
        window.onSensitivityState = [&](int state) { session.settings.SetSensitivityState(state); };
        window.onPageState = [&](int state) { session.page.SetPageState(state); };
        ControllerDetection detection(window, messages, sink, *env.bus, clock, EmbeddedResources());
        result = cli::ConfigCommand(options.command, options.args, detection, session);
    } else if (options.command == "detect" || options.command == "update") {
        cli::CliWindow window;
        cli::StderrMessages messages;
        cli::QueuedSink sink;
        ControllerDetection detection(window, messages, sink, *env.bus, clock, EmbeddedResources());
        if (options.command == "detect") {
            detection.StartUp();
            PrintDetection(detection, window);
            result = detection.DisplayState() > kDisplayNoController ? 0 : 1;
        } else {
            result = Update(detection, window, sink, env.watcher.get(), EmbeddedResources());
        }
    }
    if (!env.Save() && result == 0)
        result = 1;
    return result;
}
