#pragma once

// A small, forgiving XML reader for the two preset files (button_remap.xml,
// button_macros.xml). It parses a whole text held in memory into a tree of
// elements and reports the first serious error with its line and column.
// Users only walk the tree: count children of a name, take the n-th, read the
// first text.

#include <cstddef>
#include <optional>
#include <string_view>

namespace padwright {

// Error codes of MarkupResults::code.
enum class MarkupError : int {
    None = 0,
    Unclosed = 1,           // an end tag of another name, or the end, came first (tree kept)
    NoElement = 2,          // the text holds no element (tree kept)
    NoElementName = 4,      // "<" not followed by a name
    BadEndTag = 5,          // end tag without a name, or name not followed by ">"
    UnmatchedEndTag = 6,    // end tag that matches no open element
    UnclosedSection = 7,    // special section without its closing marker
    BadStartTag = 8,        // unexpected token inside a start tag
    NoText = 9,             // no text was given (a null string_view)
    NoRoot = 11,            // the expected root element was not found
    BadEntity = 12,         // unknown entity or malformed numeric reference
    EntityTooLarge = 13,    // numeric reference of 256 or more
    TooDeep = 14,           // nesting deeper than kMarkupMaxDepth; ours, keeps the stack bounded
};

// Far above any preset file, and small enough for a
// sanitizer build's stack; deeper input is refused (TooDeep) with no tree.
constexpr int kMarkupMaxDepth = 1024;

struct MarkupResults {
    MarkupError code = MarkupError::None;
    int line = 0;    // from 1; 0 for NoText and NoRoot
    int column = 0;  // from 1
};

struct MarkupSection {
    std::string_view content;  // raw: no entity decoding, no trimming
    std::string_view open;     // e.g. "<![CDATA["
    std::string_view close;    // e.g. "]]>", or "]>" for a DOCTYPE with an internal subset
};

enum class MarkupEntryKind { Child, Text, Section };

// One entry of the order list: how children, texts and sections interleaved.
struct MarkupEntry {
    MarkupEntryKind kind;
    int index;  // into that kind's array
};

struct MarkupElement;  // owned by the handles and by the parent element

// A reference-counted handle to an element. Copying adds a reference. When the
// last reference goes the element is freed with everything it owns; a child
// still held elsewhere survives as a detached tree (its Parent() becomes empty).
// Every query on the empty handle answers zero, none or empty.
class MarkupNode {
public:
    MarkupNode() = default;
    MarkupNode(const MarkupNode& other);
    MarkupNode(MarkupNode&& other) noexcept;
    MarkupNode& operator=(const MarkupNode& other);
    MarkupNode& operator=(MarkupNode&& other) noexcept;
    ~MarkupNode();

    bool IsEmpty() const { return element_ == nullptr; }
    explicit operator bool() const { return element_ != nullptr; }
    bool operator==(const MarkupNode& other) const { return element_ == other.element_; }

    std::string_view Name() const;  // empty for the document's top element
    bool IsDeclaration() const;     // opened with "<?"
    MarkupNode Parent() const;
    int UseCount() const;           // references held, the parent's included

    int ChildCount() const;
    MarkupNode Child(int position) const;  // empty if out of range
    // Names compared without regard to case.
    int CountChildren(std::string_view name) const;
    MarkupNode ChildNamed(std::string_view name, int n = 0) const;  // n < 0: the last one
    // Searches from *cursor (a child position); on a find, *cursor moves past it.
    // Without a cursor, the first child of that name.
    MarkupNode NextChild(std::string_view name, int* cursor) const;

    int TextCount() const;
    std::optional<std::string_view> Text(int i) const;
    std::optional<std::string_view> FirstText() const { return Text(0); }

    int SectionCount() const;
    std::optional<MarkupSection> Section(int i) const;

    int AttributeCount() const;
    std::string_view AttributeName(int i) const;
    std::optional<std::string_view> AttributeValue(int i) const;  // none if written without "="
    int FindAttribute(std::string_view name) const;                // case-insensitive; -1 if none

    int EntryCount() const;
    std::optional<MarkupEntry> Entry(int i) const;

private:
    friend class MarkupParser;
    explicit MarkupNode(MarkupElement* element);  // adopts one reference
    MarkupElement* element_ = nullptr;
};

// Parses the whole text; its end (or a zero byte in it) ends it. A null
// string_view (data() == nullptr) is "no text given". With an expected root
// tag, that element is returned; with none, the top element (or its only
// child). results may be null.
MarkupNode ParseMarkup(std::string_view text, std::string_view expectedRoot = {},
                       MarkupResults* results = nullptr);

}  // namespace padwright
