#include "edit/Mp3TrackTag.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/AuTagsFile.h"
#include "formats/AuTagsId3v2.h"

namespace sundral {
namespace {

struct TFd {
    int Handle = -1;
    ~TFd() {
        if (Handle >= 0) ::close(Handle);
    }
};

bool Failed(const std::string& File, std::string& Message) {
    Message = File + ": " + std::strerror(errno ? errno : EIO);
    return false;
}

} // namespace

bool SetMp3Track(const std::string& File, const std::string& Track, std::string& Message) {
    TFd in;
    in.Handle = ::open(File.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.Handle < 0) return Failed(File, Message);
    TId3v2Tags tags;
    int64_t skip = 0;
    uint8_t bytes[10] = {};
    TId3v2Header header;
    if (tagio::ReadAt(in.Handle, 0, bytes, sizeof bytes) && ParseId3v2Header(bytes, header)) {
        if (!tagio::SetPosition(in.Handle, 0) || !tags.ReadFromFile(in.Handle))
            return Failed(File, Message);
        skip = header.TotalSize();
    }
    tags.SetTrack(Track);
    const std::vector<uint8_t> tag = tags.MakeTag(true);

    const std::string temp = File + ".track";
    TFd out;
    out.Handle = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out.Handle < 0) return Failed(temp, Message);
    bool ok = tagio::WriteAll(out.Handle, tag.data(), tag.size());
    std::vector<uint8_t> buffer(1 << 16);
    const int64_t size = tagio::FileSize(in.Handle);
    for (int64_t at = skip; ok && at < size;) {
        const size_t count = size_t(std::min<int64_t>(int64_t(buffer.size()), size - at));
        ok = tagio::ReadAt(in.Handle, at, buffer.data(), count) &&
             tagio::WriteAll(out.Handle, buffer.data(), count);
        at += int64_t(count);
    }
    ok = ok && size >= skip && ::fsync(out.Handle) == 0;
    if (ok) {
        // Keeps the mode the file was written with.
        struct stat info {};
        if (::fstat(in.Handle, &info) == 0) ::fchmod(out.Handle, info.st_mode & 07777);
        ok = std::rename(temp.c_str(), File.c_str()) == 0;
    }
    if (!ok) {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return Failed(File, Message);
    }
    return true;
}

} // namespace sundral
