#include "dnd/DropFiles.h"

#include <shlobj.h>

#include <cstring>

CGlobalMem CreateDropFiles(const std::vector<std::wstring>& vecPaths)
{
    size_t cchNames = 1; // the list ends with an empty name
    for (const std::wstring& strPath : vecPaths)
        cchNames += strPath.size() + 1;
    // Moveable and zeroed: the clipboard takes only moveable blocks, and the
    // zeros end every name and the list.
    CGlobalMem block(::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + cchNames * sizeof(wchar_t)));
    const CGlobalLock lock(block.Get());
    auto* pDrop = static_cast<DROPFILES*>(lock.Get());
    if (!pDrop)
        return CGlobalMem();
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    auto* pszName = reinterpret_cast<wchar_t*>(pDrop + 1);
    for (const std::wstring& strPath : vecPaths)
    {
        std::memcpy(pszName, strPath.c_str(), strPath.size() * sizeof(wchar_t));
        pszName += strPath.size() + 1;
    }
    return block;
}
