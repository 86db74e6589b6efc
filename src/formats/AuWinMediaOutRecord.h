// The WMA writers' glue to the media-format runtime: the wma_writer record and the routines
// that list codecs and formats, set the writer up for a file or for network clients, build
// the one-stream profile (explicit or searched), set header attributes and write samples.
//
// Format search: over every codec in order (quality-based listing when VBR or lossless is
// asked for) and over its formats in order. A format is a candidate when it has the lossless
// subtype (lossless asked for), or a quality (VBR) or bit rate (otherwise) closer to the
// wanted value than the best so far; or as close, with the wanted channels and depth and a
// sample rate closer than the result's. A candidate with the wanted channels and depth and a
// sample rate at least as close as the result's becomes the result. So among formats of the
// wanted bit rate the one of the wanted sample rate wins, and an equal format of a later
// codec does not displace the first. With VBR or lossless, the first candidate is the
// result until a matching one is found. Differences are signed 32-bit.
//
// Threading: the setup routines and WriteSamples run on the writer's worker; the status
// callbacks may be called on the runtime's threads and only call the record's procedures,
// which must be safe there. Ownership: the record owns the runtime objects it holds; a
// callback refers to its record, which outlives it (the sinks are released first).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmfSinks.h"
#include "platform/wmfWriter.h"

namespace sundral {

class TComponent;

struct wma_writer {
    TComponent* Owner = nullptr;
    std::unique_ptr<wmf::TWmWriter> Writer;
    std::unique_ptr<wmf::TWmSampleBuffer> Sample;
    uint32_t InputNumber = 0;
    uint32_t BytesPerSecond = 0;
    uint64_t SampleTime = 0; // 100-ns units: the end of the last sample written
    bool Ready = false;
    std::shared_ptr<wmf::TWmWriterFileSink> FileSink;
    std::shared_ptr<wmf::TWmWriterNetworkSink> NetworkSink;
    std::shared_ptr<wmf::IWmStatusCallback> StatusCallback;
    std::shared_ptr<wmf::IWmStatusCallback> ErrorCallback;
    std::function<void(TComponent*)> ClientConnected;
    std::function<void(TComponent*)> ClientDisconnected;
    std::function<void(TComponent*)> ErrorProc;
};

// Statuses 0, 9, 26 and 30 call the record's error procedure.
class TWMErrorCallback : public wmf::IWmStatusCallback {
public:
    explicit TWMErrorCallback(wma_writer* Record) : FRecord(Record) {}
    wmf::TWmResult OnStatus(wmf::TWmStatus Status, wmf::TWmResult Result, wmf::TWmAttrType Type,
                            const uint8_t* Value, void* Context) override;

private:
    wma_writer* FRecord;
};

// Statuses 37 and 38 call the record's client procedures.
class TWMStatusCallback : public wmf::IWmStatusCallback {
public:
    explicit TWMStatusCallback(wma_writer* Record) : FRecord(Record) {}
    wmf::TWmResult OnStatus(wmf::TWmStatus Status, wmf::TWmResult Result, wmf::TWmAttrType Type,
                            const uint8_t* Value, void* Context) override;

private:
    wma_writer* FRecord;
};

// Names of the runtime's audio codecs; empty when the runtime is not there.
std::vector<std::string> WmaListCodecs();
// Descriptions of a codec's formats (quality-based ones when Vbr).
std::vector<std::string> WmaListFormats(uint32_t Codec, bool Vbr);

// Zero the record and set it up; Ready tells whether it worked.
void WmaSetupFileWriter(wma_writer& R, const std::u16string& FileName, TComponent* Owner,
                        std::function<void(TComponent*)> ErrorProc);
void WmaSetupStreamWriter(wma_writer& R, uint32_t Port, uint32_t MaxClients,
                          const std::string& Address, TComponent* Owner,
                          std::function<void(TComponent*)> Connected,
                          std::function<void(TComponent*)> Disconnected);

// Leaves the writer without a profile when the codec or format does not exist; raises
// EAuException "fff" when the profile refuses the stream.
void WmaSetupExplicit(wma_writer& R, uint32_t Channels, uint32_t Bits, int32_t Codec,
                      int32_t Format, bool Vbr, uint32_t SampleRate);
// Raises EAuException "Failed to init codec" when no format is found.
void WmaSetupSearched(wma_writer& R, uint32_t Channels, uint32_t Bits, uint32_t Wanted, bool Vbr,
                      bool Lossless, uint32_t SampleRate);

// The format search over a profile manager; the found configuration, or none.
std::unique_ptr<wmf::TWmStreamConfig> WmaFindFormat(wmf::TWmProfileManager& Manager,
                                                    const wmf::TWaveFormatEx& Wanted,
                                                    uint32_t WantedValue, bool Vbr, bool Lossless);

// A text attribute of the whole file (stream 0); empty texts are not set.
void WmaSetAttribute(wma_writer& R, const std::u16string& Name, const std::u16string& Value);

// One sample of Bytes bytes, stamped with the time at its end.
wmf::TWmResult WmaWriteSamples(wma_writer& R, const uint8_t* Data, uint32_t Bytes);

// Ends writing when it began; releases sinks, writer and callbacks. Returns EndWriting's
// result (0 when writing had not begun).
wmf::TWmResult WmaCloseWriter(wma_writer& R, bool EndWriting);

} // namespace sundral
