// Running command-line tools from tests (ffmpeg, ffprobe, sox) and capturing what they
// print, so an independent tool can judge what the project wrote.
//
// Threading: safe to call from any thread (each call runs its own child process).
#pragma once

#include <string>

namespace sundral::testsupport {

struct TCommandResult {
    int ExitCode = -1;  // -1 when the command could not be started or did not exit normally
    std::string Output; // standard output only
};

// Runs the line with /bin/sh -c.
TCommandResult RunCommand(const std::string& CommandLine);
// True when an executable of that name is on PATH.
bool ToolAvailable(const std::string& Name);
// The text quoted for /bin/sh, safe for any file name.
std::string ShellQuote(const std::string& Text);

} // namespace sundral::testsupport
