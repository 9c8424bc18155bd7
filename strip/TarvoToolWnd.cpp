#include "strip/TarvoToolWnd.h"

#include "draw/Decode.h"
#include "framework/Image.h"
#include "strip/DropDecoder.h"
#include "framework/WndClass.h"
#include "res/resource.h"

#include <gdiplus.h>
#include <shellapi.h>

#include <new>
#include <string>
#include <vector>

namespace
{
// How often a drop lays the strip out as its entries come in, and how many
// paints or timers one round of its wait handles at most.
const DWORD kDropRefreshMs = 50;
const int kDropDispatchLimit = 32;

// Takes the next message in the range. A quit comes out of any range: it is
// put back for the loop that ends on it, and taken as nothing here.
bool TakeMessage(MSG* pMsg, UINT nFirst, UINT nLast)
{
    if (!::PeekMessageW(pMsg, nullptr, nFirst, nLast, PM_REMOVE))
        return false;
    if (pMsg->message != WM_QUIT)
        return true;
    ::PostQuitMessage(static_cast<int>(pMsg->wParam));
    return false;
}
} // namespace

CTarvoToolWnd::CTarvoToolWnd(IElemSelectCall* pSelectCall)
    : m_pSelectCall(pSelectCall), m_bTracking(FALSE), m_pSelected(nullptr), m_pHover(nullptr),
      m_pPressed(nullptr), m_ptPress(), m_pDropTarget(nullptr), m_pBackImage(nullptr),
      m_pFrameImage(nullptr), m_pMarkImage(nullptr), m_bComInitialized(FALSE)
{
    m_pOwnerWnd = this;
    m_bComInitialized = SUCCEEDED(::CoInitialize(nullptr));
}

CTarvoToolWnd::~CTarvoToolWnd()
{
    ClearVisible();
    ClearElems();
    delete m_pBackImage;
    delete m_pFrameImage;
    delete m_pMarkImage;
    // The adapter goes while COM is still initialised for this thread.
    if (m_pDropTarget)
    {
        m_pDropTarget->Revoke();
        delete m_pDropTarget;
    }
    if (m_bComInitialized)
        ::CoUninitialize();
}

BOOL CTarvoToolWnd::CreateStripWindow()
{
    return CreateEx(WS_EX_TOOLWINDOW | WS_EX_ACCEPTFILES, AfxRegisterWndClass(0), nullptr,
                    WS_POPUP | WS_VISIBLE, 0, 0, 0, 0, ::GetDesktopWindow(), nullptr);
}

LRESULT CTarvoToolWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message)
    {
    case WM_CREATE:
        return OnCreate();
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_HSCROLL:
        OnHScroll(LOWORD(wParam));
        return 0;
    case WM_MOUSEWHEEL:
        OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam));
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(point);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(point);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<UINT>(wParam), point);
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_TIMER:
        OnTimer(static_cast<UINT_PTR>(wParam));
        return 0;
    case WM_DESTROY:
        // While the handle still names the window: the object may outlive it.
        if (m_pDropTarget)
            m_pDropTarget->Revoke();
        return Default();
    default:
        return CWnd::WindowProc(message, wParam, lParam);
    }
}

int CTarvoToolWnd::OnCreate()
{
    const int nResult = static_cast<int>(Default());
    RegisterDropTarget();

    if (!m_pBackImage)
    {
        m_pBackImage = new (std::nothrow) CImage;
        if (m_pBackImage)
            m_pBackImage->Attach(static_cast<HBITMAP>(
                ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_TILE), IMAGE_BITMAP, 0,
                             0, LR_CREATEDIBSECTION)));
    }
    if (!m_pFrameImage)
        m_pFrameImage = KelDraw::LoadPngResource(IDR_PNG_FRAME);
    if (!m_pMarkImage)
        m_pMarkImage = KelDraw::LoadPngResource(IDR_PNG_MARK);

    ::ShowScrollBar(m_hWnd, SB_HORZ, TRUE);
    ::EnableScrollBar(m_hWnd, SB_HORZ, ESB_DISABLE_BOTH);
    return nResult;
}

