#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "sim/sim_controller.h"

namespace padwright::test {

// A firmware image of the program's layout that the simulator installs with
// this version, the rest filled with a repeatable pattern.
inline std::vector<uint8_t> MakeTestImage(uint16_t version, size_t size = 49152)
{
    std::vector<uint8_t> image(std::max<size_t>(size, 22), 0);
    uint32_t x = version * 2654435761u + 1;
    for (size_t i = 22; i < image.size(); ++i) {
        x = x * 1103515245u + 12345u;
        image[i] = static_cast<uint8_t>(x >> 16);
    }
    sim::WriteTaggedImageHead(image.data(), version);
    image.resize(size);
    return image;
}

}  // namespace padwright::test
