#include "presets/markup_parser.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

namespace padwright {

struct MarkupAttribute {
    std::string name;
    std::optional<std::string> value;
};

struct MarkupSectionData {
    std::string content;
    std::string_view open;
    std::string_view close;
};

struct MarkupElement {
    std::string name;
    bool declaration = false;
    MarkupElement* parent = nullptr;
    std::vector<MarkupElement*> children;  // each holds one reference
    std::vector<std::string> texts;
    std::vector<MarkupSectionData> sections;
    std::vector<MarkupAttribute> attributes;
    std::vector<MarkupEntry> order;
    int refs = 1;
};

namespace {

constexpr size_t kArrayBlock = 50;
constexpr size_t kOrderBlock = 150;

template <class V, class T>
void Append(V& v, T&& item, size_t block)
{
    if (v.size() == v.capacity())
        v.reserve(v.capacity() + block);
    v.push_back(std::forward<T>(item));
}

void Shrink(MarkupElement& e)
{
    e.children.shrink_to_fit();
    e.texts.shrink_to_fit();
    e.sections.shrink_to_fit();
    e.attributes.shrink_to_fit();
    e.order.shrink_to_fit();
}

void AddRef(MarkupElement* e)
{
    if (e)
        ++e->refs;
}

// Iterative, so a deep tree cannot exhaust the stack while it is freed.
void Release(MarkupElement* e)
{
    if (!e || --e->refs > 0)
        return;
    std::vector<MarkupElement*> doomed{e};
    while (!doomed.empty()) {
        MarkupElement* x = doomed.back();
        doomed.pop_back();
        for (MarkupElement* child : x->children) {
            child->parent = nullptr;
            if (--child->refs == 0)
                doomed.push_back(child);
        }
        delete x;
    }
}

struct SectionKind {
    std::string_view open;
    std::string_view close;
};
constexpr std::array<SectionKind, 4> kSections{{
    {"<![CDATA[", "]]>"},
    {"<!DOCTYPE", ">"},
    {"<!--", "-->"},
    {"<PRE>", "</PRE>"},
}};
constexpr std::string_view kDoctypeSubsetClose = "]>";
constexpr size_t kCommentSection = 2;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool StartsNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && SameNoCase(text.substr(0, prefix.size()), prefix);
}

// Bytes taken as one unit, never past the end (a cut-off sequence ends the text).
size_t Step(std::string_view text, size_t pos)
{
    if (pos >= text.size())
        return 0;
    const auto b = static_cast<unsigned char>(text[pos]);
    size_t n = 1;
    if (b == 0)
        n = 0;
    else if (b >= 0xC2 && b <= 0xDF)
        n = 2;
    else if (b >= 0xE0 && b <= 0xEF)
        n = 3;
    else if (b >= 0xF0 && b <= 0xF4)
        n = 4;
    return std::min(n, text.size() - pos);
}

constexpr std::array<std::pair<std::string_view, char>, 5> kEntities{{
    {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''},
}};

int DigitValue(char c, bool hex)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (hex && c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct DecodeError {
    MarkupError code = MarkupError::None;
    size_t at = 0;  // offset of the offending "&" in the input
};

// One pass of the decoder; with out == nullptr it only sizes and checks.
DecodeError DecodePass(std::string_view in, std::string* out, size_t& length)
{
    length = 0;
    size_t p = 0;
    while (p < in.size()) {
        if (in[p] != '&') {
            const size_t n = std::max<size_t>(1, Step(in, p));
            if (out)
                out->append(in.substr(p, n));
            length += n;
            p += n;
            continue;
        }
        const std::string_view rest = in.substr(p);
        bool named = false;
        for (const auto& [entity, ch] : kEntities) {
            if (StartsNoCase(rest, entity)) {
                if (out)
                    out->push_back(ch);
                ++length;
                p += entity.size();
                named = true;
                break;
            }
        }
        if (named)
            continue;
        if (rest.size() < 2 || rest[1] != '#')
            return {MarkupError::BadEntity, p};
        size_t q = 2;
        const bool hex = q < rest.size() && (rest[q] == 'x' || rest[q] == 'X');
        if (hex)
            ++q;
        const size_t digitsStart = q;
        unsigned value = 0;
        while (q < rest.size() && DigitValue(rest[q], hex) >= 0) {
            value = std::min(256u, value * (hex ? 16 : 10) + static_cast<unsigned>(DigitValue(rest[q], hex)));
            ++q;
        }
        // No digits is refused too: it would only yield a zero byte.
        if (q == digitsStart || q >= rest.size() || rest[q] != ';')
            return {MarkupError::BadEntity, p};
        if (value >= 256)
            return {MarkupError::EntityTooLarge, p};
        if (out)
            out->push_back(static_cast<char>(value));
        ++length;
        p += q + 1;
    }
    return {};
}

DecodeError Decode(std::string_view in, std::string& out)
{
    size_t length = 0;
    DecodeError e = DecodePass(in, nullptr, length);
    if (e.code != MarkupError::None)
        return e;
    out.clear();
    out.reserve(length);
    DecodePass(in, &out, length);
    // A "&#0;" ends the decoded text, as a terminating zero would.
    if (const size_t zero = out.find('\0'); zero != std::string::npos)
        out.resize(zero);
    return {};
}

}  // namespace

// One method per construct; the scan position and the first error live in members.
class MarkupParser {
public:
    explicit MarkupParser(std::string_view text) : text_(text.substr(0, text.find('\0'))) {}

