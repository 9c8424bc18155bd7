#include "tests/reliability_session/GdiCount.h"
#include "tests/support/TestSupport.h"

#include "draw/GdiplusSession.h"
#include "framework/WinApp.h"
#include "strip/DropDecoder.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <functional>
#include <string>
#include <vector>

using namespace Reliability;
using namespace TestSupport;

namespace
{
// Large JPEGs, each a few tenths of a second to decode.
std::vector<std::wstring> WriteLargeJpegs(const CTempFolder& dir, size_t nCount)
{
    CLSID clsidJpeg = {};
    if (!KelDraw::FindImageEncoder(L"image/jpeg", &clsidJpeg))
        return {};

    std::vector<std::wstring> vecPaths;
    Gdiplus::Bitmap picture(4000, 3000, PixelFormat24bppRGB);
    {
        Gdiplus::Graphics graphics(&picture);
        Gdiplus::LinearGradientBrush brush(Gdiplus::Point(0, 0), Gdiplus::Point(4000, 3000),
                                           Gdiplus::Color(255, 250, 40, 20), Gdiplus::Color(255, 20, 60, 240));
        graphics.FillRectangle(&brush, 0, 0, 4000, 3000);
    }
    vecPaths.push_back(dir.Path(L"large0.jpg"));
    if (picture.Save(vecPaths[0].c_str(), &clsidJpeg, nullptr) != Gdiplus::Ok)
        return {};
    for (size_t i = 1; i < nCount; ++i)
    {
        vecPaths.push_back(dir.Path(L"large" + std::to_wstring(i) + L".jpg"));
        ::CopyFileW(vecPaths[0].c_str(), vecPaths[i].c_str(), FALSE);
    }
    return vecPaths;
}

// A viewer with its strip shown, as a user has it after a first drop.
void OpenViewerWithStrip(CTarvoMainWnd*& pViewer, HWND& hViewer, HWND& hStrip)
{
    pViewer = new CTarvoMainWnd;
    ASSERT_TRUE(pViewer->CreateViewerWindow());
    hViewer = pViewer->m_hWnd;
    pViewer->ShowToolWnd(TRUE);
    ASSERT_TRUE(pViewer->m_pToolWnd && pViewer->m_pToolWnd->m_hWnd);
    hStrip = pViewer->m_pToolWnd->m_hWnd;
}

// Posts Esc to the viewer from a timer once the drop has put its first entry
// in, while the workers are still busy; the drop dispatches timers.
struct SEscDuringDrop
{
    static CTarvoMainWnd* s_pViewer;
    static size_t s_nCountAtEsc;
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        CTarvoMainWnd* pViewer = s_pViewer;
        if (!pViewer || !pViewer->m_pToolWnd || pViewer->m_pToolWnd->m_vecElems.empty())
            return;
        s_nCountAtEsc = pViewer->m_pToolWnd->m_vecElems.size();
        s_pViewer = nullptr;
        ::PostMessageW(pViewer->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    }
};
CTarvoMainWnd* SEscDuringDrop::s_pViewer = nullptr;
size_t SEscDuringDrop::s_nCountAtEsc = 0;

// Runs an action once from a thread timer, as soon as the strip has its
// first entry of the drop under way; the drop's loop dispatches timers.
// Nothing of the strip is looked at once the action has run.
class CActionDuringDrop
{
public:
    CActionDuringDrop(const CTarvoToolWnd* pStrip, std::function<void()> fnAction)
        : m_pStrip(pStrip), m_fnAction(std::move(fnAction))
    {
        s_pThis = this;
        m_nTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTimer);
    }
    ~CActionDuringDrop()
    {
        ::KillTimer(nullptr, m_nTimer);
        s_pThis = nullptr;
    }
    CActionDuringDrop(const CActionDuringDrop&) = delete;
    CActionDuringDrop& operator=(const CActionDuringDrop&) = delete;

    bool m_bDone = false;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        CActionDuringDrop* pThis = s_pThis;
        if (!pThis || pThis->m_bDone || pThis->m_pStrip->m_vecElems.empty())
            return;
        pThis->m_bDone = true;
        pThis->m_fnAction();
    }
    static CActionDuringDrop* s_pThis;
    const CTarvoToolWnd* m_pStrip;
    std::function<void()> m_fnAction;
    UINT_PTR m_nTimer = 0;
};
CActionDuringDrop* CActionDuringDrop::s_pThis = nullptr;

