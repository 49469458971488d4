// Build-time generator: reads resources/strings.txt and resources/binaries.txt and
// writes one C++ source holding the string table and every listed binary, which
// src/platform/resources.cpp serves at run time. The formats are described in
// resources/README.md.
//
//   embed_resources --strings FILE --binaries FILE --output FILE
//   embed_resources --strings FILE --dump-strings
//
// --dump-strings prints each decoded string as its id and the bytes in hex, so
// that what a line of the table really holds can be checked without a build.
//
// Any fault in an input names file:line and ends with exit status 1; nothing is
// written then.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr long kMaxResourceId = 65535;  // ids are 16-bit, as in the platform's tables

struct InputError {
    std::string message;
};

struct StringEntry {
    long id;
    std::string text;
};

struct BinaryEntry {
    std::string type;
    long id;
    fs::path path;
    std::string bytes;
};

[[noreturn]] void Fail(const fs::path& file, int line, const std::string& what)
{
    std::ostringstream s;
    s << file.string();
    if (line > 0) s << ':' << line;
    s << ": error: " << what;
    throw InputError{s.str()};
}

std::string ReadWhole(const fs::path& path, const fs::path& origin, int originLine)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(origin, originLine, "cannot open '" + path.string() + "'");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) Fail(origin, originLine, "cannot read '" + path.string() + "'");
    return bytes;
}

// Lines without their end; a CR before the LF is dropped so that a file saved
// with CRLF line ends reads the same.
std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool IsBlank(std::string_view s)
{
    return s.find_first_not_of(" \t") == std::string_view::npos;
}

// Comments may be indented, as the build's manifest reader allows too.
bool Skipped(std::string_view line)
{
    const size_t first = line.find_first_not_of(" \t");
    return first == std::string_view::npos || line[first] == '#';
}

// A decimal id of at most five digits in 0..65535.
std::optional<long> ParseId(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    long v = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    if (v > kMaxResourceId) return std::nullopt;
    return v;
}

std::string DecodeQuoted(std::string_view body, const fs::path& file, int line)
{
    if (body.empty() || body.front() != '"')
        Fail(file, line, "the text must be enclosed in double quotes");
    std::string out;
    size_t i = 1;
    for (;; ++i) {
        if (i >= body.size()) Fail(file, line, "missing closing double quote");
        const char c = body[i];
        if (c == '"') break;
        if (static_cast<unsigned char>(c) < 0x20)
            Fail(file, line, "raw control character in the text; write \\t, \\n or \\r");
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i >= body.size()) Fail(file, line, "backslash at the end of the line");
        switch (body[i]) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        default:
            Fail(file, line, std::string("unknown escape \\") + body[i]);
        }
    }
    if (!IsBlank(body.substr(i + 1)))
        Fail(file, line, "text after the closing double quote (write \\\" for a quote inside the text)");
    return out;
}

std::vector<StringEntry> ReadStrings(const fs::path& file)
{
    const std::vector<std::string> lines = SplitLines(ReadWhole(file, file, 0));
    std::vector<StringEntry> entries;
    std::map<long, int> firstLine;
    for (size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        const std::string_view line = lines[n];
        if (Skipped(line)) continue;
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            Fail(file, lineNo, "expected ID<TAB>\"TEXT\"");
        const std::optional<long> id = ParseId(line.substr(0, tab));
        if (!id) Fail(file, lineNo, "bad string id '" + std::string(line.substr(0, tab)) + "' (0 to 65535)");
        if (const auto seen = firstLine.find(*id); seen != firstLine.end())
            Fail(file, lineNo, "duplicate string id " + std::to_string(*id) + ", first defined on line " +
                                   std::to_string(seen->second));
        if (!entries.empty() && *id < entries.back().id)
            Fail(file, lineNo, "string id " + std::to_string(*id) + " after " +
                                   std::to_string(entries.back().id) + "; keep the ids in ascending order");
        firstLine[*id] = lineNo;
        entries.push_back({*id, DecodeQuoted(line.substr(tab + 1), file, lineNo)});
    }
    return entries;
}

bool IsTypeName(std::string_view s)
{
    if (s.empty() || !(s.front() >= 'A' && s.front() <= 'Z')) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    });
}

std::vector<BinaryEntry> ReadBinaries(const fs::path& file)
{
    const std::vector<std::string> lines = SplitLines(ReadWhole(file, file, 0));
    const fs::path base = file.parent_path();
    std::vector<BinaryEntry> entries;
    std::map<std::pair<std::string, long>, int> firstLine;
    for (size_t n = 0; n < lines.size(); ++n) {
        const int lineNo = static_cast<int>(n + 1);
        if (Skipped(lines[n])) continue;
        std::istringstream fields(lines[n]);
        std::string type, idText, path, extra;
        fields >> type >> idText >> path;
        if (path.empty() || (fields >> extra))
            Fail(file, lineNo, "expected TYPE ID PATH");
        if (!IsTypeName(type))
            Fail(file, lineNo, "bad resource type '" + type + "' (capitals, digits and _)");
        const std::optional<long> id = ParseId(idText);
        if (!id) Fail(file, lineNo, "bad resource id '" + idText + "' (0 to 65535)");
        const auto key = std::make_pair(type, *id);
        if (const auto seen = firstLine.find(key); seen != firstLine.end())
            Fail(file, lineNo, "duplicate resource " + type + " " + idText + ", first listed on line " +
                                   std::to_string(seen->second));
        firstLine[key] = lineNo;
        const fs::path full = base / path;
        std::error_code ec;
        if (!fs::is_regular_file(full, ec))
            Fail(file, lineNo, "missing file '" + full.string() + "'");
        entries.push_back({type, *id, full, ReadWhole(full, file, lineNo)});
    }
    std::sort(entries.begin(), entries.end(), [](const BinaryEntry& a, const BinaryEntry& b) {
        return std::tie(a.type, a.id) < std::tie(b.type, b.id);
    });
    return entries;
}

