#include "FileBytes.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sundral_test {

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& Path, const std::vector<uint8_t>& Bytes) {
    std::ofstream out(Path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + Path.string());
}

} // namespace sundral_test
