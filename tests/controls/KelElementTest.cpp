#include "controls/KelElement.h"
#include "draw/Decode.h"
#include "draw/RoMemDC.h"
#include "res/resource.h"
#include "tests/support/LayeredSpy.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <memory>

using namespace TestSupport;

namespace
{
class KelElementTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
        SLayeredSpy::Install(m_pViewer);
        m_pElement = m_pViewer->m_pElement;
        ASSERT_NE(nullptr, m_pElement);
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
        CKelElement::s_bTracking = FALSE;
    }
    LRESULT Send(UINT message, int x, int y)
    {
        return ::SendMessageW(m_hWnd, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(x, y));
    }
    // What the viewer's picture with the element over it looks like now.
    CPixels Frame()
    {
        const RECT rc = {0, 0, static_cast<LONG>(m_pViewer->m_pPicture->GetWidth()),
                         static_cast<LONG>(m_pViewer->m_pPicture->GetHeight())};
        CClientDC dcWindow(m_hWnd);
        KelDraw::CRoMemDC dcBuffer(dcWindow.m_hDC, &rc, TRUE);
        m_pViewer->DrawPicture(&dcBuffer);
        CPixels pixels = ReadSelectedBitmap(dcBuffer.m_hDC);
        dcBuffer.Discard();
        return pixels;
    }
    // True when the link area of the frame shows the "PNG" resource nID.
    bool ShowsImage(const CPixels& frame, UINT nID)
    {
        std::unique_ptr<Gdiplus::Bitmap> pImage(KelDraw::LoadPngResource(nID));
        for (int y = 0; y < 15; ++y)
            for (int x = 0; x < 88; ++x)
            {
                Gdiplus::Color color;
                pImage->GetPixel(x, y, &color);
                if ((frame.At(150 + x, 150 + y) & 0xFFFFFF) != (color.GetValue() & 0xFFFFFF))
                    return false;
            }
        return true;
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    CKelElement* m_pElement = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(KelElementTest, SitsInTheCornerOfTheStartPicture)
{
    EXPECT_EQ(150, m_pElement->m_rcBounds.left);
    EXPECT_EQ(150, m_pElement->m_rcBounds.top);
    EXPECT_EQ(238, m_pElement->m_rcBounds.right);
    EXPECT_EQ(165, m_pElement->m_rcBounds.bottom);
    EXPECT_EQ(CTarvoMainWnd::ID_ELEMENT, m_pElement->m_nID);
    EXPECT_TRUE(m_pElement->m_bVisible);
    EXPECT_TRUE(ShowsImage(Frame(), IDR_PNG_LINK));
}

TEST_F(KelElementTest, FollowsTheMouseAsATableOfStates)
{
    // x = 238 and y = 165 lie outside: the rectangle is half open.
    struct SStep
    {
        UINT nMessage;
        int x, y;
        int nState;
        int nRedraws; // layered updates this step causes
        bool bTaken;  // the viewer's own handling does not run
    } const steps[] = {
        {WM_MOUSEMOVE, 160, 155, CKelElement::STATE_HOVER, 1, false},
        {WM_MOUSEMOVE, 170, 160, CKelElement::STATE_HOVER, 0, false},
        {WM_MOUSEMOVE, 238, 155, CKelElement::STATE_NORMAL, 1, false},
        {WM_MOUSEMOVE, 150, 150, CKelElement::STATE_HOVER, 1, false},
        {WM_MOUSEMOVE, 160, 165, CKelElement::STATE_NORMAL, 1, false},
        {WM_MOUSEMOVE, 237, 164, CKelElement::STATE_HOVER, 1, false},
        {WM_LBUTTONDOWN, 200, 157, CKelElement::STATE_PRESSED, 0, true},
        {WM_MOUSEMOVE, 100, 100, CKelElement::STATE_NORMAL, 1, false},
        {WM_LBUTTONUP, 100, 100, CKelElement::STATE_NORMAL, 0, false},
        {WM_MOUSELEAVE, 0, 0, CKelElement::STATE_NORMAL, 1, false},
    };
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(testing::Message() << "message " << step.nMessage << " at " << step.x << "," << step.y);
        const int nCallsBefore = SLayeredSpy::s_nCalls;
        const LRESULT lResult = Send(step.nMessage, step.x, step.y);
        EXPECT_EQ(step.nState, m_pElement->m_nState);
        EXPECT_EQ(step.nRedraws, SLayeredSpy::s_nCalls - nCallsBefore);
        if (step.bTaken)
        {
            EXPECT_EQ(1, lResult);
            EXPECT_FALSE(m_pViewer->m_bClickTimer) << "a press on the link is no click of the viewer";
            EXPECT_EQ(m_hWnd, ::GetCapture());
        }
    }
    EXPECT_EQ(nullptr, ::GetCapture());
    EXPECT_FALSE(CKelElement::s_bTracking);
}

