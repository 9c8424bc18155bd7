#include "draw/FileStamp.h"

namespace KelDraw
{

bool ReadFileStamp(const wchar_t* pszPath, SFileStamp* pStamp)
{
    // Attributes only, shared every way: no writer, renamer or deleter is in
    // the way of this handle. Without backup semantics a folder does not open.
    HANDLE hFile = ::CreateFileW(pszPath, FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const bool bRead = ReadHandleStamp(hFile, pStamp);
    ::CloseHandle(hFile);
    return bRead;
}

bool ReadHandleStamp(HANDLE hFile, SFileStamp* pStamp)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(hFile, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    SFileStamp stamp;
    stamp.cbSize = static_cast<ULONGLONG>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    stamp.nLastWrite =
        static_cast<ULONGLONG>(info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime;
    stamp.dwVolume = info.dwVolumeSerialNumber;
    stamp.nFileIndex = static_cast<ULONGLONG>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    FILE_BASIC_INFO basic;
    if (::GetFileInformationByHandleEx(hFile, FileBasicInfo, &basic, sizeof(basic)))
        stamp.nChange = static_cast<ULONGLONG>(basic.ChangeTime.QuadPart);
    *pStamp = stamp;
    return true;
}

} // namespace KelDraw
