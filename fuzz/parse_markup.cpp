// Preset files are downloaded and edited by hand; the parser must take any bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "presets/markup_parser.h"

namespace {

// Iterative, so a deep tree cannot overflow the fuzzer's stack.
void Walk(const padwright::MarkupNode& top)
{
    std::vector<padwright::MarkupNode> pending{top};
    while (!pending.empty()) {
        const padwright::MarkupNode node = pending.back();
        pending.pop_back();
        for (int i = 0; i < node.EntryCount(); ++i) {
            const auto entry = node.Entry(i);
            bool ok = false;
            switch (entry->kind) {
            case padwright::MarkupEntryKind::Child: ok = entry->index < node.ChildCount(); break;
            case padwright::MarkupEntryKind::Text: ok = entry->index < node.TextCount(); break;
            case padwright::MarkupEntryKind::Section: ok = entry->index < node.SectionCount(); break;
            }
            if (!ok)
                __builtin_trap();
        }
        if (node.EntryCount() != node.ChildCount() + node.TextCount() + node.SectionCount())
            __builtin_trap();
        for (int i = 0; i < node.TextCount(); ++i)
            (void)node.Text(i);  // may be empty: "&#0;" ends a decoded text
        for (int i = 0; i < node.AttributeCount(); ++i)
            (void)node.AttributeValue(i);
        for (int i = 0; i < node.ChildCount(); ++i) {
            const padwright::MarkupNode child = node.Child(i);
            if (!(child.Parent() == node) || node.CountChildren(child.Name()) < 1)
                __builtin_trap();
            pending.push_back(child);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    padwright::MarkupResults results;
    const padwright::MarkupNode node = padwright::ParseMarkup(text, {}, &results);
    const int code = static_cast<int>(results.code);
    if ((code > 2) != node.IsEmpty())
        __builtin_trap();
    Walk(node);
    // Asking for a root either finds an element of that name or nothing.
    const padwright::MarkupNode root = padwright::ParseMarkup(text, "Remap", &results);
    // Names compare without case, so a found root is some spelling of "Remap".
    if (!root.IsEmpty() && root.Name().size() != 5)
        __builtin_trap();
    return 0;
}
