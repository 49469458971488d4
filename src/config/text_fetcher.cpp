#include "config/text_fetcher.h"

#include <fstream>

namespace padwright {

int FetchLocalTextFile(const std::string& path, TextBuffer& buffer)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return -1;
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.bad())
        return -1;
    const auto got = static_cast<size_t>(in.gcount());
    if (got == buffer.size())
        return static_cast<int>(buffer.size());
    buffer[got] = '\0';
    return static_cast<int>(got + 1);
}

}  // namespace padwright
