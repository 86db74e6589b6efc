#include "ScratchFolder.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace sundral::testsupport {

TScratchFolder::TScratchFolder(const std::string& Prefix) {
    const char* Base = std::getenv("TMPDIR");
    std::string Template = std::string(Base && *Base ? Base : "/tmp") + "/" + Prefix + "-XXXXXX";
    std::vector<char> Name(Template.begin(), Template.end());
    Name.push_back('\0');
    if (!mkdtemp(Name.data())) throw std::runtime_error("cannot create a temporary folder");
    FPath = Name.data();
}

TScratchFolder::~TScratchFolder() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
}

std::filesystem::path TScratchFolder::WriteBytes(const std::string& Name,
                                                 const std::vector<uint8_t>& Bytes) const {
    const std::filesystem::path Target = File(Name);
    std::ofstream Out(Target, std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(Bytes.data()),
              static_cast<std::streamsize>(Bytes.size()));
    if (!Out) throw std::runtime_error("cannot write " + Target.string());
    return Target;
}

std::vector<uint8_t> TScratchFolder::ReadBytes(const std::string& Name) const {
    std::ifstream In(File(Name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(In),
                                std::istreambuf_iterator<char>());
}

} // namespace sundral::testsupport
