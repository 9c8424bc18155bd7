#include "res/resource.h"
#include "tests/support/LayeredSpy.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

using namespace TestSupport;

namespace
{
class CCountedViewer : public CTarvoMainWnd
{
public:
    ~CCountedViewer() override { ++s_nDeleted; }
    static int s_nDeleted;
};
int CCountedViewer::s_nDeleted = 0;

class ViewerDisplayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CCountedViewer;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        ASSERT_NE(nullptr, m_pViewer->m_pfnUpdateLayeredWindow);
        SLayeredSpy::Install(m_pViewer);
        ASSERT_TRUE(WaitForRedraw());
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    bool WaitForRedraw()
    {
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending; });
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerDisplayTest, StartsCentredOnTheWorkAreaShowingTheStartPicture)
{
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(240, rc.right - rc.left);
    EXPECT_EQ(167, rc.bottom - rc.top);
    EXPECT_EQ(rcWork.left + (rcWork.right - rcWork.left - 240) / 2, rc.left);
    EXPECT_EQ(rcWork.top + (rcWork.bottom - rcWork.top - 167) / 2, rc.top);

    const LONG lExStyle = ::GetWindowLongW(m_hWnd, GWL_EXSTYLE);
    EXPECT_TRUE(lExStyle & WS_EX_LAYERED);
    EXPECT_FALSE(lExStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(lExStyle & WS_EX_APPWINDOW);
    EXPECT_TRUE(lExStyle & WS_EX_ACCEPTFILES);
    EXPECT_TRUE(::IsWindowVisible(m_hWnd));
    wchar_t szText[32] = {}, szClass[32] = {};
    ::GetWindowTextW(m_hWnd, szText, 32);
    ::GetClassNameW(m_hWnd, szClass, 32);
    EXPECT_STREQ(L"Pictaro", szText);
    EXPECT_STREQ(L"Tarvo", szClass);
    EXPECT_FALSE(::GetClassLongW(m_hWnd, GCL_STYLE) & CS_DBLCLKS);

    EXPECT_EQ(1, SLayeredSpy::s_nCalls);
    EXPECT_EQ(rc.left, SLayeredSpy::s_ptDest.x);
    EXPECT_EQ(rc.top, SLayeredSpy::s_ptDest.y);
    EXPECT_EQ(240, SLayeredSpy::s_size.cx);
    EXPECT_EQ(167, SLayeredSpy::s_size.cy);
    EXPECT_EQ(254, SLayeredSpy::s_blend.SourceConstantAlpha);
    EXPECT_EQ(AC_SRC_ALPHA, SLayeredSpy::s_blend.AlphaFormat);
    EXPECT_EQ(static_cast<DWORD>(ULW_ALPHA), SLayeredSpy::s_dwFlags);
    EXPECT_FALSE(m_pViewer->m_bUpdateTimer) << "the redraw timer is a one-shot";

    const CPixels expected = LoadResourcePixels(IDB_START);
    const CPixels& buffer = SLayeredSpy::s_buffer;
    ASSERT_EQ(240, buffer.cx);
    ASSERT_EQ(167, buffer.cy);
    const RECT rcLink = {150, 150, 238, 165}; // the feedback link lies over the picture there
    for (int y = 0; y < 167; ++y)
    {
        for (int x = 0; x < 240; ++x)
        {
            if (::PtInRect(&rcLink, POINT{x, y}))
                continue;
            ASSERT_EQ(expected.At(x, y) | 0xFF000000u, buffer.At(x, y)) << "at " << x << "," << y;
        }
    }
}

TEST_F(ViewerDisplayTest, UnreadablePlaceholderDrawsNothing)
{
    const int nCalls = SLayeredSpy::s_nCalls;
    m_pViewer->ShowPlaceholder(999);
    ASSERT_NE(nullptr, m_pViewer->m_pPicture);
    EXPECT_EQ(0u, m_pViewer->m_pPicture->GetWidth());
    ASSERT_TRUE(WaitForRedraw());
    EXPECT_EQ(nCalls, SLayeredSpy::s_nCalls) << "nothing to push";
    EXPECT_FALSE(m_pViewer->m_bUpdateTimer) << "and no redraw tried again and again";
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(240, rc.right - rc.left) << "the last frame stays";
    EXPECT_EQ(167, rc.bottom - rc.top);

    m_pViewer->ShowPlaceholder(IDB_START);
    ASSERT_TRUE(WaitForRedraw());
    EXPECT_EQ(240, WindowRect(m_hWnd).right - WindowRect(m_hWnd).left) << "the viewer recovers";
}

TEST_F(ViewerDisplayTest, RedrawIsDeferredAndKeepsTheTopLeftCorner)
{
    ::SetWindowPos(m_hWnd, nullptr, 100, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    m_pViewer->ShowPlaceholder(IDB_START);
    m_pViewer->ShowPlaceholder(IDB_START);
    m_pViewer->ShowPlaceholder(IDB_FAILED);
    EXPECT_EQ(1, SLayeredSpy::s_nCalls) << "nothing is pushed before the timer fires";
    ASSERT_TRUE(WaitForRedraw());
    EXPECT_EQ(2, SLayeredSpy::s_nCalls) << "several changes, one update";
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ((RECT{100, 120, 340, 270}).left, rc.left);
    EXPECT_EQ(120, rc.top);
    EXPECT_EQ(340, rc.right);
    EXPECT_EQ(270, rc.bottom);
    EXPECT_EQ(150, SLayeredSpy::s_size.cy);
    PumpFor(100);
    EXPECT_EQ(2, SLayeredSpy::s_nCalls) << "the timer does not fire again";
}

TEST_F(ViewerDisplayTest, NothingIsPaintedOnWmPaint)
{
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    ::SendMessageW(m_hWnd, WM_PAINT, 0, 0);
    PumpFor(50);
    EXPECT_EQ(1, SLayeredSpy::s_nCalls);
}

TEST_F(ViewerDisplayTest, EveryRedrawAppliesTheTopmostChoice)
{
    m_pViewer->m_bTopMost = TRUE;
    m_pViewer->ShowPlaceholder(IDB_FAILED);
    ASSERT_TRUE(WaitForRedraw());
    EXPECT_TRUE(::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);

    m_pViewer->m_bTopMost = FALSE;
    m_pViewer->ShowPlaceholder(IDB_START);
    ASSERT_TRUE(WaitForRedraw());
    EXPECT_FALSE(::GetWindowLongW(m_hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
}

TEST_F(ViewerDisplayTest, LayeredBufferHoldsPremultipliedAlpha)
{
    // A 3 x 1 picture: opaque, half transparent and fully transparent pixels.
    auto* pPicture = new Gdiplus::Bitmap(3, 1, PixelFormat32bppARGB);
    pPicture->SetPixel(0, 0, Gdiplus::Color(255, 200, 100, 50));
    pPicture->SetPixel(1, 0, Gdiplus::Color(128, 200, 100, 50));
    pPicture->SetPixel(2, 0, Gdiplus::Color(0, 200, 100, 50));
    delete m_pViewer->m_pPicture;
    m_pViewer->m_pPicture = pPicture;
    m_pViewer->m_bRedrawPending = TRUE;
    m_pViewer->Redraw(TRUE);

    const CPixels& buffer = SLayeredSpy::s_buffer;
    ASSERT_EQ(3, buffer.cx);
    EXPECT_EQ(0xFFC86432u, buffer.At(0, 0));
    EXPECT_EQ(128, Alpha(buffer.At(1, 0)));
    EXPECT_NEAR(100, Red(buffer.At(1, 0)), 1);
    EXPECT_NEAR(50, Green(buffer.At(1, 0)), 1);
    EXPECT_NEAR(25, Blue(buffer.At(1, 0)), 1);
    EXPECT_EQ(0u, buffer.At(2, 0));
    EXPECT_EQ(3, WindowRect(m_hWnd).right - WindowRect(m_hWnd).left);
}

TEST_F(ViewerDisplayTest, ViewerDeletesItselfWhenItsWindowGoes)
{
    CCountedViewer::s_nDeleted = 0;
    ::DestroyWindow(m_hWnd);
    EXPECT_EQ(1, CCountedViewer::s_nDeleted);
}
