#include "RunCommand.h"

#include <cstdio>
#include <sys/wait.h>

namespace sundral_test {

TCommandResult RunCommand(const std::string& Command) {
    TCommandResult result;
    FILE* pipe = popen(Command.c_str(), "r");
    if (!pipe) return result;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.Output.append(buffer, n);
    int status = pclose(pipe);
    result.ExitCode = status == -1 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool ToolAvailable(const std::string& Name) {
    return RunCommand("command -v " + ShellQuote(Name) + " >/dev/null 2>&1").ExitCode == 0;
}

std::string ShellQuote(const std::string& Text) {
    std::string quoted = "'";
    for (char c : Text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

} // namespace sundral_test
