// TMP3Out: the sink that encodes its input into an MP3 file.
//
// Each run: Prepare checks that the encoder library is there, starts the input, sets up an
// encoder stream from the configuration record (lameEncConfig.h) built from the properties
// (with AverageKbps, after aiming the mean on trial), and only then creates the file, so a
// refused setting leaves an existing file as it was. Each DoOutput step reads one encoder
// chunk of input, converts it to 16-bit if need be (AuMp3OutPcm.h), encodes it in one call
// and gathers the frames into writes of about 64 KB. Done flushes the encoder, writes the
// encoder's tag frame over the frame reserved at the start (so decoders trim the encoder's
// delay and padding and play exactly what came in), and ends the file with the writer's
// 128-byte ID3v1 block. A file the writer created by name also gets an ID3v2 tag
// through TagLib when TagLib is there; the ID3v1 block then follows TagLib's step, in place
// of the one TagLib writes from its own values.
//
// Failures end the run with ExceptionMessage set and OnDone still delivered; that includes
// every failure in Done (flush, ID3v1 block, tag frame, ID3v2 tag): the first failure of a
// run is the one reported.
//
// Threading: properties and tag sets are set on the UI thread while the writer is idle (the
// setters ignore changes while it is busy). Prepare, DoOutput and Done run on the worker.
// The libraries are loaded when a writer is created and again at Prepare while missing.
// Ownership: the input is not owned; a stream given through SetStream is not owned (and
// gets no ID3v2 tag, which TagLib writes by file name); the file the writer creates is its
// own and closed at the end of each run.
#pragma once

#include <memory>
#include <vector>

#include "audio/AuClassesTagged.h"
#include "formats/AuMp3OutAim.h"
#include "formats/AuMp3OutLanes.h"
#include "formats/AuMp3OutPcm.h"
#include "formats/Mp3BitRate.h"
#include "platform/filestream.h"
#include "platform/lameEnc.h"

namespace sundral {

enum class TMP3Mode : uint8_t { mmStereo, mmJointStereo, mmDual, mmMono };

enum class TMP3Quality : uint8_t {
    mp3ql0,
    mp3ql1,
    mp3ql2,
    mp3ql3,
    mp3ql4,
    mp3ql5,
    mp3ql6,
    mp3ql7,
    mp3ql8,
    mp3ql9
};

class TMP3Out : public TAuTaggedFileOut {
public:
    explicit TMP3Out(TComponent* AOwner);
    ~TMP3Out() override;

    TMP3BitRate BitRate() const { return FBitRate; }
    void SetBitRate(TMP3BitRate Value) { SetWhileIdle(FBitRate, Value); }
    TMP3Mode Mode() const { return FMode; }
    void SetMode(TMP3Mode Value) { SetWhileIdle(FMode, Value); }
    bool CRC() const { return FCRC; }
    void SetCRC(bool Value) { SetWhileIdle(FCRC, Value); }
    bool Copyright() const { return FCopyright; }
    void SetCopyright(bool Value) { SetWhileIdle(FCopyright, Value); }
    bool Original() const { return FOriginal; }
    void SetOriginal(bool Value) { SetWhileIdle(FOriginal, Value); }
    bool EnableBitReservoir() const { return FEnableBitReservoir; }
    void SetEnableBitReservoir(bool Value) { SetWhileIdle(FEnableBitReservoir, Value); }
    bool StrictISO() const { return FStrictISO; }
    void SetStrictISO(bool Value) { SetWhileIdle(FStrictISO, Value); }
    TMP3Quality VBRQuality() const { return FVBRQuality; }
    void SetVBRQuality(TMP3Quality Value) { SetWhileIdle(FVBRQuality, Value); }
    bool EnableVBR() const { return FEnableVBR; }
    void SetEnableVBR(bool Value) { SetWhileIdle(FEnableVBR, Value); }
    // Any value but mbrAuto selects the average-bit-rate method.
    TMP3BitRate AverageBitrate() const { return FAverageBitrate; }
    void SetAverageBitrate(TMP3BitRate Value) { SetWhileIdle(FAverageBitrate, Value); }
    // The average rate the file is to have, kbit/s, any rate (a source's measured average is
    // rarely one of the listed ones). Any value but 0 (the default) selects the
    // average-bit-rate method in place of AverageBitrate, and the run aims it: it first
    // encodes up to kAimTrialSeconds of its input on trial and corrects the mean by how far
    // that landed (AuMp3OutAim.h), then encodes everything with the corrected mean.
    uint32_t AverageKbps() const { return FAverageKbps; }
    void SetAverageKbps(uint32_t Value) { SetWhileIdle(FAverageKbps, Value); }
    TMP3BitRate MaximumBitrate() const { return FMaximumBitrate; }
    void SetMaximumBitrate(TMP3BitRate Value) { SetWhileIdle(FMaximumBitrate, Value); }

