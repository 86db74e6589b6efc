#include <atomic>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "platform/wmfTypes.h"

namespace sundral::wmf {

namespace {

std::atomic<TRuntimeStartHook> gStartHook{nullptr};

// The runtime "starts" when the codec libraries offer what the readers and writers need:
// the MP3 and both WMA decoders and the WMA encoders. A build of the libraries without them
// behaves like a machine without the runtime.
bool StartRealRuntime() {
    static const bool kStarted = [] {
        return avcodec_find_decoder(AV_CODEC_ID_MP3) != nullptr &&
               avcodec_find_decoder(AV_CODEC_ID_WMAV1) != nullptr &&
               avcodec_find_decoder(AV_CODEC_ID_WMAV2) != nullptr &&
               avcodec_find_encoder(AV_CODEC_ID_WMAV1) != nullptr &&
               avcodec_find_encoder(AV_CODEC_ID_WMAV2) != nullptr;
    }();
    return kStarted;
}

} // namespace

bool RuntimeStarted() {
    TRuntimeStartHook hook = gStartHook.load();
    return hook != nullptr ? hook() : StartRealRuntime();
}

void SetRuntimeStartHookForTests(TRuntimeStartHook Hook) {
    gStartHook.store(Hook);
}

} // namespace sundral::wmf
