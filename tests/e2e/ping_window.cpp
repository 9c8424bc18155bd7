// The end-to-end session's view of the running viewer from inside Wine.
//   ping_window [bound in ms]  a Win32 message round trip to the viewer: exits 0
//                              when it answered WM_NULL within the bound, 1 when
//                              it did not, 2 when there is no viewer. Prints
//                              "viewer LEFT TOP RIGHT BOTTOM ICONIC VISIBLE TOPMOST",
//                              "thread FLAGS ACTIVE FOCUS CAPTURE" of the viewer's
//                              thread (GetGUIThreadInfo), and "box LEFT TOP RIGHT
//                              BOTTOM" for each message box of the program shown.
//   ping_window restore        restores a minimised viewer, as a click on its
//                              taskbar button does (there is no taskbar here).
// The viewer is the top-level window named "Pictaro" that is not a message
// box: those bear the program's name too.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <vector>

namespace
{
struct SFound
{
    HWND hViewer = nullptr;
    std::vector<HWND> vecBoxes;
};

BOOL CALLBACK Collect(HWND hWnd, LPARAM lParam)
{
    wchar_t szText[16] = {};
    wchar_t szClass[16] = {};
    ::GetWindowTextW(hWnd, szText, 16);
    ::GetClassNameW(hWnd, szClass, 16);
    if (std::wcscmp(szText, L"Pictaro") != 0)
        return TRUE;
    auto* pFound = reinterpret_cast<SFound*>(lParam);
    if (std::wcscmp(szClass, L"#32770") == 0)
    {
        if (::IsWindowVisible(hWnd))
            pFound->vecBoxes.push_back(hWnd);
    }
    else if (!pFound->hViewer)
    {
        pFound->hViewer = hWnd;
    }
    return TRUE;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    SFound found;
    ::EnumWindows(Collect, reinterpret_cast<LPARAM>(&found));
    if (!found.hViewer)
        return 2;
    if (argc > 1 && std::wcscmp(argv[1], L"restore") == 0)
    {
        if (::IsIconic(found.hViewer))
            ::PostMessageW(found.hViewer, WM_SYSCOMMAND, SC_RESTORE, 0);
        return 0;
    }

    const UINT nBoundMs = argc > 1 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 5000;
    RECT rc = {};
    ::GetWindowRect(found.hViewer, &rc);
    std::printf("viewer %ld %ld %ld %ld %d %d %d\n", rc.left, rc.top, rc.right, rc.bottom,
                ::IsIconic(found.hViewer) ? 1 : 0, ::IsWindowVisible(found.hViewer) ? 1 : 0,
                (::GetWindowLongW(found.hViewer, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(found.hViewer, nullptr), &info);
    std::printf("thread %lx %p %p %p\n", info.flags, static_cast<void*>(info.hwndActive),
                static_cast<void*>(info.hwndFocus), static_cast<void*>(info.hwndCapture));
    for (HWND hBox : found.vecBoxes)
    {
        ::GetWindowRect(hBox, &rc);
        std::printf("box %ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
    }
    DWORD_PTR dwResult = 0;
    return ::SendMessageTimeoutW(found.hViewer, WM_NULL, 0, 0, SMTO_BLOCK, nBoundMs, &dwResult) ? 0 : 1;
}
