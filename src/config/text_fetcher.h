#pragma once

// Fetches one small text file (a macro file) the way the direct download does:
// into an 8 KiB buffer, counting the terminating zero.

#include <array>
#include <functional>
#include <string>

namespace padwright {

constexpr size_t kTextBufferBytes = 8192;
using TextBuffer = std::array<char, kTextBufferBytes>;

// Returns the bytes stored counting the terminating zero, kTextBufferBytes when
// the buffer filled up (no zero stored), or -1 when the fetch failed.
using TextFetcher = std::function<int(const std::string& location, TextBuffer& buffer)>;

// A fetcher over local files with the same rules, for the command-line tool and
// tests: the location is a path.
int FetchLocalTextFile(const std::string& path, TextBuffer& buffer);

}  // namespace padwright
