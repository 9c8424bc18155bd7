#include "framework/OleDataSource.h"

#include "framework/UnknownImpl.h"
#include "framework/Wnd.h"

#include <shlobj.h>

#include <new>

namespace
{
// The default drop source: Esc cancels, releasing the button that started
// the drag drops.
class CDropSource final : public CUnknownImpl<IDropSource>
{
public:
    explicit CDropSource(DWORD dwButton) : CUnknownImpl(IID_IDropSource), m_dwButton(dwButton) {}

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL fEscapePressed, DWORD grfKeyState) override
    {
        if (fEscapePressed)
            return DRAGDROP_S_CANCEL;
        if (!(grfKeyState & m_dwButton))
            return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    ~CDropSource() override = default;

    DWORD m_dwButton;
};

struct SButton
{
    int nVirtKey;
    DWORD dwKeyState;
};
const SButton kButtons[] = {
    {VK_LBUTTON, MK_LBUTTON},
    {VK_RBUTTON, MK_RBUTTON},
    {VK_MBUTTON, MK_MBUTTON},
};

// The mouse button held as of the message being handled, or null.
const SButton* HeldButton()
{
    for (const SButton& button : kButtons)
        if (::GetKeyState(button.nVirtKey) < 0)
            return &button;
    return nullptr;
}

// The window that takes the mouse while the drag start is awaited: the one
// whose message is starting the drag, else this thread's active window.
HWND CaptureWindow()
{
    HWND hWnd = CWnd::GetCurrentMessage()->hwnd;
    if (hWnd && ::GetWindowThreadProcessId(hWnd, nullptr) == ::GetCurrentThreadId())
        return hWnd;
    return ::GetActiveWindow();
}

// Waits, with the mouse captured, until the cursor leaves the square around
// where it is now or the drag delay passes: TRUE, the drag starts. A mouse
// message other than a move (the release of the button, say), Esc, or the
// capture going elsewhere first: FALSE. Only the moves and that Esc are taken
// from the queue; every other message stays for the window it is for (a
// release is then a click).
BOOL WaitForDragStart()
{
    POINT ptStart = {};
    ::GetCursorPos(&ptStart);
    const int cxDrag = ::GetSystemMetrics(SM_CXDRAG);
    const int cyDrag = ::GetSystemMetrics(SM_CYDRAG);
    const RECT rcStart = {ptStart.x - cxDrag, ptStart.y - cyDrag, ptStart.x + cxDrag + 1,
                          ptStart.y + cyDrag + 1};
    const DWORD dwDelay = static_cast<DWORD>(::GetProfileIntW(L"windows", L"DragDelay", DD_DEFDRAGDELAY));

    HWND hWnd = CaptureWindow();
    if (hWnd)
        ::SetCapture(hWnd);
    const DWORD dwStart = ::GetTickCount();
    BOOL bDrag = FALSE;
    for (;;)
    {
        const DWORD dwElapsed = ::GetTickCount() - dwStart;
        if (dwElapsed >= dwDelay)
        {
            bDrag = TRUE;
            break;
        }
        if (hWnd && ::GetCapture() != hWnd)
            break;
        // In queue order: a move queued after the release must not start a drag.
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE))
        {
            if (msg.message != WM_MOUSEMOVE)
                break;
            ::PeekMessageW(&msg, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
            if (!::PtInRect(&rcStart, msg.pt))
            {
                bDrag = TRUE;
                break;
            }
            continue;
        }
        // Only the first key is seen: keys are never taken but for Esc.
        if (::PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE) &&
            msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE)
        {
            ::PeekMessageW(&msg, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE);
            break;
        }
        // New input wakes the wait; what was seen above does not.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, dwDelay - dwElapsed, QS_MOUSE | QS_KEY);
    }
    if (hWnd && ::GetCapture() == hWnd)
        ::ReleaseCapture();
    return bDrag;
}
} // namespace

COleDataSource::COleDataSource() : m_xDataObject(this), m_nRef(1) {}

COleDataSource::~COleDataSource()
{
    for (SCacheEntry& entry : m_vecCache)
        ::ReleaseStgMedium(&entry.medium);
}

ULONG COleDataSource::ExternalAddRef()
{
    return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
}

ULONG COleDataSource::ExternalRelease()
{
    const LONG nRef = ::InterlockedDecrement(&m_nRef);
    if (nRef == 0)
        delete this;
    return static_cast<ULONG>(nRef);
}

HRESULT COleDataSource::ExternalQueryInterface(REFIID riid, void** ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    IUnknown* pUnknown = GetInterface(riid);
    *ppvObject = pUnknown;
    if (!pUnknown)
        return E_NOINTERFACE;
    ExternalAddRef();
    return S_OK;
}

IUnknown* COleDataSource::GetInterface(REFIID riid)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject))
        return &m_xDataObject;
    return nullptr;
}

IDataObject* COleDataSource::GetIDataObject(BOOL bAddRef)
{
    IDataObject* pDataObject = static_cast<IDataObject*>(GetInterface(IID_IDataObject));
    if (bAddRef)
        ExternalAddRef();
    return pDataObject;
}

