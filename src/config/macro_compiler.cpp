#include "config/macro_compiler.h"

#include <cstring>
#include <string>

namespace padwright {
namespace {

constexpr std::string_view kButtonPrefixBlank = "button ";
constexpr std::string_view kButtonPrefixTab = "button\t";
constexpr std::string_view kCommentStart = "//";
constexpr std::string_view kStepSeparators = " \t,";
// What the C library calls white space in the "C" locale; a line never holds
// '\n' and its '\r' are gone, but a stray '\v' or '\f' is still trimmed.
constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

constexpr std::string_view kTokenNothing = "nothing";
constexpr std::string_view kTokenLoopStart = "loop_start";
constexpr std::string_view kTokenLoopEnd = "loop_end";
constexpr std::string_view kTokenMaskAll = "mask_all";
constexpr std::string_view kTokenTime = "time=";

constexpr std::string_view kOutOfMemoryText = "WARNING : Out of memory in the macro storage buffer!";

// Stick and trigger tokens: where the value's low 4 bits go in the step.
struct AnalogToken {
    std::string_view prefix;  // "lx=" ...
    std::string_view name;    // as the range message names it
    size_t byte;
    unsigned shift;
    int min;
    int max;
};

constexpr AnalogToken kAnalogTokens[] = {
    {"lx=", "lx", kMacroStepLeftStickOffset, 0, kMacroStickMin, kMacroStickMax},
    {"ly=", "ly", kMacroStepLeftStickOffset, 4, kMacroStickMin, kMacroStickMax},
    {"rx=", "rx", kMacroStepRightStickOffset, 0, kMacroStickMin, kMacroStickMax},
    {"ry=", "ry", kMacroStepRightStickOffset, 4, kMacroStickMin, kMacroStickMax},
    {"lt=", "lt", kMacroStepTriggersOffset, 0, kMacroTriggerMin, kMacroTriggerMax},
    {"rt=", "rt", kMacroStepTriggersOffset, 4, kMacroTriggerMin, kMacroTriggerMax},
};

// Far above every limit the language checks; magnitudes saturate here so that
// a thousand-digit number costs nothing and cannot overflow.
constexpr uint64_t kNumberCeiling = uint64_t{1} << 40;

struct Number {
    bool negative = false;
    uint64_t magnitude = 0;  // saturated at kNumberCeiling
};

int DigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return 99;
}

// Reads like strtol/strtoul with base 0: leading white space, a sign, "0x" for
// hex, a leading 0 for octal; stops at the first digit that does not fit, and
// no digits at all read as 0.
Number ReadNumber(std::string_view s)
{
    Number n;
    size_t i = s.find_first_not_of(kWhiteSpace);
    if (i == std::string_view::npos)
        return n;
    if (s[i] == '+' || s[i] == '-') {
        n.negative = s[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < s.size() && s[i] == '0') {
        // "0x" without a hex digit after it is the number 0 followed by an 'x'.
        if (i + 2 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X') && DigitValue(s[i + 2]) < 16) {
            base = 16;
            i += 2;
        } else {
            base = 8;
        }
    }
    for (; i < s.size(); ++i) {
        const int d = DigitValue(s[i]);
        if (d >= base)
            break;
        n.magnitude = n.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        if (n.magnitude > kNumberCeiling)
            n.magnitude = kNumberCeiling;
    }
    return n;
}

// strtol: the sign applies to the magnitude.
int64_t ReadSigned(std::string_view s)
{
    const Number n = ReadNumber(s);
    const auto m = static_cast<int64_t>(n.magnitude);
    return n.negative ? -m : m;
}

// strtoul: a minus sign negates in unsigned arithmetic, so "-1" is the largest
// value and fails as "greater than 255", while "-0" is still zero.
uint64_t ReadUnsigned(std::string_view s)
{
    const Number n = ReadNumber(s);
    if (n.negative && n.magnitude != 0)
        return kNumberCeiling;
    return n.magnitude;
}

char LowerAscii(char c)
{
    // Not tolower: bytes above 0x7F must pass unchanged whatever the locale.
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view s)
{
    const size_t first = s.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    const size_t last = s.find_last_not_of(kWhiteSpace);
    return s.substr(first, last - first + 1);
}

void PutLe16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class MacroCompiler {
public:
    MacroCompiler(uint8_t* image, MessageBoxes& messages) : image_(image), messages_(messages) {}

    bool Compile(std::string_view text, bool shiftMode);

private:
    enum class State { Outside, ExpectOpen, InBlock };
    using Step = std::array<uint8_t, kMacroStepBytesAnalog>;

    bool ParseLine(std::string_view line);
    bool ParseHeader(std::string_view line);
    bool ParseStepLine(std::string_view line);
    bool ParseStepToken(std::string_view token, Step& step, uint16_t& word, bool& isStep);
    bool ParseTime(std::string_view value, Step& step);
    bool FinishBlock();

    bool Fail(const std::string& text);
    bool FailOnLine(std::string_view what);
    bool FailOnLine(std::string_view before, std::string_view quoted, std::string_view after);

    uint8_t* image_;
    MessageBoxes& messages_;
    State state_ = State::Outside;
    size_t lineNumber_ = 0;
    size_t nextBlockOffset_ = kMacroFirstBlockOffset;
    std::string line_;  // the current line, reused so that lines cost no allocation each

    // The block being read.
    size_t blockOffset_ = 0;
    uint8_t duration_ = kMacroDefaultDurationFrames;
    uint16_t mask_ = 0;
    int loopStart_ = -1;
    int loopEnd_ = -1;
    bool loop_ = false;
    size_t stepCount_ = 0;
    std::array<Step, kMacroMaxSteps> steps_{};
};

bool MacroCompiler::Compile(std::string_view text, bool shiftMode)
{
    std::memset(image_, 0, kMacroImageBytes);
    image_[kMacroFunctionCodeOffset] = kMacroFunctionCode;
    image_[kMacroModeOffset] = shiftMode ? 1 : 0;

    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        // Carriage returns go before the split counts lines, so a run of
        // "\r\n" is still one separator.
        line_.clear();
        for (size_t i = pos; i < end; ++i)
            if (text[i] != '\r')
                line_.push_back(LowerAscii(text[i]));
        pos = end + 1;
        if (line_.empty())
            continue;
        ++lineNumber_;
        std::string_view line = line_;
        line = Trim(line.substr(0, line.find(kCommentStart)));
        if (line.empty())
            continue;
        if (!ParseLine(line))
            return false;
    }
    // A block left open keeps its header offset over zero bytes: an empty block.
    return true;
}

bool MacroCompiler::ParseLine(std::string_view line)
{
    switch (state_) {
    case State::Outside:
        if (line.starts_with(kButtonPrefixBlank) || line.starts_with(kButtonPrefixTab))
            return ParseHeader(line);
        return FailOnLine("syntax error \"", line, "\"");
    case State::ExpectOpen:
        if (line != "{")
            return FailOnLine("syntax error \"", line, "\"");
        state_ = State::InBlock;
        return true;
    case State::InBlock:
        if (line == "}")
            return FinishBlock();
        return ParseStepLine(line);
    }
    return true;
}

bool MacroCompiler::ParseHeader(std::string_view line)
{
    // The name is taken as it stands: a second blank after "button" is part of it.
    const std::string_view name = line.substr(kButtonPrefixBlank.size());
    size_t k = 0;
    while (k < kMacroHeaderNames.size() && kMacroHeaderNames[k] != name)
        ++k;
    if (k == kMacroHeaderNames.size())
        return FailOnLine("unknown button assignment \"", name, "\"");
    uint8_t* header = image_ + kMacroHeaderOffset + 2 * k;
    if (header[0] != 0 || header[1] != 0)
        return FailOnLine("Button definition for \"", name, "\" already exists");
    PutLe16(header, static_cast<uint16_t>(nextBlockOffset_));

    blockOffset_ = nextBlockOffset_;
    duration_ = kMacroDefaultDurationFrames;
    mask_ = 0;
    loopStart_ = -1;
    loopEnd_ = -1;
    loop_ = false;
    stepCount_ = 0;
    state_ = State::ExpectOpen;
    return true;
}

bool MacroCompiler::ParseStepLine(std::string_view line)
{
    Step step{};
    step[kMacroStepDurationOffset] = duration_;
    uint16_t word = 0;
    bool isStep = false;  // "nothing" makes an idle step without any button

    size_t pos = 0;
    while (true) {
        pos = line.find_first_not_of(kStepSeparators, pos);
        if (pos == std::string_view::npos)
            break;
        size_t end = line.find_first_of(kStepSeparators, pos);
        if (end == std::string_view::npos)
            end = line.size();
        if (!ParseStepToken(line.substr(pos, end - pos), step, word, isStep))
            return false;
        pos = end;
    }

    if (word == 0 && !isStep)
        return true;
    mask_ |= word;
    PutLe16(&step[kMacroStepButtonsOffset], static_cast<uint16_t>(word & ~kMacroAnalogFlag));
    if (stepCount_ < kMacroMaxSteps)
        steps_[stepCount_++] = step;
    return true;
}

bool MacroCompiler::ParseStepToken(std::string_view token, Step& step, uint16_t& word, bool& isStep)
{
    for (const MacroButtonToken& button : kMacroButtonTokens) {
        if (token == button.token) {
            word |= button.bit;
            return true;
        }
    }
    for (const AnalogToken& analog : kAnalogTokens) {
        if (!token.starts_with(analog.prefix))
            continue;
        const int64_t value = ReadSigned(token.substr(analog.prefix.size()));
        if (value < analog.min || value > analog.max) {
            const std::string range = analog.min < 0 ? " must lie in the range -8 to +7!"
                                                     : " must lie in the range 0 to +15!";
            return FailOnLine(std::string(analog.name) + range);
        }
        const auto nibble = static_cast<uint8_t>(static_cast<uint8_t>(value) & 0x0F);
        uint8_t& byte = step[analog.byte];
        byte = static_cast<uint8_t>((byte & ~(0x0F << analog.shift)) | (nibble << analog.shift));
        word |= kMacroAnalogFlag;
        return true;
    }
    if (token.starts_with(kTokenTime))
        return ParseTime(token.substr(kTokenTime.size()), step);
    if (token == kTokenNothing) {
        isStep = true;
    } else if (token == kTokenLoopStart) {
        loop_ = true;
        loopStart_ = static_cast<int>(stepCount_);
    } else if (token == kTokenLoopEnd) {
        loop_ = true;
        loopEnd_ = static_cast<int>(stepCount_);
    } else if (token == kTokenMaskAll) {
        mask_ = kMacroMaskAll;
    } else {
        return FailOnLine("Unknown macro token \"", token, "\"!");
    }
    return true;
}

bool MacroCompiler::ParseTime(std::string_view value, Step& step)
{
    const uint64_t frames = ReadUnsigned(value);
    if (frames == 0)
        return FailOnLine("Cannot set a time of zero frames!");
    if (frames > kMacroMaxDurationFrames)
        return FailOnLine("Cannot set a time of greater than 255 frames!");
    duration_ = static_cast<uint8_t>(frames);
    step[kMacroStepDurationOffset] = duration_;
    return true;
}

bool MacroCompiler::FinishBlock()
{
    const size_t stepBytes = (mask_ & kMacroAnalogFlag) ? kMacroStepBytesAnalog : kMacroStepBytesDigital;
    const size_t blockBytes = kMacroBlockHeaderBytes + stepBytes * stepCount_;
    if (blockBytes > kMacroImageBytes - blockOffset_)
        return Fail(std::string(kOutOfMemoryText));

    uint32_t start = 0;
    uint32_t end = 0;
    if (loop_) {
        end = static_cast<uint32_t>(loopEnd_ >= 0 ? loopEnd_ : static_cast<int>(stepCount_));
        start = static_cast<uint32_t>(loopStart_ >= 0 ? loopStart_ : 0);
    }
    // The count always fits its ten bits: more than 666 steps never fit the image.
    const uint32_t control = static_cast<uint32_t>(stepCount_) |
                             (start & kMacroLoopIndexMask) << kMacroLoopStartShift |
                             (end & kMacroLoopIndexMask) << kMacroLoopEndShift |
                             static_cast<uint32_t>(loop_ ? 1 : 0) << kMacroLoopFlagShift;
    uint8_t* block = image_ + blockOffset_;
    PutLe32(block + kMacroBlockControlOffset, control);
    PutLe16(block + kMacroBlockMaskOffset, mask_);
    uint8_t* out = block + kMacroBlockHeaderBytes;
    for (size_t i = 0; i < stepCount_; ++i, out += stepBytes)
        std::memcpy(out, steps_[i].data(), stepBytes);

    nextBlockOffset_ = blockOffset_ + blockBytes;
    state_ = State::Outside;
    return true;
}

bool MacroCompiler::Fail(const std::string& text)
{
    messages_.Show(text);
    return false;
}

bool MacroCompiler::FailOnLine(std::string_view what)
{
    return Fail("ERROR on line " + std::to_string(lineNumber_) + " : " + std::string(what));
}

bool MacroCompiler::FailOnLine(std::string_view before, std::string_view quoted, std::string_view after)
{
    std::string what;
    what.reserve(before.size() + quoted.size() + after.size());
    what.append(before).append(quoted).append(after);
    return FailOnLine(what);
}

}  // namespace

bool CompileMacros(std::string_view text, bool shiftMode, uint8_t* image, MessageBoxes& messages)
{
    MacroCompiler compiler(image, messages);
    return compiler.Compile(text, shiftMode);
}

}  // namespace padwright
