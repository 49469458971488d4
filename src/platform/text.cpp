#include "platform/text.h"

#include <algorithm>
#include <cstdio>

namespace padwright {
namespace {

template <typename... Args>
std::string Format(const std::string& format, Args... args)
{
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
    const int n = std::snprintf(nullptr, 0, format.c_str(), args...);
    if (n <= 0)
        return {};
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::snprintf(out.data(), out.size(), format.c_str(), args...);
#pragma GCC diagnostic pop
    out.resize(static_cast<size_t>(n));
    return out;
}

}  // namespace

std::string ToLowerAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return text;
}

std::string ToUpperAscii(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    });
    return text;
}

std::string FormatText(const std::string& format, int a)
{
    return Format(format, a);
}

std::string FormatText(const std::string& format, int a, int b)
{
    return Format(format, a, b);
}

std::string FormatText(const std::string& format, const std::string& s)
{
    return Format(format, s.c_str());
}

}  // namespace padwright
