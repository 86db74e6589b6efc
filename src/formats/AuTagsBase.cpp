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
    const size_t N = std::min(A.size(), B.size());
    for (size_t I = 0; I < N; ++I) {
        const char X = AsciiLower(A[I]);
        const char Y = AsciiLower(B[I]);
        if (X != Y) return static_cast<unsigned char>(X) < static_cast<unsigned char>(Y) ? -1 : 1;
    }
    return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

std::optional<int64_t> IntegerOf(const TTagVariant& Value) {
    return std::visit(
        [](const auto& V) -> std::optional<int64_t> {
            using T = std::decay_t<decltype(V)>;
            if constexpr (std::is_integral_v<T>) return static_cast<int64_t>(V);
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
    int64_t Result = 0;
    const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Result);
    if (Error != std::errc() || End != Text.data() + Text.size()) return std::nullopt;
    return Result;
}

} // namespace

TTagValueKind TagValueKind(const TTagVariant& Value) {
    if (std::holds_alternative<std::monostate>(Value)) return TTagValueKind::tkUnassigned;
    if (std::holds_alternative<std::string>(Value)) return TTagValueKind::tkString;
    if (std::holds_alternative<std::u16string>(Value)) return TTagValueKind::tkWideString;
    return TTagValueKind::tkInteger;
}

bool TagValuesEqual(const TTagVariant& A, const TTagVariant& B) {
    const TTagValueKind Kind = TagValueKind(A);
    if (Kind != TagValueKind(B)) return false;
    switch (Kind) {
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
    const auto It = std::lower_bound(
        FItems.begin(), FItems.end(), Name,
        [](const TItem& Item, const std::string& Key) { return CompareText(Item.Name, Key) < 0; });
    return (It != FItems.end() && CompareText(It->Name, Name) == 0) ? &*It : nullptr;
}

TAuTags::TItem* TAuTags::Find(const std::string& Name) {
    return const_cast<TItem*>(static_cast<const TAuTags*>(this)->Find(Name));
}

std::string TAuTags::Names(int Index) const {
    if (Index < 0 || Index >= Count()) return {};
    return FItems[static_cast<size_t>(Index)].Name;
}

TTagVariant TAuTags::Values(const std::string& Name) const {
    const TItem* Item = Find(Name);
    return Item ? Item->Info.Value : TTagVariant();
}

void TAuTags::SetValues(const std::string& Name, const TTagVariant& Value) {
    TItem* Item = Find(Name);
    if (!Item || TagValuesEqual(Item->Info.Value, Value)) return;
    Item->Info.Value = Value;
    FEmpty = false;
    FChanged = true;
}

int64_t TAuTags::AsInteger(const std::string& Name) const {
    const TItem* Item = Find(Name);
    if (!Item) return 0;
    const TTagVariant& Value = Item->Info.Value;
    if (const auto Number = IntegerOf(Value)) return *Number;
    if (const auto* Text = std::get_if<std::string>(&Value)) return ParseDecimal(*Text).value_or(0);
    if (const auto* Wide = std::get_if<std::u16string>(&Value))
        return ParseDecimal(Utf16ToUtf8(*Wide)).value_or(0);
    return 0;
}

std::string TAuTags::AsString(const std::string& Name) const {
    const TItem* Item = Find(Name);
    if (!Item) return {};
    const TTagVariant& Value = Item->Info.Value;
    if (const auto Number = IntegerOf(Value)) return std::to_string(*Number);
    if (const auto* Text = std::get_if<std::string>(&Value)) return *Text;
    if (const auto* Wide = std::get_if<std::u16string>(&Value)) return Utf16ToUtf8(*Wide);
    return {};
}

std::u16string TAuTags::AsWideString(const std::string& Name) const {
    const TItem* Item = Find(Name);
    if (!Item) return {};
    if (const auto* Wide = std::get_if<std::u16string>(&Item->Info.Value)) return *Wide;
    return Utf8ToUtf16(AsString(Name));
}

bool TAuTags::AddKey(const std::string& Name, const TTagVariant& InitialValue) {
    if (Name.empty()) return false;
    const auto It = std::lower_bound(
        FItems.begin(), FItems.end(), Name,
        [](const TItem& Item, const std::string& Key) { return CompareText(Item.Name, Key) < 0; });
    if (It == FItems.end() || CompareText(It->Name, Name) != 0)
        FItems.insert(It, TItem{Name, TTagValueInfo{InitialValue}});
    return true;
}

void TAuTags::Clear() {
    for (TItem& Item : FItems) Item.Info.Value = TTagVariant();
    FEmpty = true;
    FChanged = true;
}

void TAuTags::Assign(const TAuTags& Source) {
    if (&Source == this) return; // clearing first would lose the values to copy
    Clear();
    for (const TItem& Item : Source.FItems) SetValues(Item.Name, Item.Info.Value);
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
    for (const char* Key : {"Title", "Album", "Artist", "Genre", "Year", "Track"})
        AddKey(Key, std::string());
}

} // namespace sundral
