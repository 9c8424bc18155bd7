#include "viewer/TarvoMainWnd.h"

#include "controls/KelElement.h"
#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "res/resource.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/ReadAhead.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace
{
const wchar_t kLoadFailed[] = L"加载失败。请拖入图片文件。";
} // namespace

BOOL CTarvoMainWnd::OnElemSelect(int nIndex, const wchar_t*, const wchar_t* pszPath, BOOL bReload)
{
    // Called from the strip's handlers, not the viewer's: the failure box's
    // loop may close the viewer.
    const CKeepAlive keep(this);
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

    // A reload reads the file afresh. (The picture it replaces may be kept
    // just below; it is never handed out while its path is shown, and the
    // new picture takes its place when it goes in turn.)
    const BOOL bReload = !bSkipIfSame;
    // A picture left that nothing will want again lends its memory to the
    // decode: the screen keeps showing it meanwhile.
    const bool bHeldAhead = !bReload && m_pReadAhead && m_pReadAhead->Holds(pszPath);
    std::unique_ptr<KelDraw::CDibPicture> pSpare(bHeldAhead ? nullptr : TakeUnwantedPicture());
    DropPicture();
    if (m_bUpdateTimer)
    {
        ::KillTimer(m_hWnd, TIMER_REDRAW);
        m_bUpdateTimer = FALSE;
    }

    KelDraw::CDibPicture* pPicture = !bReload && m_pReadAhead ? m_pReadAhead->Take(pszPath) : nullptr;
    if (!pPicture)
    {
        // Room is made for it as soon as its size is known.
        CShownAdmission admission(ReadAhead(), 0);
        pPicture = KelDraw::LoadDibPicture(pszPath, nullptr, SIZE_MAX, &admission, pSpare.release());
    }
    pSpare.reset();
    if (!pPicture)
        return ShowLoadFailure();
    m_pPicture = pPicture;
    CountShown();

    // The viewer stays up with the last picture until the redraw pushes the
    // new one, size and pixels in one layered update.
    ::SetTimer(m_hWnd, TIMER_REDRAW, REDRAW_DELAY, nullptr);
    m_bUpdateTimer = TRUE;
    m_bRedrawPending = TRUE;
    if (m_pElement)
        m_pElement->m_bVisible = FALSE;
    m_strCurPath = pszPath;
    // Not being told of changes only costs the reload on its own.
    ::KillTimer(m_hWnd, TIMER_RELOAD);
    m_bReloadDue = FALSE;
    m_bReloadFailed = FALSE;
    m_stampSeen = pPicture->Stamp();
    m_fileWatch.Watch(pszPath, m_hWnd, WM_SHOWN_FILE_CHANGED);
    PreparePlayback();
    return TRUE;
}

BOOL CTarvoMainWnd::ShowLoadFailure()
{
    StopPlayback();
    // No picture while the box is up, so a redraw in its loop draws nothing.
    delete m_pPicture;
    m_pPicture = nullptr;
    CountShown();
    // The box disables its owner, the viewer, but not the strip, which has no
    // owner: a thumbnail clicked meanwhile would start a load inside this one.
    const HWND hStrip = HasStripWindow() ? m_pToolWnd->m_hWnd : nullptr;
    const BOOL bStripWasEnabled = hStrip && !::EnableWindow(hStrip, FALSE);
    MessageBox(kLoadFailed, nullptr, MB_OK);
    if (bStripWasEnabled)
        ::EnableWindow(hStrip, TRUE);
    // The box's loop may have closed the viewer: no timer for a window gone.
    if (!m_hWnd)
        return FALSE;
    ShowPlaceholder(IDB_FAILED);
    return FALSE;
}

void CTarvoMainWnd::DropPicture()
{
    StopPlayback();
    auto* pDib = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (pDib && m_pReadAhead && !m_strCurPath.empty())
        m_pReadAhead->Keep(m_strCurPath, pDib);
    else
        delete m_pPicture;
    m_pPicture = nullptr;
    CountShown();
}

void CTarvoMainWnd::CountShown()
{
    if (!m_pReadAhead)
        return;
    auto* pDib = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    m_pReadAhead->SetShown(pDib ? pDib->Bytes() : 0);
}

CReadAhead* CTarvoMainWnd::ReadAhead()
{
    if (!m_pReadAhead)
    {
        m_pReadAhead.reset(new (std::nothrow) CReadAhead);
        CountShown();
    }
    return m_pReadAhead.get();
}

std::vector<std::wstring> CTarvoMainWnd::WantedAhead() const
{
    std::vector<std::wstring> vecPaths;
    if (HasStripWindow() && m_pToolWnd->m_pSelected)
    {
        const std::vector<CElem*>& vecElems = m_pToolWnd->m_vecElems;
        const int nIndex = m_pToolWnd->m_pSelected->m_nIndex;
        // The next first: stepping forward is the common way through.
        for (const int nNeighbour : {nIndex + 1, nIndex - 1})
            if (nNeighbour >= 0 && nNeighbour < static_cast<int>(vecElems.size()))
                vecPaths.push_back(vecElems[static_cast<size_t>(nNeighbour)]->m_strPath);
    }
    return vecPaths;
}

KelDraw::CDibPicture* CTarvoMainWnd::TakeUnwantedPicture()
{
    auto* pDib = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (!pDib || m_strCurPath.empty())
        return nullptr;
    try
    {
        const std::vector<std::wstring> vecWanted = WantedAhead();
        if (std::find(vecWanted.begin(), vecWanted.end(), m_strCurPath) != vecWanted.end())
            return nullptr;
    }
    catch (const std::bad_alloc&)
    {
        return nullptr;
    }
    m_pPicture = nullptr;
    CountShown();
    return pDib;
}

void CTarvoMainWnd::PlanReadAhead()
{
    try
    {
        const std::vector<std::wstring> vecPaths = WantedAhead();
        if (!m_pReadAhead && vecPaths.empty())
            return;
        if (CReadAhead* pReadAhead = ReadAhead())
            pReadAhead->Plan(vecPaths);
    }
    catch (const std::bad_alloc&)
    {
        // Nothing is read ahead: the pictures are decoded when chosen.
    }
}
