// A run's own work folder: "run-XXXXXX" below a work folder, held by a lock while the run
// lives, so that a later run (of this process or another) can tell a folder in use from one
// left behind by a run that was killed.
//
// The lock is an exclusive flock on the file "lock" inside the folder, held through an open
// descriptor: the system releases it when the process ends, however it ends. Make first
// removes every run folder below the work folder whose lock it can take (nobody holds it:
// its run is gone), then makes a new folder and locks it. A folder removed by another run's
// sweep between its making and its locking is noticed (its lock file is gone) and made anew.
//
// Threading: one owner thread. Ownership: the folder and everything in it belong to the
// object; the destructor removes them and releases the lock.
#pragma once

#include <memory>
#include <string>

namespace sundral {

class TRunFolder {
public:
    // Raises EAuException with the system's reason when no folder can be made in WorkFolder
    // (which ends with '/').
    static std::unique_ptr<TRunFolder> Make(const std::string& WorkFolder);
    ~TRunFolder();
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;

    // The folder, with a trailing '/'.
    const std::string& Path() const { return FPath; }

    // Removes the run folders below WorkFolder that no live run holds; how many went.
    static int RemoveAbandoned(const std::string& WorkFolder);

private:
    TRunFolder(std::string Path, int LockFd) : FPath(std::move(Path)), FLockFd(LockFd) {}
    std::string FPath;
    int FLockFd = -1;
};

} // namespace sundral
