// Arbitrary bytes as an existing WAV file to append to: the scan that finds the format and
// the size fields, and the check whether audio can be added after them.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "formats/AuWaveOutAppend.h"
#include "formats/AuWaveOutHeaders.h"

using namespace sundral;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TMemoryStream file;
    file.Write(Data, static_cast<int64_t>(Size));
    const int64_t size = file.Size();
    const TWaveAppendInfo info = WaveAppendScan(file);
    const char* why = nullptr;
    const int64_t audioEnd = WaveAppendAudioEnd(info, size, &why);
    const bool sound = audioEnd >= 0;
    // A refusal always says why; an accepted layout has no reason.
    if (sound == (why != nullptr)) std::abort();
    if (info.WavType == TWavType::wtUnsupported) {
        if (sound || info.Why == nullptr) std::abort();
        return 0;
    }
    if (info.WavType != TWavType::wtPCM && info.WavType != TWavType::wtDVIADPCM) std::abort();
    // Every field the writer would patch lies inside the file, in order.
    if (info.RiffSizeOffset < 4 || info.RiffSizeOffset + 4 > info.DataSizeOffset) std::abort();
    if (info.DataSizeOffset + 4 != info.DataStart || info.DataStart > size) std::abort();
    if (info.WavType == TWavType::wtDVIADPCM &&
        (info.FactOffset <= info.RiffSizeOffset || info.FactOffset + 4 > info.DataSizeOffset))
        std::abort();
    // What the scan reports is what the file holds there (in RF64, "ds64" holds the size
    // wherever the field says 0xFFFFFFFF), and the "ds64" chunk (or the "JUNK" chunk that
    // can become one) lies before the fields that follow it.
    const uint32_t dataField = GetU32(Data + info.DataSizeOffset);
    if (dataField != info.DataSize && !(info.Rf64 && dataField == UINT32_MAX)) std::abort();
    if (info.Rf64 && info.Ds64Offset < 0) std::abort();
    if (info.Ds64Offset >= 0 && info.Ds64Offset + 8 + 28 > info.DataSizeOffset) std::abort();
    if (info.FactOffset >= 0 && GetU32(Data + info.FactOffset) != info.FactValue) std::abort();
    if (sound) {
        const int64_t audio = audioEnd - info.DataStart;
        if (info.BlockAlign == 0 || audio % info.BlockAlign != 0 || audioEnd > size) std::abort();
        if (info.WavType == TWavType::wtDVIADPCM &&
            !ImaBlockSizeFits(info.BlockAlign, info.Channels))
            std::abort();
    }
    return 0;
}