    MarkupNode Run(std::string_view expectedRoot, MarkupResults& results);

private:
    enum class Tok { End, Section, Quoted, SlashClose, EndTagOpen, DeclOpen, Open, Equals, Close, Text };
    struct Token {
        Tok kind = Tok::End;
        size_t start = 0;  // where the token begins
        size_t begin = 0;  // its text (quotes removed for Quoted)
        size_t end = 0;
        size_t section = 0;
    };
    enum class Outcome { Closed, EndOfText, HandUp, Stopped, Failed };

    char At(size_t p) const { return p < text_.size() ? text_[p] : '\0'; }
    std::string_view Span(size_t b, size_t e) const { return text_.substr(b, e - b); }

    Token Next();
    void ScanPlain(Token& t);
    Outcome ParseElement(MarkupElement* e, int depth);
    Outcome ParseStartTag(MarkupElement* e);
    Outcome ParseContent(MarkupElement* e, int depth);
    Outcome ParseChild(MarkupElement* e, const Token& open, int depth);
    Outcome ParseEndTag(MarkupElement* e, const Token& open);
    bool ParseSection(MarkupElement* e, const Token& t);
    bool FlushText(MarkupElement* e, size_t begin, size_t end);
    bool StoreAttribute(MarkupElement* e, std::string_view name, std::optional<std::string_view> value,
                        size_t valueAt, bool& endedWithQuestion);
    bool Matches(const MarkupElement* e, size_t nameBegin) const;

    void Fail(MarkupError code, size_t at)
    {
        error_ = code;
        errorAt_ = at;
    }
    void RecordUnclosed(size_t at)
    {
        if (error_ == MarkupError::None) {
            error_ = MarkupError::Unclosed;
            errorAt_ = at;
        }
    }

