#include "config/remap_codec.h"

#include <algorithm>
#include <string>

namespace padwright {
namespace {

constexpr int kInvalidItem = -1;

// Decoding is the inverse of the item columns, so it is built from them rather
// than kept as a second copy that could drift.
constexpr std::array<int, 256> InvertCodes(const std::array<uint8_t, kButtonItemCount>& codes)
{
    std::array<int, 256> items{};
    items.fill(kInvalidItem);
    for (int item = 0; item < kButtonItemCount; ++item)
        items[codes[item]] = item;
    return items;
}

constexpr bool IsOneToOne(const std::array<uint8_t, kButtonItemCount>& codes)
{
    for (int i = 0; i < kButtonItemCount; ++i)
        for (int j = i + 1; j < kButtonItemCount; ++j)
            if (codes[i] == codes[j])
                return false;
    return true;
}
static_assert(IsOneToOne(kItemDigitalCodes) && IsOneToOne(kItemTriggerCodes),
              "two items with one code could not be told apart when decoding");

constexpr std::array<int, 256> kDigitalDecode = InvertCodes(kItemDigitalCodes);
constexpr std::array<int, 256> kTriggerDecode = InvertCodes(kItemTriggerCodes);

// Outputs in ascending table byte order: the messages then come sticks first,
// triggers next, buttons last, the order the editor has always checked them in.
constexpr std::array<int, kRemapSelections> TableOrder()
{
    std::array<int, kRemapSelections> order{};
    for (int i = 0; i < kRemapSelections; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [](int a, int b) { return kRemapOutputs[a].byte < kRemapOutputs[b].byte; });
    return order;
}
constexpr std::array<int, kRemapSelections> kTableOrder = TableOrder();

std::string_view TrimBlanks(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameIgnoringCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

template <size_t N>
std::optional<int> FindItem(const std::array<std::string_view, N>& texts, std::string_view text)
{
    text = TrimBlanks(text);
    for (size_t i = 0; i < N; ++i)
        if (SameIgnoringCase(TrimBlanks(texts[i]), text))
            return static_cast<int>(i);
    return std::nullopt;
}

int DecodeStick(uint8_t x, uint8_t y)
{
    for (int item = 0; item < kStickItemCount; ++item)
        if (kStickPairs[item].x == x && kStickPairs[item].y == y)
            return kStickSelectionBase + item;
    return kInvalidItem;
}

}  // namespace

RemapSelections IdentitySelections()
{
    RemapSelections selections{};
    for (int i = 0; i < kRemapSelections; ++i)
        selections[i] = kRemapOutputs[i].identity;
    return selections;
}

void EncodeRemap(const RemapSelections& selections, RemapTable& table, MessageBoxes& messages)
{
    table.fill(0);
    table[0] = kRemapFunctionCode;
    for (const FixedRemapByte& fixed : kFixedRemapBytes)
        table[fixed.byte] = fixed.code;

    for (int output : kTableOrder) {
        const RemapOutput& out = kRemapOutputs[output];
        const int selection = selections[output];
        switch (out.code) {
        case RemapCode::Stick: {
            const int item = selection - kStickSelectionBase;
            if (item < 0 || item >= kStickItemCount) {
                messages.Show(std::string(kAnalogCustomiseError));
                break;
            }
            table[out.byte] = kStickPairs[item].x;
            table[out.byte + 1] = kStickPairs[item].y;
            break;
        }
        case RemapCode::Trigger:
        case RemapCode::Digital: {
            const bool trigger = out.code == RemapCode::Trigger;
            if (selection < 0 || selection >= kButtonItemCount) {
                messages.Show(std::string(trigger ? kShoulderCustomiseError : kDigitalCustomiseError));
                break;
            }
            table[out.byte] = trigger ? kItemTriggerCodes[selection] : kItemDigitalCodes[selection];
            break;
        }
        }
    }
}

bool DecodeRemap(const RemapTable& table, RemapSelections& selections)
{
    if (table[0] != kRemapFunctionCode)
        return false;
    RemapSelections decoded{};
    for (int i = 0; i < kRemapSelections; ++i) {
        const RemapOutput& out = kRemapOutputs[i];
        switch (out.code) {
        case RemapCode::Stick: decoded[i] = DecodeStick(table[out.byte], table[out.byte + 1]); break;
        case RemapCode::Trigger: decoded[i] = kTriggerDecode[table[out.byte]]; break;
        case RemapCode::Digital: decoded[i] = kDigitalDecode[table[out.byte]]; break;
        }
        if (decoded[i] == kInvalidItem)
            return false;
    }
    selections = decoded;
    return true;
}

std::optional<int> FindButtonItem(std::string_view text) { return FindItem(kButtonItemTexts, text); }

std::optional<int> FindStickItem(std::string_view text) { return FindItem(kStickItemTexts, text); }

std::optional<int> FindSelection(int output, std::string_view text)
{
    if (output < 0 || output >= kRemapSelections)
        return std::nullopt;
    if (kRemapOutputs[output].code != RemapCode::Stick)
        return FindButtonItem(text);
    if (const auto item = FindStickItem(text))
        return kStickSelectionBase + *item;
    return std::nullopt;
}

std::optional<std::string_view> SelectionText(int output, int selection)
{
    if (output < 0 || output >= kRemapSelections)
        return std::nullopt;
    if (kRemapOutputs[output].code != RemapCode::Stick) {
        if (selection < 0 || selection >= kButtonItemCount)
            return std::nullopt;
        return kButtonItemTexts[selection];
    }
    const int item = selection - kStickSelectionBase;
    if (item < 0 || item >= kStickItemCount)
        return std::nullopt;
    return kStickItemTexts[item];
}

}  // namespace padwright
