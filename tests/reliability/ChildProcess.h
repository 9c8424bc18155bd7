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
    bool bTimedOut = false; // ended by us after a silence past the bound
    std::vector<std::string> vecLines; // its output, stdout and stderr together
};

// Runs fuzz_decode.exe (beside this test exe) with the arguments, collecting
// its output, and ends it as hung once it has written nothing for dwSilenceMs.
// The runner writes a line at every case, so a slow machine only makes it
// slower, while one case that never ends is still caught.
SChildResult RunFuzzDecode(const std::vector<std::wstring>& vecArgs, DWORD dwSilenceMs);

// The runner's own exit codes: 0 done, 1 could not work, 2 wrong arguments;
// anything else is the code of the exception that ended it.
inline bool EndedByCrash(const SChildResult& result)
{
    return !result.bTimedOut && result.dwExitCode > 2;
}

} // namespace Reliability
