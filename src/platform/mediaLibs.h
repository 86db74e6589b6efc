// FFmpeg (libavutil, libswresample, libavcodec, libavformat) and SDL 2 are loaded at run time,
// on first use, like LAME and TagLib (libload.h): a program that only handles WAV files never
// maps them, and a machine without them still handles WAV files.
//
// Callers write ff::avcodec_open2(...) and sdl::SDL_OpenAudioDevice(...): each name below is
// a call object of the entry point's own type, from the headers the program is built
// against, that calls through a pointer resolved when its group is loaded. Every user gates
// its work on LoadFfmpeg() or LoadSdl() first; a call object used while its group cannot be
// loaded throws EAuException with LoadFailure()'s text.
//
// The libraries are looked up by the sonames that match the headers' major versions, with
// the default search order; SUNDRAL_MEDIA_LIBRARY_DIR names a folder to take them from
// instead (tests point it at an empty folder to play a machine without them).
//
// Threading: any thread may load and call; loading runs under one lock and publishes each
// entry point once. A group that fails to load is tried again at the next LoadX() call.
// Ownership: the library handles belong to the process and are never closed.
#pragma once

#include <atomic>
#include <string>

extern "C" {
#include <SDL2/SDL.h>
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

// X(library, entry point): the FFmpeg entry points the program calls, by library.
#define SUNDRAL_FFMPEG_ENTRY_POINTS(X)                                                             \
    X(Avutil, av_audio_fifo_alloc)                                                                 \
    X(Avutil, av_audio_fifo_free)                                                                  \
    X(Avutil, av_audio_fifo_read)                                                                  \
    X(Avutil, av_audio_fifo_size)                                                                  \
    X(Avutil, av_audio_fifo_write)                                                                 \
    X(Avutil, av_channel_layout_compare)                                                           \
    X(Avutil, av_channel_layout_copy)                                                              \
    X(Avutil, av_channel_layout_default)                                                           \
    X(Avutil, av_channel_layout_uninit)                                                            \
    X(Avutil, av_dict_free)                                                                        \
    X(Avutil, av_dict_get)                                                                         \
    X(Avutil, av_dict_set)                                                                         \
    X(Avutil, av_frame_alloc)                                                                      \
    X(Avutil, av_frame_free)                                                                       \
    X(Avutil, av_frame_get_buffer)                                                                 \
    X(Avutil, av_frame_make_writable)                                                              \
    X(Avutil, av_frame_unref)                                                                      \
    X(Avutil, av_free)                                                                             \
    X(Avutil, av_freep)                                                                            \
    X(Avutil, av_log_set_level)                                                                    \
    X(Avutil, av_malloc)                                                                           \
    X(Avutil, av_opt_set)                                                                          \
    X(Avutil, av_opt_set_int)                                                                      \
    X(Avutil, av_rescale_q)                                                                        \
    X(Avutil, av_rescale_q_rnd)                                                                    \
    X(Avutil, av_samples_set_silence)                                                              \
    X(Swresample, swr_alloc_set_opts2)                                                             \
    X(Swresample, swr_convert)                                                                     \
    X(Swresample, swr_free)                                                                        \
    X(Swresample, swr_get_out_samples)                                                             \
    X(Swresample, swr_init)                                                                        \
    X(Swresample, swr_set_matrix)                                                                  \
    X(Avcodec, av_new_packet)                                                                      \
    X(Avcodec, av_packet_alloc)                                                                    \
    X(Avcodec, av_packet_free)                                                                     \
    X(Avcodec, av_packet_get_side_data)                                                            \
    X(Avcodec, av_packet_ref)                                                                      \
    X(Avcodec, av_packet_rescale_ts)                                                               \
    X(Avcodec, av_packet_unref)                                                                    \
    X(Avcodec, av_parser_close)                                                                    \
    X(Avcodec, av_parser_init)                                                                     \
    X(Avcodec, av_parser_parse2)                                                                   \
    X(Avcodec, avcodec_alloc_context3)                                                             \
    X(Avcodec, avcodec_descriptor_get)                                                             \
    X(Avcodec, avcodec_find_decoder)                                                               \
    X(Avcodec, avcodec_find_encoder)                                                               \
    X(Avcodec, avcodec_flush_buffers)                                                              \
    X(Avcodec, avcodec_free_context)                                                               \
    X(Avcodec, avcodec_open2)                                                                      \
    X(Avcodec, avcodec_parameters_from_context)                                                    \
    X(Avcodec, avcodec_parameters_to_context)                                                      \
    X(Avcodec, avcodec_receive_frame)                                                              \
    X(Avcodec, avcodec_receive_packet)                                                             \
    X(Avcodec, avcodec_send_frame)                                                                 \
    X(Avcodec, avcodec_send_packet)                                                                \
    X(Avformat, av_find_best_stream)                                                               \
    X(Avformat, av_find_input_format)                                                              \
    X(Avformat, av_read_frame)                                                                     \
    X(Avformat, av_seek_frame)                                                                     \
    X(Avformat, av_write_frame)                                                                    \
    X(Avformat, av_write_trailer)                                                                  \
    X(Avformat, avformat_alloc_context)                                                            \
    X(Avformat, avformat_alloc_output_context2)                                                    \
    X(Avformat, avformat_close_input)                                                              \
    X(Avformat, avformat_find_stream_info)                                                         \
    X(Avformat, avformat_free_context)                                                             \
    X(Avformat, avformat_network_init)                                                             \
    X(Avformat, avformat_new_stream)                                                               \
    X(Avformat, avformat_open_input)                                                               \
    X(Avformat, avformat_write_header)                                                             \
    X(Avformat, avio_accept)                                                                       \
    X(Avformat, avio_alloc_context)                                                                \
    X(Avformat, avio_closep)                                                                       \
    X(Avformat, avio_context_free)                                                                 \
    X(Avformat, avio_flush)                                                                        \
    X(Avformat, avio_handshake)                                                                    \
    X(Avformat, avio_open2)                                                                        \
    X(Avformat, avio_write)

// The SDL entry points the sound output calls.
#define SUNDRAL_SDL_ENTRY_POINTS(X)                                                                \
    X(Sdl, SDL_CloseAudioDevice)                                                                   \
    X(Sdl, SDL_GetCurrentAudioDriver)                                                              \
    X(Sdl, SDL_InitSubSystem)                                                                      \
    X(Sdl, SDL_OpenAudioDevice)                                                                    \
    X(Sdl, SDL_PauseAudioDevice)                                                                   \
    X(Sdl, SDL_QuitSubSystem)                                                                      \
    X(Sdl, SDL_ResetHint)                                                                          \
    X(Sdl, SDL_SetHint)                                                                            \
    X(Sdl, SDL_SetHintWithPriority)                                                                \
    X(Sdl, SDL_TLSCleanup)

namespace sundral::medialibs {

// In load order: a library comes after those it needs.
enum class TLibrary { Avutil, Swresample, Avcodec, Avformat, Sdl };

enum TEntry : int {
#define SUNDRAL_ENTRY_ID(Library, Name) e_##Name,
    SUNDRAL_FFMPEG_ENTRY_POINTS(SUNDRAL_ENTRY_ID) SUNDRAL_SDL_ENTRY_POINTS(SUNDRAL_ENTRY_ID)
#undef SUNDRAL_ENTRY_ID
        kEntryCount
};

// Load the group on first success; true while every library and entry point of it is there.
bool LoadFfmpeg();
bool LoadSdl();

// Why the group's last load failed, naming the library or the entry point ("" after
// success): "MP3 and WMA files need FFmpeg's libavcodec.so.59, which could not be loaded:
// ...".
std::string FfmpegFailure();
std::string SdlFailure();

// The resolved entry points; null until their group is loaded.
extern std::atomic<void*> gEntries[kEntryCount];

// The entry point, loading its group when needed; throws EAuException when it cannot.
void* Require(TEntry Entry);

template <typename TFunction, TEntry Entry> struct TCall;
template <typename R, typename... A, TEntry Entry> struct TCall<R (*)(A...), Entry> {
    R operator()(A... Args) const {
        void* entry = gEntries[Entry].load(std::memory_order_acquire);
        if (entry == nullptr) entry = Require(Entry);
        return reinterpret_cast<R (*)(A...)>(entry)(Args...);
    }
};

} // namespace sundral::medialibs

#define SUNDRAL_CALL_OBJECT(Library, Name)                                                         \
    inline constexpr ::sundral::medialibs::TCall<decltype(&::Name),                                \
                                                 ::sundral::medialibs::e_##Name>                   \
        Name{};

// Some entry points carry attributes (malloc, warn_unused_result) that a function pointer
// type drops; the calls are the same.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
namespace sundral::ff {
SUNDRAL_FFMPEG_ENTRY_POINTS(SUNDRAL_CALL_OBJECT)
} // namespace sundral::ff

namespace sundral::sdl {
SUNDRAL_SDL_ENTRY_POINTS(SUNDRAL_CALL_OBJECT)
} // namespace sundral::sdl

#pragma GCC diagnostic pop
#undef SUNDRAL_CALL_OBJECT
