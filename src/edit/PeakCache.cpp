#include "edit/PeakCache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace sundral {
namespace {

constexpr char kMagic[4] = {'S', 'D', 'P', 'K'};
constexpr uint32_t kLayout = 1;
// Larger entries are not believed: 2^28 values are hours of sound at one sample per bucket.
constexpr uint64_t kMaxValues = uint64_t(1) << 28;

uint64_t Fnv1a(const uint8_t* Bytes, size_t Count, uint64_t Hash = 0xcbf29ce484222325ULL) {
    for (size_t i = 0; i < Count; ++i) {
        Hash ^= Bytes[i];
        Hash *= 0x100000001b3ULL;
    }
    return Hash;
}

void Put(std::vector<uint8_t>& Out, uint64_t Value, int Bytes) {
    for (int i = 0; i < Bytes; ++i) Out.push_back(uint8_t(Value >> (8 * i)));
}

// Reads little-endian fields one after another; any read past the end fails them all.
class TReader {
public:
    TReader(const uint8_t* Bytes, size_t Count) : FBytes(Bytes), FCount(Count) {}
    uint64_t Get(int Bytes) {
        if (FCount - FAt < size_t(Bytes)) {
            FOk = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < Bytes; ++i) v |= uint64_t(FBytes[FAt + size_t(i)]) << (8 * i);
        FAt += size_t(Bytes);
        return v;
    }
    const uint8_t* Take(size_t Bytes) {
        if (FCount - FAt < Bytes) {
            FOk = false;
            return nullptr;
        }
        const uint8_t* p = FBytes + FAt;
        FAt += Bytes;
        return p;
    }
    bool Ok() const { return FOk; }
    size_t At() const { return FAt; }

private:
    const uint8_t* FBytes;
    size_t FCount;
    size_t FAt = 0;
    bool FOk = true;
};

} // namespace

bool PeakCacheKeyOf(const std::string& FileName, int64_t SamplesPerPixel, TPeakCacheKey& Key) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(FileName, ec);
    if (ec) return false;
    struct stat st {};
    if (::stat(absolute.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    Key.Path = absolute.lexically_normal().string();
    Key.Size = uint64_t(st.st_size);
    Key.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    Key.SamplesPerPixel = SamplesPerPixel;
    return true;
}

std::string PeakCacheFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        base = std::string(home) + "/.cache";
    } else {
        return {};
    }
    if (base.back() != '/') base += '/';
    return base + "Orvane/Sundral/";
}

std::string PeakCacheFile(const TPeakCacheKey& Key) {
    const std::string folder = PeakCacheFolder();
    if (folder.empty()) return {};
    std::string id = Key.Path + '\n' + std::to_string(Key.SamplesPerPixel);
    char name[40];
    std::snprintf(name, sizeof name, "%016llx.peaks",
                  static_cast<unsigned long long>(
                      Fnv1a(reinterpret_cast<const uint8_t*>(id.data()), id.size())));
    return folder + name;
}

std::vector<uint8_t> EncodePeakCache(const TPeakCacheKey& Key, const TPeakData& Peaks) {
    std::vector<uint8_t> out(std::begin(kMagic), std::end(kMagic));
    Put(out, kLayout, 4);
    Put(out, Key.Path.size(), 4);
    out.insert(out.end(), Key.Path.begin(), Key.Path.end());
    Put(out, Key.Size, 8);
    Put(out, uint64_t(Key.ModifiedNs), 8);
    Put(out, uint64_t(Key.SamplesPerPixel), 8);
    Put(out, Peaks.SampleRate, 4);
    Put(out, Peaks.Channels, 4);
    Put(out, uint64_t(Peaks.TotalFrames), 8);
    Put(out, Peaks.Data.size(), 8);
    for (int16_t v : Peaks.Data) Put(out, uint16_t(v), 2);
    Put(out, Fnv1a(out.data(), out.size()), 8);
    return out;
}

bool DecodePeakCache(const uint8_t* Bytes, size_t Count, const TPeakCacheKey& Key,
                     TPeakData& Peaks) {
    TReader r(Bytes, Count);
    const uint8_t* magic = r.Take(4);
    if (!magic || std::memcmp(magic, kMagic, 4) != 0 || r.Get(4) != kLayout) return false;
    const uint64_t pathLength = r.Get(4);
    const uint8_t* path = r.Take(size_t(pathLength));
    if (!path || std::string(reinterpret_cast<const char*>(path), pathLength) != Key.Path)
        return false;
    if (r.Get(8) != Key.Size || int64_t(r.Get(8)) != Key.ModifiedNs ||
        int64_t(r.Get(8)) != Key.SamplesPerPixel)
        return false;
    TPeakData peaks;
    peaks.SamplesPerPixel = Key.SamplesPerPixel;
    peaks.SampleRate = uint32_t(r.Get(4));
    peaks.Channels = uint32_t(r.Get(4));
    peaks.TotalFrames = int64_t(r.Get(8));
    const uint64_t values = r.Get(8);
    if (!r.Ok() || peaks.Channels == 0 || peaks.Channels > 64 || values > kMaxValues ||
        values % (2 * peaks.Channels) != 0 || peaks.TotalFrames < 0 || Key.SamplesPerPixel < 1)
        return false;
    // The buckets must be just enough for the frames they cover.
    const uint64_t buckets = values / (2 * peaks.Channels);
    const uint64_t frames = uint64_t(peaks.TotalFrames);
    const uint64_t spp = uint64_t(Key.SamplesPerPixel);
    if (buckets != frames / spp + (frames % spp != 0)) return false;
    const uint8_t* data = r.Take(size_t(values) * 2);
    if (!data) return false;
    const size_t checked = r.At();
    const uint64_t sum = r.Get(8);
    if (!r.Ok() || r.At() != Count || sum != Fnv1a(Bytes, checked)) return false;
    peaks.Data.resize(size_t(values));
    for (size_t i = 0; i < values; ++i)
        peaks.Data[i] = int16_t(uint16_t(data[i * 2] | (data[i * 2 + 1] << 8)));
    Peaks = std::move(peaks);
    return true;
}

bool LoadPeakCache(const TPeakCacheKey& Key, TPeakData& Peaks) {
    const std::string file = PeakCacheFile(Key);
    if (file.empty()) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    return DecodePeakCache(bytes.data(), bytes.size(), Key, Peaks);
}

bool StorePeakCache(const TPeakCacheKey& Key, const TPeakData& Peaks) {
    const std::string file = PeakCacheFile(Key);
    if (file.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(PeakCacheFolder(), ec);
    if (ec) return false;
    const std::string temp = file + ".tmp" + std::to_string(::getpid()) + "-" +
                             std::to_string(std::hash<const void*>()(&Peaks));
    const std::vector<uint8_t> bytes = EncodePeakCache(Key, Peaks);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        if (!out.flush()) {
            out.close();
            std::filesystem::remove(temp, ec);
            return false;
        }
    }
    std::filesystem::rename(temp, file, ec);
    if (!ec) return true;
    std::filesystem::remove(temp, ec);
    return false;
}

} // namespace sundral
