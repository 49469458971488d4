#include "sim_state_file.h"

#include "platform/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include "device/protocol.h"

namespace padwright::sim {
namespace {

constexpr std::string_view kStateMagic = "padwright-sim-state 1";
// Generous for five short lines; anything longer is not a state file.
constexpr size_t kMaxHeaderBytes = 1024;
// The sim turns every garbage report into a real report per reply; past the
// reply-matching limit more changes nothing but memory.
constexpr int kMaxGarbage = 1000;

bool Fail(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
    return false;
}

// Input is hostile: quote at most a few dozen bytes, printable ones only.
std::string Quote(std::string_view text)
{
    std::string out = "'";
    for (char c : text.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (text.size() > 40)
        out += "...";
    return out + "'";
}

// Decimal digits only, no sign, no spaces; nullopt on anything else or overflow.
std::optional<long> ParseDecimal(std::string_view s, long max)
{
    if (s.empty() || s.size() > 12 ||
        !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || value > max)
        return std::nullopt;
    return value;
}

// "0x" + 1..8 hex digits, or decimal; range-checked by the caller.
std::optional<long> ParseNumber(std::string_view s)
{
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s.remove_prefix(2);
        if (s.size() > 8 || !std::all_of(s.begin(), s.end(), [](char c) {
                return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            }))
            return std::nullopt;
        long value = 0;
        std::from_chars(s.data(), s.data() + s.size(), value, 16);
        return value;
    }
    return ParseDecimal(s, LONG_MAX);
}

std::string ErrnoText(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string SerializeControllerState(const ControllerState& state)
{
    char version[8];
    std::snprintf(version, sizeof version, "0x%04X", static_cast<unsigned>(state.version));
    std::string out;
    out.reserve(kMaxHeaderBytes + state.flash.size());
    out += kStateMagic;
    out += "\nversion=";
    out += version;
    out += "\nvariant=" + std::to_string(state.variant);
    out += "\nbuttons=" + std::to_string(state.featureButtons);
    out += "\nradio=";
    out += state.radioOn ? "on" : "off";
    out += "\n\n";
    out.append(state.flash.begin(), state.flash.end());
    return out;
}

bool ParseControllerState(std::string_view text, ControllerState& out, std::string* error)
{
    const size_t end = text.substr(0, kMaxHeaderBytes).find("\n\n");
    if (end == std::string_view::npos)
        return Fail(error, text.substr(0, kStateMagic.size() + 1) == std::string(kStateMagic) + "\n"
                               ? "state file: no blank line ends the header"
                               : "not a padwright sim state file (expected \"" +
                                     std::string(kStateMagic) + "\" on the first line)");
    std::string_view header = text.substr(0, end + 1);  // every line ends in '\n'
    const std::string_view flash = text.substr(end + 2);

    ControllerState state;
    bool seen[4] = {};
    int lineNo = 0;
    while (!header.empty()) {
        const size_t nl = header.find('\n');
        const std::string_view line = header.substr(0, nl);
        header.remove_prefix(nl + 1);
        ++lineNo;
        const std::string where = "state file line " + std::to_string(lineNo) + ": ";
        if (lineNo == 1) {
            if (line != kStateMagic)
                return Fail(error, "not a padwright sim state file (expected \"" +
                                       std::string(kStateMagic) + "\" on the first line, got " +
                                       Quote(line) + ")");
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            return Fail(error, where + "expected key=value, got " + Quote(line));
        const std::string_view key = line.substr(0, eq);
        const std::string_view value = line.substr(eq + 1);
        int index;
        if (key == "version")
            index = 0;
        else if (key == "variant")
            index = 1;
        else if (key == "buttons")
            index = 2;
        else if (key == "radio")
            index = 3;
        else
            return Fail(error, where + "unknown key " + Quote(key));
        if (seen[index])
            return Fail(error, where + std::string(key) + " given twice");
        seen[index] = true;

        if (key == "radio") {
            if (value != "on" && value != "off")
                return Fail(error, where + "radio must be on or off, got " + Quote(value));
            state.radioOn = value == "on";
            continue;
        }
        const std::optional<long> number = ParseNumber(value);
        if (!number)
            return Fail(error, where + std::string(key) + ": not a number: " + Quote(value));
        if (key == "version") {
            if (*number > 0xFFFF)
                return Fail(error, where + "version out of range 0..0xFFFF: " + Quote(value));
            state.version = static_cast<uint16_t>(*number);
        } else {
            if (*number != 1 && *number != 2)
                return Fail(error, where + std::string(key) + " must be 1 or 2, got " + Quote(value));
            (key == "variant" ? state.variant : state.featureButtons) = static_cast<int>(*number);
        }
    }
    static constexpr const char* kKeys[] = {"version", "variant", "buttons", "radio"};
    for (int i = 0; i < 4; ++i)
        if (!seen[i])
            return Fail(error, std::string("state file: missing key ") + kKeys[i]);
    if (flash.size() != kFlashBytes)
        return Fail(error, "state file: flash is " + std::to_string(flash.size()) +
                               " bytes, expected " + std::to_string(kFlashBytes));
    state.flash.assign(flash.begin(), flash.end());
    out = std::move(state);
    return true;
}

bool SaveControllerState(const std::string& path, const ControllerState& state, std::string* error)
{
    if (state.flash.size() != kFlashBytes)
        return Fail(error, "cannot save sim state: flash is " + std::to_string(state.flash.size()) +
                               " bytes, expected " + std::to_string(kFlashBytes));
    const std::string text = SerializeControllerState(state);
    std::string temp = path + ".tmp.XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return Fail(error, ErrnoText("cannot create a temp file for", path));
    // fsync before rename: otherwise a crash can leave the new name on empty data.
    std::string message;
    if (!WriteAll(fd, text.data(), text.size()) || ::fsync(fd) != 0)
        message = ErrnoText("cannot write", temp);
    if (::close(fd) != 0 && message.empty())
        message = ErrnoText("cannot write", temp);
    if (!message.empty()) {
        ::unlink(temp.c_str());
        return Fail(error, message);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        message = ErrnoText("cannot replace", path);
        ::unlink(temp.c_str());
        return Fail(error, message);
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dfd >= 0) {
        ::fsync(dfd);  // makes the rename itself durable; best effort
        ::close(dfd);
    }
    return true;
}

bool LoadControllerState(const std::string& path, ControllerState& state, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, ErrnoText("cannot open", path));
    // Read at most one byte more than a state file can hold, to tell "too long".
    std::string text(kMaxHeaderBytes + kFlashBytes + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const std::string message = ErrnoText("cannot read", path);
            ::close(fd);
            return Fail(error, message);
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got == text.size())
        return Fail(error, path + ": too large for a sim state file");
    text.resize(got);
    std::string message;
    if (!ParseControllerState(text, state, &message))
        return Fail(error, path + ": " + message);
    return true;
}

bool ParseFaultList(std::string_view list, Faults& out, std::string* error)
{
    if (list.empty())
        return Fail(error, "--sim-fault: empty fault list");
    Faults faults;
    struct Counted {
        std::string_view name;
        int Faults::*field;
        long max;
    };
    static constexpr Counted kCounted[] = {
        {"drop-reply", &Faults::dropReply, INT_MAX},
        {"corrupt-reply", &Faults::corruptReply, INT_MAX},
        {"wrong-code-reply", &Faults::wrongCodeReply, INT_MAX},
        {"truncate-reply", &Faults::truncateReply, INT_MAX},
        {"garbage", &Faults::garbageBeforeReply, kMaxGarbage},
        {"unplug-at", &Faults::unplugAtRequest, INT_MAX},
    };
    struct Flag {
        std::string_view name;
        bool Faults::*field;
    };
    static constexpr Flag kFlags[] = {
        {"fail-radio", &Faults::failRadio},
        {"fail-erase", &Faults::failErase},
        {"bad-checksum", &Faults::checksumOffByOne},
    };
    std::vector<std::string_view> seen;
    while (true) {
        const size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        const size_t eq = word.find('=');
        const std::string_view name = word.substr(0, eq);
        const std::string prefix = "--sim-fault " + Quote(word) + ": ";
        if (name.empty())
            return Fail(error, "--sim-fault: empty fault word");
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            return Fail(error, prefix + "given twice");
        seen.push_back(name);

        bool known = false;
        for (const Counted& c : kCounted) {
            if (c.name != name)
                continue;
            known = true;
            if (eq == std::string_view::npos)
                return Fail(error, prefix + "needs a number, as in " + std::string(name) + "=3");
            const std::optional<long> n = ParseDecimal(word.substr(eq + 1), c.max);
            if (!n)
                return Fail(error, prefix + "expected a decimal number 0.." + std::to_string(c.max));
            faults.*c.field = static_cast<int>(*n);
        }
        for (const Flag& f : kFlags) {
            if (f.name != name)
                continue;
            known = true;
            if (eq != std::string_view::npos)
                return Fail(error, prefix + "takes no value");
            faults.*f.field = true;
        }
        if (!known)
            return Fail(error, prefix + "unknown fault (see --help)");
        if (comma == std::string_view::npos)
            break;
        list.remove_prefix(comma + 1);
    }
    out = faults;
    return true;
}

const char* FaultListHelp()
{
    return "  Faults for --sim-fault, comma-separated; N counts from 0 (decimal):\n"
           "    drop-reply=N        reply N is never sent\n"
           "    corrupt-reply=N     reply N has a damaged magic\n"
           "    wrong-code-reply=N  reply N carries a code outside the command set\n"
           "    truncate-reply=N    reply N is cut to 8 bytes\n"
           "    garbage=N           N unrelated reports go out before every reply (N <= 1000)\n"
           "    unplug-at=N         the controller leaves the bus when request N arrives\n"
           "    fail-radio          WriteRadioState is never answered; the radio stays on\n"
           "    fail-erase          EraseFlash is never answered and erases nothing\n"
           "    bad-checksum        the checksum reply has its lowest bit flipped\n";
}

ControllerState MakeStartingState(int variant, uint16_t version, int buttons, bool withImage)
{
    ControllerState state;  // flash erased
    state.variant = variant;
    state.version = version;
    state.featureButtons = buttons;
    state.radioOn = true;
    if (withImage)
        WriteTaggedImageHead(&state.flash[kImageHeaderAddress], version);
    return state;
}

}  // namespace padwright::sim
