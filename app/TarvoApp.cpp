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
    if (!pViewer)
        return FALSE;
    if (!pViewer->CreateViewerWindow())
    {
        delete pViewer;
        return FALSE;
    }
    m_pMainWnd = pViewer;
    return TRUE;
}
