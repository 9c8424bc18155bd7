#include "viewer/TarvoMainWnd.h"

#include "framework/WinApp.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/LayeredSpy.h"
#include "tests/support/RealInput.h"
#include "tests/support/TestSupport.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
// A cx x cy picture, opaque, of one colour.
std::wstring WritePicture(const CTempFolder& folder, const wchar_t* pszName, int cx, int cy)
{
    Gdiplus::Bitmap picture(cx, cy, PixelFormat32bppARGB);
    {
        Gdiplus::Graphics graphics(&picture);
        Gdiplus::SolidBrush brush(Gdiplus::Color(255, 30, 120, 200));
        graphics.FillRectangle(&brush, 0, 0, cx, cy);
    }
    const std::wstring strPath = folder.Path(pszName);
    return SavePng(&picture, strPath) ? strPath : L"";
}

bool SameRect(const RECT& a, const RECT& b)
{
    return ::EqualRect(&a, &b) != FALSE;
}

std::string Describe(const RECT& rc)
{
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + " - " + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

class ViewerKeysTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SLayeredSpy::Install(m_pViewer);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    // Shows the file at its natural size with the window's corner at x, y.
    bool Show(const std::wstring& strPath, int x, int y)
    {
        m_pViewer->OnElemSelect(0, L"", strPath.c_str(), TRUE);
        if (!PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }))
            return false;
        ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return true;
    }
    // A key as the application's loop offers it.
    BOOL Key(UINT nVirtKey, HWND hFocus = nullptr, bool bRepeat = false)
    {
        MSG msg = {hFocus ? hFocus : m_hWnd, WM_KEYDOWN, nVirtKey, bRepeat ? 1 << 30 : 0, 0, {0, 0}};
        return AfxPreTranslateMessage(&msg, m_pViewer);
    }
    // Real keys, through the input queue to the viewer, which has the focus.
    bool RealKeys(const std::vector<WORD>& vecVk, const std::function<bool()>& fnDone)
    {
        ::SetForegroundWindow(m_hWnd);
        ::SetFocus(m_hWnd);
        if (!PumpUntil([this] { return ::GetFocus() == m_hWnd; }, 5000, m_pViewer))
            return false;
        RealInput::PressKeys(vecVk);
        return PumpUntil(fnDone, 5000, m_pViewer);
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerKeysTest, PlusAndMinusStepAsTheWheelAboutTheCentreAndZeroGoesBack)
{
    CTempFolder folder;
    ASSERT_TRUE(Show(WritePicture(folder, L"small.png", 40, 30), 300, 200));

    struct SStep
    {
        const char* pszKeys;
        std::vector<WORD> vecVk; // real keys when more than one
        SIZE size;
    };
    const SStep steps[] = {
        {"+", {VK_OEM_PLUS}, {60, 45}},
        {"keypad +", {VK_ADD}, {80, 60}},
        {"Ctrl and +", {VK_CONTROL, VK_OEM_PLUS}, {120, 90}},
        {"keypad -", {VK_SUBTRACT}, {80, 60}},
        {"Ctrl and keypad -", {VK_CONTROL, VK_SUBTRACT}, {60, 45}},
        {"-", {VK_OEM_MINUS}, {40, 30}},
        {"- again", {VK_OEM_MINUS}, {27, 20}},
        {"0", {'0'}, {40, 30}},
        {"0 at natural size", {'0'}, {40, 30}},
        {"keypad + up to the largest step", {VK_ADD, VK_ADD, VK_ADD, VK_ADD, VK_ADD, VK_ADD}, {320, 240}},
        {"+ at the largest step", {VK_OEM_PLUS}, {320, 240}},
        {"keypad 0", {VK_NUMPAD0}, {40, 30}},
        {"- down to the smallest step", {VK_OEM_MINUS, VK_OEM_MINUS, VK_OEM_MINUS, VK_OEM_MINUS, VK_OEM_MINUS}, {5, 4}},
        {"- at the smallest step", {VK_OEM_MINUS}, {5, 4}},
        {"Ctrl and 0", {VK_CONTROL, '0'}, {40, 30}},
    };
    // The window's centre, in half pixels: it stays put, but for the rounding
    // of each step's half pixel.
    const RECT rcStart = WindowRect(m_hWnd);
    const POINT ptCentre2 = {rcStart.left + rcStart.right, rcStart.top + rcStart.bottom};
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(step.pszKeys);
        const RECT rcBefore = WindowRect(m_hWnd);
        const int nCallsBefore = SLayeredSpy::s_nCalls;
        auto Sized = [&] {
            const RECT rc = WindowRect(m_hWnd);
            return rc.right - rc.left == step.size.cx && rc.bottom - rc.top == step.size.cy;
        };
        if (step.vecVk.size() > 1 && step.vecVk[0] == VK_CONTROL)
        {
            EXPECT_TRUE(RealKeys(step.vecVk, Sized));
            EXPECT_EQ(nCallsBefore + 1, SLayeredSpy::s_nCalls) << "one step for the pair";
        }
        else
        {
            for (const WORD wVk : step.vecVk)
                EXPECT_FALSE(Key(wVk)) << "the key goes on to the focused window";
        }
        const RECT rc = WindowRect(m_hWnd);
        EXPECT_TRUE(Sized()) << Describe(rc);
        EXPECT_LE(std::abs(rc.left + rc.right - ptCentre2.x), 1) << Describe(rc);
        EXPECT_LE(std::abs(rc.top + rc.bottom - ptCentre2.y), 1) << Describe(rc);
        if (::EqualRect(&rc, &rcBefore))
            EXPECT_EQ(nCallsBefore, SLayeredSpy::s_nCalls) << "nothing to push";
        else
            EXPECT_EQ(step.size.cx, SLayeredSpy::s_buffer.cx);
    }
}

