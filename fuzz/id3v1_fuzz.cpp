// Reads an ID3v1 block from arbitrary bytes, then writes the values back as a block and
// reads that again.
#include <cstring>

#include "FuzzMemFile.h"
#include "formats/AuTagsId3v1.h"

using namespace sundral;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    fuzzsupport::TMemFile File(Data, Size);
    if (File.Handle() < 0) return 0;
    TId3v1Tags Tags;
    const bool Present = Tags.TagPresent(File.Handle());
    if (Tags.ReadFromFile(File.Handle()) != Present) __builtin_trap();
    if (Tags.GenreId() >= kId3v1GenreCount) __builtin_trap();
    (void)Tags.Genre();

    // A block written from what was read must read back the same values.
    TId3v1Tags Again;
    if (!Again.LoadBlock(Tags.MakeBlock()) && Present) __builtin_trap();
    if (Present && (Again.Title() != Tags.Title() || Again.Album() != Tags.Album() ||
                    Again.GenreId() != Tags.GenreId()))
        __builtin_trap();

    if (Tags.WriteToFile(File.Handle(), false) && !Again.ReadFromFile(File.Handle()))
        __builtin_trap();
    return 0;
}
