#pragma once

#include <cstdint>
#include <vector>

namespace padwright::test {

// A firmware image of the program's layout that the simulator installs with
// this version ("PWFW" and the version at the head of the body).
inline std::vector<uint8_t> MakeTestImage(uint16_t version, size_t size = 49152)
{
    std::vector<uint8_t> image(size, 0);
    const char magic[] = "QUELM_DFU";
    std::copy(magic, magic + 9, image.begin());
    const uint8_t tag[] = {'P', 'W', 'F', 'W', static_cast<uint8_t>(version >> 8),
                           static_cast<uint8_t>(version)};
    std::copy(tag, tag + 6, image.begin() + 16);
    uint32_t x = version * 2654435761u + 1;
    for (size_t i = 22; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(x >> 16);
    }
    return image;
}

}  // namespace padwright::test
