#include "app/TarvoApp.h"

#include "draw/GdiplusSession.h"
#include "viewer/TarvoMainWnd.h"

#include <commctrl.h>

#include <new>

// Construction order matters: the application object first, then GDI+, so
// that GDI+ is shut down before the application object goes.
CTarvoApp theApp;
KelDraw::CGdiplusSession g_gdiplus;

BOOL CTarvoApp::InitInstance()
{
    INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    CWinAppEx::InitInstance();
    AfxOleInit();
    ::InitCommonControls();
    SetRegistryKey(L"Tarvo");

    CTarvoMainWnd* pViewer = new (std::nothrow) CTarvoMainWnd;
    // A viewer whose window is not made has already deleted itself. FALSE
    // ends the application through ExitInstance, with exit code 0.
    if (!pViewer || !pViewer->CreateViewerWindow())
        return FALSE;
    m_pMainWnd = pViewer;
    // Files named on the command line ("Open with", a drop on the exe's icon)
    // come in as a drop of them would.
    pViewer->OpenFiles(CTarvoMainWnd::FilesFromCommandLine(::GetCommandLineW()));
    return TRUE;
}
