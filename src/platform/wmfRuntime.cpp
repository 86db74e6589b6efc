#include <strings.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "platform/mediaLibs.h"
#include "platform/wmfTypes.h"

namespace sundral::wmf {

namespace {

std::atomic<TRuntimeStartHook> gStartHook{nullptr};

// The runtime "starts" when the codec libraries offer what the readers and writers need:
// the MP3 and both WMA decoders and the WMA encoders. A build of the libraries without them
// behaves like a machine without the runtime.
bool StartRealRuntime() {
    static const bool kStarted = [] {
        return medialibs::LoadFfmpeg() && ff::avcodec_find_decoder(AV_CODEC_ID_MP3) != nullptr &&
               ff::avcodec_find_decoder(AV_CODEC_ID_WMAV1) != nullptr &&
               ff::avcodec_find_decoder(AV_CODEC_ID_WMAV2) != nullptr &&
               ff::avcodec_find_encoder(AV_CODEC_ID_WMAV1) != nullptr &&
               ff::avcodec_find_encoder(AV_CODEC_ID_WMAV2) != nullptr;
    }();
    return kStarted;
}

// The codec libraries report what they meet in a file ("Estimating duration from
// bitrate", "asf_read_pts failed", a read ended on purpose) on stderr. Readers and writers
// report their failures through their own results and messages, so by default only the
// libraries' fatal messages get through; SUNDRAL_FFMPEG_LOG=level (a name such as
// "warning" or "debug", or the libraries' number) shows more when debugging.
int LogLevelFromText(const char* Text) {
    struct TLevel {
        const char* Name;
        int Level;
    };
    static constexpr TLevel kLevels[] = {
        {"quiet", AV_LOG_QUIET},     {"panic", AV_LOG_PANIC},     {"fatal", AV_LOG_FATAL},
        {"error", AV_LOG_ERROR},     {"warning", AV_LOG_WARNING}, {"info", AV_LOG_INFO},
        {"verbose", AV_LOG_VERBOSE}, {"debug", AV_LOG_DEBUG},     {"trace", AV_LOG_TRACE}};
    if (!Text || !*Text) return AV_LOG_FATAL;
    for (const TLevel& level : kLevels)
        if (strcasecmp(Text, level.Name) == 0) return level.Level;
    char* end = nullptr;
    const long number = std::strtol(Text, &end, 10);
    // The environment is outside input: a number outside the libraries' range is not a level.
    if (*end == '\0' && number >= AV_LOG_QUIET && number <= AV_LOG_TRACE) return int(number);
    return AV_LOG_FATAL;
}

} // namespace

void ApplyLogPolicy() {
    static std::once_flag once;
    // Without the libraries there is nothing to set; nothing else calls them either.
    if (!medialibs::LoadFfmpeg()) return;
    std::call_once(
        once, [] { ff::av_log_set_level(LogLevelFromText(std::getenv("SUNDRAL_FFMPEG_LOG"))); });
}

bool RuntimeStarted() {
    ApplyLogPolicy();
    TRuntimeStartHook hook = gStartHook.load();
    return hook != nullptr ? hook() : StartRealRuntime();
}

std::string RuntimeFailure() {
    if (gStartHook.load() != nullptr) return {};
    if (!medialibs::LoadFfmpeg()) return medialibs::FfmpegFailure();
    if (!StartRealRuntime())
        return "The installed FFmpeg libraries lack the MP3 or WMA codecs this program needs";
    return {};
}

void SetRuntimeStartHookForTests(TRuntimeStartHook Hook) {
    gStartHook.store(Hook);
}

} // namespace sundral::wmf
