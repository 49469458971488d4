#pragma once

#include <cstddef>
#include <cstdint>

namespace padwright {

// The checksum the controller computes over its image body: reflected CRC-32
// (polynomial 0xEDB88320) started at 0 and not inverted at the end, which is not
// the common CRC-32.
uint32_t ControllerCrc(const uint8_t* data, size_t length, uint32_t crc = 0);

}  // namespace padwright