// Bytes as the inside of a string literal, cut into short pieces. Octal escapes
// always take three digits, so a digit that follows one cannot extend it; this
// form compiles far faster than a brace list of numbers. '?' is escaped too, or
// random data spells trigraphs that -Wall warns about.
void WriteLiteral(std::ostream& out, std::string_view bytes, const char* indent)
{
    constexpr size_t kBytesPerPiece = 64;
    static const char kDigits[] = "01234567";
    std::string piece;
    if (bytes.empty()) {
        out << indent << "\"\"";
        return;
    }
    for (size_t at = 0; at < bytes.size(); at += kBytesPerPiece) {
        piece.clear();
        const std::string_view chunk = bytes.substr(at, kBytesPerPiece);
        for (char ch : chunk) {
            const auto c = static_cast<unsigned char>(ch);
            if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"' && c != '?') {
                piece += static_cast<char>(c);
            } else {
                piece += '\\';
                piece += kDigits[(c >> 6) & 7];
                piece += kDigits[(c >> 3) & 7];
                piece += kDigits[c & 7];
            }
        }
        if (at != 0) out << '\n';
        out << indent << '"' << piece << '"';
    }
}

std::string Generate(const std::vector<StringEntry>& strings, const std::vector<BinaryEntry>& binaries)
{
    std::ostringstream out;
    out << "// Generated by tools/embed_resources from resources/strings.txt and\n"
           "// resources/binaries.txt. Do not edit; edit those files instead.\n\n"
           "#include <cstddef>\n#include <cstdint>\n#include <span>\n#include <string_view>\n\n"
           "#if defined(__GNUC__)\n#pragma GCC diagnostic ignored \"-Woverlength-strings\"\n#endif\n\n"
           "namespace padwright::resource_tables {\n\n"
           "using namespace std::string_view_literals;\n\n";

    // Arrays keep one spare element so that an empty table is still valid C++.
    out << "extern const std::size_t kStringCount = " << strings.size() << ";\n";
    out << "extern const int kStringIds[] = {";
    for (const StringEntry& s : strings) out << s.id << ", ";
    out << "0};\n";
    out << "extern const std::string_view kStringTexts[] = {\n";
    for (const StringEntry& s : strings) {
        out << "    // " << s.id << "\n";
        WriteLiteral(out, s.text, "    ");
        out << "sv,\n";
    }
    out << "    \"\"sv};\n\n";

    for (size_t i = 0; i < binaries.size(); ++i) {
        const BinaryEntry& b = binaries[i];
        out << "// " << b.type << ' ' << b.id << ": " << b.path.filename().string() << ", "
            << b.bytes.size() << " bytes\n";
        // One more than the data for the literal's terminating zero.
        out << "alignas(16) static const unsigned char kBinary" << i << '[' << b.bytes.size() + 1
            << "] =\n";
        WriteLiteral(out, b.bytes, "    ");
        out << ";\n\n";
    }
    out << "extern const std::size_t kBinaryCount = " << binaries.size() << ";\n";
    out << "extern const std::string_view kBinaryTypes[] = {";
    for (const BinaryEntry& b : binaries) out << '"' << b.type << "\"sv, ";
    out << "\"\"sv};\n";
    out << "extern const int kBinaryIds[] = {";
    for (const BinaryEntry& b : binaries) out << b.id << ", ";
    out << "0};\n";
    out << "extern const std::span<const std::uint8_t> kBinaryData[] = {\n";
    for (size_t i = 0; i < binaries.size(); ++i)
        out << "    {kBinary" << i << ", " << binaries[i].bytes.size() << "},\n";
    out << "    {}};\n\n}  // namespace padwright::resource_tables\n";
    return out.str();
}

// Written beside the target and renamed over it, so that a stopped build never
// leaves half a source behind.
void WriteFile(const fs::path& path, const std::string& text)
{
    fs::path tmp = path;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) Fail(tmp, 0, "cannot write");
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) Fail(path, 0, "cannot replace: " + ec.message());
}

void DumpStrings(const std::vector<StringEntry>& strings)
{
    static const char kHex[] = "0123456789abcdef";
    for (const StringEntry& s : strings) {
        std::string line = std::to_string(s.id) + ':';
        for (char ch : s.text) {
            const auto c = static_cast<unsigned char>(ch);
            line += ' ';
            line += kHex[c >> 4];
            line += kHex[c & 15];
        }
        std::cout << line << '\n';
    }
}

int Usage()
{
    std::cerr << "usage: embed_resources --strings FILE --binaries FILE --output FILE\n"
                 "       embed_resources --strings FILE --dump-strings\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    std::optional<fs::path> stringsFile, binariesFile, outputFile;
    bool dump = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto next = [&]() -> std::optional<fs::path> {
            if (i + 1 >= argc) return std::nullopt;
            return fs::path(argv[++i]);
        };
        if (arg == "--strings") stringsFile = next();
        else if (arg == "--binaries") binariesFile = next();
        else if (arg == "--output") outputFile = next();
        else if (arg == "--dump-strings") dump = true;
        else return Usage();
    }
    if (!stringsFile || (!dump && (!binariesFile || !outputFile))) return Usage();

    try {
        const std::vector<StringEntry> strings = ReadStrings(*stringsFile);
        if (dump) {
            DumpStrings(strings);
            return 0;
        }
        const std::vector<BinaryEntry> binaries = ReadBinaries(*binariesFile);
        WriteFile(*outputFile, Generate(strings, binaries));
    } catch (const InputError& e) {
        std::cerr << e.message << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "embed_resources: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
