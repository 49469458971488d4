#pragma once

#include <cstddef>

namespace padwright {

// Writes all of a buffer to a file descriptor, going on after interruptions;
// false on any error, a short write or a full disk included.
bool WriteAll(int fd, const void* data, size_t length);

}  // namespace padwright
