#include "framework/WndClass.h"

#include "framework/WinApp.h"

#include <cwchar>

LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor, HBRUSH hbrBackground, HICON hIcon)
{
    // One name per combination, so equal requests share one class.
    static wchar_t s_szName[96];
    const HINSTANCE hInstance = AfxGetInstanceHandle();
    std::swprintf(s_szName, sizeof(s_szName) / sizeof(s_szName[0]), L"Afx:%p:%x:%p:%p:%p",
                  static_cast<void*>(hInstance), nClassStyle, static_cast<void*>(hCursor),
                  static_cast<void*>(hbrBackground), static_cast<void*>(hIcon));

    WNDCLASSW wc = {};
    if (::GetClassInfoW(hInstance, s_szName, &wc))
        return s_szName;
    wc.style = nClassStyle;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = hInstance;
    wc.hIcon = hIcon;
    wc.hCursor = hCursor;
    wc.hbrBackground = hbrBackground;
    wc.lpszClassName = s_szName;
    return ::RegisterClassW(&wc) ? s_szName : nullptr;
}
