// A file written under a temporary name beside its final name and moved there only when the
// writing succeeded, so that a failed or abandoned run never destroys the file it was to
// replace.
//
// The temporary name keeps the final name's extension (".<stem>.partial-XXXXXX<ext>"), since
// some writers and tag libraries pick the file type by it. The temporary file is created at
// once, with the mode a new file gets (the process's umask applies, which nothing here
// changes), or the mode (and, where allowed, the owner) of the file it will replace.
//
// A target that is a symbolic link is written through: the temporary file goes beside the
// file the link names and takes that file's name, so the link stays and points at the new
// content. Commit gives the file its mode again (a writer may have made it anew), flushes it
// to the disk, then renames it and flushes the folder.
//
// While the object lives it holds a lock on its temporary file. A run killed outright leaves
// its temporary file unlocked, and the next output to the same target removes it.
//
// Threading: one owner thread. Ownership: the temporary file is the object's until Commit
// moves it; the destructor removes it otherwise.
#pragma once

#include <string>

namespace sundral {

class TPendingOutput {
public:
    // Raises EAuException with the system's reason when no file can be made beside Target.
    explicit TPendingOutput(const std::string& Target);
    ~TPendingOutput();
    TPendingOutput(const TPendingOutput&) = delete;
    TPendingOutput& operator=(const TPendingOutput&) = delete;

    // The file that will be replaced: the given name, or the file its links lead to.
    const std::string& Target() const { return FTarget; }
    const std::string& TempName() const { return FTemp; }
    // Moves the temporary file to the target, replacing what is there. False, with the
    // reason in Message, when that fails (the temporary file is removed then).
    bool Commit(std::string& Message);

private:
    std::string FTarget;
    std::string FTemp;
    unsigned FMode = 0600; // what the temporary file was given at creation
    int FLock = -1;        // open on the temporary file, holding its lock
    bool FDone = false;
};

} // namespace sundral
