// The shared vocabulary of the media-format runtime (platform/wmf*): result codes, the
// identifiers that describe media types, the PCM wave format block, the value types of header
// attributes, and whether the runtime started.
//
// The runtime's reader side (sync reader) and writer side (profiles, codecs, writer, sinks)
// both speak it; formats/ sees nothing of the libraries underneath.
//
// Results: zero is success, anything else a failure. Callers rely only on that and on the
// codes named below; other failure values are free to change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Guid.h"

namespace sundral::wmf {

using TWmResult = uint32_t;

constexpr TWmResult wmOk = 0;
constexpr TWmResult wmErrFail = 0x80004005;        // generic failure
constexpr TWmResult wmErrInvalidArg = 0x80070057;  // a bad argument or index
constexpr TWmResult wmErrOutOfMemory = 0x8007000E; // an allocation failed
constexpr TWmResult wmErrNotStarted = 0xC00D0040;  // the runtime did not start; nothing is created
constexpr TWmResult wmErrProtected = 0xC00D0BBD;   // protected content: no uncompressed samples
constexpr TWmResult wmErrNoMoreSamples = 0xC00D0BCF; // the reader has delivered every sample
constexpr TWmResult wmErrNotFound = 0xC00D07F0;      // no such attribute or setting

// Value types of header attributes and output settings.
enum class TWmAttrType : uint32_t {
    wmtDword = 0,  // 4-byte integer
    wmtString = 1, // UTF-16 text with its terminating null; the length is in bytes
    wmtBinary = 2,
    wmtBool = 3,  // 4-byte Boolean, non-zero is true
    wmtQword = 4, // 8-byte integer
    wmtWord = 5,
    wmtGuid = 6,
};

// A PCM (or compressed) audio format: the 18-byte wave format block, little-endian on disk,
// held here as plain fields.
struct TWaveFormatEx {
    uint16_t FormatTag = 0; // 1 PCM
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;
    uint16_t ExtraSize = 0;
};

// A media type: its major type and subtype, and a format block of FormatType (for audio the
// wave format block above).
struct TWmMediaType {
    TGUID MajorType{};
    TGUID SubType{};
    bool FixedSizeSamples = false;
    bool TemporalCompression = false;
    uint32_t SampleSize = 0;
    TGUID FormatType{};
    TWaveFormatEx Format{};
};

// Identifiers (the values are the ones these types carry everywhere).
inline constexpr TGUID WMMEDIATYPE_Audio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID WMFORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr TGUID WMMEDIASUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID WMMEDIASUBTYPE_WMAudioV1 = {
    0x00000160, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID WMMEDIASUBTYPE_WMAudioV2 = {
    0x00000161, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID WMMEDIASUBTYPE_WMAudioLossless = {
    0x00000163, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID WMMEDIASUBTYPE_MP3 = {
    0x00000055, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// "Loaded at start": the runtime starts once per process, on first use. When it cannot start,
// every creation call returns wmErrNotStarted. Tests force the outcome through the hook
// (nullptr restores the real start).
bool RuntimeStarted();
using TRuntimeStartHook = bool (*)();
void SetRuntimeStartHookForTests(TRuntimeStartHook Hook);
// Why the runtime did not start, for the user: the codec library that could not be loaded,
// or the codecs it lacks. Empty while it started or was not tried.
std::string RuntimeFailure();

// The one process-wide policy for the codec libraries' own messages on stderr: only fatal
// ones, unless SUNDRAL_FFMPEG_LOG names a level ("warning", "debug", ... or a number). Set
// once, at the runtime's start; every other user of the libraries in the process (the WAV
// codec manager, the media player) calls it too before its first use.
void ApplyLogPolicy();

} // namespace sundral::wmf
