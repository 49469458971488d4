// Sim state files and --sim-fault lists come from the user's disk and command
// line: both parsers must refuse junk without touching their output.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sim/sim_state_file.h"

namespace {

using namespace padwright::sim;

bool SameState(const ControllerState& a, const ControllerState& b)
{
    return a.flash == b.flash && a.version == b.version && a.variant == b.variant &&
           a.featureButtons == b.featureButtons && a.radioOn == b.radioOn;
}

bool SameFaults(const Faults& a, const Faults& b)
{
    return a.dropReply == b.dropReply && a.corruptReply == b.corruptReply &&
           a.wrongCodeReply == b.wrongCodeReply && a.truncateReply == b.truncateReply &&
           a.garbageBeforeReply == b.garbageBeforeReply && a.failRadio == b.failRadio &&
           a.failErase == b.failErase && a.checksumOffByOne == b.checksumOffByOne &&
           a.unplugAtRequest == b.unplugAtRequest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    static const ControllerState sentinel = [] {
        ControllerState s = MakeStartingState(2, 0xBEEF, 2, true);
        s.radioOn = false;
        s.flash[0] = 0x5A;
        return s;
    }();
    ControllerState state = sentinel;
    std::string error;
    if (ParseControllerState(text, state, &error)) {
        if (state.flash.size() != padwright::kFlashBytes ||
            (state.variant != 1 && state.variant != 2) ||
            (state.featureButtons != 1 && state.featureButtons != 2))
            __builtin_trap();
        // What was accepted must survive a save and a load unchanged.
        ControllerState again;
        if (!ParseControllerState(SerializeControllerState(state), again, nullptr) ||
            !SameState(state, again))
            __builtin_trap();
    } else if (error.empty() || !SameState(state, sentinel)) {
        __builtin_trap();
    }

    Faults faults;
    faults.corruptReply = 77;
    faults.failErase = true;
    const Faults before = faults;
    error.clear();
    if (ParseFaultList(text, faults, &error)) {
        if (faults.garbageBeforeReply > 1000 || faults.dropReply < -1 || faults.unplugAtRequest < -1)
            __builtin_trap();
    } else if (error.empty() || !SameFaults(faults, before)) {
        __builtin_trap();
    }
    return 0;
}
