// A test suite over MP3 files made once with ffmpeg in a scratch folder, and the real
// sundral-cli run on them with its standard error kept.
//
// Threading: one test at a time. Ownership: the suite owns its folder until it tears down.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "RunCommand.h"
#include "ScratchDir.h"

namespace sundral_test {

struct TMp3Fixture {
    const char* Name;
    uint32_t Rate;
    uint32_t Channels;
    const char* Args;    // ffmpeg output options
    double MinSnrDb = 0; // for suites that measure one
};

class TMp3CliSuite : public ::testing::Test {
protected:
    // Makes every fixture, Seconds of the test signal each, in a new folder (when ffmpeg is
    // there; the tests skip otherwise).
    static void MakeFixtures(const std::string& Prefix, const std::vector<TMp3Fixture>& Fixtures,
                             double Seconds);
    static void TearDownTestSuite() { Dir.reset(); }
    // Skips the test without the program or ffmpeg.
    void SkipUnlessReady(const std::string& CliPath);
    static TCommandResult Cli(const std::string& Args);
    static std::string Stderr();
    static std::string Q(const std::filesystem::path& P) { return ShellQuote(P.string()); }

    static std::unique_ptr<ScratchDir> Dir;
    static std::string CliPath;
};

} // namespace sundral_test
