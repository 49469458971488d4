#pragma once

// The simulated controller: what the controller does with each report it is sent.
// It knows nothing of timing or of the host; SimBus carries its reports.

#include <array>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "device/protocol.h"
#include "platform/clock.h"

namespace padwright::sim {

// How long things take on the simulated link. All zero in unit tests.
struct LinkTiming {
    Micros frameInterval{0};  // one report per direction per frame
    Micros processing{0};     // device time per request
    Micros erase{0};          // extra device time per erased sector
};

// Scripted misbehaviour. Reply and request indices count from 0, from the moment
// the faults were set.
struct Faults {
    int dropReply = -1;        // this reply is never sent
    int corruptReply = -1;     // this reply's magic is damaged
    int wrongCodeReply = -1;   // this reply carries another code
    int truncateReply = -1;    // this reply is cut to 8 bytes
    int garbageBeforeReply = -1;  // this many unrelated reports go out before every reply
    bool failRadio = false;    // WriteRadioState is never answered and the radio stays on
    bool failErase = false;    // EraseFlash is never answered and erases nothing
    bool checksumOffByOne = false;  // the checksum reply has its lowest bit flipped
    int unplugAtRequest = -1;  // the controller leaves the bus when this request arrives
};

struct ControllerState {
    std::vector<uint8_t> flash = std::vector<uint8_t>(kFlashBytes, 0xFF);
    uint16_t version = 0x0214;
    int variant = 1;          // 1: the two probe blocks differ; 2: equal apart from byte 3
    int featureButtons = 1;   // 1 or 2
    bool radioOn = true;      // pad reports flow while the radio is on
};

// An installed image names its version at the head of its body: "PWFW", then
// the version big-endian. Only the sim and the image generator agree on this.
constexpr std::array<uint8_t, 4> kImageVersionTag = {'P', 'W', 'F', 'W'};
// Writes a valid image header and the version tag at the start of an image
// (at least 22 bytes): what the sim needs to install it with this version.
void WriteTaggedImageHead(uint8_t* image, uint16_t version);

class SimController {
public:
    explicit SimController(ControllerState state = {});

    // Handles one output report (report id first) and returns the input reports
    // it causes, in order: unsolicited pad reports, then the reply if any.
    std::vector<std::vector<uint8_t>> HandleRequest(std::span<const uint8_t> report);
    // Unsolicited pad reports while the radio is on, one per request received.
    bool RadioOn() const;

    // Set by ResetDevice; the bus unplugs and replugs the controller and clears it.
    bool TakeResetRequest();
    // Set when Faults::unplugAtRequest was reached.
    bool TakeUnplugRequest();
    // What a reset does to the controller's own state (radio back on, version
    // from an installed image, see sim/README.md).
    void PowerCycle();

    void SetFaults(const Faults& faults);
    ControllerState State() const;
    void SetState(const ControllerState& state);
    // Every request received, in order (report id first, as sent).
    std::vector<std::vector<uint8_t>> Requests() const;
    void ClearRequests();
    // Extra device time the last request took (erase), for the link model.
    Micros LastProcessingExtra(const LinkTiming& timing) const;

private:
    mutable std::mutex mutex_;
    ControllerState state_;
    Faults faults_;
    int repliesSinceFaults_ = 0;
    int requestsSinceFaults_ = 0;
    std::array<uint8_t, kQueryBlockBytes> selectedBlock_{};
    bool blockSelected_ = false;
    uint8_t blockStatus_ = 0;
    size_t queryOffset_ = 0;
    bool resetRequested_ = false;
    bool unplugRequested_ = false;
    bool lastWasErase_ = false;
    std::vector<std::vector<uint8_t>> requests_;

    // The reply to one well-formed request, or nothing; called with mutex_ held.
    std::vector<std::vector<uint8_t>> Answer(std::span<const uint8_t> report);
    void ApplyReplyFaults(std::vector<uint8_t>& reply, std::vector<std::vector<uint8_t>>& out);
};

}  // namespace padwright::sim
