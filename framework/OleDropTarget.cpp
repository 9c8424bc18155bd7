#include "framework/OleDropTarget.h"

#include "framework/UnknownImpl.h"
#include "framework/Wnd.h"

#include <cstring>
#include <new>

namespace
{
const DROPEFFECT kDropExToOnDrop = static_cast<DROPEFFECT>(-1);

// Limits a handler's effect to the effects the drag source allows.
DROPEFFECT FilterDropEffect(DROPEFFECT dropEffect, DROPEFFECT dropList)
{
    if (dropEffect & dropList)
        return dropEffect;
    switch (dropEffect)
    {
    case DROPEFFECT_COPY:
        if (dropList & DROPEFFECT_MOVE)
            return DROPEFFECT_MOVE;
        if (dropList & DROPEFFECT_LINK)
            return DROPEFFECT_LINK;
        break;
    case DROPEFFECT_MOVE:
        if (dropList & DROPEFFECT_COPY)
            return DROPEFFECT_COPY;
        if (dropList & DROPEFFECT_LINK)
            return DROPEFFECT_LINK;
        break;
    }
    return DROPEFFECT_NONE;
}

FORMATETC GlobalFormat(CLIPFORMAT cfFormat)
{
    return FORMATETC{cfFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}
} // namespace

void COleDataObject::Attach(IDataObject* pDataObject)
{
    if (pDataObject)
        pDataObject->AddRef();
    Release();
    m_lpDataObject = pDataObject;
}

void COleDataObject::Release()
{
    if (m_lpDataObject)
    {
        IDataObject* pDataObject = m_lpDataObject;
        m_lpDataObject = nullptr;
        pDataObject->Release();
    }
}

BOOL COleDataObject::IsDataAvailable(CLIPFORMAT cfFormat) const
{
    if (!m_lpDataObject)
        return FALSE;
    FORMATETC fe = GlobalFormat(cfFormat);
    return m_lpDataObject->QueryGetData(&fe) == S_OK;
}

CGlobalMem COleDataObject::GetGlobalData(CLIPFORMAT cfFormat) const
{
    if (!m_lpDataObject)
        return CGlobalMem();
    FORMATETC fe = GlobalFormat(cfFormat);
    STGMEDIUM medium = {};
    if (FAILED(m_lpDataObject->GetData(&fe, &medium)))
        return CGlobalMem();
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal)
    {
        ::ReleaseStgMedium(&medium);
        return CGlobalMem();
    }
    if (!medium.pUnkForRelease)
        return CGlobalMem(medium.hGlobal);

    // The block stays the data object's: hand out a copy.
    CGlobalMem copy;
    {
        CGlobalLock source(medium.hGlobal);
        if (source.Get())
        {
            copy = CGlobalMem(::GlobalAlloc(GMEM_MOVEABLE, source.GetSize()));
            CGlobalLock target(copy.Get());
            if (target.Get())
                std::memcpy(target.Get(), source.Get(), source.GetSize());
            else
                copy = CGlobalMem();
        }
    }
    ::ReleaseStgMedium(&medium);
    return copy;
}

IDataObject* COleDataObject::GetIDataObject(BOOL bAddRef) const
{
    if (bAddRef && m_lpDataObject)
        m_lpDataObject->AddRef();
    return m_lpDataObject;
}

// The COM object the platform holds. It can outlive its COleDropTarget (a drag
// under way keeps a reference, and so does a registration whose window died
// before Revoke); once that is deleted it refuses every drag and touches
// nothing of it.
class COleDropTarget::XDropTarget final : public CUnknownImpl<IDropTarget>
{
public:
    explicit XDropTarget(COleDropTarget* pOwner) : CUnknownImpl(IID_IDropTarget), m_pOwner(pOwner) {}

    void Disconnect() { m_pOwner = nullptr; }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                        DWORD* pdwEffect) override
    {
        if (!pdwEffect)
            return E_INVALIDARG;
        m_dataObject.Attach(pDataObj);
        DROPEFFECT dropEffect = DROPEFFECT_NONE;
        const HRESULT hr =
            NoThrow([&] { dropEffect = Track(grfKeyState, pt, *pdwEffect, &COleDropTarget::OnDragEnter); });
        // A failed enter gets no leave.
        if (FAILED(hr))
            m_dataObject.Release();
        *pdwEffect = dropEffect;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD grfKeyState, POINTL pt, DWORD* pdwEffect) override
    {
        if (!pdwEffect)
            return E_INVALIDARG;
        DROPEFFECT dropEffect = DROPEFFECT_NONE;
        const HRESULT hr =
            NoThrow([&] { dropEffect = Track(grfKeyState, pt, *pdwEffect, &COleDropTarget::OnDragOver); });
        *pdwEffect = dropEffect;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        const HRESULT hr = NoThrow([&] {
            if (m_pOwner)
                m_pOwner->OnDragLeave(TargetWnd());
        });
        m_dataObject.Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* pDataObj, DWORD grfKeyState, POINTL pt,
                                   DWORD* pdwEffect) override
    {
        if (!pdwEffect)
            return E_INVALIDARG;
        m_dataObject.Attach(pDataObj);
        DROPEFFECT dropEffect = DROPEFFECT_NONE;
        const HRESULT hr = NoThrow([&] { dropEffect = DropEffect(grfKeyState, pt, *pdwEffect); });
        m_dataObject.Release();
        *pdwEffect = dropEffect;
        return hr;
    }