TEST_F(KelElementTest, DrawsTheImageOfItsState)
{
    Send(WM_MOUSEMOVE, 160, 155);
    EXPECT_TRUE(ShowsImage(Frame(), IDR_PNG_LINK_HOVER));
    EXPECT_TRUE(ShowsImage(SLayeredSpy::s_buffer, IDR_PNG_LINK_HOVER)) << "the redraw pushed the hover image";

    Send(WM_LBUTTONDOWN, 160, 155);
    const CPixels pressed = Frame();
    const CPixels start = LoadResourcePixels(IDB_START);
    EXPECT_EQ(start.At(160, 155) & 0xFFFFFF, pressed.At(160, 155) & 0xFFFFFF) << "the pressed state draws nothing";
    ::ReleaseCapture();
}

TEST_F(KelElementTest, HiddenElementLetsEveryMessageThroughAndForgetsTracking)
{
    m_pElement->m_bVisible = FALSE;
    CKelElement::s_bTracking = TRUE;
    Send(WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(CKelElement::s_bTracking) << "a leave while hidden must not leave the request pending";

    Send(WM_MOUSEMOVE, 160, 155);
    EXPECT_EQ(CKelElement::STATE_NORMAL, m_pElement->m_nState);
    EXPECT_FALSE(ShowsImage(Frame(), IDR_PNG_LINK));
    EXPECT_FALSE(ShowsImage(Frame(), IDR_PNG_LINK_HOVER));

    // A press there is the viewer's own: it starts the click window.
    ::PostMessageW(m_hWnd, WM_LBUTTONUP, 0, MAKELPARAM(160, 155)); // ends the move loop at once
    Send(WM_LBUTTONDOWN, 160, 155);
    EXPECT_TRUE(m_pViewer->m_bClickTimer);
}

TEST_F(KelElementTest, FailurePictureLeavesTheElementOutOfReach)
{
    m_pViewer->ShowPlaceholder(IDB_FAILED);
    ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    EXPECT_TRUE(m_pElement->m_bVisible);
    RECT rcClient;
    ::GetClientRect(m_hWnd, &rcClient);
    EXPECT_EQ(150, rcClient.bottom);
    EXPECT_GE(m_pElement->m_rcBounds.top, rcClient.bottom) << "its rows lie below the window";
}

TEST_F(KelElementTest, HandCursorOnlyOverTheElement)
{
    RECT rcWindow;
    ::GetWindowRect(m_hWnd, &rcWindow);
    ::SetCursorPos(rcWindow.left + 160, rcWindow.top + 155);
    ::SendMessageW(m_hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), ::GetCursor());

    ::SetCursorPos(rcWindow.left + 40, rcWindow.top + 40);
    ::SendMessageW(m_hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(::LoadCursorW(nullptr, IDC_ARROW), ::GetCursor());
}

TEST_F(KelElementTest, HiddenWhileAFileIsShownAndBackWithThePlaceholders)
{
    const std::wstring strPath = SourcePath(L"tests\\pictures\\bmp24.bmp");
    m_pViewer->OnElemSelect(0, L"bmp24.bmp", strPath.c_str(), FALSE);
    EXPECT_FALSE(m_pElement->m_bVisible);
    ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    EXPECT_FALSE(m_pElement->HandleMessage(WM_LBUTTONDOWN, MAKELPARAM(160, 155), nullptr));

    m_pViewer->OnElemSelect(-1, nullptr, nullptr, FALSE);
    EXPECT_TRUE(m_pElement->m_bVisible);
    ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    EXPECT_TRUE(ShowsImage(Frame(), IDR_PNG_LINK));
}
