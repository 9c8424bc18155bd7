#include "viewer/TarvoMainWnd.h"

#include "res/resource.h"
#include "tests/support/LayeredSpy.h"
#include "tests/support/TestSupport.h"
#include "viewer/ReadAhead.h"

#include <gdiplus.h>
#include <gtest/gtest.h>

#include <string>

using namespace TestSupport;

namespace
{
// A 40 x 30 picture: its left half opaque red, its right half transparent.
std::wstring WriteHalfClearPicture(const CTempFolder& folder)
{
    Gdiplus::Bitmap picture(40, 30, PixelFormat32bppARGB);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            picture.SetPixel(x, y, x < 20 ? Gdiplus::Color(255, 200, 30, 60) : Gdiplus::Color(0, 0, 0, 0));
    const std::wstring strPath = folder.Path(L"half.png");
    return SavePng(&picture, strPath) ? strPath : L"";
}

::testing::AssertionResult SameRect(const RECT& expected, const RECT& actual)
{
    if (::EqualRect(&expected, &actual))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window at " << actual.left << "," << actual.top << " - " << actual.right
                                         << "," << actual.bottom << ", not " << expected.left << "," << expected.top
                                         << " - " << expected.right << "," << expected.bottom;
}

class ViewerZoomTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SLayeredSpy::Install(m_pViewer);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
        ::SetWindowPos(m_hWnd, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    bool Show(const std::wstring& strPath)
    {
        m_pViewer->OnElemSelect(0, L"", strPath.c_str(), TRUE);
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending; });
    }
    // Turns the wheel over a point of the window's client area.
    void Wheel(int nDelta, int x, int y)
    {
        POINT pt = {x, y};
        ::ClientToScreen(m_hWnd, &pt);
        ::SendMessageW(m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(nDelta)), MAKELPARAM(pt.x, pt.y));
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerZoomTest, TheWheelZoomsAboutTheCursorWithTheWindowAndItsAlpha)
{
    CTempFolder folder;
    const std::wstring strPath = WriteHalfClearPicture(folder);
    ASSERT_TRUE(Show(strPath));
    ASSERT_TRUE(SameRect(RECT{300, 200, 340, 230}, WindowRect(m_hWnd)));

    struct SStep
    {
        int nDelta;
        POINT ptCursor; // in the window as it is before the turn
        RECT rcWindow;
    };
    const SStep steps[] = {
        // 3/2 about 10, 10: that point stays at 310, 210.
        {WHEEL_DELTA, {10, 10}, {295, 195, 355, 240}},
        // Two notches up, 3/2 to 3, about the window's corner.
        {2 * WHEEL_DELTA, {0, 0}, {295, 195, 415, 285}},
        // Down to 1/2 in five notches about 60, 30 (natural 20, 10).
        {-5 * WHEEL_DELTA, {60, 30}, {345, 220, 365, 235}},
        // A half notch does nothing; another half makes one: 1/3.
        {-WHEEL_DELTA / 2, {0, 0}, {345, 220, 365, 235}},
        {-WHEEL_DELTA / 2, {0, 0}, {345, 220, 358, 230}},
    };
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(testing::Message() << "turn " << step.nDelta);
        const int nCallsBefore = SLayeredSpy::s_nCalls;
        Wheel(step.nDelta, step.ptCursor.x, step.ptCursor.y);
        EXPECT_TRUE(SameRect(step.rcWindow, WindowRect(m_hWnd)));
        const SIZE size = {step.rcWindow.right - step.rcWindow.left, step.rcWindow.bottom - step.rcWindow.top};
        if (SLayeredSpy::s_nCalls == nCallsBefore)
            continue; // no notch yet
        EXPECT_EQ(nCallsBefore + 1, SLayeredSpy::s_nCalls);
        ASSERT_EQ(size.cx, SLayeredSpy::s_buffer.cx);
        ASSERT_EQ(size.cy, SLayeredSpy::s_buffer.cy);
        // Premultiplied red on the left, nothing on the right, at every zoom.
        const uint32_t left = SLayeredSpy::s_buffer.At(1, size.cy / 2);
        const uint32_t right = SLayeredSpy::s_buffer.At(size.cx - 2, size.cy / 2);
        EXPECT_EQ(0xFFC81E3Cu, left) << std::hex << left;
        EXPECT_EQ(0u, right) << std::hex << right;
    }

    // The next picture, the same file reloaded included, starts at its natural size.
    ASSERT_TRUE(Show(strPath));
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(40, rc.right - rc.left);
    EXPECT_EQ(30, rc.bottom - rc.top);
    EXPECT_EQ(CZoom::NATURAL_STEP, m_pViewer->m_nZoomStep);
}

TEST_F(ViewerZoomTest, PlaceholdersKeepTheirSize)
{
    for (const wchar_t* pszPath : {static_cast<const wchar_t*>(nullptr), L"Z:\\no such file.png"})
    {
        CMessageBoxWatcher watcher;
        m_pViewer->OnElemSelect(-1, nullptr, pszPath, TRUE);
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
        const RECT rcBefore = WindowRect(m_hWnd);
        const int nCalls = SLayeredSpy::s_nCalls;
        Wheel(WHEEL_DELTA, 5, 5);
        EXPECT_TRUE(SameRect(rcBefore, WindowRect(m_hWnd)));
        EXPECT_EQ(nCalls, SLayeredSpy::s_nCalls);
    }
}

TEST_F(ViewerZoomTest, AWheelFromOutsideZoomsAboutTheCentreAndACopyPastTheBudgetIsNotMade)
{
    // Room for the 40 x 30 picture and its copy at 3/2, not at 2.
    m_pViewer->m_pReadAhead.reset(new CReadAhead(40 * 30 * 4 + 60 * 45 * 4));
    CTempFolder folder;
    ASSERT_TRUE(Show(WriteHalfClearPicture(folder)));
    ASSERT_TRUE(SameRect(RECT{300, 200, 340, 230}, WindowRect(m_hWnd)));

    struct SStep
    {
        const char* pszWhat;
        POINT ptCursor; // in the window as it is before the turn
        RECT rcWindow;
    } const steps[] = {
        // The centre, 320, 215, stays where it is.
        {"to 3/2, the cursor far off", {-400, 500}, {290, 192, 350, 237}},
        {"to 2, past the budget", {30, 20}, {290, 192, 350, 237}},
    };
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(step.pszWhat);
        Wheel(WHEEL_DELTA, step.ptCursor.x, step.ptCursor.y);
        EXPECT_TRUE(SameRect(step.rcWindow, WindowRect(m_hWnd)));
        EXPECT_LE(m_pViewer->m_pReadAhead->CountedBytes(), m_pViewer->m_pReadAhead->Budget());
    }
    EXPECT_EQ(CZoom::NATURAL_STEP + 1, m_pViewer->m_nZoomStep);
}