// Ends an application loop that would otherwise never end, with a code no
// test expects.
void CALLBACK QuitAfterTimeout(HWND, UINT, UINT_PTR, DWORD)
{
    ::PostQuitMessage(99);
}
} // namespace

// Esc during a long drop: the drop ends without waiting for its files, the
// viewer closes as Esc makes it, the strip goes with it, no worker is left
// running and nothing of the drop stays behind.
TEST(DropQuitTest, EscDuringALongDropQuitsCleanly)
{
    CTempFolder dir;
    const std::vector<std::wstring> vecFiles = WriteLargeJpegs(dir, 60);
    ASSERT_EQ(60u, vecFiles.size());
    CMessageBoxWatcher boxes;

    // The first round makes what the platform makes once per process.
    size_t nRoomBefore = 0;
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        SCOPED_TRACE(nRound);
        if (nRound == 1)
            nRoomBefore = GdiRoomLeft();
        CTarvoMainWnd* pViewer = nullptr;
        HWND hViewer = nullptr, hStrip = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenViewerWithStrip(pViewer, hViewer, hStrip));

        SEscDuringDrop::s_pViewer = pViewer;
        SEscDuringDrop::s_nCountAtEsc = 0;
        const UINT_PTR nTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, SEscDuringDrop::OnTimer);
        ::SendMessageW(hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecFiles)), 0);
        ::KillTimer(nullptr, nTimer);
        ASSERT_GT(SEscDuringDrop::s_nCountAtEsc, 0u) << "Esc came during the drop";
        const size_t nAdded = pViewer->m_pToolWnd->m_vecElems.size();
        EXPECT_LT(nAdded, vecFiles.size()) << "the drop ended early";
        EXPECT_GE(nAdded, SEscDuringDrop::s_nCountAtEsc);
        EXPECT_EQ(0, CDropDecoder::RunningWorkers()) << "no worker outlives the drop";

        // The application's loop takes Esc from here.
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hViewer); }, 20000, pViewer));
        EXPECT_FALSE(::IsWindow(hStrip));
        EXPECT_EQ(0, CDropDecoder::RunningWorkers());
        EXPECT_TRUE(boxes.m_vecBoxes.empty());
    }
    const long long nKept = static_cast<long long>(nRoomBefore) - static_cast<long long>(GdiRoomLeft());
    EXPECT_LE(nKept, 8) << "GDI objects left behind";
}

