#include "Mp3CliSuite.h"

#include "FileBytes.h"
#include "MediaFiles.h"

namespace sundral_test {

std::unique_ptr<ScratchDir> TMp3CliSuite::Dir;
std::string TMp3CliSuite::CliPath;

void TMp3CliSuite::MakeFixtures(const std::string& Prefix, const std::vector<TMp3Fixture>& Fixtures,
                                double Seconds) {
    if (!ToolAvailable("ffmpeg")) return;
    Dir = std::make_unique<ScratchDir>(Prefix);
    for (const auto& f : Fixtures)
        MakeMediaFile(Dir->File(f.Name), TestSignal(f.Rate, f.Channels, Seconds),
                      "-ar " + std::to_string(f.Rate) + " -ac " + std::to_string(f.Channels) + " " +
                          f.Args);
}

void TMp3CliSuite::SkipUnlessReady(const std::string& Path) {
    if (Path.empty()) GTEST_SKIP() << "sundral-cli not built";
    if (!ToolAvailable("ffmpeg")) GTEST_SKIP() << "ffmpeg is missing";
    CliPath = Path;
}

TCommandResult TMp3CliSuite::Cli(const std::string& Args) {
    return RunCommand(ShellQuote(CliPath) + " " + Args + " 2>" +
                      ShellQuote(Dir->File("stderr").string()));
}

std::string TMp3CliSuite::Stderr() {
    auto b = ReadFileBytes(Dir->File("stderr"));
    return std::string(b.begin(), b.end());
}

} // namespace sundral_test
