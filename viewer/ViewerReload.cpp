#include "viewer/TarvoMainWnd.h"

#include "draw/DibPicture.h"
#include "strip/TarvoToolWnd.h"

#include <string>

void CTarvoMainWnd::OnShownFileChanged()
{
    // Every change restarts the wait: a burst of writes makes one reload.
    if (!m_strCurPath.empty())
        ::SetTimer(m_hWnd, TIMER_RELOAD, RELOAD_DELAY, nullptr);
}

void CTarvoMainWnd::OnReloadTimer()
{
    ::KillTimer(m_hWnd, TIMER_RELOAD);
    // The folder changed; whether the shown file did, its stamp tells.
    auto* pPicture = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    KelDraw::SFileStamp stamp;
    if (m_strCurPath.empty() || !pPicture || !KelDraw::ReadFileStamp(m_strCurPath.c_str(), &stamp) ||
        stamp == pPicture->Stamp())
        return;
    const std::wstring strPath = m_strCurPath;
    if (HasStripWindow())
        m_pToolWnd->RefreshThumbnails(strPath);
    LoadPicture(strPath.c_str(), FALSE);
}

void CTarvoMainWnd::StopWatchingFile()
{
    m_fileWatch.Stop();
    ::KillTimer(m_hWnd, TIMER_RELOAD);
}
