#include "tests/support/TestSupport.h"

#include "framework/WinApp.h"

#include <gdiplus.h>
#include <gtest/gtest.h>
#include <psapi.h>

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

CPixels ScreenShot(const RECT& rc, DWORD dwTimeoutMs)
{
    static unsigned s_nShot = 0;
    const std::wstring strStem =
        L"/tmp/pictaro-shot-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++s_nShot);
    const std::wstring strDone = strStem + L".png";
    // Written under another name first, so the file is whole once it appears.
    std::wstring strCommand = L"/bin/sh -c \"import -window root -crop " + std::to_wstring(rc.right - rc.left) + L"x" +
                              std::to_wstring(rc.bottom - rc.top) + L"+" + std::to_wstring(rc.left) + L"+" +
                              std::to_wstring(rc.top) + L" +repage " + strStem + L".tmp.png && mv " + strStem +
                              L".tmp.png " + strDone + L"\"";
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    CPixels pixels;
    if (!::CreateProcessW(L"Z:\\bin\\sh", &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return pixels;
    // A Unix process comes without handles to wait on.
    if (pi.hThread)
        ::CloseHandle(pi.hThread);
    if (pi.hProcess)
        ::CloseHandle(pi.hProcess);
    std::wstring strPath = L"Z:" + strDone;
    for (wchar_t& ch : strPath)
        if (ch == L'/')
            ch = L'\\';
    if (!PumpUntil([&] { return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES; }, dwTimeoutMs))
        return pixels;
    {
        Gdiplus::Bitmap shot(strPath.c_str());
        Gdiplus::BitmapData data;
        Gdiplus::Rect rcShot(0, 0, static_cast<INT>(shot.GetWidth()), static_cast<INT>(shot.GetHeight()));
        if (shot.LockBits(&rcShot, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) == Gdiplus::Ok)
        {
            pixels.cx = rcShot.Width;
            pixels.cy = rcShot.Height;
            for (int y = 0; y < pixels.cy; ++y)
                for (int x = 0; x < pixels.cx; ++x)
                    pixels.argb.push_back(static_cast<const uint32_t*>(data.Scan0)[y * data.Stride / 4 + x]);
            shot.UnlockBits(&data);
        }
    }
    ::DeleteFileW(strPath.c_str());
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

std::wstring SharedPath(const std::wstring& strRelative)
{
    const std::string strRoot = PICTARO_SHARED_DIR;
    std::wstring strPath = L"Z:" + std::wstring(strRoot.begin(), strRoot.end()) + L"/" + strRelative;
    for (wchar_t& ch : strPath)
        if (ch == L'/')
            ch = L'\\';
    return strPath;
}

bool SavePng(Gdiplus::Bitmap* pPicture, const std::wstring& strPath)
{
    CLSID clsidPng;
    ::CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &clsidPng);
    return pPicture->Save(strPath.c_str(), &clsidPng, nullptr) == Gdiplus::Ok;
}

size_t ProcessMemory()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

bool HeapChecked()
{
    wchar_t szDebug[256] = {};
    ::GetEnvironmentVariableW(L"WINEDEBUG", szDebug, 256);
    return std::wstring(szDebug).find(L"heap") != std::wstring::npos;
}

namespace
{
void RemoveTree(const std::wstring& strPath)
{
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW((strPath + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring strName = fd.cFileName;
            if (strName == L"." || strName == L"..")
                continue;
            const std::wstring strChild = strPath + L"\\" + strName;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(strChild);
            else
                ::DeleteFileW(strChild.c_str());
        } while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(strPath.c_str());
}
} // namespace

CTempFolder::CTempFolder()
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    static unsigned s_nSerial = 0;
    for (;;)
    {
        m_strPath = std::wstring(szTemp) + L"pictaro-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++s_nSerial);
        if (::CreateDirectoryW(m_strPath.c_str(), nullptr) || ::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
}

CTempFolder::~CTempFolder()
{
    // The prefix lets the removal reach names longer than MAX_PATH.
    RemoveTree(L"\\\\?\\" + m_strPath);
}

std::wstring CTempFolder::Path(const std::wstring& strName) const
{
    return m_strPath + L"\\" + strName;
}

std::wstring CTempFolder::Write(const std::wstring& strName, const std::string& strBytes) const
{
    const std::wstring strPath = Path(strName);
    EXPECT_TRUE(WriteFileBytes(strPath, strBytes)) << "could not write " << ::testing::PrintToString(strPath);
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
            if (g_pWatcher->m_fnShown)
                g_pWatcher->m_fnShown();
            if (g_pWatcher->m_dwAnswerAfterMs)
                ::SetTimer(hDlg, 1, g_pWatcher->m_dwAnswerAfterMs, AnswerLater);
            else
                ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
        }
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

void CALLBACK CMessageBoxWatcher::AnswerLater(HWND hDlg, UINT, UINT_PTR nIDEvent, DWORD)
{
    ::KillTimer(hDlg, nIDEvent);
    ::PostMessageW(hDlg, WM_COMMAND, IDOK, 0);
}

// A 24-bit BMP of one colour: its size follows from its width and height alone.
std::string BmpBytes(int cx, int cy, COLORREF colour)
{
    const int cbRow = (cx * 3 + 3) & ~3;
    const DWORD cbPixels = static_cast<DWORD>(cbRow) * static_cast<DWORD>(cy);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file.bfSize = file.bfOffBits + cbPixels;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = cx;
    info.biHeight = cy;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    std::string strBytes(reinterpret_cast<const char*>(&file), sizeof(file));
    strBytes.append(reinterpret_cast<const char*>(&info), sizeof(info));
    std::string strRow(static_cast<size_t>(cbRow), '\0');
    for (int x = 0; x < cx; ++x)
    {
        strRow[static_cast<size_t>(3 * x)] = static_cast<char>(GetBValue(colour));
        strRow[static_cast<size_t>(3 * x + 1)] = static_cast<char>(GetGValue(colour));
        strRow[static_cast<size_t>(3 * x + 2)] = static_cast<char>(GetRValue(colour));
    }
    for (int y = 0; y < cy; ++y)
        strBytes += strRow;
    return strBytes;
}

} // namespace TestSupport
