#include <exception>

#include "platform/filestream.h"
#include "platform/wmfSinks.h"

namespace sundral::wmf {

TWmResult WMCreateWriterFileSink(std::shared_ptr<TWmWriterFileSink>& Sink) {
    if (!RuntimeStarted()) return wmErrNotStarted;
    Sink = std::make_shared<TWmWriterFileSink>();
    return wmOk;
}

TWmWriterFileSink::~TWmWriterFileSink() = default;

TWmResult TWmWriterFileSink::Open(std::u16string_view FileName) {
    FStream.reset();
    FFailed = false;
    try {
        FStream = std::make_unique<TAuFileStream>(std::u16string(FileName), fmCreate);
    } catch (const std::exception&) {
        return wmErrWriteFailed;
    }
    return wmOk;
}

TWmResult TWmWriterFileSink::OnBeginWriting() {
    return FStream ? wmOk : wmErrInvalidState;
}

TWmResult TWmWriterFileSink::OnData(int64_t Offset, const uint8_t* Data, size_t Size) {
    if (!FStream || FFailed) return wmErrWriteFailed;
    if (FStream->Seek(Offset, TSeekOrigin::soBeginning) != Offset ||
        !FStream->WriteExact(Data, int64_t(Size))) {
        // Reported once; the writer's calls fail from here on.
        FFailed = true;
        ReportStatus(TWmStatus::wmsError, wmErrWriteFailed);
        return wmErrWriteFailed;
    }
    return wmOk;
}

TWmResult TWmWriterFileSink::OnEndWriting() {
    const bool ok = FStream && !FFailed;
    FStream.reset(); // the file is complete on disk once writing ended
    return ok ? wmOk : wmErrWriteFailed;
}

} // namespace sundral::wmf