TEST_F(ViewerKeysTest, FFitsThePictureIntoTheWorkAreaAndBack)
{
    MONITORINFO mi = {};
    mi.cbSize = sizeof(mi);
    ::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &mi);
    ASSERT_TRUE(SameRect(mi.rcWork, RECT{0, 0, 1280, 1024})) << "the tests' virtual display; " << Describe(mi.rcWork);

    CTempFolder folder;
    const std::wstring strLarge = WritePicture(folder, L"large.png", 2000, 700);
    const std::wstring strSmall = WritePicture(folder, L"small.png", 300, 200);
    struct SCase
    {
        const char* pszName;
        std::wstring strPath;
        std::vector<UINT> vecKeys; // ends with the F that fits
        RECT rcFitted;
        RECT rcBack; // after the next F
    } const cases[] = {
        // Half size is the largest that fits; kept about the centre, then moved
        // left just enough to be inside.
        {"larger than the work area", strLarge, {'F'}, {280, 375, 1280, 725}, {-220, 200, 1780, 900}},
        // Four times fits, six times would not; moved to the corner.
        {"smaller than the work area", strSmall, {'F'}, {0, 0, 1200, 800}, {450, 300, 750, 500}},
        // Back to the step F left, not to natural size.
        {"zoomed first", strSmall, {VK_ADD, 'F'}, {0, 0, 1200, 800}, {375, 250, 825, 550}},
        // A zoom after a fit leaves it: F fits again, and back goes to that zoom.
        {"zoomed after a fit", strSmall, {'F', VK_SUBTRACT, 'F'}, {0, 0, 1200, 800}, {150, 100, 1050, 700}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(Show(c.strPath, 300, 200));
        for (const UINT nKey : c.vecKeys)
            Key(nKey);
        RECT rc = WindowRect(m_hWnd);
        EXPECT_TRUE(::EqualRect(&c.rcFitted, &rc)) << Describe(rc);
        EXPECT_EQ(c.rcFitted.right - c.rcFitted.left, SLayeredSpy::s_buffer.cx);
        EXPECT_EQ(c.rcFitted.bottom - c.rcFitted.top, SLayeredSpy::s_buffer.cy);
        // A held F does not flip on every repeat.
        Key('F', nullptr, true);
        rc = WindowRect(m_hWnd);
        EXPECT_TRUE(::EqualRect(&c.rcFitted, &rc)) << Describe(rc);
        Key('F');
        rc = WindowRect(m_hWnd);
        EXPECT_TRUE(::EqualRect(&c.rcBack, &rc)) << Describe(rc);
    }

    // The next picture opens at natural size, and F fits it afresh.
    ASSERT_TRUE(Show(strSmall, 300, 200));
    Key('F');
    ASSERT_TRUE(Show(strSmall, 300, 200));
    RECT rc = WindowRect(m_hWnd);
    EXPECT_TRUE(SameRect(RECT{300, 200, 600, 400}, rc)) << Describe(rc);
    Key('F');
    rc = WindowRect(m_hWnd);
    EXPECT_TRUE(SameRect(RECT{0, 0, 1200, 800}, rc)) << Describe(rc);
}

