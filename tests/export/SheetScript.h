#pragma once
// Runs tests/export/sheet_dump.py (python3-xlrd, python3-openpyxl, LibreOffice) with
// these arguments: its exit status and what it printed.
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace exporttest {

struct TScriptResult {
    int Status = -1;
    std::string Output;
};

inline TScriptResult RunSheetScript(const std::string& arguments)
{
    TScriptResult result;
    const std::string command =
        "/usr/bin/python3 '" VDX_SOURCE_DIR "/tests/export/sheet_dump.py' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace exporttest
