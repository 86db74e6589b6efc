#include "edit/RunFolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "audio/AuComponent.h"

namespace sundral {
namespace {

constexpr char kPrefix[] = "run-";
constexpr char kLockName[] = "lock";
constexpr int kAttempts = 10;

int OpenLock(const std::string& Folder) {
    return open((Folder + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

// The lock file the descriptor holds is still the folder's (no sweep removed it meanwhile).
bool StillInPlace(int Fd, const std::string& Folder) {
    struct stat held {
    }, named{};
    return fstat(Fd, &held) == 0 && held.st_nlink > 0 &&
           stat((Folder + kLockName).c_str(), &named) == 0 && named.st_ino == held.st_ino &&
           named.st_dev == held.st_dev;
}

} // namespace

std::unique_ptr<TRunFolder> TRunFolder::Make(const std::string& WorkFolder) {
    RemoveAbandoned(WorkFolder);
    int error = 0;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::string pattern = WorkFolder + kPrefix + "XXXXXX";
        if (!mkdtemp(pattern.data())) {
            error = errno;
            break;
        }
        const std::string folder = pattern + "/";
        const int fd = OpenLock(folder);
        if (fd < 0) {
            error = errno;
            if (error == ENOENT) continue; // swept before we could lock it
            std::error_code ignored;
            std::filesystem::remove_all(folder, ignored);
            break;
        }
        // Waits only while a sweep that took the lock first removes the folder.
        if (flock(fd, LOCK_EX) == 0 && StillInPlace(fd, folder))
            return std::unique_ptr<TRunFolder>(new TRunFolder(folder, fd));
        error = errno;
        close(fd);
    }
    throw EAuException("Cannot make a work folder in " + WorkFolder + ": " +
                       std::strerror(error ? error : EAGAIN));
}

TRunFolder::~TRunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
    close(FLockFd); // the lock goes with the descriptor, after the folder
}

int TRunFolder::RemoveAbandoned(const std::string& WorkFolder) {
    int removed = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(WorkFolder, error)) {
        const std::string name = entry.path().filename().string();
        std::error_code kindError;
        if (name.rfind(kPrefix, 0) != 0 || !entry.is_directory(kindError) ||
            entry.is_symlink(kindError))
            continue;
        const std::string folder = entry.path().string() + "/";
        const int fd = OpenLock(folder);
        if (fd < 0) continue;
        // A live run holds its lock: its folder stays.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            removed += std::filesystem::remove_all(folder, ignored) > 0;
        }
        close(fd);
    }
    return removed;
}

} // namespace sundral
