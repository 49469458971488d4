// Programs a firmware body over the simulated full-speed link and compares the
// batch engine with sending one report at a time, both against the link's floor
// (one frame per report).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "device/hid_device.h"
#include "platform/clock.h"
#include "sim/sim_bus.h"

using namespace padwright;
using std::chrono::steady_clock;

namespace {

constexpr size_t kBodyBytes = 49136;
constexpr auto kFrame = std::chrono::milliseconds(1);

double Seconds(steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

bool OneAtATime(CHidDevice& device, const std::vector<uint8_t>& body)
{
    for (const Report& request : ProgramFlashRequests(kImageBodyAddress, body.data(), body.size())) {
        Payload reply;
        if (!device.SendCommand(ToPayload(request)) || !device.ReadReply(Command::ProgramFlash, reply))
            return false;
    }
    return true;
}

}  // namespace

int main()
{
    sim::SimBus bus(sim::LinkTiming{kFrame, Micros{0}, Micros{0}});
    auto controller = std::make_shared<sim::SimController>();
    bus.Plug(controller);
    SteadyClock clock;
    CHidDevice device(nullptr, bus, clock);
    if (!device.OpenFirst() || !device.WriteRadioState()) {
        std::fprintf(stderr, "cannot reach the simulated controller\n");
        return 1;
    }

    std::vector<uint8_t> body(kBodyBytes);
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<uint8_t>(i * 131 + 7);
    const size_t reports = FlashReportCount(body.size());
    const double floor = Seconds(kFrame) * static_cast<double>(reports);

    // Three rounds each; the median is reported, so one hiccup of the machine
    // does not decide the figure.
    constexpr int kRounds = 3;
    std::vector<double> batchTimes, singleTimes;
    bool batchOk = true, singleOk = true;
    for (int round = 0; round < kRounds; ++round) {
        device.EraseFlash(kImageRangeStart, kImageRangeBytes);
        auto t0 = steady_clock::now();
        batchOk = device.ProgramFlash(kImageBodyAddress, body.data(), body.size()) && batchOk;
        batchTimes.push_back(Seconds(steady_clock::now() - t0));
        const std::vector<uint8_t> flash = controller->State().flash;
        batchOk = batchOk && std::equal(body.begin(), body.end(), flash.begin() + kImageBodyAddress);

        device.EraseFlash(kImageRangeStart, kImageRangeBytes);
        t0 = steady_clock::now();
        singleOk = OneAtATime(device, body) && singleOk;
        singleTimes.push_back(Seconds(steady_clock::now() - t0));
    }
    std::sort(batchTimes.begin(), batchTimes.end());
    std::sort(singleTimes.begin(), singleTimes.end());
    const double batch = batchTimes[kRounds / 2];
    const double single = singleTimes[kRounds / 2];

    std::printf("body %zu bytes, %zu reports, frame 1 ms each way, median of %d rounds\n",
                body.size(), reports, kRounds);
    std::printf("link floor         %8.3f s\n", floor);
    std::printf("batch engine       %8.3f s  %.3f x floor%s\n", batch, batch / floor,
                batchOk ? "" : "  (FAILED)");
    std::printf("one at a time      %8.3f s  %.3f x floor%s\n", single, single / floor,
                singleOk ? "" : "  (FAILED)");
    std::printf("batch speed-up     %8.2f x\n", single / batch);
    return batchOk && singleOk ? 0 : 1;
}
