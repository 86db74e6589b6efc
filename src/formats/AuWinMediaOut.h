// TWMAOut: the sink that encodes its input into a WMA file through the media-format runtime.
// TWMStreamedOut: the same encoding served to network clients over HTTP instead of a file.
//
// The stream format: with CodecIndex >= 0, format FormatIndex of that codec (its
// quality-based formats when VBR or Lossless is set); otherwise a searched one: by
// VBRQuality when VBR is set, else by DesiredBitrate (below 1000 taken as kbit/s); Lossless
// looks for a lossless format, which this runtime does not have ("Failed to init codec").
// The writer converts the input to the format's rate and channels.
//
// Each step reads 80 ms of the input (channels x bits x rate / 100 bytes, whole frames) and
// writes it as one sample stamped with the time at its end; a step that read nothing writes
// nothing. The header gets the non-empty ID3v2 texts: artist as "Author", album
// "WM/AlbumTitle", genre "WM/Genre", year "WM/Year", track "WM/Track", title "Title",
// comment "Copyright".
//
// Failures end the run with ExceptionMessage set: "File name is not assigned.", "Cannot
// create file", "Failed to init codec", "fff", "Filed to set data writer, possible reason:
// required WMA codec not installed.", "Failed to write data: " and the runtime's result in
// 8 hex digits, and "Windows Media output error" once the runtime reported an error (its
// callback sets "Windows Media output error." at once). A failure while finishing the file
// fails the run too.
//
// Threading: properties are set on the UI thread while the writer is idle; Codecs and
// Formats may be read on it at any time. Prepare, DoOutput and Done run on the worker; the
// runtime's callbacks may run on its own threads and only set the error flag or queue the
// client events (delivered on the UI thread through PostNotify). SampleTime and BufferSize
// are for reading between runs. Ownership: the input is not owned; the runtime's objects
// live from Prepare to Done.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "audio/AuClassesTagged.h"
#include "formats/AuWinMediaOutRecord.h"

namespace sundral {

class TWMAOut : public TAuTaggedFileOut {
public:
    explicit TWMAOut(TComponent* AOwner);
    ~TWMAOut() override;

    uint32_t DesiredBitrate() const { return FDesiredBitrate; }
    void SetDesiredBitrate(uint32_t Value) { FDesiredBitrate = Value; }
    bool Lossless() const { return FLossless; }
    void SetLossless(bool Value) { FLossless = Value; }
    bool VBR() const { return FVBR; }
    void SetVBR(bool Value) { FVBR = Value; }
    uint8_t VBRQuality() const { return FVBRQuality; }
    void SetVBRQuality(uint8_t Value) { FVBRQuality = Value; }

    // Names of the runtime's audio codecs, filled at creation.
    const std::vector<std::string>& Codecs() const { return FCodecs; }
    int32_t CodecIndex() const { return FCodecIndex; }
    void SetCodecIndex(int32_t Value) { FCodecIndex = Value; }
    int32_t FormatIndex() const { return FFormatIndex; }
    void SetFormatIndex(int32_t Value) { FFormatIndex = Value; }
    // Descriptions of a codec's formats (its quality-based ones when VBR or Lossless is
    // set); empty for a codec that does not exist.
    std::vector<std::string> Formats(int32_t Codec) const;
    int32_t FormatsCount(int32_t Codec) const { return int32_t(Formats(Codec).size()); }

    // The last run's PCM block size and the time (100 ns) at the end of its last sample.
    uint32_t BufferSize() const { return FBufferSize; }
    uint64_t SampleTime() const { return FRecord.SampleTime; }

protected:
    void Prepare() override;
    bool DoOutput(bool Abort) override;
    void Done() override;

    // For TWMStreamedOut.
    virtual void SetupRecord();
    bool FStreamed = false;
    wma_writer FRecord;

private:
    void ErrorProc(TComponent* Sender);
    void SetHeaderAttributes();

    uint32_t FDesiredBitrate = 0;
    bool FLossless = false;
    bool FVBR = false;
    uint8_t FVBRQuality = 0;
    std::vector<std::string> FCodecs;
    int32_t FCodecIndex = -1;
    int32_t FFormatIndex = 0;

    std::vector<uint8_t> FBuffer;
    uint32_t FBufferSize = 0;
    bool FEndOfInput = false;
    std::atomic<bool> FError{false};
    bool FWriting = false; // BeginWriting succeeded in this run
};

using TStreamedAudioEvent = std::function<void(TComponent* Sender)>;

class TWMStreamedOut : public TWMAOut {
public:
    explicit TWMStreamedOut(TComponent* AOwner);
    ~TWMStreamedOut() override;

    uint32_t MaxClients() const { return FMaxClients; }
    void SetMaxClients(uint32_t Value) { FMaxClients = Value; }
    uint32_t Port() const { return FPort; }
    void SetPort(uint32_t Value) { FPort = Value; }
    // The address to listen on; empty (the default) listens on every interface.
    const std::string& ListenAddress() const { return FListenAddress; }
    void SetListenAddress(const std::string& Value) { FListenAddress = Value; }

    TStreamedAudioEvent OnClientConnected;
    TStreamedAudioEvent OnClientDisconnected;

protected:
    void SetupRecord() override;

private:
    uint32_t FMaxClients = 0;
    uint32_t FPort = 0;
    std::string FListenAddress;
};

} // namespace sundral
