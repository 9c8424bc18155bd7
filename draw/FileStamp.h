#pragma once

#include <windows.h>

namespace KelDraw
{

// What tells one content of a file from another cheaply. Size and last-write
// time alone miss a rewrite of the same size within the time's resolution
// (2 s on FAT32) or by a tool that puts the old time back; the change time
// moves with every write and every change of the times, and a save by
// rename gives the name another file, with its own volume and index.
struct SFileStamp
{
    ULONGLONG cbSize = 0;
    ULONGLONG nLastWrite = 0;
    ULONGLONG nChange = 0; // 0 where the file system keeps none
    DWORD dwVolume = 0;
    ULONGLONG nFileIndex = 0;

    bool operator==(const SFileStamp& other) const
    {
        return cbSize == other.cbSize && nLastWrite == other.nLastWrite && nChange == other.nChange &&
               dwVolume == other.dwVolume && nFileIndex == other.nFileIndex;
    }
    bool operator!=(const SFileStamp& other) const { return !(*this == other); }
};

// The file's stamp as it is now; false when there is no such file or it is
// a folder.
bool ReadFileStamp(const wchar_t* pszPath, SFileStamp* pStamp);
// The same through a handle open on the file (any access).
bool ReadHandleStamp(HANDLE hFile, SFileStamp* pStamp);

} // namespace KelDraw
