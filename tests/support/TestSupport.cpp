#include "tests/support/TestSupport.h"

#include "framework/WinApp.h"

namespace TestSupport
{

bool PumpUntil(const std::function<bool()>& fnDone, DWORD dwTimeoutMs, CWnd* pMainWnd)
{
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        if (fnDone())
            return true;
        if (::GetTickCount() - dwStart > dwTimeoutMs)
            return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        {
            if (msg.message == WM_QUIT)
                continue;
            if (!AfxPreTranslateMessage(&msg, pMainWnd))
            {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
            if (fnDone())
                return true;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

void PumpFor(DWORD dwMs, CWnd* pMainWnd)
{
    PumpUntil([] { return false; }, dwMs, pMainWnd);
}

CPixels ReadSelectedBitmap(HDC hDC)
{
    return ReadBitmap(static_cast<HBITMAP>(::GetCurrentObject(hDC, OBJ_BITMAP)));
}

CPixels ReadBitmap(HBITMAP hBitmap)
{
    CPixels pixels;
    BITMAP bm = {};
    if (!hBitmap || !::GetObjectW(hBitmap, sizeof(bm), &bm) || !bm.bmWidth || !bm.bmHeight)
        return pixels;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bmi.bmiHeader.biWidth = bm.bmWidth;
    bmi.bmiHeader.biHeight = -bm.bmHeight;
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    pixels.cx = bm.bmWidth;
    pixels.cy = bm.bmHeight;
    pixels.argb.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    HDC hDC = ::CreateCompatibleDC(nullptr);
    // GetDIBits wants the bitmap not selected anywhere; a copy avoids that
    // restriction for bitmaps that are still selected into a buffer DC.
    HBITMAP hCopy = static_cast<HBITMAP>(::CopyImage(hBitmap, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ::GetDIBits(hDC, hCopy ? hCopy : hBitmap, 0, static_cast<UINT>(bm.bmHeight), pixels.argb.data(), &bmi,
                DIB_RGB_COLORS);
    if (hCopy)
        ::DeleteObject(hCopy);
    ::DeleteDC(hDC);
    return pixels;
}

CPixels LoadResourcePixels(UINT nID)
{
    HBITMAP hBitmap = static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(nID),
                                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    CPixels pixels = ReadBitmap(hBitmap);
    ::DeleteObject(hBitmap);
    return pixels;
}

std::wstring SourcePath(const std::wstring& strRelative)
{
    const std::string strRoot = PICTARO_SOURCE_DIR;
    std::wstring strPath = L"Z:" + std::wstring(strRoot.begin(), strRoot.end()) + L"/" + strRelative;
    for (wchar_t& ch : strPath)
        if (ch == L'/')
            ch = L'\\';
    return strPath;
}

namespace
{
CMessageBoxWatcher* g_pWatcher = nullptr;

BOOL CALLBACK CollectStaticText(HWND hChild, LPARAM lParam)
{
    wchar_t szClass[32] = {};
    ::GetClassNameW(hChild, szClass, 32);
    if (lstrcmpiW(szClass, L"Static") == 0)
    {
        wchar_t szText[512] = {};
        ::GetWindowTextW(hChild, szText, 512);
        auto* pText = reinterpret_cast<std::wstring*>(lParam);
        if (wcslen(szText) > pText->size())
            *pText = szText;
    }
    return TRUE;
}
} // namespace

CMessageBoxWatcher::CMessageBoxWatcher()
{
    g_pWatcher = this;
    m_hHook = ::SetWindowsHookExW(WH_CBT, CbtHook, nullptr, ::GetCurrentThreadId());
}

CMessageBoxWatcher::~CMessageBoxWatcher()
{
    ::UnhookWindowsHookEx(m_hHook);
    g_pWatcher = nullptr;
}

LRESULT CALLBACK CMessageBoxWatcher::CbtHook(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == HCBT_ACTIVATE && g_pWatcher)
    {
        HWND hDlg = reinterpret_cast<HWND>(wParam);
        wchar_t szClass[32] = {};
        ::GetClassNameW(hDlg, szClass, 32);
        if (lstrcmpW(szClass, L"#32770") == 0)
        {
            SBox box;
            box.hOwner = ::GetWindow(hDlg, GW_OWNER);
            wchar_t szCaption[256] = {};
            ::GetWindowTextW(hDlg, szCaption, 256);
            box.strCaption = szCaption;
            ::EnumChildWindows(hDlg, CollectStaticText, reinterpret_cast<LPARAM>(&box.strText));
            g_pWatcher->m_vecBoxes.push_back(box);
            ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

} // namespace TestSupport
