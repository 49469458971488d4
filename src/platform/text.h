#pragma once

#include <string>

namespace padwright {

// ASCII-only case changes: names and paths here are ASCII, and the result must
// not depend on the locale.
std::string ToLowerAscii(std::string text);
std::string ToUpperAscii(std::string text);

// printf-style formatting of a string-table text (our own formats only).
std::string FormatText(const std::string& format, int a);
std::string FormatText(const std::string& format, int a, int b);
std::string FormatText(const std::string& format, const std::string& s);

}  // namespace padwright
