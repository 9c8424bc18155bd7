#include "tests/reliability/ChildProcess.h"

#include "tests/support/TestIo.h"

namespace Reliability
{

namespace
{
std::wstring Quoted(const std::wstring& strArg)
{
    // Our arguments hold no quotes; a trailing backslash would escape the closing one.
    std::wstring str = L"\"" + strArg;
    if (!strArg.empty() && strArg.back() == L'\\')
        str += L'\\';
    return str + L"\"";
}

std::wstring RunnerPath()
{
    wchar_t szPath[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szPath, MAX_PATH);
    std::wstring strPath = szPath;
    return strPath.substr(0, strPath.find_last_of(L"\\/") + 1) + L"fuzz_decode.exe";
}
} // namespace

SChildResult RunFuzzDecode(const std::vector<std::wstring>& vecArgs, DWORD dwSilenceMs)
{
    SChildResult result;
    std::wstring strCommand = Quoted(RunnerPath());
    for (const std::wstring& strArg : vecArgs)
        strCommand += L" " + Quoted(strArg);

    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &sa, 0))
    {
        result.dwExitCode = 1;
        return result;
    }
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nullptr;
    si.hStdOutput = hWrite;
    si.hStdError = hWrite;
    PROCESS_INFORMATION pi = {};
    const BOOL bStarted = ::CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                           nullptr, nullptr, &si, &pi);
    // Only the child holds the write end now, so the pipe ends with it.
    ::CloseHandle(hWrite);
    if (!bStarted)
    {
        ::CloseHandle(hRead);
        result.dwExitCode = 1;
        return result;
    }

    // Takes in what the child has written so far; false once its pipe is gone.
    std::string strText;
    auto fnDrain = [&] {
        DWORD cbAvailable = 0;
        while (::PeekNamedPipe(hRead, nullptr, 0, nullptr, &cbAvailable, nullptr))
        {
            if (!cbAvailable)
                return true;
            std::string strChunk(cbAvailable, '\0');
            DWORD cbRead = 0;
            if (!::ReadFile(hRead, &strChunk[0], cbAvailable, &cbRead, nullptr))
                return false;
            strText.append(strChunk, 0, cbRead);
        }
        return false;
    };
    DWORD dwLastHeard = ::GetTickCount();
    for (;;)
    {
        const size_t cchBefore = strText.size();
        const bool bOpen = fnDrain();
        if (strText.size() != cchBefore)
            dwLastHeard = ::GetTickCount();
        if (!bOpen)
            break; // the child and its pipe are gone
        if (::WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0)
        {
            fnDrain(); // what it wrote last may still be in the pipe
            break;
        }
        if (::GetTickCount() - dwLastHeard > dwSilenceMs)
        {
            result.bTimedOut = true;
            ::TerminateProcess(pi.hProcess, 1);
            break;
        }
    }
    ::WaitForSingleObject(pi.hProcess, INFINITE);
    ::GetExitCodeProcess(pi.hProcess, &result.dwExitCode);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(hRead);
    result.vecLines = TestSupport::SplitLines(strText);
    return result;
}

} // namespace Reliability
