// Running a shell command from a test and capturing what it prints.
//
// Threading: the calls are independent; the command runs in a child shell.
#pragma once

#include <string>

namespace sundral_test {

struct TCommandResult {
    int ExitCode = -1;  // the shell's exit status, -1 when the command could not be started
    std::string Output; // everything the command wrote to standard output, as bytes
};

// Runs Command through /bin/sh; standard error is left alone (pass "2>/dev/null" to hide it).
TCommandResult RunCommand(const std::string& Command);

// True when Name is a program found on the PATH.
bool ToolAvailable(const std::string& Name);

// Quotes Text for the shell, as one word.
std::string ShellQuote(const std::string& Text);

} // namespace sundral_test
