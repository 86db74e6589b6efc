#include "formats/AuWinMediaOut.h"

#include <cstdio>

#include "platform/TextConv.h"

namespace sundral {

namespace {

constexpr const char* kErrNoFileName = "File name is not assigned.";
constexpr const char* kErrCreate = "Cannot create file";
constexpr const char* kErrBegin =
    "Filed to set data writer, possible reason: required WMA codec not installed.";
constexpr const char* kErrOutput = "Windows Media output error";
constexpr const char* kErrOutputReported = "Windows Media output error.";

std::string WriteFailure(wmf::TWmResult Result) {
    char text[64];
    std::snprintf(text, sizeof text, "Failed to write data: %08X", unsigned(Result));
    return text;
}

} // namespace

TWMAOut::TWMAOut(TComponent* AOwner) : TAuTaggedFileOut(AOwner), FCodecs(WmaListCodecs()) {}

TWMAOut::~TWMAOut() {
    StopWorker();
}

std::vector<std::string> TWMAOut::Formats(int32_t Codec) const {
    if (Codec < 0 || size_t(Codec) >= FCodecs.size()) return {};
    return WmaListFormats(uint32_t(Codec), FVBR || FLossless);
}

void TWMAOut::ErrorProc(TComponent*) {
    // The run's first failure is the one it reports.
    if (ExceptionMessage().empty()) SetExceptionMessage(kErrOutputReported);
    FError = true;
}

void TWMAOut::SetupRecord() {
    WmaSetupFileWriter(FRecord, WideFileName(), this, [this](TComponent* S) { ErrorProc(S); });
}

void TWMAOut::Prepare() {
    FWriting = false;
    FBuffer.clear();
    if (!FStreamed && WideFileName().empty()) throw EAuException(kErrNoFileName);
    TAuInput* input = Input();
    input->Init();
    SetupRecord();
    if (!FRecord.Ready) {
        const std::string why = wmf::RuntimeFailure();
        throw EAuException(why.empty() ? std::string(kErrCreate) : why);
    }

    const uint32_t channels = input->Channels();
    const uint32_t bits = input->BitsPerSample();
    const uint32_t rate = input->SampleRate();
    if (FCodecIndex >= 0)
        WmaSetupExplicit(FRecord, channels, bits, FCodecIndex, FFormatIndex, FVBR || FLossless,
                         rate);
    else if (FVBR)
        WmaSetupSearched(FRecord, channels, bits, FVBRQuality, true, FLossless, rate);
    else
        WmaSetupSearched(FRecord, channels, bits, FDesiredBitrate, false, FLossless, rate);

    // 80 ms of input, in whole frames so that no sample splits one.
    const uint64_t frameBytes = uint64_t(channels) * bits / 8;
    uint64_t size = uint64_t(channels) * bits * rate / 100;
    if (frameBytes > 0) size -= size % frameBytes;
    FBuffer.resize(size_t(size));
    FBufferSize = uint32_t(size);

    SetHeaderAttributes();
    if (FRecord.Writer->BeginWriting() != wmf::wmOk) throw EAuException(kErrBegin);
    FWriting = true;
    FRecord.SampleTime = 0;
    FEndOfInput = false;
    FError = false;
}

void TWMAOut::SetHeaderAttributes() {
    TId3v2Tags& tags = Id3v2Tags();
    const std::pair<const char16_t*, std::u16string> attributes[] = {
        {u"Author", tags.Artist()},
        {u"WM/AlbumTitle", tags.Album()},
        {u"WM/Genre", tags.Genre()},
        {u"WM/Year", Utf8ToUtf16(tags.Year())},
        {u"WM/Track", Utf8ToUtf16(tags.Track())},
        {u"Title", tags.Title()},
        {u"Copyright", tags.Comment()},
    };
    for (const auto& [name, value] : attributes) WmaSetAttribute(FRecord, name, value);
}

bool TWMAOut::DoOutput(bool Abort) {
    if (FError) throw EAuException(kErrOutput);
    if (!Active()) return true;
    if (Abort || FEndOfInput) return false;
    bool eof = false;
    const uint32_t bytes = ReadFull(Input(), FBuffer.data(), uint32_t(FBuffer.size()), eof);
    FEndOfInput = eof;
    if (bytes == 0) return true;
    const wmf::TWmResult r = WmaWriteSamples(FRecord, FBuffer.data(), bytes);
    if (r != wmf::wmOk) throw EAuException(WriteFailure(r));
    return true;
}

void TWMAOut::Done() {
    std::string failure;
    try {
        Input()->Flush();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    const wmf::TWmResult r = WmaCloseWriter(FRecord, FWriting);
    if (r != wmf::wmOk && failure.empty()) failure = WriteFailure(r);
    FWriting = false;
    // A run that failed earlier keeps its first message.
    if (!failure.empty() && ExceptionMessage().empty()) SetExceptionMessage(failure);
    FBuffer = {};
}

// ---------------------------------------------------------------------------------------
// TWMStreamedOut
// ---------------------------------------------------------------------------------------
TWMStreamedOut::TWMStreamedOut(TComponent* AOwner) : TWMAOut(AOwner) {
    FStreamed = true;
}

TWMStreamedOut::~TWMStreamedOut() {
    StopWorker();
}

void TWMStreamedOut::SetupRecord() {
    WmaSetupStreamWriter(
        FRecord, FPort, FMaxClients, FListenAddress, this,
        [this](TComponent*) {
            if (OnClientConnected) PostNotify(OnClientConnected);
        },
        [this](TComponent*) {
            if (OnClientDisconnected) PostNotify(OnClientDisconnected);
        });
}

} // namespace sundral
