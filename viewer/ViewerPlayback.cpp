#include "viewer/TarvoMainWnd.h"

#include "draw/DibPicture.h"
#include "draw/GifFrames.h"
#include "draw/RoMemDC.h"
#include "draw/Scale.h"

#include <new>

namespace
{
// The largest canvas made for a GIF whose first frame came smaller than its
// screen: as large as the largest zoomed picture.
const ULONGLONG kMaxCanvasBytes = 256ull << 20;

KelDraw::SPixelRows RowsOf(KelDraw::CDibPicture* pPicture)
{
    const int cx = static_cast<int>(pPicture->GetWidth());
    return KelDraw::SPixelRows{static_cast<BYTE*>(pPicture->Bits()), cx, static_cast<int>(pPicture->GetHeight()),
                               static_cast<LONG_PTR>(cx) * 4};
}
} // namespace

void CTarvoMainWnd::PreparePlayback()
{
    StopPlayback();
    auto* pPicture = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (!pPicture || m_strCurPath.empty())
        return;
    std::unique_ptr<KelDraw::CGifFrames> pFrames(new (std::nothrow) KelDraw::CGifFrames);
    // The frames must be those of the file as the picture was read from it:
    // a file changed since is read again by the reload.
    if (!pFrames || !pFrames->Open(m_strCurPath.c_str(), &pPicture->Stamp()))
        return;

    // The frames are composed in the shown picture itself, so that zoom, copy
    // and every redraw see the frame on the screen. A decoder that gave only
    // the first frame's own rectangle leaves a canvas of the screen's size to
    // be made.
    const UINT cx = pFrames->Width(), cy = pFrames->Height();
    if (pPicture->GetWidth() != cx || pPicture->GetHeight() != cy)
    {
        if (static_cast<ULONGLONG>(cx) * cy * 4 > kMaxCanvasBytes)
            return;
        void* pBits = nullptr;
        const HBITMAP hDib = KelDraw::CreateTopDownDib(static_cast<int>(cx), static_cast<int>(cy), &pBits);
        if (!hDib)
            return;
        KelDraw::CDibPicture* pCanvas =
            KelDraw::CDibPicture::Create(hDib, pBits, static_cast<int>(cx), static_cast<int>(cy), pPicture->Stamp());
        if (!pCanvas)
            return;
        delete m_pPicture;
        m_pPicture = pPicture = pCanvas;
        CountShown();
    }
    // A picture kept from an earlier showing may hold any frame: every
    // showing starts from the first.
    ::GdiFlush();
    if (pFrames->Restart(RowsOf(pPicture)) != KelDraw::CGifFrames::STEP_DRAWN)
        return;
    m_pFrames = std::move(pFrames);
    // Until the picture is on the screen.
    m_bPlayPaused = TRUE;
}

void CTarvoMainWnd::OnPlayShown(BOOL bShown)
{
    if (!m_pFrames)
        return;
    if (!bShown)
    {
        ::KillTimer(m_hWnd, TIMER_PLAY);
        m_bPlayPaused = TRUE;
    }
    else if (m_bPlayPaused && !m_bRedrawPending)
    {
        // The frame on the screen gets its whole delay again.
        m_bPlayPaused = FALSE;
        ::SetTimer(m_hWnd, TIMER_PLAY, m_pFrames->DelayMs(), nullptr);
    }
}

void CTarvoMainWnd::StopPlayback()
{
    if (m_hWnd)
        ::KillTimer(m_hWnd, TIMER_PLAY);
    m_pFrames.reset();
    m_bPlayPaused = FALSE;
}

void CTarvoMainWnd::OnPlayTimer()
{
    auto* pPicture = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (!m_pFrames || !pPicture)
    {
        StopPlayback();
        return;
    }
    // A hidden or minimised viewer plays on only once it is seen again.
    if (::IsIconic(m_hWnd) || !::IsWindowVisible(m_hWnd))
    {
        OnPlayShown(FALSE);
        return;
    }
    ::GdiFlush();
    const KelDraw::CGifFrames::EStep nStep = m_pFrames->Next(RowsOf(pPicture));
    if (nStep == KelDraw::CGifFrames::STEP_END)
    {
        StopPlayback(); // the last frame stays
        return;
    }
    // One layered update a frame, at the zoom the user chose.
    if (m_nZoomStep == CZoom::NATURAL_STEP)
    {
        UpdateLayered();
    }
    else
    {
        RECT rcWindow;
        ::GetWindowRect(m_hWnd, &rcWindow);
        ShowZoomedAt(m_nZoomStep, POINT{rcWindow.left, rcWindow.top});
    }
    if (nStep == KelDraw::CGifFrames::STEP_FAILED)
        StopPlayback();
    else
        ::SetTimer(m_hWnd, TIMER_PLAY, m_pFrames->DelayMs(), nullptr);
}

BOOL CTarvoMainWnd::IsPlaying() const
{
    return m_pFrames && !m_bPlayPaused;
}
