#pragma once

#include <windows.h>

#include <string>

class CWnd;

// The one application object: construct it as a global, then AfxWinMain runs
// InitInstance and, when that succeeds, the message loop.
class CWinApp
{
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // Runs the message loop until WM_QUIT; the result is the quit code. A quit
    // posted from elsewhere leaves the main window up: it is destroyed then,
    // so that every worker (each owned by the main window's object or by an
    // object it owns) is stopped and joined before the application ends and
    // the process's GDI+ session with it.
    virtual int Run();
    virtual int ExitInstance();

    // Remembers the key only: the application reads and writes no settings.
    void SetRegistryKey(LPCWSTR lpszRegistryKey);

    CWnd* m_pMainWnd;
    std::wstring m_strRegistryKey;

private:
    int m_nExitCode;
};

class CWinAppEx : public CWinApp
{
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// The executable's file name without folder and extension.
LPCWSTR AfxGetAppName();
int AfxMessageBox(LPCWSTR lpszText, UINT nType = MB_OK);
// Initialises OLE for this thread; it is uninitialised when the application ends.
BOOL AfxOleInit();

// Offers a message to the windows it is meant for, from the target up through
// its parents, and then to the main window, which thus sees the messages of
// every top-level window of the thread. TRUE when one of them consumed it;
// FALSE, so that it is dispatched, when one ran out of memory.
BOOL AfxPreTranslateMessage(MSG* pMsg, CWnd* pMainWnd);

int AfxWinMain();
