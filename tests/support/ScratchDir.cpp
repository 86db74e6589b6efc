#include "ScratchDir.h"

#include "FileBytes.h"

#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace sundral_test {

ScratchDir::ScratchDir(const std::string& Prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        (std::filesystem::path(base && *base ? base : "/tmp") / (Prefix + "-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) throw std::runtime_error("cannot create a scratch folder");
    FPath = name.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::filesystem::path ScratchDir::WriteBytes(const std::string& Name,
                                             const std::vector<uint8_t>& Bytes) const {
    WriteFileBytes(File(Name), Bytes);
    return File(Name);
}

std::vector<uint8_t> ScratchDir::ReadBytes(const std::string& Name) const {
    return ReadFileBytes(File(Name));
}

} // namespace sundral_test
