#include "ShellCommand.h"

#include <cstdio>
#include <sys/wait.h>

namespace sundral::testsupport {

TCommandResult RunCommand(const std::string& CommandLine) {
    TCommandResult Result;
    FILE* Pipe = popen(CommandLine.c_str(), "r");
    if (!Pipe) return Result;
    char Buffer[4096];
    size_t Got;
    while ((Got = fread(Buffer, 1, sizeof Buffer, Pipe)) > 0) Result.Output.append(Buffer, Got);
    const int Status = pclose(Pipe);
    if (Status != -1 && WIFEXITED(Status)) Result.ExitCode = WEXITSTATUS(Status);
    return Result;
}

bool ToolAvailable(const std::string& Name) {
    return RunCommand("command -v " + ShellQuote(Name) + " >/dev/null 2>&1").ExitCode == 0;
}

std::string ShellQuote(const std::string& Text) {
    std::string Quoted = "'";
    for (char C : Text) {
        if (C == '\'')
            Quoted += "'\\''";
        else
            Quoted += C;
    }
    return Quoted + "'";
}

} // namespace sundral::testsupport
