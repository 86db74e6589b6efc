#include "edit/PendingOutput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "audio/AuComponent.h"

namespace sundral {

TPendingOutput::TPendingOutput(const std::string& Target) : FTarget(Target) {
    const std::filesystem::path target(Target);
    const std::string ext = target.extension().string();
    std::string pattern = target.has_parent_path() ? target.parent_path().string() + "/" : "";
    pattern += "." + target.stem().string() + ".partial-XXXXXX" + ext;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), int(ext.size()));
    if (fd < 0) throw EAuException(Target + ": " + std::strerror(errno));
    // mkstemps makes the file private; give it the mode a new file would get, or the mode of
    // the file it replaces.
    struct stat existing {};
    mode_t mode;
    if (stat(Target.c_str(), &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    fchmod(fd, mode);
    close(fd);
    FTemp = name.data();
}

TPendingOutput::~TPendingOutput() {
    if (!FDone) std::remove(FTemp.c_str());
}

bool TPendingOutput::Commit(std::string& Message) {
    FDone = true;
    if (std::rename(FTemp.c_str(), FTarget.c_str()) == 0) return true;
    Message = FTarget + ": " + std::strerror(errno);
    std::remove(FTemp.c_str());
    return false;
}

} // namespace sundral
