#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace Reliability
{

// What a finished child process left behind.
struct SChildResult
{
    DWORD dwExitCode = 0;
    bool bTimedOut = false; // ended by us after the bound
    std::vector<std::string> vecLines; // its output, stdout and stderr together
};

// Runs fuzz_decode.exe (beside this test exe) with the arguments, collecting
// its output, and ends it when it outlives the bound.
SChildResult RunFuzzDecode(const std::vector<std::wstring>& vecArgs, DWORD dwTimeoutMs);

// The runner's own exit codes: 0 done, 1 could not work, 2 wrong arguments;
// anything else is the code of the exception that ended it.
inline bool EndedByCrash(const SChildResult& result)
{
    return !result.bTimedOut && result.dwExitCode > 2;
}

} // namespace Reliability
