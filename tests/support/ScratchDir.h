// A fresh folder for one test's files, removed with everything in it when the object goes.
//
// Threading: one owner. Ownership: the folder and its contents belong to the object.
#pragma once

#include <cstdint>
#include <vector>

#include <filesystem>
#include <string>

namespace sundral_test {

class ScratchDir {
public:
    // Creates a unique folder below $TMPDIR (or /tmp) whose name starts with Prefix.
    explicit ScratchDir(const std::string& Prefix = "sundral");
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return FPath; }
    std::filesystem::path File(const std::string& Name) const { return FPath / Name; }
    // Creates or replaces a file in the folder with these bytes; returns its path.
    std::filesystem::path WriteBytes(const std::string& Name,
                                     const std::vector<uint8_t>& Bytes) const;
    // The whole content of a file in the folder (empty when it cannot be read).
    std::vector<uint8_t> ReadBytes(const std::string& Name) const;

private:
    std::filesystem::path FPath;
};

} // namespace sundral_test
