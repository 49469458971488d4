#include "presets/markup_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace padwright {
namespace {

struct ErrorCase {
    const char* name;
    std::string_view text;
    std::string_view root;
    MarkupError code;
    int line;
    int column;
    bool tree;
};

class MarkupErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MarkupErrors, CodeLineColumnAndTree)
{
    const ErrorCase& c = GetParam();
    MarkupResults r;
    const MarkupNode node = ParseMarkup(c.text, c.root, &r);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.line, c.line);
    EXPECT_EQ(r.column, c.column);
    EXPECT_EQ(!node.IsEmpty(), c.tree);
}

// Error positions: the token where parsing stopped, or the end tag / end of text for 1.
INSTANTIATE_TEST_SUITE_P(Codes, MarkupErrors, ::testing::Values(
    ErrorCase{"none", "<a>x</a>", "a", MarkupError::None, 1, 1, true},
    ErrorCase{"unclosed_at_end", "<a>\n<b>x", "a", MarkupError::Unclosed, 2, 5, true},
    ErrorCase{"unclosed_by_grandparent_end", "<a><b><c>\n </a>", "a", MarkupError::Unclosed, 2, 2, true},
    ErrorCase{"stray_end_after_root", "<a/>\n</b>", "a", MarkupError::Unclosed, 2, 1, true},
    ErrorCase{"no_element", "  just text ", "", MarkupError::NoElement, 1, 13, true},
    ErrorCase{"empty_text", "", "", MarkupError::NoElement, 1, 1, true},
    ErrorCase{"lt_without_name", "<a>\n  < >", "", MarkupError::NoElementName, 2, 5, false},
    ErrorCase{"end_tag_without_name", "<a></>", "", MarkupError::BadEndTag, 1, 6, false},
    ErrorCase{"end_tag_name_not_closed", "<a></a b>", "", MarkupError::BadEndTag, 1, 8, false},
    ErrorCase{"end_tag_matches_nothing", "<a><b></c>", "", MarkupError::UnmatchedEndTag, 1, 7, false},
    ErrorCase{"declaration_then_stray_end", "<?xml version=\"1.0\"?><a/></b>", "a", MarkupError::UnmatchedEndTag, 1, 26, false},
    ErrorCase{"comment_not_closed", "<a>\n<!-- x", "", MarkupError::UnclosedSection, 2, 1, false},
    ErrorCase{"cdata_not_closed", "<a><![CDATA[x]]", "", MarkupError::UnclosedSection, 1, 4, false},
    ErrorCase{"equals_in_wait", "<a =x>", "", MarkupError::BadStartTag, 1, 4, false},
    ErrorCase{"close_after_equals", "<a b=>", "", MarkupError::BadStartTag, 1, 6, false},
    ErrorCase{"section_in_start_tag", "<a <!-- x -->>", "", MarkupError::BadStartTag, 1, 4, false},
    ErrorCase{"root_missing", "<a><b/></a>", "c", MarkupError::NoRoot, 0, 0, false},
    ErrorCase{"unknown_entity", "<a>\n x &copy; y</a>", "", MarkupError::BadEntity, 2, 4, false},
    ErrorCase{"entity_in_attribute", "<a v='&bogus;'/>", "", MarkupError::BadEntity, 1, 7, false},
    ErrorCase{"reference_too_large", "<a>&#300;</a>", "", MarkupError::EntityTooLarge, 1, 4, false},
    ErrorCase{"hex_reference_too_large", "<a>&#x100;</a>", "", MarkupError::EntityTooLarge, 1, 4, false},
    ErrorCase{"reference_without_digits", "<a>&#;</a>", "", MarkupError::BadEntity, 1, 4, false},
    ErrorCase{"hex_reference_without_digits", "<a>&#x;</a>", "", MarkupError::BadEntity, 1, 4, false},
    ErrorCase{"reference_wrong_digit", "<a>&#6A;</a>", "", MarkupError::BadEntity, 1, 4, false},
    ErrorCase{"reference_no_semicolon", "<a>&#65</a>", "", MarkupError::BadEntity, 1, 4, false},
    // A two-byte unit counts as one column.
    ErrorCase{"column_counts_units", "<a>\xC3\xA9\xC3\xA9&x;</a>", "", MarkupError::BadEntity, 1, 6, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MarkupParser, NoTextGiven)
{
    MarkupResults r;
    EXPECT_TRUE(ParseMarkup(std::string_view(), "a", &r).IsEmpty());
    EXPECT_EQ(r.code, MarkupError::NoText);
    EXPECT_EQ(r.line, 0);
    EXPECT_EQ(r.column, 0);
}

struct TextCase {
    const char* name;
    std::string_view content;  // inside <a>...</a>
    int texts;
    std::string_view first;
};

class MarkupTexts : public ::testing::TestWithParam<TextCase> {};

TEST_P(MarkupTexts, Decoded)
{
    const TextCase& c = GetParam();
    const std::string doc = "<a>" + std::string(c.content) + "</a>";
    MarkupResults r;
    const MarkupNode a = ParseMarkup(doc, "a", &r);
    ASSERT_EQ(r.code, MarkupError::None);
    EXPECT_EQ(a.TextCount(), c.texts);
    EXPECT_EQ(a.FirstText().value_or("<none>"), c.first);
}

INSTANTIATE_TEST_SUITE_P(Entities, MarkupTexts, ::testing::Values(
    TextCase{"amp", "AT&amp;T", 1, "AT&T"},
    TextCase{"amp_capitals", "AT&AMP;T", 1, "AT&T"},
    TextCase{"all_named", "&lt;&gt;&quot;&apos;", 1, "<>\"'"},
    TextCase{"decimal", "&#65;", 1, "A"},
    TextCase{"hex", "&#x41;&#X4a;", 1, "AJ"},
    TextCase{"zero_reference_ends_text", "ab&#0;cd", 1, "ab"},
    TextCase{"white_space_only", " \t\r\n ", 0, "<none>"},
    TextCase{"trimmed", "  x  ", 1, "x"},
    TextCase{"inner_space_kept", " x  y ", 1, "x  y"},
    TextCase{"comment_joins_texts", "one <!-- c --> two", 1, "onetwo"},
    TextCase{"tokens_inside_text", "a=b > \"q\" /> c", 1, "a=b > \"q\" /> c"},
    // "<" inside a two-byte unit is not a tag.
    TextCase{"utf8_unit_swallows_lt", "\xC3<b", 1, "\xC3<b"},
    TextCase{"utf8_kept", "gr\xC3\xBC\xC3\x9F", 1, "gr\xC3\xBC\xC3\x9F"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MarkupParser, DeclarationHoldsRoot)
{
    const std::string_view doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Remap><Button/></Remap>";
    MarkupResults r;
    const MarkupNode whole = ParseMarkup(doc, "", &r);
    EXPECT_EQ(r.code, MarkupError::None);
    ASSERT_TRUE(whole.IsDeclaration());
    EXPECT_EQ(whole.Name(), "xml");
    ASSERT_EQ(whole.AttributeCount(), 2);  // the closing "?" stored nothing
    EXPECT_EQ(whole.AttributeName(1), "encoding");
    EXPECT_EQ(whole.AttributeValue(1).value_or(""), "UTF-8");
    EXPECT_EQ(whole.ChildCount(), 1);

    const MarkupNode root = ParseMarkup(doc, "REMAP", &r);
    EXPECT_EQ(r.code, MarkupError::None);
    EXPECT_EQ(root.Name(), "Remap");
    EXPECT_EQ(root.CountChildren("button"), 1);
}

TEST(MarkupParser, RootWithoutDeclarationAndCaseOfNames)
{
    const MarkupNode root = ParseMarkup("<ROOT><Item/><item/><other/><ITEM/></ROOT>", "root");
    ASSERT_EQ(root.Name(), "ROOT");
    EXPECT_EQ(root.CountChildren("Item"), 3);
    EXPECT_EQ(root.ChildNamed("item", 1), root.Child(1));
    EXPECT_EQ(root.ChildNamed("item", -1), root.Child(3));
    EXPECT_TRUE(root.ChildNamed("item", 3).IsEmpty());
    EXPECT_TRUE(root.Child(-1).IsEmpty());
    EXPECT_TRUE(root.Child(4).IsEmpty());

    int cursor = 0;
    EXPECT_EQ(root.NextChild("item", &cursor), root.Child(0));
    EXPECT_EQ(root.NextChild("item", &cursor), root.Child(1));
    EXPECT_EQ(cursor, 2);
    EXPECT_EQ(root.NextChild("item", &cursor), root.Child(3));
    EXPECT_TRUE(root.NextChild("item", &cursor).IsEmpty());
    EXPECT_EQ(root.NextChild("item", nullptr), root.Child(0));
}

TEST(MarkupParser, TopElementKeptWhenNotAlone)
{
    // Two elements: the unnamed top element is returned.
    MarkupResults r;
    const MarkupNode top = ParseMarkup("<a/><b/>", "", &r);
    EXPECT_EQ(r.code, MarkupError::None);
    EXPECT_EQ(top.Name(), "");
    EXPECT_EQ(top.ChildCount(), 2);
    // A text beside the only element keeps the top element too.
    EXPECT_EQ(ParseMarkup("x<a/>").ChildCount(), 1);
    EXPECT_EQ(ParseMarkup("<a/>", "b", &r).IsEmpty(), true);
    EXPECT_EQ(ParseMarkup("<a/><b/>", "B").Name(), "b");
}

TEST(MarkupParser, Attributes)
{
    const MarkupNode a = ParseMarkup("<a flag x=1 y='t&amp;u' z=\"open>", "a");
    ASSERT_EQ(a.AttributeCount(), 4);
    EXPECT_EQ(a.AttributeName(0), "flag");
    EXPECT_FALSE(a.AttributeValue(0).has_value());
    EXPECT_EQ(a.AttributeValue(1).value_or(""), "1");
    EXPECT_EQ(a.AttributeValue(2).value_or(""), "t&u");
    // No closing quote before the end: read as plain text, quote and all.
    EXPECT_EQ(a.AttributeValue(3).value_or(""), "\"open");
    EXPECT_EQ(a.FindAttribute("Y"), 2);
    EXPECT_EQ(a.FindAttribute("w"), -1);
}

TEST(MarkupParser, SpecialSections)
{
    const MarkupNode a = ParseMarkup(
        "<a><![CDATA[ &amp; <x> ]]><!DOCTYPE a SYSTEM \"x\"><!DOCTYPE b [<!ENTITY e \"v\">]><PRE> p </PRE></a>", "a");
    ASSERT_EQ(a.SectionCount(), 4);
    EXPECT_EQ(a.Section(0)->content, " &amp; <x> ");
    EXPECT_EQ(a.Section(0)->close, "]]>");
    EXPECT_EQ(a.Section(1)->content, " a SYSTEM \"x\"");
    EXPECT_EQ(a.Section(1)->close, ">");
    EXPECT_EQ(a.Section(2)->content, " b [<!ENTITY e \"v\">");
    EXPECT_EQ(a.Section(2)->close, "]>");
    EXPECT_EQ(a.Section(3)->content, " p ");
    EXPECT_EQ(a.Section(3)->open, "<PRE>");
    EXPECT_EQ(a.TextCount(), 0);
    EXPECT_EQ(a.ChildCount(), 0);
}

TEST(MarkupParser, OrderListInterleaves)
{
    const MarkupNode a = ParseMarkup("<a>t1<b/><!--c-->t2<d/></a>", "a");
    // A child between a text and a comment keeps the comment as its own entry.
    ASSERT_EQ(a.EntryCount(), 5);
    const MarkupEntryKind kinds[] = {MarkupEntryKind::Text, MarkupEntryKind::Child, MarkupEntryKind::Section,
                                     MarkupEntryKind::Text, MarkupEntryKind::Child};
    const int indices[] = {0, 0, 0, 1, 1};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a.Entry(i)->kind, kinds[i]) << i;
        EXPECT_EQ(a.Entry(i)->index, indices[i]) << i;
    }
}

TEST(MarkupParser, EndTagRecovery)
{
    MarkupResults r;
    const MarkupNode a = ParseMarkup("<a><b><c>x</a><d/>", "a", &r);
    EXPECT_EQ(r.code, MarkupError::Unclosed);
    ASSERT_EQ(a.Name(), "a");
    // c, b and a were closed by </a>; d follows a in the top element.
    const MarkupNode c = a.Child(0).Child(0);
    EXPECT_EQ(c.FirstText().value_or(""), "x");
    EXPECT_EQ(c.ChildCount(), 0);

    // An end-tag name matches only up to a delimiter.
    // </p> does not close pq but its parent p; </pq> then meets no open element.
    const MarkupNode p = ParseMarkup("<p><pq></p><x/></pq>", "p", &r);
    EXPECT_EQ(p.Name(), "p");
    EXPECT_EQ(p.ChildCount(), 1);
    EXPECT_EQ(r.code, MarkupError::Unclosed);
    EXPECT_TRUE(ParseMarkup("<r><p></pq></r>", "", &r).IsEmpty());
    EXPECT_EQ(r.code, MarkupError::UnmatchedEndTag);
}

TEST(MarkupParser, NestedDeclarationClosedByItsMark)
{
    MarkupResults r;
    const MarkupNode a = ParseMarkup("<a><?pi x?><b/></a>", "a", &r);
    EXPECT_EQ(r.code, MarkupError::None);
    ASSERT_EQ(a.ChildCount(), 2);
    EXPECT_TRUE(a.Child(0).IsDeclaration());
    EXPECT_EQ(a.Child(0).AttributeName(0), "x");
    EXPECT_EQ(a.Child(0).ChildCount(), 0);
}

TEST(MarkupParser, CutOffUnitEndsText)
{
    MarkupResults r;
    const std::string doc = "<a>x\xF0\x9F";  // a four-byte unit cut off
    const MarkupNode a = ParseMarkup(doc, "a", &r);
    EXPECT_EQ(r.code, MarkupError::Unclosed);
    EXPECT_EQ(a.FirstText().value_or(""), "x\xF0\x9F");
    // A zero byte ends the text too.
    const std::string zero("<a>y</a>\0<b>", 12);
    EXPECT_EQ(ParseMarkup(zero, "", &r).Name(), "a");
    EXPECT_EQ(r.code, MarkupError::None);
}

TEST(MarkupParser, DepthCap)
{
    constexpr int kLevels = 100000;
    std::string deep;
    for (int i = 0; i < kLevels; ++i)
        deep += "<e>";
    MarkupResults r;
    EXPECT_TRUE(ParseMarkup(deep, "", &r).IsEmpty());
    EXPECT_EQ(r.code, MarkupError::TooDeep);

    std::string atCap;
    for (int i = 0; i < kMarkupMaxDepth; ++i)
        atCap += "<e>";
    for (int i = 0; i < kMarkupMaxDepth; ++i)
        atCap += "</e>";
    MarkupNode n = ParseMarkup(atCap, "", &r);
    EXPECT_EQ(r.code, MarkupError::None);
    int depth = 0;
    while (n) {
        ++depth;
        n = n.Child(0);
    }
    EXPECT_EQ(depth, kMarkupMaxDepth);
}

TEST(MarkupNodeHandle, ReferenceCountsAndDetach)
{
    MarkupNode root = ParseMarkup("<r><a><b>t</b></a></r>", "r");
    EXPECT_EQ(root.UseCount(), 1);
    MarkupNode a = root.Child(0);
    EXPECT_EQ(a.UseCount(), 2);  // the parent's and ours
    {
        MarkupNode copy = a;
        EXPECT_EQ(a.UseCount(), 3);
    }
    EXPECT_EQ(a.UseCount(), 2);
    EXPECT_EQ(a.Parent(), root);

    root = MarkupNode();
    // a survives as a detached tree with its own children.
    EXPECT_EQ(a.UseCount(), 1);
    EXPECT_TRUE(a.Parent().IsEmpty());
    EXPECT_EQ(a.Child(0).FirstText().value_or(""), "t");

    MarkupNode moved = std::move(a);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(moved.UseCount(), 1);
}

TEST(MarkupNodeHandle, EmptyAnswersNothing)
{
    const MarkupNode empty;
    EXPECT_EQ(empty.Name(), "");
    EXPECT_FALSE(empty.IsDeclaration());
    EXPECT_EQ(empty.ChildCount(), 0);
    EXPECT_EQ(empty.CountChildren("a"), 0);
    EXPECT_TRUE(empty.ChildNamed("a", -1).IsEmpty());
    int cursor = 0;
    EXPECT_TRUE(empty.NextChild("a", &cursor).IsEmpty());
    EXPECT_FALSE(empty.FirstText().has_value());
    EXPECT_EQ(empty.AttributeCount(), 0);
    EXPECT_EQ(empty.FindAttribute("a"), -1);
    EXPECT_FALSE(empty.Section(0).has_value());
    EXPECT_TRUE(empty.Parent().IsEmpty());
    EXPECT_EQ(empty.UseCount(), 0);
}

}  // namespace
}  // namespace padwright
