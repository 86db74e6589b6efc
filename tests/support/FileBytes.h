// Whole-file reads and writes for tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace sundral_test {

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& Path);
void WriteFileBytes(const std::filesystem::path& Path, const std::vector<uint8_t>& Bytes);

} // namespace sundral_test
