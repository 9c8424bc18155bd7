#include "strip/TarvoToolWnd.h"

#include "dnd/ElemDragData.h"
#include "dnd/OleDataSourceEx.h"
#include "draw/RoMemDC.h"
#include "framework/ComPtr.h"

#include <shlguid.h>
#include <shobjidl.h>

#include <memory>
#include <new>

namespace
{
// The colour the drag-image service leaves transparent.
const COLORREF kDragColorKey = RGB(255, 0, 255);

// Gives up the creator's reference; the platform may hold the data longer.
struct SReleaseDataSource
{
    void operator()(COleDataSource* pSource) const { pSource->ExternalRelease(); }
};
} // namespace

void CTarvoToolWnd::SnapshotDragImage(const RECT& rcBox, CDC* pDC)
{
    m_rcDrag = rcBox;
    m_bmpDrag.DeleteObject();
    const int cx = rcBox.right - rcBox.left;
    const int cy = rcBox.bottom - rcBox.top;
    CDC dcSnapshot;
    if (!dcSnapshot.CreateCompatibleDC(pDC->m_hDC) ||
        !m_bmpDrag.Attach(::CreateCompatibleBitmap(pDC->m_hDC, cx, cy)))
        return;
    CSelectObject select(dcSnapshot.m_hDC, m_bmpDrag.GetSafeHandle());
    ::BitBlt(dcSnapshot.m_hDC, 0, 0, cx, cy, pDC->m_hDC, rcBox.left, rcBox.top, SRCCOPY);
}

BOOL CTarvoToolWnd::StartDrag(CElem* pElem)
{
    if (!pElem)
        return FALSE;
    // A press does not repaint, so the last snapshot may show another entry's
    // box, or there may be none yet: compose the frame now and take this one.
    {
        RECT rcClient = {};
        ::GetClientRect(m_hWnd, &rcClient);
        CClientDC dcWindow(m_hWnd);
        KelDraw::CRoMemDC dcFrame(dcWindow.m_hDC, &rcClient);
        if (dcFrame.m_hBitmap)
        {
            DrawBackground(rcClient, &dcFrame);
            DrawContent(&dcFrame, rcClient);
            SnapshotDragImage(pElem->m_rcBox, &dcFrame);
        }
        dcFrame.Discard();
    }
    if (!m_bmpDrag.GetSafeHandle())
        return FALSE;

    CGlobalMem payload = MakeElemDragData(m_hWnd, pElem);
    if (!payload)
        return FALSE;
    std::unique_ptr<COleDataSourceEx, SReleaseDataSource> pSource(new (std::nothrow) COleDataSourceEx);
    if (!pSource)
        return FALSE;

    BITMAP bm = {};
    m_bmpDrag.GetBitmap(&bm);
    CComPtr<IDragSourceHelper> pDragImage;
    if (SUCCEEDED(::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_ALL, IID_IDragSourceHelper,
                                     reinterpret_cast<void**>(&pDragImage))))
    {
        SHDRAGIMAGE image = {};
        image.sizeDragImage = SIZE{bm.bmWidth, bm.bmHeight};
        image.ptOffset = POINT{(m_rcDrag.right - m_rcDrag.left) / 2, (m_rcDrag.bottom - m_rcDrag.top) / 2};
        image.hbmpDragImage = m_bmpDrag.Detach();
        image.crColorKey = kDragColorKey;
        // The service owns the bitmap only once it has taken the image.
        if (FAILED(pDragImage->InitializeFromBitmap(&image, pSource->GetIDataObject(FALSE))))
            m_bmpDrag.Attach(image.hbmpDragImage);
    }

    if (!pSource->CacheGlobalData(ElemDragFormat(), payload.Get()))
        return FALSE;
    payload.Detach();
    // The outcome changes nothing here: a reorder inside this strip has
    // already happened in its own drop handler.
    pSource->DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE);
    return TRUE;
}
