#include "formats/AuWaveOutAppend.h"

#include "formats/AuWaveInFormat.h"
#include "formats/AuWaveOutHeaders.h"
#include "formats/AuWaveRiff.h"

namespace sundral {

namespace {

int64_t AudioEnd(const TWaveAppendInfo& Info, int64_t StreamSize, const char*& Why) {
    if (Info.WavType == TWavType::wtUnsupported) {
        Why = Info.Why ? Info.Why : "no RIFF/WAVE header was found";
        return -1;
    }
    Why = "its header is damaged";
    if (Info.DataStart <= 0 || Info.DataStart > StreamSize) return -1;
    const int64_t present = StreamSize - Info.DataStart;
    const int64_t declared = Info.DataSize;
    // Fewer bytes than declared: cut short (as after a crash), the audio runs to the end.
    // One more after an odd size: the pad byte. Any other bytes after the audio would
    // become audio themselves.
    int64_t audio = -1;
    if (present <= declared)
        audio = present;
    else if ((declared & 1) && present == declared + 1)
        audio = declared;
    if (audio < 0) {
        Why = "other chunks follow its audio";
        return -1;
    }
    if (Info.Channels == 0 || Info.SampleRate == 0) return -1;
    if (Info.WavType == TWavType::wtPCM) {
        const uint32_t bits = Info.BitsPerSample;
        // Block align divides below; matching channels x bits / 8 (both non-zero) makes it
        // non-zero, and makes a frame of the file a frame of the input.
        if (bits == 0 || bits % 8 != 0 || bits > 32 ||
            uint32_t(Info.BlockAlign) != Info.Channels * bits / 8) {
            Why = "its PCM frames are laid out in a way the writer does not write";
            return -1;
        }
        Why = "its audio ends inside a frame";
        return audio % Info.BlockAlign == 0 ? Info.DataStart + audio : -1;
    }
    // The writer encodes blocks of this size and divides by it: the layout must fit it.
    if (Info.BitsPerSample != 4 || Info.FactOffset < 0 ||
        !ImaBlockSizeFits(Info.BlockAlign, Info.Channels) ||
        (Info.SamplesPerBlock != 0 &&
         Info.SamplesPerBlock != ImaSamplesPerBlock(Info.BlockAlign, Info.Channels))) {
        Why = "its IMA ADPCM blocks are laid out in a way the writer does not write";
        return -1;
    }
    Why = "its audio ends inside an IMA ADPCM block";
    return audio % Info.BlockAlign == 0 ? Info.DataStart + audio : -1;
}

} // namespace

TWaveAppendInfo WaveAppendScan(TStream& Stream) {
    TWaveAppendInfo info;
    // Chunks are walked to the end of the stream, however large those before the audio.
    TRiffWalker walk(Stream, {INT64_MAX, false, true, kWaveFormSearchLimit});
    if (!walk.FindForm()) {
        info.Why = "no RIFF/WAVE header was found";
        return info;
    }
    if (walk.Form() == TRiffForm::rfRifx) {
        info.Why = "big-endian (RIFX) files are not appended to";
        return info;
    }

    TWaveAppendInfo found;
    found.RiffSizeOffset = walk.RiffSizeOffset();
    found.Rf64 = walk.Form() == TRiffForm::rfRf64;
    const int64_t firstChunk = found.RiffSizeOffset + 8;
    bool haveFmt = false, haveFact = false;
    TRiffChunkHead head;
    while (walk.Next(head)) {
        if (head.Offset == firstChunk) {
            // The chunk that holds (or can hold) the 64-bit sizes comes first.
            if (found.Rf64 && walk.Ds64().Offset == head.Offset)
                found.Ds64Offset = head.Offset;
            else if (!found.Rf64 && walk.Matches(head, "JUNK") && head.Size >= kDs64BodySize)
                found.Ds64Offset = head.Offset;
        }
        if (!haveFmt && walk.Matches(head, "fmt ")) {
            // The fields up to bits per sample are 16 bytes; samples per block sits at 18
            // and only a body of at least 20 bytes holds it. What is read must be there.
            uint8_t f[20];
            const uint32_t want = head.Size >= 20 ? 20 : 16;
            if (head.Size < 16 || !walk.BodyWithin(head, head.Size) ||
                !walk.ReadBody(head, f, want)) {
                info.Why = "its \"fmt \" chunk is cut short";
                return info;
            }
            const uint16_t tag = GetU16(f);
            if (tag == WAVE_FORMAT_PCM) {
                found.WavType = TWavType::wtPCM;
            } else if (tag == WAVE_FORMAT_DVI_ADPCM) {
                found.WavType = TWavType::wtDVIADPCM;
            } else {
                info.Why = "only plain PCM and IMA ADPCM files are appended to";
                return info;
            }
            found.Channels = GetU16(f + 2);
            found.SampleRate = GetU32(f + 4);
            found.BlockAlign = GetU16(f + 12);
            found.BitsPerSample = GetU16(f + 14);
            if (want == 20) found.SamplesPerBlock = GetU16(f + 18);
            haveFmt = true;
            // PCM goes straight on to the audio; IMA needs its "fact" first.
            haveFact = found.WavType != TWavType::wtDVIADPCM;
        } else if (haveFmt && !haveFact && walk.Matches(head, "fact")) {
            // The frame count is the first 4 body bytes; they must have been read.
            uint8_t fact[4];
            if (head.Size < 4 || !walk.ReadBody(head, fact, 4)) {
                info.Why = "its \"fact\" chunk is cut short";
                return info;
            }
            found.FactValue = GetU32(fact);
            found.FactOffset = head.BodyOffset();
            haveFact = true;
        } else if (haveFact && walk.Matches(head, "data")) {
            found.DataSizeOffset = head.Offset + 4;
            found.DataSize = head.Size;
            found.DataStart = head.BodyOffset();
            // An RF64 file without its "ds64" cannot have its sizes kept.
            if (found.Rf64 && found.Ds64Offset < 0) {
                info.Why = "its RF64 sizes have no \"ds64\" chunk";
                return info;
            }
            return found;
        } else if (haveFmt && !haveFact && walk.Matches(head, "data")) {
            info.Why = "its IMA ADPCM audio has no \"fact\" chunk before it";
            return info;
        }
        // Any other chunk is passed by its declared size (and its pad byte).
    }
    info.Why = haveFmt ? "no \"data\" chunk was found" : "no \"fmt \" chunk was found";
    return info;
}

int64_t WaveAppendAudioEnd(const TWaveAppendInfo& Info, int64_t StreamSize, const char** Why) {
    const char* why = nullptr;
    const int64_t end = AudioEnd(Info, StreamSize, why);
    if (Why) *Why = end >= 0 ? nullptr : why;
    return end;
}

} // namespace sundral
