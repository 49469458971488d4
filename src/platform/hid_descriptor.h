#pragma once

#include <cstddef>
#include <cstdint>

namespace padwright {

// Report lengths as the HID capabilities give them: the longest report of each
// direction in bytes, with one byte for the report id counted in (present or not).
// Zero for a direction the descriptor has no report for.
struct HidReportLengths {
    size_t input = 0;
    size_t output = 0;
    bool numbered = false;  // reports carry a report id byte of their own
};

// Works out the report lengths from a raw report descriptor. Malformed items end
// the walk; what was read up to there counts.
HidReportLengths ReportLengthsFromDescriptor(const uint8_t* descriptor, size_t length);

}  // namespace padwright