// The viewer closed, or the application told to quit, while a drop is being
// added, on the viewer or on the strip: the drop ends, the viewer and its
// strip are freed only once the drop has let go of them, no worker is left,
// and the application's loop ends with the quit's code.
TEST(DropQuitTest, ClosingTheViewerDuringADropEndsTheApplicationCleanly)
{
    CTempFolder dir;
    const std::vector<std::wstring> vecFiles = WriteLargeJpegs(dir, 12);
    ASSERT_EQ(12u, vecFiles.size());
    const std::function<void(HWND)> fnSentClose = [](HWND hViewer) { ::SendMessageW(hViewer, WM_CLOSE, 0, 0); };
    const std::function<void(HWND)> fnDestroy = [](HWND hViewer) { ::DestroyWindow(hViewer); };
    struct SCase
    {
        const char* pszName;
        bool bOnStrip; // dropped on the strip rather than on the viewer
        std::function<void(HWND)> fnClose;
        int nExitCode;
    };
    const SCase cases[] = {
        {"sent WM_CLOSE", false, fnSentClose, 0},
        {"sent SC_CLOSE", false, [](HWND hViewer) { ::SendMessageW(hViewer, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0},
        {"DestroyWindow from a timer", false, fnDestroy, 0},
        {"posted close dispatched by a message box", false,
         [](HWND hViewer) {
             ::PostMessageW(hViewer, WM_CLOSE, 0, 0);
             ::MessageBoxW(hViewer, L"during the drop", L"test", MB_OK);
         },
         0},
        {"WM_QUIT from elsewhere", false, [](HWND) { ::PostQuitMessage(7); }, 7},
        {"sent WM_CLOSE, dropped on the strip", true, fnSentClose, 0},
        {"DestroyWindow from a timer, dropped on the strip", true, fnDestroy, 0},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        // A box goes with the viewer, its owner, long before it is answered.
        CMessageBoxWatcher boxes;
        boxes.m_dwAnswerAfterMs = 30000;
        CWinApp app;
        CTarvoMainWnd* pViewer = nullptr;
        HWND hViewer = nullptr, hStrip = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenViewerWithStrip(pViewer, hViewer, hStrip));
        app.m_pMainWnd = pViewer;

        int nExitCode = -1;
        {
            CActionDuringDrop during(pViewer->m_pToolWnd, [&] { c.fnClose(hViewer); });
            const UINT_PTR nGuard = ::SetTimer(nullptr, 0, 60000, QuitAfterTimeout);
            ::PostMessageW(c.bOnStrip ? hStrip : hViewer, WM_DROPFILES,
                           reinterpret_cast<WPARAM>(MakeDropFiles(vecFiles)), 0);
            nExitCode = app.Run();
            ::KillTimer(nullptr, nGuard);
            EXPECT_TRUE(during.m_bDone) << "the close came during the drop";
        }
        EXPECT_EQ(c.nExitCode, nExitCode);
        EXPECT_FALSE(::IsWindow(hViewer));
        EXPECT_FALSE(::IsWindow(hStrip));
        EXPECT_EQ(nullptr, app.m_pMainWnd);
        EXPECT_EQ(0, CDropDecoder::RunningWorkers()) << "no worker outlives the application's loop";
        if (::IsWindow(hViewer))
            ::DestroyWindow(hViewer);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
        {
        }
    }
}

// Whatever input is queued before it, an Esc, Alt+F4 or close queued during a
// drop ends the drop early; the viewer then closes as that input makes it.
TEST(DropQuitTest, AnyQueuedEscAltF4OrCloseEndsADropEarly)
{
    CTempFolder dir;
    const std::vector<std::wstring> vecFiles = WriteLargeJpegs(dir, 24);
    ASSERT_EQ(24u, vecFiles.size());
    CMessageBoxWatcher boxes;
    struct SCase
    {
        const char* pszName;
        std::function<void(HWND hViewer, HWND hStrip)> fnPost;
    };
    const SCase cases[] = {
        {"Esc behind another key",
         [](HWND hViewer, HWND) {
             ::PostMessageW(hViewer, WM_KEYDOWN, VK_LEFT, 0x014B0001);
             ::PostMessageW(hViewer, WM_KEYUP, VK_LEFT, 0xC14B0001);
             ::PostMessageW(hViewer, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
         }},
        {"Alt+F4",
         [](HWND hViewer, HWND) {
             ::PostMessageW(hViewer, WM_SYSKEYDOWN, VK_MENU, 0x20380001);
             ::PostMessageW(hViewer, WM_SYSKEYDOWN, VK_F4, 0x203E0001);
         }},
        {"a close behind the strip's own",
         [](HWND hViewer, HWND hStrip) {
             ::PostMessageW(hStrip, WM_CLOSE, 0, 0);
             ::PostMessageW(hViewer, WM_CLOSE, 0, 0);
         }},
        {"SC_CLOSE", [](HWND hViewer, HWND) { ::PostMessageW(hViewer, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTarvoMainWnd* pViewer = nullptr;
        HWND hViewer = nullptr, hStrip = nullptr;
        ASSERT_NO_FATAL_FAILURE(OpenViewerWithStrip(pViewer, hViewer, hStrip));
        {
            CActionDuringDrop during(pViewer->m_pToolWnd, [&] { c.fnPost(hViewer, hStrip); });
            ::SendMessageW(hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecFiles)), 0);
            ASSERT_TRUE(during.m_bDone) << "the input came during the drop";
        }
        EXPECT_LT(pViewer->m_pToolWnd->m_vecElems.size(), vecFiles.size()) << "the drop ended early";
        EXPECT_EQ(0, CDropDecoder::RunningWorkers());
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hViewer); }, 20000, pViewer)) << "and the viewer closed";
        if (::IsWindow(hViewer))
            ::DestroyWindow(hViewer);
    }
    EXPECT_TRUE(boxes.m_vecBoxes.empty());
}