    // The encoder configuration record a run makes for an input of this rate and channel
    // count. A mono input, or Mode mmMono, is encoded in mono (a stereo input is mixed
    // down); mmDual is written as plain stereo. The record always asks for the tag frame.
    // With AverageKbps its mean is that rate; a run then corrects it (AuMp3OutAim.h).
    TBeConfigBytes ConfigRecord(uint32_t SampleRate, uint32_t Channels) const;
    // The ID3v1 block a run appends: "TAG", title, artist and album (30 bytes each, Latin-1),
    // the year when it has four digits, the comment (30 bytes), the genre index.
    TId3v1Block Id3v1Block() const;

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

private:
    static constexpr const char* kErrWrite = "Error writing down mp3 file";

    template <typename T> void SetWhileIdle(T& Field, T Value) {
        if (!Busy() && Field != Value) Field = Value;
    }

    // Encoded bytes go out in writes of about kWriteBytes; WritePending sends what is held.
    static constexpr size_t kWriteBytes = 64 * 1024;
    void WriteAll(const void* Data, uint32_t Count);
    void WritePending();
    // Reads up to kAimTrialSeconds of input into FHeld for the trial; DoOutput encodes it
    // before reading on.
    void HoldTrial(uint32_t Rate, uint32_t FrameBytes);
    // The next step's input into FFeed's buffer, the held input first; Eof at the end.
    uint32_t NextInput(bool& Eof);
    void FlushEncoder();
    TMp3Lanes::TSink LanesSink();
    void AppendId3v1();
    void WriteTagFrame();
    void WriteId3v2();
    void AppendId3v1AfterTags();
    void ReleaseRun();

    // Properties, in their published order.
    TMP3BitRate FBitRate = TMP3BitRate::mbr128;
    TMP3Mode FMode = TMP3Mode::mmStereo;
    bool FCRC = false;
    bool FCopyright = false;
    bool FOriginal = true;
    bool FEnableBitReservoir = false;
    bool FStrictISO = false;
    TMP3Quality FVBRQuality = TMP3Quality::mp3ql0;
    bool FEnableVBR = false;
    TMP3BitRate FAverageBitrate = TMP3BitRate::mbrAuto;
    TMP3BitRate FMaximumBitrate = TMP3BitRate::mbrAuto;
    uint32_t FAverageKbps = 0;

    // Everything below belongs to the worker during a run.
    std::unique_ptr<TAuFileStream> FOwnStream;
    THBeStream FEncoder = nullptr;
    // Instead of FEncoder, for a long constant-rate stream without the reservoir: encoders
    // on several cores.
    std::unique_ptr<TMp3Lanes> FLanes;
    uint32_t FEncoderChannels = 0;
    bool FFlushed = false;
    int64_t FAudioStart = 0; // stream offset of the first encoded byte
    int64_t FAudioBytes = 0; // bytes of encoded audio, tag frame included
    TMp3PcmFeed FFeed;
    std::vector<uint8_t> FOutput;       // the encoder's output buffer, of the size it asked for
    std::vector<uint8_t> FPendingBytes; // encoded bytes not yet written
    std::vector<uint8_t> FHeld;         // input read for the trial, not yet encoded
    size_t FHeldAt = 0;
    bool FHeldEnded = false; // the input ended within the held part
};

} // namespace sundral
