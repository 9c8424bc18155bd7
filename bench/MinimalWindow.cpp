// The least a Win32 program does to show a window: a 240 x 167 white popup,
// centred, named "MinimalWindow". The start-up benchmark times it beside Pictaro.
#include <windows.h>

namespace
{
LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        ::PostQuitMessage(0);
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}
} // namespace

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, LPWSTR, int)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = hInstance;
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"MinimalWindow";
    ::RegisterClassW(&wc);
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - 240) / 2;
    const int y = (::GetSystemMetrics(SM_CYSCREEN) - 167) / 2;
    ::CreateWindowExW(WS_EX_APPWINDOW, wc.lpszClassName, L"MinimalWindow", WS_POPUP | WS_VISIBLE, x, y, 240,
                      167, nullptr, nullptr, hInstance, nullptr);
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return static_cast<int>(msg.wParam);
}
