// Macro texts are downloaded preset files, joined by the feature button page.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "config/macro_compiler.h"
#include "platform/message_boxes.h"

namespace {

class CountingMessages final : public padwright::MessageBoxes {
public:
    int shown = 0;
    padwright::MessageAnswer Show(const std::string&, const std::string&, padwright::MessageButtons) override
    {
        ++shown;
        return padwright::MessageAnswer::Ok;
    }
};

// Exactly the image size on the heap, so a write one past it is an ASan report.
std::unique_ptr<uint8_t[]> Compile(std::string_view text, bool shift, bool& ok)
{
    auto image = std::make_unique<uint8_t[]>(padwright::kMacroImageBytes);
    CountingMessages messages;
    ok = padwright::CompileMacros(text, shift, image.get(), messages);
    // One box on failure, none on success.
    if (messages.shown != (ok ? 0 : 1))
        __builtin_trap();
    if (image[0] != padwright::kMacroFunctionCode || image[1] != (shift ? 1 : 0))
        __builtin_trap();
    for (size_t k = 0; k < padwright::kMacroHeaderButtons; ++k) {
        const unsigned offset = image[2 + 2 * k] | image[3 + 2 * k] << 8;
        if (offset != 0 && (offset < padwright::kMacroFirstBlockOffset || offset > padwright::kMacroImageBytes))
            __builtin_trap();
    }
    return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool okShift = false, okToggle = false;
    const auto shift = Compile(text, true, okShift);
    const auto toggle = Compile(text, false, okToggle);
    // The mode only ever changes byte 1.
    if (okShift != okToggle || shift[0] != toggle[0] ||
        std::memcmp(shift.get() + 2, toggle.get() + 2, padwright::kMacroImageBytes - 2) != 0)
        __builtin_trap();
    return 0;
}
