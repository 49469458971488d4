#include "platform/hid_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace padwright {
namespace {

constexpr uint8_t kLongItemPrefix = 0xFE;
constexpr int kTypeMain = 0;
constexpr int kTypeGlobal = 1;
constexpr int kTagInput = 0x8;
constexpr int kTagOutput = 0x9;
constexpr int kTagReportSize = 0x7;
constexpr int kTagReportId = 0x8;
constexpr int kTagReportCount = 0x9;
constexpr int kTagPush = 0xA;
constexpr int kTagPop = 0xB;
constexpr size_t kMaxPushDepth = 16;
// No real report is anywhere near this; it keeps the sums far from overflow.
constexpr uint64_t kMaxReportBits = 1u << 24;

struct GlobalState {
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t reportId = 0;
};

struct ReportBits {
    uint64_t input = 0;
    uint64_t output = 0;
};

}  // namespace

HidReportLengths ReportLengthsFromDescriptor(const uint8_t* descriptor, size_t length)
{
    GlobalState state;
    std::array<GlobalState, kMaxPushDepth> stack{};
    size_t depth = 0;
    std::map<uint32_t, ReportBits> reports;
    HidReportLengths lengths;

    size_t pos = 0;
    while (pos < length) {
        const uint8_t prefix = descriptor[pos];
        if (prefix == kLongItemPrefix) {
            if (pos + 1 >= length)
                break;
            pos += 3 + descriptor[pos + 1];
            continue;
        }
        const size_t dataBytes = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (pos + 1 + dataBytes > length)
            break;
        uint32_t value = 0;
        for (size_t i = 0; i < dataBytes; ++i)
            value |= static_cast<uint32_t>(descriptor[pos + 1 + i]) << (8 * i);
        const int type = (prefix >> 2) & 3;
        const int tag = prefix >> 4;
        pos += 1 + dataBytes;

        if (type == kTypeGlobal) {
            switch (tag) {
            case kTagReportSize: state.reportSize = value; break;
            case kTagReportCount: state.reportCount = value; break;
            case kTagReportId:
                state.reportId = value;
                lengths.numbered = lengths.numbered || value != 0;
                break;
            case kTagPush:
                if (depth < kMaxPushDepth)
                    stack[depth++] = state;
                break;
            case kTagPop:
                if (depth > 0)
                    state = stack[--depth];
                break;
            default: break;
            }
        } else if (type == kTypeMain && (tag == kTagInput || tag == kTagOutput)) {
            const uint64_t bits = std::min<uint64_t>(
                static_cast<uint64_t>(state.reportSize) * state.reportCount, kMaxReportBits);
            ReportBits& r = reports[state.reportId];
            uint64_t& sum = tag == kTagInput ? r.input : r.output;
            sum = std::min(sum + bits, kMaxReportBits);
        }
    }

    for (const auto& [id, bits] : reports) {
        if (bits.input > 0)
            lengths.input = std::max<size_t>(lengths.input, (bits.input + 7) / 8 + 1);
        if (bits.output > 0)
            lengths.output = std::max<size_t>(lengths.output, (bits.output + 7) / 8 + 1);
    }
    return lengths;
}

}  // namespace padwright