private:
    typedef DROPEFFECT (COleDropTarget::*PFNDRAGEVENT)(CWnd*, COleDataObject*, DWORD, POINT);

    ~XDropTarget() override = default;

    // The platform's drag loop cannot unwind an exception: running out of
    // memory in a handler ends here as a failed call.
    template <typename Fn>
    static HRESULT NoThrow(Fn fn)
    {
        try
        {
            fn();
            return S_OK;
        }
        catch (const std::bad_alloc&)
        {
            return E_OUTOFMEMORY;
        }
    }

    CWnd* TargetWnd() const { return CWnd::FromHandlePermanent(m_pOwner->m_hWndTarget); }
    POINT ClientPoint(POINTL ptScreen) const
    {
        POINT pt = {ptScreen.x, ptScreen.y};
        ::ScreenToClient(m_pOwner->m_hWndTarget, &pt);
        return pt;
    }

    // Enter and over: scrolling first, and the event itself unless it scrolled.
    DROPEFFECT Track(DWORD dwKeyState, POINTL ptScreen, DROPEFFECT dropList, PFNDRAGEVENT pfnEvent)
    {
        if (!m_pOwner)
            return DROPEFFECT_NONE;
        const POINT pt = ClientPoint(ptScreen);
        DROPEFFECT dropEffect = m_pOwner->OnDragScroll(TargetWnd(), dwKeyState, pt);
        if (!(dropEffect & DROPEFFECT_SCROLL))
            dropEffect = (m_pOwner->*pfnEvent)(TargetWnd(), &m_dataObject, dwKeyState, pt);
        return FilterDropEffect(dropEffect, dropList);
    }

    DROPEFFECT DropEffect(DWORD dwKeyState, POINTL ptScreen, DROPEFFECT dropList)
    {
        if (!m_pOwner)
            return DROPEFFECT_NONE;
        const POINT pt = ClientPoint(ptScreen);
        const DROPEFFECT dropDefault = FilterDropEffect(
            m_pOwner->OnDragOver(TargetWnd(), &m_dataObject, dwKeyState, pt), dropList);
        const DROPEFFECT dropEffect =
            m_pOwner->OnDropEx(TargetWnd(), &m_dataObject, dropDefault, dropList, pt);
        if (dropEffect != kDropExToOnDrop)
            return dropEffect;
        if (dropDefault == DROPEFFECT_NONE)
        {
            m_pOwner->OnDragLeave(TargetWnd());
            return DROPEFFECT_NONE;
        }
        return m_pOwner->OnDrop(TargetWnd(), &m_dataObject, dropDefault, pt) ? dropDefault
                                                                               : DROPEFFECT_NONE;
    }

    COleDropTarget* m_pOwner;
    COleDataObject m_dataObject;
};

COleDropTarget::COleDropTarget()
    : m_hWndTarget(nullptr), m_pXDropTarget(new (std::nothrow) XDropTarget(this))
{
}

COleDropTarget::~COleDropTarget()
{
    Revoke();
    if (m_pXDropTarget)
    {
        m_pXDropTarget->Disconnect();
        m_pXDropTarget->Release();
    }
}

BOOL COleDropTarget::Register(CWnd* pWnd)
{
    if (!m_pXDropTarget || m_hWndTarget || !pWnd || !::IsWindow(pWnd->m_hWnd))
        return FALSE;
    if (FAILED(::RegisterDragDrop(pWnd->m_hWnd, m_pXDropTarget)))
        return FALSE;
    m_hWndTarget = pWnd->m_hWnd;
    return TRUE;
}

void COleDropTarget::Revoke()
{
    if (m_hWndTarget)
    {
        ::RevokeDragDrop(m_hWndTarget);
        m_hWndTarget = nullptr;
    }
}

DROPEFFECT COleDropTarget::OnDragEnter(CWnd*, COleDataObject*, DWORD, POINT)
{
    return DROPEFFECT_NONE;
}

DROPEFFECT COleDropTarget::OnDragOver(CWnd*, COleDataObject*, DWORD, POINT)
{
    return DROPEFFECT_NONE;
}

BOOL COleDropTarget::OnDrop(CWnd*, COleDataObject*, DROPEFFECT, POINT)
{
    return FALSE;
}

DROPEFFECT COleDropTarget::OnDropEx(CWnd*, COleDataObject*, DROPEFFECT, DROPEFFECT, POINT)
{
    return kDropExToOnDrop;
}

void COleDropTarget::OnDragLeave(CWnd*) {}

DROPEFFECT COleDropTarget::OnDragScroll(CWnd*, DWORD, POINT)
{
    return DROPEFFECT_NONE;
}
