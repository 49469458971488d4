// Report descriptors come from the device.
#include <cstddef>
#include <cstdint>

#include "platform/hid_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const padwright::HidReportLengths l = padwright::ReportLengthsFromDescriptor(data, size);
    // No report can be longer than the descriptor could describe in bits.
    if (l.input > (uint64_t{1} << 24) / 8 + 1 || l.output > (uint64_t{1} << 24) / 8 + 1)
        __builtin_trap();
    return 0;
}
