#include "dnd/RoDroptarget.h"

#include "framework/Wnd.h"

#include <shlguid.h>

namespace
{
IDataObject* DataOf(COleDataObject* pDataObject)
{
    return pDataObject ? pDataObject->GetIDataObject(FALSE) : nullptr;
}
} // namespace

CRoDroptarget::CRoDroptarget(CRoDroptargeter* pTargeter)
    : m_pTargeter(pTargeter), m_bDropImage(false)
{
    m_bDropImage = SUCCEEDED(::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                                                IID_IDropTargetHelper,
                                                reinterpret_cast<void**>(&m_pDropImage)));
}

// The service places the image at the point the platform reported, which is in
// screen coordinates; the handlers receive it in client coordinates.
POINT CRoDroptarget::ScreenPoint(POINT point) const
{
    ::ClientToScreen(m_hWndTarget, &point);
    return point;
}

DROPEFFECT CRoDroptarget::OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                      POINT point)
{
    const DROPEFFECT dropEffect =
        m_pTargeter ? m_pTargeter->OnDragEnter(pWnd, pDataObject, dwKeyState, point)
                    : COleDropTarget::OnDragEnter(pWnd, pDataObject, dwKeyState, point);
    if (m_bDropImage)
    {
        POINT pt = ScreenPoint(point);
        m_pDropImage->DragEnter(pWnd ? pWnd->m_hWnd : nullptr, DataOf(pDataObject), &pt, dropEffect);
    }
    return dropEffect;
}

DROPEFFECT CRoDroptarget::OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                     POINT point)
{
    const DROPEFFECT dropEffect =
        m_pTargeter ? m_pTargeter->OnDragOver(pWnd, pDataObject, dwKeyState, point)
                    : COleDropTarget::OnDragOver(pWnd, pDataObject, dwKeyState, point);
    if (m_bDropImage)
    {
        POINT pt = ScreenPoint(point);
        m_pDropImage->DragOver(&pt, dropEffect);
    }
    return dropEffect;
}

BOOL CRoDroptarget::OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect,
                           POINT point)
{
    const BOOL bDropped = m_pTargeter ? m_pTargeter->OnDrop(pWnd, pDataObject, dropEffect, point)
                                      : COleDropTarget::OnDrop(pWnd, pDataObject, dropEffect, point);
    if (m_bDropImage)
    {
        POINT pt = ScreenPoint(point);
        m_pDropImage->Drop(DataOf(pDataObject), &pt, bDropped ? dropEffect : DROPEFFECT_NONE);
    }
    return bDropped;
}

DROPEFFECT CRoDroptarget::OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                                   DROPEFFECT dropList, POINT point)
{
    const DROPEFFECT dropEffect =
        m_pTargeter ? m_pTargeter->OnDropEx(pWnd, pDataObject, dropDefault, dropList, point)
                    : COleDropTarget::OnDropEx(pWnd, pDataObject, dropDefault, dropList, point);
    // -1 is no effect: the drop goes on to OnDrop or, refused, to OnDragLeave,
    // and either tells the service how the drag ended.
    if (m_bDropImage && dropEffect != static_cast<DROPEFFECT>(-1))
    {
        POINT pt = ScreenPoint(point);
        m_pDropImage->Drop(DataOf(pDataObject), &pt, dropEffect);
    }
    return dropEffect;
}

void CRoDroptarget::OnDragLeave(CWnd* pWnd)
{
    if (m_pTargeter)
        m_pTargeter->OnDragLeave(pWnd);
    COleDropTarget::OnDragLeave(pWnd);
    if (m_bDropImage)
        m_pDropImage->DragLeave();
}

DROPEFFECT CRoDroptarget::OnDragScroll(CWnd* pWnd, DWORD dwKeyState, POINT point)
{
    return m_pTargeter ? m_pTargeter->OnDragScroll(pWnd, dwKeyState, point)
                       : COleDropTarget::OnDragScroll(pWnd, dwKeyState, point);
}
