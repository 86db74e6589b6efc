#include "platform/mediaLibs.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

#include <libavcodec/version.h>
#include <libavformat/version.h>
#include <libavutil/version.h>
#include <libswresample/version.h>

#include "platform/AuException.h"

#define SUNDRAL_TEXT(X) #X
#define SUNDRAL_NUMBER(X) SUNDRAL_TEXT(X)

namespace sundral::medialibs {

std::atomic<void*> gEntries[kEntryCount];

namespace {

struct TLibraryInfo {
    const char* Name;
    void* Handle;
};

// Indexed by TLibrary; the handles are written under gLock only.
TLibraryInfo gLibraries[] = {
    {"libavutil.so." SUNDRAL_NUMBER(LIBAVUTIL_VERSION_MAJOR), nullptr},
    {"libswresample.so." SUNDRAL_NUMBER(LIBSWRESAMPLE_VERSION_MAJOR), nullptr},
    {"libavcodec.so." SUNDRAL_NUMBER(LIBAVCODEC_VERSION_MAJOR), nullptr},
    {"libavformat.so." SUNDRAL_NUMBER(LIBAVFORMAT_VERSION_MAJOR), nullptr},
    {"libSDL2-2.0.so.0", nullptr},
};

struct TEntryInfo {
    TLibrary Library;
    const char* Name;
};

constexpr TEntryInfo kEntries[] = {
#define SUNDRAL_ENTRY_INFO(Library, Name) {TLibrary::Library, #Name},
    SUNDRAL_FFMPEG_ENTRY_POINTS(SUNDRAL_ENTRY_INFO) SUNDRAL_SDL_ENTRY_POINTS(SUNDRAL_ENTRY_INFO)
#undef SUNDRAL_ENTRY_INFO
};
static_assert(std::size(kEntries) == kEntryCount);

struct TGroup {
    TLibrary First, Last; // the group's libraries, in load order
    const char* Need;     // what cannot work without them
    std::atomic<bool> Loaded;
    std::string Failure; // under gLock
};

TGroup gFfmpeg{TLibrary::Avutil, TLibrary::Avformat, "MP3 and WMA files need FFmpeg's", false, {}};
TGroup gSdl{TLibrary::Sdl, TLibrary::Sdl, "Playing sound needs SDL's", false, {}};

std::mutex gLock;

TGroup& GroupOf(TLibrary Library) {
    return Library == TLibrary::Sdl ? gSdl : gFfmpeg;
}

std::string PathOf(const char* Name) {
    const char* dir = std::getenv("SUNDRAL_MEDIA_LIBRARY_DIR");
    if (dir == nullptr || *dir == '\0') return Name;
    return std::string(dir) + "/" + Name;
}

std::string LastDlError() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown reason";
}

// Opens the group's libraries, then resolves all its entry points before publishing any.
bool LoadGroup(TGroup& Group) {
    if (Group.Loaded.load(std::memory_order_acquire)) return true;
    std::lock_guard guard(gLock);
    if (Group.Loaded.load(std::memory_order_relaxed)) return true;
    for (int i = int(Group.First); i <= int(Group.Last); ++i) {
        TLibraryInfo& library = gLibraries[i];
        if (library.Handle != nullptr) continue;
        library.Handle = dlopen(PathOf(library.Name).c_str(), RTLD_NOW | RTLD_LOCAL);
        if (library.Handle == nullptr) {
            Group.Failure = std::string(Group.Need) + " " + library.Name +
                            ", which could not be loaded: " + LastDlError();
            return false;
        }
    }
    void* found[kEntryCount] = {};
    for (int e = 0; e < kEntryCount; ++e) {
        if (&GroupOf(kEntries[e].Library) != &Group) continue;
        const TLibraryInfo& library = gLibraries[int(kEntries[e].Library)];
        found[e] = dlsym(library.Handle, kEntries[e].Name);
        if (found[e] == nullptr) {
            Group.Failure = std::string(Group.Need) + " " + library.Name + " with " +
                            kEntries[e].Name + ", which it does not offer: " + LastDlError();
            return false;
        }
    }
    for (int e = 0; e < kEntryCount; ++e)
        if (found[e] != nullptr) gEntries[e].store(found[e], std::memory_order_release);
    Group.Failure.clear();
    Group.Loaded.store(true, std::memory_order_release);
    return true;
}

std::string FailureOf(TGroup& Group) {
    std::lock_guard guard(gLock);
    return Group.Failure;
}

} // namespace

bool LoadFfmpeg() {
    return LoadGroup(gFfmpeg);
}

bool LoadSdl() {
    return LoadGroup(gSdl);
}

std::string FfmpegFailure() {
    return FailureOf(gFfmpeg);
}

std::string SdlFailure() {
    return FailureOf(gSdl);
}

void* Require(TEntry Entry) {
    TGroup& group = GroupOf(kEntries[Entry].Library);
    if (!LoadGroup(group)) throw EAuException(FailureOf(group));
    return gEntries[Entry].load(std::memory_order_acquire);
}

} // namespace sundral::medialibs
