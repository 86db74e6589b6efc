// Reads an ID3v2 tag from arbitrary bytes (through a file and straight from memory), then
// writes the values back as a tag in front of the file and reads that again.
#include <cstring>
#include <string>

#include "FuzzMemFile.h"
#include "formats/AuTagsId3v2.h"
#include "formats/AuTagsText.h"

using namespace sundral;

namespace {

// The text a field is written with: links go as Latin-1, everything else keeps its text.
std::string WrittenText(const TId3v2Tags& Tags, TId3v2Field Field) {
    const std::string Text = Tags.AsString(Tags.FieldKey(Field));
    return Field == ifLink ? tagtext::Latin1ToUtf8(tagtext::Utf8ToLatin1(Text)) : Text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    // The same bytes straight from memory, where the claimed tag size is not checked
    // against the file first.
    TId3v2Header Header;
    if (Size >= 10 && ParseId3v2Header(Data, Header)) {
        ParseId3v2Frames(
            Header,
            [Data, Size](int64_t Offset, uint8_t* Buffer, size_t Count) {
                if (Offset < 0 || size_t(Offset) > Size - 10 || Count > Size - 10 - size_t(Offset))
                    return false;
                std::memcpy(Buffer, Data + 10 + Offset, Count);
                return true;
            },
            [](const std::string&, const TTagVariant&) {});
    }

    fuzzsupport::TMemFile File(Data, Size);
    if (File.Handle() < 0) return 0;
    TId3v2Tags Tags;
    const bool Present = Tags.TagPresent(File.Handle());
    if (Tags.ReadFromFile(File.Handle()) != Present) __builtin_trap();
    if (lseek(File.Handle(), 0, SEEK_CUR) > static_cast<off_t>(Size)) __builtin_trap();

    // Written in front of the file and read back, every field except the comment keeps
    // its text.
    lseek(File.Handle(), 0, SEEK_SET);
    if (!Tags.WriteToFile(File.Handle(), true)) __builtin_trap();
    lseek(File.Handle(), 0, SEEK_SET);
    TId3v2Tags Again;
    if (!Again.ReadFromFile(File.Handle())) __builtin_trap();
    for (int I = 0; I < kId3v2FieldCount; ++I) {
        const auto Field = static_cast<TId3v2Field>(I);
        if (Field != ifComment && WrittenText(Tags, Field) != Again.AsString(Again.FieldKey(Field)))
            __builtin_trap();
    }
    return 0;
}
