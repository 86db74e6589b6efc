// Libraries loaded at run time: the MP3 encoder (libmp3lame.so.0) and TagLib's C binding
// (libtag_c.so.0). Neither is linked at build time; their public headers only give the
// entry points' types.
//
// Each library is looked up by file name with the default search order and its entry points
// by name. A library that loads stays loaded for the rest of the process; one that does not
// is tried again at the next call. A missing library, or a missing entry point, leaves the
// pointer null: every user checks the entry points it needs.
//
// Threading: the loaders may be called from any thread; they run under EngineLock(), so two
// threads never load a library twice. The tables they return are filled before they are
// published and never change afterwards. TagLib keeps process-wide settings (the default
// text encoding), so its users hold TagLibLock() around one whole tag step.
// Ownership: the tables and the library handles belong to the process.
//
// Only platform/ includes this header: the encoder adapter (lameEnc.h) and the tag writer
// (taglibTags.h) are what the rest of the program sees of the two libraries.
#pragma once

#include <mutex>

#include <lame/lame.h>
#include <taglib/tag_c.h>

namespace sundral::libload {

inline constexpr const char* kLameLibraryName = "libmp3lame.so.0";
inline constexpr const char* kTagLibLibraryName = "libtag_c.so.0";

// The encoder entry points the encoder adapter calls.
struct TLameApi {
    decltype(&::lame_init) lame_init = nullptr;
    decltype(&::lame_close) lame_close = nullptr;
    decltype(&::lame_set_in_samplerate) lame_set_in_samplerate = nullptr;
    decltype(&::lame_set_out_samplerate) lame_set_out_samplerate = nullptr;
    decltype(&::lame_set_num_channels) lame_set_num_channels = nullptr;
    decltype(&::lame_set_mode) lame_set_mode = nullptr;
    decltype(&::lame_set_brate) lame_set_brate = nullptr;
    decltype(&::lame_set_preset) lame_set_preset = nullptr;
    decltype(&::lame_set_VBR) lame_set_VBR = nullptr;
    decltype(&::lame_set_VBR_q) lame_set_VBR_q = nullptr;
    decltype(&::lame_set_VBR_mean_bitrate_kbps) lame_set_VBR_mean_bitrate_kbps = nullptr;
    decltype(&::lame_set_VBR_min_bitrate_kbps) lame_set_VBR_min_bitrate_kbps = nullptr;
    decltype(&::lame_set_VBR_max_bitrate_kbps) lame_set_VBR_max_bitrate_kbps = nullptr;
    decltype(&::lame_set_emphasis) lame_set_emphasis = nullptr;
    decltype(&::lame_set_extension) lame_set_extension = nullptr;
    decltype(&::lame_set_error_protection) lame_set_error_protection = nullptr;
    decltype(&::lame_set_copyright) lame_set_copyright = nullptr;
    decltype(&::lame_set_original) lame_set_original = nullptr;
    decltype(&::lame_set_disable_reservoir) lame_set_disable_reservoir = nullptr;
    decltype(&::lame_set_strict_ISO) lame_set_strict_ISO = nullptr;
    decltype(&::lame_set_quality) lame_set_quality = nullptr;
    decltype(&::lame_set_bWriteVbrTag) lame_set_bWriteVbrTag = nullptr;
    decltype(&::lame_set_write_id3tag_automatic) lame_set_write_id3tag_automatic = nullptr;
    decltype(&::lame_init_params) lame_init_params = nullptr;
    decltype(&::lame_get_framesize) lame_get_framesize = nullptr;
    decltype(&::lame_encode_buffer) lame_encode_buffer = nullptr;
    decltype(&::lame_encode_buffer_interleaved) lame_encode_buffer_interleaved = nullptr;
    decltype(&::lame_encode_flush) lame_encode_flush = nullptr;
    decltype(&::lame_get_lametag_frame) lame_get_lametag_frame = nullptr;
    // What the stream became (after lame_init_params) and what it needs trimmed (after the
    // flush), for a tag frame the adapter writes itself.
    decltype(&::lame_get_version) lame_get_version = nullptr;
    decltype(&::lame_get_out_samplerate) lame_get_out_samplerate = nullptr;
    decltype(&::lame_get_mode) lame_get_mode = nullptr;
    decltype(&::lame_get_brate) lame_get_brate = nullptr;
    decltype(&::lame_get_VBR) lame_get_VBR = nullptr;
    decltype(&::lame_get_encoder_delay) lame_get_encoder_delay = nullptr;
    decltype(&::lame_get_encoder_padding) lame_get_encoder_padding = nullptr;
    decltype(&::lame_get_frameNum) lame_get_frameNum = nullptr;
    decltype(&::get_lame_short_version) get_lame_short_version = nullptr;
};

// The TagLib entry points the MP3 writer's tag step calls.
struct TTagLibApi {
    decltype(&::taglib_set_strings_unicode) taglib_set_strings_unicode = nullptr;
    decltype(&::taglib_id3v2_set_default_text_encoding) taglib_id3v2_set_default_text_encoding =
        nullptr;
    decltype(&::taglib_file_new_type) taglib_file_new_type = nullptr;
    decltype(&::taglib_file_tag) taglib_file_tag = nullptr;
    decltype(&::taglib_file_is_valid) taglib_file_is_valid = nullptr;
    decltype(&::taglib_tag_set_title) taglib_tag_set_title = nullptr;
    decltype(&::taglib_tag_set_artist) taglib_tag_set_artist = nullptr;
    decltype(&::taglib_tag_set_album) taglib_tag_set_album = nullptr;
    decltype(&::taglib_tag_set_genre) taglib_tag_set_genre = nullptr;
    decltype(&::taglib_tag_set_year) taglib_tag_set_year = nullptr;
    decltype(&::taglib_tag_set_track) taglib_tag_set_track = nullptr;
    decltype(&::taglib_file_save) taglib_file_save = nullptr;
    decltype(&::taglib_file_free) taglib_file_free = nullptr;
};

// Loads the library on first success and returns its entry points; every pointer is null
// while the library cannot be loaded. Never returns null itself.
const TLameApi& LoadLame();
const TTagLibApi& LoadTagLib();

// Held around one whole TagLib step (open, set, save, free).
std::mutex& TagLibLock();

// Tests: while a library is hidden, its loader answers as if the file were missing (a
// library already loaded stays loaded and is used again once the hiding ends).
enum class TRuntimeLibrary { rlLame, rlTagLib };
void SetLibraryHiddenForTests(TRuntimeLibrary Library, bool Hidden);

} // namespace sundral::libload
