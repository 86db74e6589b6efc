#include "ScratchDir.h"

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

} // namespace sundral_test