BOOL COleDataSource::CacheData(CLIPFORMAT cfFormat, const STGMEDIUM* pMedium, const FORMATETC* pFormatEtc)
{
    if (!pMedium)
        return FALSE;
    SCacheEntry entry = {};
    entry.formatEtc = pFormatEtc ? *pFormatEtc : FORMATETC{cfFormat, nullptr, DVASPECT_CONTENT, -1, 0};
    entry.formatEtc.cfFormat = cfFormat;
    entry.formatEtc.ptd = nullptr;
    entry.formatEtc.tymed = pMedium->tymed;
    entry.medium = *pMedium;
    for (SCacheEntry& old : m_vecCache)
    {
        const FORMATETC& fe = old.formatEtc;
        if (fe.cfFormat == cfFormat && fe.dwAspect == entry.formatEtc.dwAspect &&
            fe.lindex == entry.formatEtc.lindex && fe.tymed == entry.formatEtc.tymed)
        {
            // The same medium set again must not be freed under the new entry.
            if (old.medium.hGlobal != entry.medium.hGlobal ||
                old.medium.pUnkForRelease != entry.medium.pUnkForRelease)
                ::ReleaseStgMedium(&old.medium);
            old = entry;
            return TRUE;
        }
    }
    try
    {
        m_vecCache.push_back(entry);
    }
    catch (const std::bad_alloc&)
    {
        return FALSE;
    }
    return TRUE;
}

BOOL COleDataSource::CacheGlobalData(CLIPFORMAT cfFormat, HGLOBAL hGlobal, const FORMATETC* pFormatEtc)
{
    if (!hGlobal)
        return FALSE;
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = hGlobal;
    return CacheData(cfFormat, &medium, pFormatEtc);
}

const COleDataSource::SCacheEntry* COleDataSource::Lookup(const FORMATETC* pFormatEtc) const
{
    for (const SCacheEntry& entry : m_vecCache)
    {
        const FORMATETC& fe = entry.formatEtc;
        if (fe.cfFormat == pFormatEtc->cfFormat && fe.dwAspect == pFormatEtc->dwAspect &&
            fe.lindex == pFormatEtc->lindex && (fe.tymed & pFormatEtc->tymed))
            return &entry;
    }
    return nullptr;
}

DROPEFFECT COleDataSource::DoDragDrop(DROPEFFECT dwEffects)
{
    const SButton* pButton = HeldButton();
    if (!pButton || !WaitForDragStart())
        return DROPEFFECT_NONE;
    CDropSource* pDropSource = new (std::nothrow) CDropSource(pButton->dwKeyState);
    if (!pDropSource)
        return DROPEFFECT_NONE;
    DWORD dwEffect = DROPEFFECT_NONE;
    const HRESULT hr = ::DoDragDrop(GetIDataObject(FALSE), pDropSource, dwEffects, &dwEffect);
    pDropSource->Release();
    return hr == DRAGDROP_S_DROP ? dwEffect : DROPEFFECT_NONE;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::QueryInterface(REFIID riid, void** ppvObject)
{
    return m_pOwner->ExternalQueryInterface(riid, ppvObject);
}

ULONG STDMETHODCALLTYPE COleDataSource::XDataObject::AddRef()
{
    return m_pOwner->ExternalAddRef();
}

ULONG STDMETHODCALLTYPE COleDataSource::XDataObject::Release()
{
    return m_pOwner->ExternalRelease();
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::GetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium)
{
    if (!pFormatEtc || !pMedium)
        return E_INVALIDARG;
    const SCacheEntry* pEntry = m_pOwner->Lookup(pFormatEtc);
    if (!pEntry)
        return DV_E_FORMATETC;
    STGMEDIUM medium = pEntry->medium;
    switch (medium.tymed)
    {
    case TYMED_HGLOBAL:
    case TYMED_GDI:
    case TYMED_MFPICT:
    case TYMED_ENHMF:
        break;
    // The receiver's ReleaseStgMedium releases these whatever else it does.
    case TYMED_ISTREAM:
        medium.pstm->AddRef();
        break;
    case TYMED_ISTORAGE:
        medium.pstg->AddRef();
        break;
    default:
        return DV_E_TYMED;
    }
    // The cached medium stays the data source's: the receiver's release
    // gives back this reference instead of freeing it.
    medium.pUnkForRelease = m_pOwner->GetInterface(IID_IUnknown);
    m_pOwner->ExternalAddRef();
    *pMedium = medium;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::QueryGetData(FORMATETC* pFormatEtc)
{
    if (!pFormatEtc)
        return E_INVALIDARG;
    return m_pOwner->Lookup(pFormatEtc) ? S_OK : DV_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::GetCanonicalFormatEtc(FORMATETC*,
                                                                             FORMATETC* pFormatEtcOut)
{
    if (!pFormatEtcOut)
        return E_INVALIDARG;
    pFormatEtcOut->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::SetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium,
                                                               BOOL)
{
    if (!pFormatEtc || !pMedium)
        return E_INVALIDARG;
    return DATA_E_FORMATETC;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::EnumFormatEtc(DWORD dwDirection,
                                                                     IEnumFORMATETC** ppEnumFormatEtc)
{
    if (!ppEnumFormatEtc)
        return E_INVALIDARG;
    *ppEnumFormatEtc = nullptr;
    if (dwDirection != DATADIR_GET)
        return E_NOTIMPL;
    std::vector<FORMATETC> vecFormats;
    try
    {
        vecFormats.reserve(m_pOwner->m_vecCache.size());
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    for (const SCacheEntry& entry : m_pOwner->m_vecCache)
        vecFormats.push_back(entry.formatEtc);
    return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(vecFormats.size()), vecFormats.data(),
                                   ppEnumFormatEtc);
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT STDMETHODCALLTYPE COleDataSource::XDataObject::EnumDAdvise(IEnumSTATDATA**)
{
    return OLE_E_ADVISENOTSUPPORTED;
}
