#include "viewer/TarvoMainWnd.h"

#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "draw/Scale.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/ReadAhead.h"

#include <algorithm>
#include <string>

void CTarvoMainWnd::OnShownFileChanged(WPARAM nWhat)
{
    m_fileWatch.ChangeHandled();
    if (nWhat == CFileWatch::ENDED)
    {
        // The folder went, or its network: the picture stays shown, unwatched
        // until the next load. (An end told by an earlier watch is old news.)
        if (!m_fileWatch.IsWatching())
            StopWatchingFile();
        return;
    }
    KelDraw::SFileStamp stamp;
    // Changes elsewhere in the folder, and a file gone or renamed away, leave
    // the wait as it is.
    if (m_strCurPath.empty() || !dynamic_cast<KelDraw::CDibPicture*>(m_pPicture) ||
        !KelDraw::ReadFileStamp(m_strCurPath.c_str(), &stamp) || stamp == m_stampSeen)
        return;
    m_stampSeen = stamp;
    const DWORD dwNow = ::GetTickCount();
    if (!m_bReloadDue)
        m_dwFirstChange = dwNow;
    m_bReloadDue = TRUE;
    m_dwLastChange = dwNow;
    ArmReload();
}

void CTarvoMainWnd::ArmReload()
{
    const DWORD dwNow = ::GetTickCount();
    const DWORD dwSinceLast = dwNow - m_dwLastChange;
    const DWORD dwSinceFirst = dwNow - m_dwFirstChange;
    const DWORD dwWait = std::min(dwSinceLast < RELOAD_DELAY ? RELOAD_DELAY - dwSinceLast : 0,
                                  dwSinceFirst < RELOAD_MAX_DELAY ? RELOAD_MAX_DELAY - dwSinceFirst : 0);
    ::SetTimer(m_hWnd, TIMER_RELOAD, std::max<DWORD>(dwWait, USER_TIMER_MINIMUM), nullptr);
}

void CTarvoMainWnd::OnReloadTimer()
{
    ::KillTimer(m_hWnd, TIMER_RELOAD);
    if (m_strCurPath.empty() || !dynamic_cast<KelDraw::CDibPicture*>(m_pPicture))
        return;
    if (m_bReloadDue)
    {
        m_bReloadDue = FALSE;
        ReloadShownFile(FALSE);
    }
    else if (m_bReloadFailed)
    {
        ReloadShownFile(TRUE);
    }
}

void CTarvoMainWnd::ReloadShownFile(BOOL bQuietOver)
{
    auto* pShown = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    KelDraw::SFileStamp stamp;
    if (!KelDraw::ReadFileStamp(m_strCurPath.c_str(), &stamp) || stamp == pShown->Stamp())
    {
        // Gone (left shown), or back as it is shown.
        m_bReloadFailed = FALSE;
        return;
    }
    CShownAdmission admission(ReadAhead(), pShown->Bytes());
    KelDraw::CDibPicture* pPicture = KelDraw::LoadDibPicture(m_strCurPath.c_str(), nullptr, SIZE_MAX, &admission);
    if (!pPicture)
    {
        CountShown();
        if (bQuietOver && m_bReloadFailed && stamp == m_stampFailed)
        {
            ShowLoadFailure();
            return;
        }
        // Half written, perhaps, or being written while it was read: the
        // next change tries again, and so does the end of a quiet wait.
        m_bReloadFailed = TRUE;
        m_stampFailed = stamp;
        ::SetTimer(m_hWnd, TIMER_RELOAD, RELOAD_QUIET, nullptr);
        return;
    }
    m_bReloadFailed = FALSE;
    m_stampSeen = pPicture->Stamp();
    // The entry's thumbnail is made from the new picture: the file is read once.
    if (HasStripWindow())
    {
        ::GdiFlush();
        const int cx = static_cast<int>(pPicture->GetWidth()), cy = static_cast<int>(pPicture->GetHeight());
        const KelDraw::SPixelRows rows = {static_cast<BYTE*>(pPicture->Bits()), cx, cy, static_cast<LONG_PTR>(cx) * 4};
        m_pToolWnd->RefreshThumbnails(m_strCurPath, rows);
    }
    // What the file held before is of no use to anyone.
    delete m_pPicture;
    m_pPicture = pPicture;
    CountShown();
    PreparePlayback();
    if (!m_bUpdateTimer)
    {
        ::SetTimer(m_hWnd, TIMER_REDRAW, REDRAW_DELAY, nullptr);
        m_bUpdateTimer = TRUE;
    }
    m_bRedrawPending = TRUE;
}

void CTarvoMainWnd::StopWatchingFile()
{
    m_fileWatch.Stop();
    ::KillTimer(m_hWnd, TIMER_RELOAD);
    m_bReloadDue = FALSE;
    m_bReloadFailed = FALSE;
}
