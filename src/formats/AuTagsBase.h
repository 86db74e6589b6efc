// Tag sets: name -> value stores that travel with the audio components. TAuTags holds the
// values; each derived set creates its fixed keys in its constructor and adds typed
// accessors. TCommonTags is the format-neutral set a reader fills for display.
//
// Values are variants: unassigned, an 8/16/32-bit signed or unsigned integer, a narrow
// (UTF-8) string or a wide (UTF-16) string.
//
// Threading: no locking. A set belongs to one component and is used by one thread at a
// time (the UI thread sets values before a run, the worker reads them during it).
// Ownership: a set owns its values. The file operations work on a POSIX file descriptor
// that the caller opened and keeps owning; they never close it.
// Failures: nothing throws for bad data; every operation reports through its result.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace sundral {

using TTagVariant = std::variant<std::monostate, int8_t, uint8_t, int16_t, uint16_t, int32_t,
                                 uint32_t, std::string, std::u16string>;

enum class TTagValueKind { tkUnassigned, tkInteger, tkString, tkWideString };

TTagValueKind TagValueKind(const TTagVariant& Value);
// Same kind and same value; integers compare by value whatever their width.
bool TagValuesEqual(const TTagVariant& A, const TTagVariant& B);

// The record each key owns.
struct TTagValueInfo {
    TTagVariant Value;
};

class TAuTags {
public:
    TAuTags() = default;
    virtual ~TAuTags() = default;
    // Sets are copied with Assign only, so a copy never slices a derived set.
    TAuTags(const TAuTags&) = delete;
    TAuTags& operator=(const TAuTags&) = delete;

    // Number of keys.
    int Count() const { return static_cast<int>(FItems.size()); }
    // Key at that position of the list sorted without regard to letter case; empty when the
    // index is out of range.
    std::string Names(int Index) const;
    // A copy of the value; unassigned for a key the set does not have.
    TTagVariant Values(const std::string& Name) const;
    // Ignored for a key the set does not have and for the value already stored; otherwise
    // stores it and clears Empty, sets Changed.
    void SetValues(const std::string& Name, const TTagVariant& Value);

    // Integers as they are; strings parsed as decimal integers (surrounding spaces allowed),
    // 0 when they do not parse; 0 for anything else.
    int64_t AsInteger(const std::string& Name) const;
    // Integers as decimal text, strings as text (wide converted to UTF-8), empty otherwise.
    std::string AsString(const std::string& Name) const;
    std::u16string AsWideString(const std::string& Name) const;

    // Adds the key unless it exists (key names ignore letter case); false only for an empty
    // name. Used by the constructors of the sets.
    bool AddKey(const std::string& Name, const TTagVariant& InitialValue);
    // Every value becomes unassigned; Empty and Changed become true.
    void Clear();

    // Clear, then copy each value of Source whose key this set also has.
    void Assign(const TAuTags& Source);
    void AssignTo(TAuTags& Dest) const { Dest.Assign(*this); }

    // True after construction and Clear; false after any effective SetValues.
    bool Empty() const { return FEmpty; }
    // Set by every effective change and by Clear; the owner may reset it.
    bool Changed() const { return FChanged; }
    void SetChanged(bool Value) { FChanged = Value; }

    // File operations on a descriptor the caller opened. The base versions only check the
    // descriptor: TagPresent answers whether it is valid (not negative); ReadFromFile
    // clears the set when it is valid and answers its validity; WriteToFile answers its
    // validity. Only the ID3v2 set uses the Unicode flag.
    virtual bool TagPresent(int Handle);
    virtual bool ReadFromFile(int Handle);
    virtual bool WriteToFile(int Handle, bool Unicode);

protected:
    // Text of a key as a narrow or wide string value, for the typed setters.
    void SetString(const std::string& Name, const std::string& Value) {
        SetValues(Name, TTagVariant(Value));
    }
    void SetWideString(const std::string& Name, const std::u16string& Value) {
        SetValues(Name, TTagVariant(Value));
    }

private:
    struct TItem {
        std::string Name;
        TTagValueInfo Info;
    };
    const TItem* Find(const std::string& Name) const;
    TItem* Find(const std::string& Name);

    std::vector<TItem> FItems; // sorted by name, letter case ignored
    bool FEmpty = true;
    bool FChanged = false;
};

// The format-neutral set: keys "Title", "Album", "Artist", "Genre", "Year", "Track", each
// created as the empty narrow string.
class TCommonTags : public TAuTags {
public:
    TCommonTags();

    std::u16string Artist() const { return AsWideString("Artist"); }
    void SetArtist(const std::u16string& Value) { SetWideString("Artist", Value); }
    std::u16string Title() const { return AsWideString("Title"); }
    void SetTitle(const std::u16string& Value) { SetWideString("Title", Value); }
    std::u16string Album() const { return AsWideString("Album"); }
    void SetAlbum(const std::u16string& Value) { SetWideString("Album", Value); }
    std::u16string Genre() const { return AsWideString("Genre"); }
    void SetGenre(const std::u16string& Value) { SetWideString("Genre", Value); }
    std::string Year() const { return AsString("Year"); }
    void SetYear(const std::string& Value) { SetString("Year", Value); }
    std::string Track() const { return AsString("Track"); }
    void SetTrack(const std::string& Value) { SetString("Track", Value); }
};

} // namespace sundral
