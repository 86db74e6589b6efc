#include "edit/PendingOutput.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "audio/AuComponent.h"

namespace sundral {
namespace {

// The same hop limit the system applies to a path.
constexpr int kMaxLinkHops = 40;
constexpr int kNameAttempts = 100;

std::string SystemError(const std::string& Name, int Error) {
    return Name + ": " + std::strerror(Error);
}

// The file a write to Target lands in: Target itself, or, through any chain of symbolic
// links, the file the last one names (which need not exist yet).
std::string FinalTarget(const std::string& Target) {
    std::filesystem::path path(Target);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(path, error)) return path.string();
        const std::filesystem::path link = std::filesystem::read_symlink(path, error);
        if (error) throw EAuException(SystemError(Target, error.value()));
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    throw EAuException(SystemError(Target, ELOOP));
}

// A six-character random part for the temporary name, as mkstemp makes one.
std::string RandomPart() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string part(6, ' ');
    for (char& c : part) c = kChars[pick(generator)];
    return part;
}

bool IsRandomPart(const std::string& Part) {
    return Part.size() == 6 && std::all_of(Part.begin(), Part.end(),
                                           [](unsigned char c) { return std::isalnum(c) != 0; });
}

bool SameFile(const struct stat& A, const struct stat& B) {
    return A.st_dev == B.st_dev && A.st_ino == B.st_ino;
}

// Removes the temporary files that runs killed outright (power loss, SIGKILL) left for this
// target. A live run holds a lock on its temporary file for as long as it writes it, so a
// file whose lock can be taken belongs to nobody. Anything else in the folder is left alone.
void RemoveAbandoned(const std::filesystem::path& Folder, const std::string& Prefix,
                     const std::string& Ext) {
    std::error_code error;
    for (const auto& entry :
         std::filesystem::directory_iterator(Folder.empty() ? "." : Folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != Prefix.size() + 6 + Ext.size() || name.rfind(Prefix, 0) != 0 ||
            name.compare(name.size() - Ext.size(), Ext.size(), Ext) != 0 ||
            !IsRandomPart(name.substr(Prefix.size(), 6)))
            continue;
        const int fd = open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {
        }, named{};
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(entry.path().c_str(), &named) == 0 && SameFile(held, named))
            unlink(entry.path().c_str());
        close(fd);
    }
}

} // namespace

TPendingOutput::TPendingOutput(const std::string& Target) : FTarget(FinalTarget(Target)) {
    const std::filesystem::path target(FTarget);
    const std::string ext = target.extension().string();
    const std::string stemPrefix = "." + target.stem().string() + ".partial-";
    const std::string prefix =
        (target.has_parent_path() ? target.parent_path().string() + "/" : "") + stemPrefix;
    RemoveAbandoned(target.parent_path(), stemPrefix, ext);
    // Created with the mode a new file gets (the system applies the process's umask and the
    // folder's default ACL), then given the mode and owner of the file it will replace. The
    // lock is taken at once; should another run have removed the file as abandoned in the
    // moment before, the name no longer leads to it and a new name is tried.
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kNameAttempts; ++attempt) {
        FTemp = prefix + RandomPart() + ext;
        fd = open(FTemp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno != EEXIST) break;
            continue;
        }
        struct stat held {
        }, named{};
        if (flock(fd, LOCK_EX | LOCK_NB) != 0 || fstat(fd, &held) != 0 ||
            lstat(FTemp.c_str(), &named) != 0 || !SameFile(held, named)) {
            close(fd);
            fd = -1;
            errno = EEXIST;
        }
    }
    if (fd < 0) {
        const int error = errno;
        FTemp.clear();
        throw EAuException(SystemError(Target, error));
    }
    FLock = fd;
    struct stat existing {};
    if (stat(FTarget.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        // The owner may stay only where the system lets us give it; the mode always can.
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0)
            (void)!fchown(fd, uid_t(-1), existing.st_gid);
        fchmod(fd, existing.st_mode & 07777);
    }
    struct stat made {};
    if (fstat(fd, &made) == 0) FMode = made.st_mode & 07777;
}

TPendingOutput::~TPendingOutput() {
    if (!FDone && !FTemp.empty()) std::remove(FTemp.c_str());
    if (FLock >= 0) close(FLock);
}

bool TPendingOutput::Commit(std::string& Message) {
    FDone = true;
    // A writer may have made the file anew under the temporary name: the mode is set again,
    // and the data reaches the disk before the name does.
    const int fd = open(FTemp.c_str(), O_RDONLY | O_CLOEXEC);
    bool ok = fd >= 0 && fchmod(fd, FMode) == 0 && fsync(fd) == 0;
    int error = errno;
    if (fd >= 0) close(fd);
    if (ok && std::rename(FTemp.c_str(), FTarget.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        Message = SystemError(FTarget, error);
        std::remove(FTemp.c_str());
    }
    close(FLock);
    FLock = -1;
    if (!ok) return false;
    // The new name itself is durable once the folder is.
    const std::filesystem::path folder = std::filesystem::path(FTarget).parent_path();
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

} // namespace sundral
