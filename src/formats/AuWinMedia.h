// TWMIn: the file source that decodes WMA and MP3 files through the media-format runtime's
// synchronous reader (platform/wmfReader.h), and the pieces under it: the stream adapter
// TAudioStream and the reader record wma_sync_reader with its routines.
//
// What it delivers: interleaved little-endian PCM at the file's own rate and channel count,
// 16-bit (24-bit with HighPrecision, or the richest format with cnMaxAvailable). TotalSamples
// is exactly the number of frames the reader delivers (the same count the media player's
// length comes from), and a seek reaches the exact frame; reading after a seek to N gives the
// samples N... of a whole decode. A file whose decoder runs out before that count ends the
// run with an EAuException saying how much was missing. A file it cannot read leaves Valid
// false, and InvalidReason says why ("WMA Pro is not supported", "not an MP3 or WMA file").
//
// Threading: OpenSource/CloseSource and every use of the runtime's reader run under FileLock,
// so the UI thread may read Bitrate, IsVBR or the tags while a writer's worker reads data
// (ReadSource/SeekSource run under DataLock, which may take FileLock, never the reverse).
// Ownership: the component owns its reader record, the adapter and the file stream it opened;
// a stream given through SetStream belongs to the caller (rewound at close). A buffer handed
// out by ReadSource stays valid until the next ReadSource, SeekSource or CloseSource.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "audio/AuClassesTagged.h"
#include "platform/wmfReader.h"

namespace sundral {

// The channel layouts a reader may ask for, and the channel request each makes.
enum class TChannelsNumber { cnMaxAvailable, cnMonoOrStereo, cn5dot1, cn7dot1 };
int ChannelRequest(TChannelsNumber Value);

// A program stream presented to the runtime. Read and Write answer 0 when at least one byte
// moved, else -1. Seek takes the whole 64-bit offset and reports the new position (the
// runtime opens files at the position the stream stands at, and files may pass 4 GiB).
// The stream is not owned.
class TAudioStream : public wmf::IWmStream {
public:
    explicit TAudioStream(TStream* Stream) : FStream(Stream) {}

    wmf::TWmResult Read(void* Buffer, uint32_t Count, uint32_t* Done) override;
    wmf::TWmResult Write(const void* Buffer, uint32_t Count, uint32_t* Done) override;
    wmf::TWmResult Seek(int64_t Move, uint32_t Origin, uint64_t* NewPosition) override;
    // Moves the position to NewSize from the start (the size itself is left alone).
    wmf::TWmResult SetSize(uint64_t NewSize) override;
    wmf::TWmResult Stat(uint64_t& Size) override;
    // Not supported: each answers -1 (Clone also clears its out-pointer).
    wmf::TWmResult CopyTo() { return kNotSupported; }
    wmf::TWmResult Commit() { return kNotSupported; }
    wmf::TWmResult Revert() { return kNotSupported; }
    wmf::TWmResult LockRegion() { return kNotSupported; }
    wmf::TWmResult UnlockRegion() { return kNotSupported; }
    wmf::TWmResult Clone(std::shared_ptr<wmf::IWmStream>& Out) {
        Out.reset();
        return kNotSupported;
    }

private:
    static constexpr wmf::TWmResult kNotSupported = 0xFFFFFFFF;
    TStream* FStream;
};

// The reader record: everything one open file needs; zeroed at every open.
struct wma_sync_reader {
    std::shared_ptr<TAudioStream> Adapter;      // also the stream interface the reader holds
    std::unique_ptr<wmf::TWmSyncReader> Reader; // null when creation or opening failed
    const wmf::TWmBuffer* Sample = nullptr;     // the decoded sample being handed out
    wmf::TWmSyncReader* HeaderInfo = nullptr;   // set once a PCM format was chosen
    uint32_t SampleOffset = 0;                  // bytes of the sample already handed out
    uint16_t StreamNumber = 0;
    uint32_t OutputNumber = 0;
    bool HasAudio = false;
    bool IsProtected = false;
    int32_t Channels = 0;
    uint32_t SampleRate = 0;
    int32_t BitsPerSample = 0;
    uint64_t Duration = 0; // 100-ns units; 0 when the attribute is missing
    std::string Refusal;   // why the reader could not open the stream (no reader)
};

// Opens the record on Stream: creates the reader, opens it (once more from byte 30 when the
// first try fails), picks an audio output and a PCM format by ChannelRequest (-1 richest,
// 0 the decoder's own rate and channels at the deepest sample size, 6 or 8 that many
// channels), asks for decoded samples and reads "Duration". Failures leave no reader or no
// audio; nothing throws.
void wma_reader_open(wma_sync_reader& Reader, TStream* Stream, bool HighPrecision,
                     int ChannelRequest);
uint32_t wma_reader_bitrate(wma_sync_reader& Reader); // 0 when it cannot be read
bool wma_reader_is_vbr(wma_sync_reader& Reader);      // false when it cannot be read
std::u16string wma_reader_string(wma_sync_reader& Reader, const std::string& Name);
// Up to Bytes bytes of the current sample (a new one when it is used up); 0 at the end.
void wma_reader_read(wma_sync_reader& Reader, const uint8_t*& Buffer, uint32_t& Bytes);
// The next read starts at Start (100-ns units); the rest of a held sample is dropped.
bool wma_reader_seek(wma_sync_reader& Reader, uint64_t Start);
void wma_reader_close(wma_sync_reader& Reader);

class TWMIn : public TAuTaggedFileIn {
public:
    explicit TWMIn(TComponent* AOwner);
    ~TWMIn() override;

    void OpenSource() override;
    void CloseSource() override;

    // Header attributes; each opens the file first.
    uint32_t Bitrate();
    bool IsVBR();
    bool IsProtected();
    // The stream's codec in words ("MPEG-1 Audio Layer III"); empty when not known.
    std::string Codec();
    // The tag set filled at open (opens the file first).
    TId3v2Tags& Id3v2Tags();
    TCommonTags& CommonTags();

    bool HighPrecision() const { return FHighPrecision; }
    // Ignored while Busy and unless OutputChannels is cnMonoOrStereo; reopens an open file.
    void SetHighPrecision(bool Value);
    TChannelsNumber OutputChannels() const { return FOutputChannels; }
    // Ignored while Busy; anything but cnMonoOrStereo also sets HighPrecision. Reopens an
    // open file.
    void SetOutputChannels(TChannelsNumber Value);

    // A whole run (Init to Flush) on the calling thread that hands the decoded frames to
    // Take as the decoder gives them (wmf::TWmDecoded): the samples GetData would give in
    // 16 bits, without their conversion and without decoding ahead. Take returns false to
    // stop. False, with nothing read, when this reader cannot: a range or Loop is set, or
    // the output is not 16-bit. Raises EAuException as GetData does when the file ends
    // before its announced length.
    bool ReadDecoded(const std::function<bool(const wmf::TWmDecoded&)>& Take);

protected:
    void ReadSource(const uint8_t*& Buffer, uint32_t& Bytes) override;
    bool SeekSource(int64_t& SampleNum) override;

    void Reopen();

    wma_sync_reader FReader;
    bool FHighPrecision = false;
    TChannelsNumber FOutputChannels = TChannelsNumber::cnMonoOrStereo;
};

} // namespace sundral
