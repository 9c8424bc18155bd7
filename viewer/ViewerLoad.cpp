#include "viewer/TarvoMainWnd.h"

#include "controls/KelElement.h"
#include "draw/Decode.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"

#include <gdiplus.h>

namespace
{
const wchar_t kLoadFailed[] = L"加载失败。请拖入图片文件。";

// A failed picture reports 0 x 0 and would leave the viewer invisible.
bool CanBeShown(Gdiplus::Bitmap* pPicture)
{
    return pPicture && pPicture->GetWidth() > 0 && pPicture->GetHeight() > 0;
}
} // namespace

BOOL CTarvoMainWnd::OnElemSelect(int nIndex, const wchar_t*, const wchar_t* pszPath, BOOL bReload)
{
    LoadPicture(pszPath, !bReload);
    m_nCurIndex = nIndex;
    return TRUE;
}

BOOL CTarvoMainWnd::LoadPicture(const wchar_t* pszPath, BOOL bSkipIfSame)
{
    if (!pszPath)
        return ShowPlaceholder(IDB_START);
    // Compared exactly: the same file reached in other letter case loads again.
    if (bSkipIfSame && !m_strCurPath.empty() && m_strCurPath == pszPath)
        return TRUE;

    delete m_pPicture;
    m_pPicture = nullptr;
    if (m_bUpdateTimer)
    {
        ::KillTimer(m_hWnd, TIMER_REDRAW);
        m_bUpdateTimer = FALSE;
    }

    // Decoded once only to learn whether the file is a picture at all.
    HBITMAP hTest = KelDraw::DecodeFileToDib(pszPath);
    if (!hTest)
        return ShowLoadFailure();
    ::DeleteObject(hTest);
    // The file may have changed or gone since.
    m_pPicture = KelDraw::LoadPictureFromFile(pszPath);
    if (!CanBeShown(m_pPicture))
        return ShowLoadFailure();

    // The viewer stays up with the last picture until the redraw pushes the
    // new one, size and pixels in one layered update.
    ::SetTimer(m_hWnd, TIMER_REDRAW, REDRAW_DELAY, nullptr);
    m_bUpdateTimer = TRUE;
    m_bRedrawPending = TRUE;
    if (m_pElement)
        m_pElement->m_bVisible = FALSE;
    m_strCurPath = pszPath;
    return TRUE;
}

BOOL CTarvoMainWnd::ShowLoadFailure()
{
    // No picture while the box is up, so a redraw in its loop draws nothing.
    delete m_pPicture;
    m_pPicture = nullptr;
    // The box disables its owner, the viewer, but not the strip, which has no
    // owner: a thumbnail clicked meanwhile would start a load inside this one.
    const HWND hStrip = HasStripWindow() ? m_pToolWnd->m_hWnd : nullptr;
    const BOOL bStripWasEnabled = hStrip && !::EnableWindow(hStrip, FALSE);
    MessageBox(kLoadFailed, nullptr, MB_OK);
    if (bStripWasEnabled)
        ::EnableWindow(hStrip, TRUE);
    ShowPlaceholder(IDB_FAILED);
    return FALSE;
}