BOOL CTarvoToolWnd::RegisterDropTarget()
{
    if (!::IsWindow(m_hWnd))
        return FALSE;
    if (!m_pDropTarget)
    {
        m_pDropTarget = new (std::nothrow) CRoDroptarget(this);
        if (!m_pDropTarget)
            return FALSE;
    }
    return m_pDropTarget->Register(this);
}

// Alt+F4 and the window system's close (SC_CLOSE) end here. The viewer owns
// the strip and shows it again on Tab, with its entries: it is only hidden.
void CTarvoToolWnd::OnClose()
{
    ::ShowWindow(m_hWnd, SW_HIDE);
}

// A drop on the strip itself; the handle is the receiver's to finish.
void CTarvoToolWnd::OnDropFiles(HDROP hDropInfo)
{
    AddDropFiles(hDropInfo);
    ::DragFinish(hDropInfo);
}

void CTarvoToolWnd::AddDropFiles(HDROP hDropInfo)
{
    const UINT nFiles = ::DragQueryFileW(hDropInfo, 0xFFFFFFFF, nullptr, 0);
    std::vector<std::wstring> vecPaths;
    std::wstring strName;
    for (UINT i = 0; i < nFiles; ++i)
    {
        // The length first: a name longer than MAX_PATH must not arrive cut short
        // and name another file.
        const UINT nLength = ::DragQueryFileW(hDropInfo, i, nullptr, 0);
        strName.assign(nLength + 1, L'\0');
        strName.resize(::DragQueryFileW(hDropInfo, i, &strName[0], nLength + 1));
        const DWORD dwAttributes = ::GetFileAttributesW(strName.c_str());
        if (dwAttributes == INVALID_FILE_ATTRIBUTES || (dwAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        vecPaths.push_back(strName);
    }
    // A drop handed over while another is being added (by a message sent
    // meanwhile) joins it at its end.
    if (m_pDropDecoder && m_pDropDecoder->Add(vecPaths))
        return;

    // Its loop may see the strip's window destroyed, and its owner freed.
    const CKeepAlive keep(this);
    CDropDecoder decoder(m_nDropThreads);
    if (!vecPaths.empty() && decoder.Add(vecPaths))
    {
        AddDecodedFiles(decoder);
    }
    else
    {
        // No worker could be started: the files are added here, one by one.
        for (const std::wstring& strPath : vecPaths)
            AddFile(strPath.c_str());
    }
    if (!m_hWnd)
        return;
    RecalcLayout();
    UpdateScrollBar();
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CTarvoToolWnd::AddDecodedFiles(CDropDecoder& decoder)
{
    // Undone on every way out, an exception's included: the drop this one
    // may be nested in is joined again, and the keys held meanwhile go back
    // on the queue in the order they came.
    struct SActiveDrop
    {
        CTarvoToolWnd* pStrip;
        CDropDecoder* pOuterDecoder;
        HCURSOR hOldCursor;
        std::vector<MSG> vecHeldKeys;
        ~SActiveDrop()
        {
            pStrip->m_pDropDecoder = pOuterDecoder;
            for (const MSG& msg : vecHeldKeys)
                ::PostMessageW(msg.hwnd, msg.message, msg.wParam, msg.lParam);
            ::SetCursor(hOldCursor);
        }
    } active{this, m_pDropDecoder, ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT)), {}};
    m_pDropDecoder = &decoder;

    DWORD dwLastLayout = ::GetTickCount();
    bool bNewEntries = false; // since the last layout
    for (;;)
    {
        const bool bKeyQuits = HoldQueuedKeys(&active.vecHeldKeys);
        if (!m_hWnd || bKeyQuits || QuitRequested())
        {
            decoder.Cancel();
            return;
        }
        std::wstring strPath;
        HBITMAP hThumb = nullptr;
        CDropDecoder::EResult nResult;
        while ((nResult = decoder.TakeNext(&strPath, &hThumb)) == CDropDecoder::RESULT_DECODED ||
               nResult == CDropDecoder::RESULT_UNDECODABLE)
        {
            if (nResult == CDropDecoder::RESULT_DECODED)
            {
                InsertElem(strPath, hThumb, -1);
                bNewEntries = true;
            }
        }
        if (nResult == CDropDecoder::RESULT_NONE)
            return;
        // Laying out and painting for every entry would cost more than the
        // entries themselves on a drop of many small files.
        if (bNewEntries && ::GetTickCount() - dwLastLayout >= kDropRefreshMs)
        {
            RecalcLayout();
            UpdateScrollBar();
            bNewEntries = false;
            dwLastLayout = ::GetTickCount();
        }
        // Paint and timers, the strip's and the viewer's; messages sent from
        // elsewhere are handled by the peeking itself. The user's input stays
        // queued: nothing it does may reach the entries while they come in.
        MSG msg;
        for (int i = 0; i < kDropDispatchLimit && TakeMessage(&msg, WM_TIMER, WM_TIMER); ++i)
            ::DispatchMessageW(&msg);
        for (int i = 0; i < kDropDispatchLimit && TakeMessage(&msg, WM_PAINT, WM_PAINT); ++i)
            ::DispatchMessageW(&msg);
        const HANDLE hReady = decoder.ReadyEvent();
        ::MsgWaitForMultipleObjects(1, &hReady, FALSE, kDropRefreshMs,
                                    QS_KEY | QS_POSTMESSAGE | QS_PAINT | QS_TIMER | QS_SENDMESSAGE);
    }
}

// The keys are taken off the queue so that every one of them is seen, not
// only the first; they are posted again when the drop ends.
bool CTarvoToolWnd::HoldQueuedKeys(std::vector<MSG>* pvecHeld)
{
    bool bQuit = false;
    MSG msg;
    for (;;)
    {
        try
        {
            pvecHeld->reserve(pvecHeld->size() + 1);
        }
        catch (const std::bad_alloc&)
        {
            return bQuit; // the rest stays queued, unseen
        }
        if (!TakeMessage(&msg, WM_KEYFIRST, WM_KEYLAST))
            return bQuit;
        pvecHeld->push_back(msg);
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE)
            bQuit = true;
        if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_F4 && (HIWORD(msg.lParam) & KF_ALTDOWN))
            bQuit = true;
    }
}

namespace
{
struct SCloseSearch
{
    HWND hStrip;
    bool bFound;
};

// A close queued for this window or its children; the strip only hides on one.
BOOL CALLBACK FindQueuedClose(HWND hWnd, LPARAM lParam)
{
    auto* pSearch = reinterpret_cast<SCloseSearch*>(lParam);
    if (hWnd == pSearch->hStrip)
        return TRUE;
    MSG msg;
    if (::PeekMessageW(&msg, hWnd, WM_CLOSE, WM_CLOSE, PM_NOREMOVE) ||
        (::PeekMessageW(&msg, hWnd, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_NOREMOVE) &&
         (msg.wParam & 0xFFF0) == SC_CLOSE))
    {
        pSearch->bFound = true;
        return FALSE;
    }
    return TRUE;
}
} // namespace

// A quit, or a close request for any window of the thread but the strip.
// The message stays queued for the loop that handles it.
bool CTarvoToolWnd::QuitRequested() const
{
    MSG msg;
    if (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE))
        return true;
    SCloseSearch search = {m_hWnd, false};
    ::EnumThreadWindows(::GetCurrentThreadId(), FindQueuedClose, reinterpret_cast<LPARAM>(&search));
    return search.bFound;
}
