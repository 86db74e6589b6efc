#include "platform/libload.h"

#include <dlfcn.h>

#include <atomic>

#include "platform/AuException.h"

namespace sundral::libload {

namespace {

std::atomic<bool> gLameHidden{false};
std::atomic<bool> gTagLibHidden{false};

// A table is published once all of its entries are set; it is never written again.
std::atomic<const TLameApi*> gLame{nullptr};
std::atomic<const TTagLibApi*> gTagLib{nullptr};

const TLameApi kNoLame{};
const TTagLibApi kNoTagLib{};

template <typename T> void Resolve(void* Handle, T& Entry, const char* Name) {
    Entry = reinterpret_cast<T>(dlsym(Handle, Name));
}

#define SUNDRAL_RESOLVE(Table, Name) Resolve(handle, Table.Name, #Name)

const TLameApi* OpenLame() {
    void* handle = dlopen(kLameLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    static TLameApi api; // written once, under EngineLock, before it is published
    SUNDRAL_RESOLVE(api, lame_init);
    SUNDRAL_RESOLVE(api, lame_close);
    SUNDRAL_RESOLVE(api, lame_set_in_samplerate);
    SUNDRAL_RESOLVE(api, lame_set_out_samplerate);
    SUNDRAL_RESOLVE(api, lame_set_num_channels);
    SUNDRAL_RESOLVE(api, lame_set_mode);
    SUNDRAL_RESOLVE(api, lame_set_brate);
    SUNDRAL_RESOLVE(api, lame_set_preset);
    SUNDRAL_RESOLVE(api, lame_set_VBR);
    SUNDRAL_RESOLVE(api, lame_set_VBR_q);
    SUNDRAL_RESOLVE(api, lame_set_VBR_mean_bitrate_kbps);
    SUNDRAL_RESOLVE(api, lame_set_VBR_min_bitrate_kbps);
    SUNDRAL_RESOLVE(api, lame_set_VBR_max_bitrate_kbps);
    SUNDRAL_RESOLVE(api, lame_set_emphasis);
    SUNDRAL_RESOLVE(api, lame_set_extension);
    SUNDRAL_RESOLVE(api, lame_set_error_protection);
    SUNDRAL_RESOLVE(api, lame_set_copyright);
    SUNDRAL_RESOLVE(api, lame_set_original);
    SUNDRAL_RESOLVE(api, lame_set_disable_reservoir);
    SUNDRAL_RESOLVE(api, lame_set_strict_ISO);
    SUNDRAL_RESOLVE(api, lame_set_quality);
    SUNDRAL_RESOLVE(api, lame_set_bWriteVbrTag);
    SUNDRAL_RESOLVE(api, lame_set_write_id3tag_automatic);
    SUNDRAL_RESOLVE(api, lame_init_params);
    SUNDRAL_RESOLVE(api, lame_get_framesize);
    SUNDRAL_RESOLVE(api, lame_encode_buffer);
    SUNDRAL_RESOLVE(api, lame_encode_buffer_interleaved);
    SUNDRAL_RESOLVE(api, lame_encode_flush);
    SUNDRAL_RESOLVE(api, lame_get_lametag_frame);
    SUNDRAL_RESOLVE(api, lame_get_version);
    SUNDRAL_RESOLVE(api, lame_get_out_samplerate);
    SUNDRAL_RESOLVE(api, lame_get_mode);
    SUNDRAL_RESOLVE(api, lame_get_brate);
    SUNDRAL_RESOLVE(api, lame_get_VBR);
    SUNDRAL_RESOLVE(api, lame_get_encoder_delay);
    SUNDRAL_RESOLVE(api, lame_get_encoder_padding);
    SUNDRAL_RESOLVE(api, lame_get_frameNum);
    SUNDRAL_RESOLVE(api, get_lame_short_version);
    return &api;
}

const TTagLibApi* OpenTagLib() {
    void* handle = dlopen(kTagLibLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    static TTagLibApi api; // written once, under EngineLock, before it is published
    SUNDRAL_RESOLVE(api, taglib_set_strings_unicode);
    SUNDRAL_RESOLVE(api, taglib_id3v2_set_default_text_encoding);
    SUNDRAL_RESOLVE(api, taglib_file_new_type);
    SUNDRAL_RESOLVE(api, taglib_file_tag);
    SUNDRAL_RESOLVE(api, taglib_file_is_valid);
    SUNDRAL_RESOLVE(api, taglib_tag_set_title);
    SUNDRAL_RESOLVE(api, taglib_tag_set_artist);
    SUNDRAL_RESOLVE(api, taglib_tag_set_album);
    SUNDRAL_RESOLVE(api, taglib_tag_set_genre);
    SUNDRAL_RESOLVE(api, taglib_tag_set_year);
    SUNDRAL_RESOLVE(api, taglib_tag_set_track);
    SUNDRAL_RESOLVE(api, taglib_file_save);
    SUNDRAL_RESOLVE(api, taglib_file_free);
    return &api;
}

#undef SUNDRAL_RESOLVE

template <typename TApi>
const TApi& Load(std::atomic<const TApi*>& Slot, const std::atomic<bool>& Hidden, const TApi& None,
                 const TApi* (*Open)()) {
    if (Hidden.load()) return None;
    if (const TApi* api = Slot.load(std::memory_order_acquire)) return *api;
    std::lock_guard guard(EngineLock());
    const TApi* api = Slot.load(std::memory_order_relaxed);
    if (api == nullptr) {
        api = Open();
        if (api == nullptr) return None; // tried again next time
        Slot.store(api, std::memory_order_release);
    }
    return *api;
}

} // namespace

const TLameApi& LoadLame() {
    return Load(gLame, gLameHidden, kNoLame, &OpenLame);
}

const TTagLibApi& LoadTagLib() {
    return Load(gTagLib, gTagLibHidden, kNoTagLib, &OpenTagLib);
}

std::mutex& TagLibLock() {
    static std::mutex lock;
    return lock;
}

void SetLibraryHiddenForTests(TRuntimeLibrary Library, bool Hidden) {
    (Library == TRuntimeLibrary::rlLame ? gLameHidden : gTagLibHidden).store(Hidden);
}

} // namespace sundral::libload
