// The whole firmware update, as the user starts it from a controller at v2.14
// with a valid image, over the simulated full-speed link: invalidate, reset,
// re-detect, erase, program, checksum, header, reset, re-detect. Prints its
// time against the link's floor for the reports it sends (one frame each).
// The detection's deliberate settle waits run on a virtual clock and are
// reported apart, since they are not link time.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/controller_detection.h"
#include "cli_window.h"
#include "update_follower.h"
#include "platform/clock.h"
#include "sim/sim_bus.h"
#include "sim/sim_state_file.h"

using namespace padwright;
using std::chrono::steady_clock;

namespace {

struct Round {
    bool ok = false;
    double seconds = 0;
    size_t reports = 0;
    double settleSeconds = 0;
    std::string status;
};

Round RunUpdate()
{
    Round round;
    sim::SimBus bus(sim::LinkTiming{std::chrono::milliseconds(1), Micros{0}, Micros{0}});
    auto controller = std::make_shared<sim::SimController>(sim::MakeStartingState(1, 0x0214, 1, true));
    bus.Plug(controller);
    auto watcher = bus.CreateWatcher();
    VirtualClock clock;
    cli::CliWindow window;
    cli::StderrMessages messages;
    cli::QueuedSink sink;
    ControllerDetection detection(window, messages, sink, bus, clock, EmbeddedResources());
    detection.StartUp();
    if (detection.DisplayState() != kDisplayUpdateAvailable)
        return round;

    const size_t requestsBefore = controller->Requests().size();
    const size_t sleepsBefore = clock.Sleeps().size();
    const auto t0 = steady_clock::now();
    if (!detection.OnUpdateButton())
        return round;
    cli::UpdateFollower follower(detection, window, sink, *watcher, EmbeddedResources());
    if (!follower.Follow(std::chrono::milliseconds(10000)))
        return round;
    round.seconds = std::chrono::duration<double>(steady_clock::now() - t0).count();
    round.reports = controller->Requests().size() - requestsBefore;
    const auto sleeps = clock.Sleeps();
    for (size_t i = sleepsBefore; i < sleeps.size(); ++i)
        round.settleSeconds += std::chrono::duration<double>(sleeps[i]).count();
    round.status = window.status;
    round.ok = detection.DisplayState() == kDisplayUpToDate && detection.ImagePresent();
    return round;
}

}  // namespace

int main()
{
    // Three rounds; the median is reported, so one hiccup of the machine does
    // not decide the figure.
    constexpr int kRounds = 3;
    std::vector<Round> rounds;
    for (int i = 0; i < kRounds; ++i) {
        rounds.push_back(RunUpdate());
        if (!rounds.back().ok) {
            std::fprintf(stderr, "round %d: the update did not end up to date\n", i + 1);
            return 1;
        }
    }
    std::sort(rounds.begin(), rounds.end(),
              [](const Round& a, const Round& b) { return a.seconds < b.seconds; });
    const Round& median = rounds[kRounds / 2];
    const double floor = 0.001 * static_cast<double>(median.reports);
    std::printf("%s\n", median.status.c_str());
    std::printf("median of %d rounds, frame 1 ms each way\n", kRounds);
    std::printf("reports sent       %8zu\n", median.reports);
    std::printf("link floor         %8.3f s\n", floor);
    std::printf("whole update       %8.3f s  %.3f x floor  (rounds %.3f, %.3f, %.3f s)\n",
                median.seconds, median.seconds / floor, rounds[0].seconds, rounds[1].seconds,
                rounds[2].seconds);
    std::printf("settle waits       %8.3f s  (virtual, not included)\n", median.settleSeconds);
    return 0;
}
