// A file written under a temporary name beside its final name and moved there only when the
// writing succeeded, so that a failed or abandoned run never destroys the file it was to
// replace.
//
// The temporary name keeps the final name's extension (".<stem>.partial-XXXXXX<ext>"), since
// some writers and tag libraries pick the file type by it. The temporary file is created at
// once, with the mode a new file would get, or the mode of the file it will replace.
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

    const std::string& Target() const { return FTarget; }
    const std::string& TempName() const { return FTemp; }
    // Moves the temporary file to the target, replacing what is there. False, with the
    // reason in Message, when that fails (the temporary file is removed then).
    bool Commit(std::string& Message);

private:
    std::string FTarget;
    std::string FTemp;
    bool FDone = false;
};

} // namespace sundral
