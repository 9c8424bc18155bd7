#include "viewer/TarvoMainWnd.h"

#include "dnd/DropFiles.h"

#include <shellapi.h>

#include <memory>
#include <new>

namespace
{
const wchar_t kLongPrefix[] = L"\\\\?\\";
const wchar_t kLongUncPrefix[] = L"\\\\?\\UNC\\";

struct SLocalFree
{
    void operator()(void* p) const { ::LocalFree(p); }
};

// The full path of a name given relative to the current folder, or empty
// when there is none. A path too long for the plain file functions is given
// the prefix that lifts their limit.
std::wstring FullPath(const std::wstring& strName)
{
    if (strName.compare(0, 4, kLongPrefix) == 0)
        return strName; // already a full path, which must not be touched
    const DWORD cchFull = ::GetFullPathNameW(strName.c_str(), 0, nullptr, nullptr);
    if (cchFull == 0)
        return std::wstring();
    std::wstring strFull(cchFull, L'\0');
    const DWORD cchCopied = ::GetFullPathNameW(strName.c_str(), cchFull, &strFull[0], nullptr);
    if (cchCopied == 0 || cchCopied >= cchFull)
        return std::wstring();
    strFull.resize(cchCopied);
    if (strFull.size() < MAX_PATH)
        return strFull;
    if (strFull.compare(0, 2, L"\\\\") == 0)
        return kLongUncPrefix + strFull.substr(2);
    return kLongPrefix + strFull;
}
} // namespace

std::vector<std::wstring> CTarvoMainWnd::FilesFromCommandLine(const wchar_t* pszCommandLine)
{
    std::vector<std::wstring> vecPaths;
    if (!pszCommandLine || !*pszCommandLine)
        return vecPaths;
    int nArgs = 0;
    const std::unique_ptr<LPWSTR, SLocalFree> pArgs(::CommandLineToArgvW(pszCommandLine, &nArgs));
    if (!pArgs)
        return vecPaths;
    try
    {
        // The first is the program itself.
        for (int i = 1; i < nArgs; ++i)
        {
            std::wstring strPath = FullPath(pArgs.get()[i]);
            if (!strPath.empty())
                vecPaths.push_back(std::move(strPath));
        }
    }
    catch (const std::bad_alloc&)
    {
        vecPaths.clear(); // a part of the files would be a surprise
    }
    return vecPaths;
}

BOOL CTarvoMainWnd::OpenFiles(const std::vector<std::wstring>& vecPaths)
{
    if (vecPaths.empty() || !m_hWnd)
        return FALSE;
    // Posted like the shell's own drop, so it is taken in the message loop;
    // the drop handling releases the block.
    CGlobalMem block = CreateDropFiles(vecPaths);
    if (!block || !::PostMessageW(m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(block.Get()), 0))
        return FALSE;
    block.Detach();
    return TRUE;
}
