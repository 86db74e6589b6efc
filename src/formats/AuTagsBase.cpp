#include "formats/AuTagsBase.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>
#include <type_traits>

#include "formats/AuTagsText.h"
#include "platform/TextConv.h"

namespace sundral {

namespace {

char AsciiLower(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

// Key order and key identity: letters compare without regard to case.
int CompareText(std::string_view A, std::string_view B) {
    const size_t n = std::min(A.size(), B.size());
    for (size_t i = 0; i < n; ++i) {
        const char x = AsciiLower(A[i]);
        const char y = AsciiLower(B[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

std::optional<int64_t> IntegerOf(const TTagVariant& Value) {
    return std::visit(
        [](const auto& V) -> std::optional<int64_t> {
            using TValue = std::decay_t<decltype(V)>;
            if constexpr (std::is_integral_v<TValue>) return static_cast<int64_t>(V);
            return std::nullopt;
        },
        Value);
}

// Decimal text with optional sign and surrounding spaces; nothing else parses.
std::optional<int64_t> ParseDecimal(std::string_view Text) {
    while (!Text.empty() && Text.front() == ' ') Text.remove_prefix(1);
    while (!Text.empty() && Text.back() == ' ') Text.remove_suffix(1);
    if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
    if (Text.empty()) return std::nullopt;
    int64_t result = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), result);
    if (Error != std::errc() || End != Text.data() + Text.size()) return std::nullopt;
    return result;
}

} // namespace

TTagValueKind TagValueKind(const TTagVariant& Value) {
    if (std::holds_alternative<std::monostate>(Value)) return TTagValueKind::tkUnassigned;
    if (std::holds_alternative<std::string>(Value)) return TTagValueKind::tkString;
    if (std::holds_alternative<std::u16string>(Value)) return TTagValueKind::tkWideString;
    return TTagValueKind::tkInteger;
}

bool TagValuesEqual(const TTagVariant& A, const TTagVariant& B) {
    const TTagValueKind kind = TagValueKind(A);
    if (kind != TagValueKind(B)) return false;
    switch (kind) {
    case TTagValueKind::tkUnassigned:
        return true;
    case TTagValueKind::tkInteger:
        return IntegerOf(A) == IntegerOf(B);
    case TTagValueKind::tkString:
        return std::get<std::string>(A) == std::get<std::string>(B);
    case TTagValueKind::tkWideString:
        return std::get<std::u16string>(A) == std::get<std::u16string>(B);
    }
    return false;
}

const TAuTags::TItem* TAuTags::Find(const std::string& Name) const {
    const auto it = std::lower_bound(
        FItems.begin(), FItems.end(), Name,
        [](const TItem& Item, const std::string& Key) { return CompareText(Item.Name, Key) < 0; });
    return (it != FItems.end() && CompareText(it->Name, Name) == 0) ? &*it : nullptr;
}

TAuTags::TItem* TAuTags::Find(const std::string& Name) {
    return const_cast<TItem*>(static_cast<const TAuTags*>(this)->Find(Name));
}

std::string TAuTags::Names(int Index) const {
    if (Index < 0 || Index >= Count()) return {};
    return FItems[static_cast<size_t>(Index)].Name;
}

TTagVariant TAuTags::Values(const std::string& Name) const {
    const TItem* item = Find(Name);
    return item ? item->Info.Value : TTagVariant();
}

void TAuTags::SetValues(const std::string& Name, const TTagVariant& Value) {
    TItem* item = Find(Name);
    if (!item || TagValuesEqual(item->Info.Value, Value)) return;
    item->Info.Value = Value;
    FEmpty = false;
    FChanged = true;
}

int64_t TAuTags::AsInteger(const std::string& Name) const {
    const TItem* item = Find(Name);
    if (!item) return 0;
    const TTagVariant& value = item->Info.Value;
    if (const auto number = IntegerOf(value)) return *number;
    if (const auto* text = std::get_if<std::string>(&value)) return ParseDecimal(*text).value_or(0);
    if (const auto* wide = std::get_if<std::u16string>(&value))
        return ParseDecimal(Utf16ToUtf8(*wide)).value_or(0);
    return 0;
}

std::string TAuTags::AsString(const std::string& Name) const {
    const TItem* item = Find(Name);
    if (!item) return {};
    const TTagVariant& value = item->Info.Value;
    if (const auto number = IntegerOf(value)) return std::to_string(*number);
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* wide = std::get_if<std::u16string>(&value)) return Utf16ToUtf8(*wide);
    return {};
}

std::u16string TAuTags::AsWideString(const std::string& Name) const {
    const TItem* item = Find(Name);
    if (!item) return {};
    if (const auto* wide = std::get_if<std::u16string>(&item->Info.Value)) return *wide;
    return Utf8ToUtf16(AsString(Name));
}

bool TAuTags::AddKey(const std::string& Name, const TTagVariant& InitialValue) {
    if (Name.empty()) return false;
    const auto it = std::lower_bound(
        FItems.begin(), FItems.end(), Name,
        [](const TItem& Item, const std::string& Key) { return CompareText(Item.Name, Key) < 0; });
    if (it == FItems.end() || CompareText(it->Name, Name) != 0)
        FItems.insert(it, TItem{Name, TTagValueInfo{InitialValue}});
    return true;
}

void TAuTags::Clear() {
    for (TItem& item : FItems) item.Info.Value = TTagVariant();
    FEmpty = true;
    FChanged = true;
}

void TAuTags::Assign(const TAuTags& Source) {
    if (&Source == this) return; // clearing first would lose the values to copy
    Clear();
    for (const TItem& item : Source.FItems) SetValues(item.Name, item.Info.Value);
}

bool TAuTags::TagPresent(int Handle) {
    return Handle >= 0;
}

bool TAuTags::ReadFromFile(int Handle) {
    if (Handle < 0) return false;
    Clear();
    return true;
}

bool TAuTags::WriteToFile(int Handle, bool /*Unicode*/) {
    return Handle >= 0;
}

TCommonTags::TCommonTags() {
    for (const char* key : {"Title", "Album", "Artist", "Genre", "Year", "Track"})
        AddKey(key, std::string());
}

} // namespace sundral
