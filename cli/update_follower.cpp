#include "update_follower.h"

#include <poll.h>

#include <vector>

#include "firmware/firmware_update.h"

namespace padwright::cli {

UpdateFollower::UpdateFollower(ControllerDetection& detection, CliWindow& window, QueuedSink& sink,
                               HotplugWatcher& watcher, const Resources& resources,
                               ProgressFn onProgress)
    : detection_(detection), window_(window), sink_(sink), watcher_(watcher), resources_(resources),
      onProgress_(std::move(onProgress))
{
}

bool UpdateFollower::Follow(std::chrono::milliseconds timeout)
{
    const std::string resetting = resources_.String(kStringResettingDevice);
    bool workerSeen = false, workerDone = false, resetPosted = false;
    int detectionsAtWorkerStart = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    // The worker starts at the end of a detection (after an invalidating reset)
    // or at once; the detection after its own reset is the one to wait for.
    const auto noteWorker = [&] {
        if (!workerSeen && detection_.WorkerHeld()) {
            workerSeen = true;
            detectionsAtWorkerStart = window_.detections;
        }
    };
    noteWorker();
    std::vector<HotplugEvent> held;
    for (;;) {
        // Posts first: once the worker has said it resets the controller, its
        // last texts come before the removal that the reset causes, as they
        // would from a real controller that takes its time to restart.
        for (const UpdateEvent& e : sink_.Take(0)) {
            if (e.done) {
                detection_.OnUpdateDone();
                workerDone = true;
            } else {
                resetPosted = resetPosted || e.text == resetting;
                if (onProgress_)
                    onProgress_(e.percentage, e.text);
            }
            deadline = std::chrono::steady_clock::now() + timeout;
        }
        pollfd fd{watcher_.Fd(), POLLIN, 0};
        poll(&fd, 1, 10);
        for (HotplugEvent& e : watcher_.ReadEvents())
            held.push_back(std::move(e));
        if (!(resetPosted && detection_.WorkerRunning())) {
            for (const HotplugEvent& e : held) {
                detection_.OnDeviceChange(e);
                noteWorker();
                deadline = std::chrono::steady_clock::now() + timeout;
            }
            held.clear();
        }
        if (workerDone && held.empty() && (!resetPosted || window_.detections > detectionsAtWorkerStart))
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
    }
}

}  // namespace padwright::cli
