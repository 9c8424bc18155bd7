#pragma once

#include "strip/TarvoToolWnd.h"
#include "tests/support/TestSupport.h"
#include "viewer/ElemSelectCall.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Reliability
{

// Files for a drop: small pictures of several formats (copies of the test
// pictures) and, mixed in, names the strip must skip: text, empty and cut
// files, a folder, a missing name.
class CDropFiles
{
public:
    // nCount names in drop order; about one in four cannot be added.
    explicit CDropFiles(size_t nCount);
    CDropFiles(const CDropFiles&) = delete;
    CDropFiles& operator=(const CDropFiles&) = delete;

    std::vector<std::wstring> m_vecDropped;   // every name, in drop order
    std::vector<std::wstring> m_vecDecodable; // the pictures among them, in drop order

private:
    TestSupport::CTempFolder m_folder;
};

// The viewer's side of a strip made without a viewer: keeps the last choice.
class CLastSelectCall : public IElemSelectCall
{
public:
    BOOL OnElemSelect(int nIndex, const wchar_t*, const wchar_t* pszPath, BOOL bReload) override
    {
        m_nIndex = nIndex;
        m_strPath = pszPath ? pszPath : L"";
        m_bReload = bReload;
        ++m_nCalls;
        return TRUE;
    }
    int m_nIndex = -1;
    std::wstring m_strPath;
    BOOL m_bReload = FALSE;
    int m_nCalls = 0;
};

// A strip placed as the viewer places it: topmost along the bottom, shown.
// Null when its window cannot be made.
CTarvoToolWnd* MakePlacedStrip(IElemSelectCall* pSelectCall);

// Drops the names on the strip as the shell does; the strip finishes the handle.
void DropOnStrip(HWND hWnd, const std::vector<std::wstring>& vecNames);

std::vector<std::wstring> PathsOf(const CTarvoToolWnd& strip);

} // namespace Reliability
