// A temporary folder for one test: created empty below $TMPDIR (or /tmp) with a unique
// name, and removed with everything in it when the object is destroyed.
//
// Threading: one object per test; distinct objects may be used on different threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sundral::testsupport {

class TScratchFolder {
public:
    explicit TScratchFolder(const std::string& Prefix = "sundral");
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    // Path of a file inside the folder (the file is not created).
    std::filesystem::path File(const std::string& Name) const { return FPath / Name; }
    // Creates or replaces a file in the folder with these bytes; returns its path.
    std::filesystem::path WriteBytes(const std::string& Name,
                                     const std::vector<uint8_t>& Bytes) const;
    // The whole content of a file in the folder (empty when it cannot be read).
    std::vector<uint8_t> ReadBytes(const std::string& Name) const;

private:
    std::filesystem::path FPath;
};

} // namespace sundral::testsupport