TEST_F(ViewerKeysTest, PlaceholdersDoNotZoom)
{
    CMessageBoxWatcher watcher;
    for (const wchar_t* pszPath : {static_cast<const wchar_t*>(nullptr), L"Z:\\no such file.png"})
    {
        m_pViewer->OnElemSelect(-1, nullptr, pszPath, TRUE);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
        const RECT rcBefore = WindowRect(m_hWnd);
        const int nCalls = SLayeredSpy::s_nCalls;
        for (const UINT nKey : {UINT(VK_OEM_PLUS), UINT(VK_SUBTRACT), UINT('F'), UINT('0')})
            Key(nKey);
        const RECT rc = WindowRect(m_hWnd);
        EXPECT_TRUE(::EqualRect(&rcBefore, &rc)) << Describe(rc);
        EXPECT_EQ(nCalls, SLayeredSpy::s_nCalls);
    }
}

TEST_F(ViewerKeysTest, HomeAndEndChooseTheFirstAndLastEntry)
{
    m_pViewer->ShowToolWnd(TRUE);
    CTarvoToolWnd* pStrip = m_pViewer->m_pToolWnd;
    ASSERT_TRUE(pStrip && pStrip->m_hWnd);
    // Without entries they do nothing.
    Key(VK_HOME);
    Key(VK_END);
    EXPECT_EQ(nullptr, pStrip->m_pSelected);

    CTempFolder folder;
    std::vector<std::wstring> vecPaths;
    for (const wchar_t* pszName : {L"a.png", L"b.png", L"c.png", L"d.png"})
    {
        vecPaths.push_back(WritePicture(folder, pszName, 20, 20));
        ASSERT_EQ(0, pStrip->AddFile(vecPaths.back().c_str()));
    }
    pStrip->RecalcLayout();
    pStrip->SelectElem(1);
    struct SStep
    {
        UINT nKey;
        HWND hFocus;
        int nSelected;
    } const steps[] = {
        {VK_END, m_hWnd, 3}, {VK_END, m_hWnd, 3}, {VK_HOME, pStrip->m_hWnd, 0}, {VK_RIGHT, m_hWnd, 1},
        {VK_END, pStrip->m_hWnd, 3}, {VK_LEFT, m_hWnd, 2}, {VK_HOME, m_hWnd, 0},
    };
    for (const SStep& step : steps)
    {
        EXPECT_FALSE(Key(step.nKey, step.hFocus));
        ASSERT_TRUE(pStrip->m_pSelected);
        EXPECT_EQ(step.nSelected, pStrip->m_pSelected->m_nIndex);
        EXPECT_EQ(vecPaths[static_cast<size_t>(step.nSelected)], m_pViewer->m_strCurPath);
    }
}