    std::string_view text_;
    size_t pos_ = 0;
    MarkupError error_ = MarkupError::None;
    size_t errorAt_ = 0;
    size_t handedUpName_ = 0;  // start of the end-tag name being handed to the parent
};

void MarkupParser::ScanPlain(Token& t)
{
    t.kind = Tok::Text;
    t.begin = pos_;
    size_t p = pos_;
    for (;;) {
        const char c = At(p);
        if (c == '\0' || IsSpace(c) || c == '<' || c == '>' || c == '=' || (c == '/' && At(p + 1) == '>'))
            break;
        p += std::max<size_t>(1, Step(text_, p));
    }
    t.end = p;
    pos_ = p;
}

MarkupParser::Token MarkupParser::Next()
{
    while (IsSpace(At(pos_)))
        ++pos_;
    Token t;
    t.start = pos_;
    const char c = At(pos_);
    if (c == '\0') {
        t.kind = Tok::End;
        return t;
    }
    const std::string_view rest = text_.substr(pos_);
    for (size_t i = 0; i < kSections.size(); ++i) {
        if (rest.starts_with(kSections[i].open)) {
            t.kind = Tok::Section;
            t.section = i;
            pos_ += kSections[i].open.size();
            return t;
        }
    }
    if (c == '"' || c == '\'') {
        size_t p = pos_ + 1;
        while (At(p) != '\0' && At(p) != '<' && At(p) != c)
            p += std::max<size_t>(1, Step(text_, p));
        if (At(p) == c) {
            t.kind = Tok::Quoted;
            t.begin = pos_ + 1;
            t.end = p;
            pos_ = p + 1;
            return t;
        }
        ScanPlain(t);  // an unterminated quote is plain text starting at the quote
        return t;
    }
    if (c == '/' && At(pos_ + 1) == '>') {
        t.kind = Tok::SlashClose;
        pos_ += 2;
        return t;
    }
    if (c == '<') {
        const char d = At(pos_ + 1);
        t.kind = d == '/' ? Tok::EndTagOpen : d == '?' ? Tok::DeclOpen : Tok::Open;
        pos_ += (d == '/' || d == '?') ? 2 : 1;
        return t;
    }
    if (c == '=' || c == '>') {
        t.kind = c == '=' ? Tok::Equals : Tok::Close;
        ++pos_;
        return t;
    }
    ScanPlain(t);
    return t;
}

bool MarkupParser::StoreAttribute(MarkupElement* e, std::string_view name, std::optional<std::string_view> value,
                                  size_t valueAt, bool& endedWithQuestion)
{
    endedWithQuestion = false;
    // The "?" of a closing "?>" belongs to the declaration, not to its last attribute.
    auto strip = [&](std::string_view& s) {
        if (e->declaration && !s.empty() && s.back() == '?') {
            s.remove_suffix(1);
            endedWithQuestion = true;
        }
    };
    if (value) {
        strip(*value);
    } else {
        strip(name);
        if (name.empty())
            return true;
    }
    MarkupAttribute a;
    a.name = std::string(name);
    if (value) {
        std::string decoded;
        const DecodeError d = Decode(*value, decoded);
        if (d.code != MarkupError::None) {
            Fail(d.code, valueAt + d.at);
            return false;
        }
        a.value = std::move(decoded);
    }
    Append(e->attributes, std::move(a), kArrayBlock);
    return true;
}

MarkupParser::Outcome MarkupParser::ParseStartTag(MarkupElement* e)
{
    enum class State { Waiting, AfterName, AfterEquals } state = State::Waiting;
    std::string_view name;
    bool question = false;  // the last stored name or value lost a "?"
    const bool nested = e->parent && e->parent->parent;
    for (;;) {
        const Token t = Next();
        if (state == State::AfterName && (t.kind == Tok::Text || t.kind == Tok::Close || t.kind == Tok::SlashClose)) {
            if (!StoreAttribute(e, name, std::nullopt, 0, question))
                return Outcome::Failed;
            if (t.kind == Tok::Text) {
                name = Span(t.begin, t.end);
                continue;
            }
            state = State::Waiting;
        } else if (state == State::AfterName && t.kind == Tok::Equals) {
            state = State::AfterEquals;
            continue;
        } else if (state == State::AfterEquals) {
            if (t.kind != Tok::Text && t.kind != Tok::Quoted) {
                Fail(MarkupError::BadStartTag, t.start);
                return Outcome::Failed;
            }
            if (!StoreAttribute(e, name, Span(t.begin, t.end), t.begin, question))
                return Outcome::Failed;
            state = State::Waiting;
            continue;
        } else if (state == State::AfterName) {
            Fail(MarkupError::BadStartTag, t.start);
            return Outcome::Failed;
        }
        // Waiting for an attribute.
        switch (t.kind) {
        case Tok::Text:
            name = Span(t.begin, t.end);
            question = false;
            state = State::AfterName;
            break;
        case Tok::Close:
            // A nested "<?pi ...?>" ends here; the head declaration holds the rest.
            if (e->declaration && nested && question)
                return Outcome::Closed;
            return Outcome::EndOfText;  // means: go on into the content
        case Tok::SlashClose:
            return Outcome::Closed;
        default:
            Fail(MarkupError::BadStartTag, t.start);
            return Outcome::Failed;
        }
    }
}

bool MarkupParser::FlushText(MarkupElement* e, size_t begin, size_t end)
{
    while (begin < end && IsSpace(text_[begin]))
        ++begin;
    while (end > begin && IsSpace(text_[end - 1]))
        --end;
    if (begin == end)
        return true;
    std::string decoded;
    const DecodeError d = Decode(Span(begin, end), decoded);
    if (d.code != MarkupError::None) {
        Fail(d.code, begin + d.at);
        return false;
    }
    const size_t n = e->order.size();
    if (n >= 2 && e->order[n - 1].kind == MarkupEntryKind::Section && e->order[n - 2].kind == MarkupEntryKind::Text &&
        e->sections.back().open == kSections[kCommentSection].open) {
        // A comment between two texts does not split them.
        e->sections.pop_back();
        e->order.pop_back();
        e->texts[static_cast<size_t>(e->order.back().index)] += decoded;
        return true;
    }
    Append(e->order, MarkupEntry{MarkupEntryKind::Text, static_cast<int>(e->texts.size())}, kOrderBlock);
    Append(e->texts, std::move(decoded), kArrayBlock);
    return true;
}

bool MarkupParser::ParseSection(MarkupElement* e, const Token& t)
{
    const SectionKind& kind = kSections[t.section];
    std::string_view close = kind.close;
    const std::string_view rest = text_.substr(pos_);
    size_t end = rest.find(close);
    if (t.section == 1) {
        const size_t lt = rest.find('<');
        if (lt != std::string_view::npos && (end == std::string_view::npos || lt < end)) {
            close = kDoctypeSubsetClose;
            end = rest.find(close);
        }
    }
    if (end == std::string_view::npos) {
        Fail(MarkupError::UnclosedSection, t.start);
        return false;
    }
    Append(e->order, MarkupEntry{MarkupEntryKind::Section, static_cast<int>(e->sections.size())}, kOrderBlock);
    Append(e->sections, MarkupSectionData{std::string(rest.substr(0, end)), kind.open, close}, kArrayBlock);
    pos_ += end + close.size();
    return true;
}

bool MarkupParser::Matches(const MarkupElement* e, size_t nameBegin) const
{
    if (e->parent == nullptr)
        return false;  // the top element has no name
    const std::string_view rest = text_.substr(nameBegin);
    if (!StartsNoCase(rest, e->name))
        return false;
    const char next = At(nameBegin + e->name.size());
    return IsSpace(next) || next == '/' || next == '<' || next == '=' || next == '>';
}

MarkupParser::Outcome MarkupParser::ParseEndTag(MarkupElement* e, const Token& open)
{
    const Token name = Next();
    if (name.kind != Tok::Text) {
        Fail(MarkupError::BadEndTag, name.start);
        return Outcome::Failed;
    }
    const Token close = Next();
    if (close.kind != Tok::Close) {
        Fail(MarkupError::BadEndTag, close.start);
        return Outcome::Failed;
    }
    if (e->parent == nullptr) {
        RecordUnclosed(open.start);  // nothing open: stop, keep what was read
        return Outcome::Stopped;
    }
    if (Matches(e, name.begin))
        return Outcome::Closed;
    RecordUnclosed(open.start);
    handedUpName_ = name.begin;
    return Outcome::HandUp;
}

MarkupParser::Outcome MarkupParser::ParseChild(MarkupElement* e, const Token& open, int depth)
{
    const Token name = Next();
    if (name.kind != Tok::Text) {
        Fail(MarkupError::NoElementName, name.start);
        return Outcome::Failed;
    }
    if (depth >= kMarkupMaxDepth) {
        Fail(MarkupError::TooDeep, open.start);
        return Outcome::Failed;
    }
    auto* child = new MarkupElement;
    child->name = std::string(Span(name.begin, name.end));
    child->declaration = open.kind == Tok::DeclOpen;
    child->parent = e;
    Append(e->order, MarkupEntry{MarkupEntryKind::Child, static_cast<int>(e->children.size())}, kOrderBlock);
    Append(e->children, child, kArrayBlock);
    return ParseElement(child, depth + 1);
}

MarkupParser::Outcome MarkupParser::ParseElement(MarkupElement* e, int depth)
{
    Outcome o = Outcome::EndOfText;
    if (e->parent)
        o = ParseStartTag(e);
    if (o == Outcome::EndOfText)
        o = ParseContent(e, depth);
    Shrink(*e);
    return o;
}

MarkupParser::Outcome MarkupParser::ParseContent(MarkupElement* e, int depth)
{
    size_t textStart = pos_;
    for (;;) {
        const Token t = Next();
        switch (t.kind) {
        case Tok::End:
            if (!FlushText(e, textStart, t.start))
                return Outcome::Failed;
            if (e->parent && !e->declaration)
                RecordUnclosed(t.start);
            return Outcome::EndOfText;
        case Tok::Section:
            if (!FlushText(e, textStart, t.start) || !ParseSection(e, t))
                return Outcome::Failed;
            break;
        case Tok::Open:
        case Tok::DeclOpen: {
            if (!FlushText(e, textStart, t.start))
                return Outcome::Failed;
            const Outcome o = ParseChild(e, t, depth);
            if (o == Outcome::Failed || o == Outcome::Stopped)
                return o;
            if (o == Outcome::HandUp) {
                if (e->parent == nullptr) {
                    Fail(MarkupError::UnmatchedEndTag, errorAt_);
                    return Outcome::Failed;
                }
                if (Matches(e, handedUpName_))
                    return Outcome::Closed;
                return Outcome::HandUp;
            }
            break;  // Closed, or EndOfText: the next token is the end again
        }
        case Tok::EndTagOpen: {
            if (!FlushText(e, textStart, t.start))
                return Outcome::Failed;
            const Outcome o = ParseEndTag(e, t);
            if (o != Outcome::HandUp || e->parent != nullptr)
                return o;
            break;
        }
        default:
            continue;  // part of the text
        }
        textStart = pos_;
    }
}

MarkupNode MarkupParser::Run(std::string_view expectedRoot, MarkupResults& results)
{
    MarkupNode top(new MarkupElement);
    const Outcome o = ParseElement(top.element_, 0);
    if (o == Outcome::Failed || static_cast<int>(error_) > 2) {
        top = MarkupNode();  // frees all it built
    } else {
        if (top.element_->children.empty() && error_ == MarkupError::None) {
            error_ = MarkupError::NoElement;
            errorAt_ = pos_;
        }
        MarkupElement* t = top.element_;
        if (t->children.size() == 1 && t->texts.empty() && t->sections.empty() && t->attributes.empty()) {
            MarkupElement* only = t->children[0];
            AddRef(only);
            top = MarkupNode(only);  // the old top goes, leaving its child detached
        }
        if (!expectedRoot.empty() && !SameNoCase(top.Name(), expectedRoot)) {
            MarkupNode root = top.ChildNamed(expectedRoot);
            if (!root) {
                results = {MarkupError::NoRoot, 0, 0};
                return {};
            }
            top = std::move(root);
        }
    }
    results.code = error_;
    results.line = 1;
    results.column = 1;
    for (size_t p = 0; p < errorAt_ && p < text_.size();) {
        if (text_[p] == '\n') {
            ++results.line;
            results.column = 1;
        } else {
            ++results.column;
        }
        p += std::max<size_t>(1, Step(text_, p));
    }
    return top;
}

MarkupNode ParseMarkup(std::string_view text, std::string_view expectedRoot, MarkupResults* results)
{
    MarkupResults local;
    MarkupResults& r = results ? *results : local;
    if (text.data() == nullptr) {
        r = {MarkupError::NoText, 0, 0};
        return {};
    }
    MarkupParser parser(text);
    return parser.Run(expectedRoot, r);
}

// ---- MarkupNode ----

MarkupNode::MarkupNode(MarkupElement* element) : element_(element) {}
MarkupNode::MarkupNode(const MarkupNode& other) : element_(other.element_) { AddRef(element_); }
MarkupNode::MarkupNode(MarkupNode&& other) noexcept : element_(std::exchange(other.element_, nullptr)) {}
MarkupNode& MarkupNode::operator=(const MarkupNode& other)
{
    AddRef(other.element_);
    Release(element_);
    element_ = other.element_;
    return *this;
}
MarkupNode& MarkupNode::operator=(MarkupNode&& other) noexcept
{
    if (this != &other) {
        Release(element_);
        element_ = std::exchange(other.element_, nullptr);
    }
    return *this;
}
MarkupNode::~MarkupNode() { Release(element_); }

std::string_view MarkupNode::Name() const { return element_ ? std::string_view(element_->name) : std::string_view(); }
bool MarkupNode::IsDeclaration() const { return element_ && element_->declaration; }
int MarkupNode::UseCount() const { return element_ ? element_->refs : 0; }

MarkupNode MarkupNode::Parent() const
{
    if (!element_ || !element_->parent)
        return {};
    AddRef(element_->parent);
    return MarkupNode(element_->parent);
}

int MarkupNode::ChildCount() const { return element_ ? static_cast<int>(element_->children.size()) : 0; }

MarkupNode MarkupNode::Child(int position) const
{
    if (position < 0 || position >= ChildCount())
        return {};
    MarkupElement* c = element_->children[static_cast<size_t>(position)];
    AddRef(c);
    return MarkupNode(c);
}

int MarkupNode::CountChildren(std::string_view name) const
{
    if (!element_)
        return 0;
    return static_cast<int>(std::count_if(element_->children.begin(), element_->children.end(),
                                          [&](const MarkupElement* c) { return SameNoCase(c->name, name); }));
}

MarkupNode MarkupNode::ChildNamed(std::string_view name, int n) const
{
    const int count = ChildCount();
    int seen = 0;
    int last = -1;
    for (int i = 0; i < count; ++i) {
        if (!SameNoCase(element_->children[static_cast<size_t>(i)]->name, name))
            continue;
        if (n >= 0 && seen++ == n)
            return Child(i);
        last = i;
    }
    return n < 0 ? Child(last) : MarkupNode();
}

MarkupNode MarkupNode::NextChild(std::string_view name, int* cursor) const
{
    if (!cursor)
        return ChildNamed(name, 0);
    for (int i = std::max(0, *cursor); i < ChildCount(); ++i) {
        if (SameNoCase(element_->children[static_cast<size_t>(i)]->name, name)) {
            *cursor = i + 1;
            return Child(i);
        }
    }
    return {};
}

int MarkupNode::TextCount() const { return element_ ? static_cast<int>(element_->texts.size()) : 0; }

std::optional<std::string_view> MarkupNode::Text(int i) const
{
    if (i < 0 || i >= TextCount())
        return std::nullopt;
    return element_->texts[static_cast<size_t>(i)];
}

int MarkupNode::SectionCount() const { return element_ ? static_cast<int>(element_->sections.size()) : 0; }

std::optional<MarkupSection> MarkupNode::Section(int i) const
{
    if (i < 0 || i >= SectionCount())
        return std::nullopt;
    const MarkupSectionData& s = element_->sections[static_cast<size_t>(i)];
    return MarkupSection{s.content, s.open, s.close};
}

int MarkupNode::AttributeCount() const { return element_ ? static_cast<int>(element_->attributes.size()) : 0; }

std::string_view MarkupNode::AttributeName(int i) const
{
    if (i < 0 || i >= AttributeCount())
        return {};
    return element_->attributes[static_cast<size_t>(i)].name;
}

std::optional<std::string_view> MarkupNode::AttributeValue(int i) const
{
    if (i < 0 || i >= AttributeCount() || !element_->attributes[static_cast<size_t>(i)].value)
        return std::nullopt;
    return *element_->attributes[static_cast<size_t>(i)].value;
}

int MarkupNode::FindAttribute(std::string_view name) const
{
    for (int i = 0; i < AttributeCount(); ++i)
        if (SameNoCase(element_->attributes[static_cast<size_t>(i)].name, name))
            return i;
    return -1;
}

int MarkupNode::EntryCount() const { return element_ ? static_cast<int>(element_->order.size()) : 0; }

std::optional<MarkupEntry> MarkupNode::Entry(int i) const
{
    if (i < 0 || i >= EntryCount())
        return std::nullopt;
    return element_->order[static_cast<size_t>(i)];
}

}  // namespace padwright
