#include "tests/support/TestIo.h"

#include <shlobj.h>

#include <cstring>

namespace TestSupport
{

std::string ReadFileBytes(const std::wstring& strPath)
{
    std::string strBytes;
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return strBytes;
    const DWORD cbSize = ::GetFileSize(hFile, nullptr);
    if (cbSize != INVALID_FILE_SIZE && cbSize > 0)
    {
        strBytes.resize(cbSize);
        DWORD cbRead = 0;
        if (!::ReadFile(hFile, &strBytes[0], cbSize, &cbRead, nullptr) || cbRead != cbSize)
            strBytes.clear();
    }
    ::CloseHandle(hFile);
    return strBytes;
}

bool WriteFileBytes(const std::wstring& strPath, const std::string& strBytes)
{
    // Shared as an editor saving in place shares it: the viewer's workers may
    // be reading the file at this moment, and must not make the write fail.
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const BOOL bDone = ::WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
    return bDone && cbWritten == strBytes.size();
}

std::vector<std::string> SplitLines(const std::string& strText)
{
    std::vector<std::string> vecLines;
    size_t nStart = 0;
    while (nStart < strText.size())
    {
        size_t nEnd = strText.find('\n', nStart);
        if (nEnd == std::string::npos)
            nEnd = strText.size();
        std::string strLine = strText.substr(nStart, nEnd - nStart);
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        vecLines.push_back(std::move(strLine));
        nStart = nEnd + 1;
    }
    return vecLines;
}

HDROP MakeDropFiles(const std::vector<std::wstring>& vecNames)
{
    size_t cchNames = 1; // the list ends with an empty name
    for (const std::wstring& strName : vecNames)
        cchNames += strName.size() + 1;
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + cchNames * sizeof(wchar_t));
    auto* pDrop = hGlobal ? static_cast<DROPFILES*>(::GlobalLock(hGlobal)) : nullptr;
    if (!pDrop)
    {
        if (hGlobal)
            ::GlobalFree(hGlobal);
        return nullptr;
    }
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    auto* pszName = reinterpret_cast<wchar_t*>(pDrop + 1);
    for (const std::wstring& strName : vecNames)
    {
        std::memcpy(pszName, strName.c_str(), (strName.size() + 1) * sizeof(wchar_t));
        pszName += strName.size() + 1;
    }
    ::GlobalUnlock(hGlobal);
    return static_cast<HDROP>(hGlobal);
}

} // namespace TestSupport
