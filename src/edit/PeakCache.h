// The peak cache: a file's complete peaks kept on disk, so that opening it again draws at
// once. Entries live in $XDG_CACHE_HOME/Orvane/Sundral/ (~/.cache/Orvane/Sundral/ when that
// variable is unset or not absolute), one file per sound file and resolution.
//
// An entry names the sound file by its absolute path, its size and its modification time
// (nanoseconds); it is used only when all three still match and its checksum holds. Anything
// else (another file, a changed one, a cut-short or damaged entry) is ignored, and the peaks
// are computed and stored again. Entries are written under a temporary name and renamed into
// place, so a reader never sees half an entry.
//
// Layout (little-endian): "SDPK", u32 layout 1, u32 path length, the path, u64 size,
// i64 modification time, i64 samples per bucket, u32 sample rate, u32 channels,
// i64 frames covered, u64 count of values, the i16 values, and u64 FNV-1a of all before it.
//
// Threading: every routine may be called from any thread; concurrent writers of one entry
// each rename a complete file into place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "edit/Peaks.h"

namespace sundral {

struct TPeakCacheKey {
    std::string Path; // absolute
    uint64_t Size = 0;
    int64_t ModifiedNs = 0;
    int64_t SamplesPerPixel = 0;
};

// The key of FileName as it is now; false when the file cannot be examined.
bool PeakCacheKeyOf(const std::string& FileName, int64_t SamplesPerPixel, TPeakCacheKey& Key);
// The cache folder, ending in '/'; empty when neither variable nor home folder is known.
std::string PeakCacheFolder();
// The entry's file in the cache folder (its name is a hash of path and resolution).
std::string PeakCacheFile(const TPeakCacheKey& Key);

std::vector<uint8_t> EncodePeakCache(const TPeakCacheKey& Key, const TPeakData& Peaks);
// True when Bytes is a whole, undamaged entry for exactly Key; Peaks then holds it.
bool DecodePeakCache(const uint8_t* Bytes, size_t Count, const TPeakCacheKey& Key,
                     TPeakData& Peaks);

// Reads the entry of Key; false when there is none that fits.
bool LoadPeakCache(const TPeakCacheKey& Key, TPeakData& Peaks);
// Writes the entry of Key, creating the folder; false when it could not be written.
bool StorePeakCache(const TPeakCacheKey& Key, const TPeakData& Peaks);

} // namespace sundral
