#include "platform/file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace padwright {

bool WriteAll(int fd, const void* data, size_t length)
{
    const auto* at = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t n = write(fd, at, length);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace padwright
