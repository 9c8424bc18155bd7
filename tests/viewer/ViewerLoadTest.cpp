#include "controls/KelElement.h"
#include "draw/DibPicture.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "tests/support/TestSupport.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdlib>

using namespace TestSupport;

namespace
{
// Counts the viewer's layered updates and keeps the last buffer, passing
// every update on to the platform.
struct SPushSpy
{
    static CTarvoMainWnd::PFNUPDATELAYEREDWINDOW s_pfnReal;
    static int s_nCalls;
    static CPixels s_buffer;

    // Updates to refuse: the window loses its layered style just before them,
    // and the platform turns such an update down.
    static int s_nToRefuse;

    static BOOL WINAPI Update(HWND hWnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                              COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags)
    {
        ++s_nCalls;
        s_buffer = ReadSelectedBitmap(hdcSrc);
        if (s_nToRefuse > 0)
        {
            --s_nToRefuse;
            ::SetWindowLongW(hWnd, GWL_EXSTYLE, ::GetWindowLongW(hWnd, GWL_EXSTYLE) & ~WS_EX_LAYERED);
        }
        return s_pfnReal(hWnd, hdcDst, pptDst, psize, hdcSrc, pptSrc, crKey, pblend, dwFlags);
    }
};
CTarvoMainWnd::PFNUPDATELAYEREDWINDOW SPushSpy::s_pfnReal = nullptr;
int SPushSpy::s_nCalls = 0;
CPixels SPushSpy::s_buffer;
int SPushSpy::s_nToRefuse = 0;

const wchar_t kLoadFailed[] = L"加载失败。请拖入图片文件。";
const COLORREF kBackground = RGB(30, 160, 90);

// The 13 x 7 pattern of tests/pictures/png32-alpha.png.
struct SRgba
{
    int r, g, b, a;
};
SRgba PatternAt(int x, int y)
{
    static const int s_nAlphas[] = {0, 1, 64, 128, 254, 255};
    return {(x * 19 + 7) & 255, (y * 37 + 11) & 255, ((x * 7 + y * 29) * 3) & 255, s_nAlphas[(x + 2 * y) % 6]};
}

std::wstring Picture(const wchar_t* pszName)
{
    return SourcePath(std::wstring(L"tests\\pictures\\") + pszName);
}

// A plain window of one colour for the viewer to stand over.
class CBackdrop
{
public:
    explicit CBackdrop(const RECT& rc)
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hbrBackground = m_hBrush = ::CreateSolidBrush(kBackground);
        wc.lpszClassName = L"PictaroTestBackdrop";
        ::RegisterClassW(&wc);
        m_hWnd = ::CreateWindowExW(WS_EX_NOACTIVATE, wc.lpszClassName, L"", WS_POPUP, rc.left, rc.top,
                                   rc.right - rc.left, rc.bottom - rc.top, nullptr, nullptr, wc.hInstance, nullptr);
        ::SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ::UpdateWindow(m_hWnd);
    }
    ~CBackdrop()
    {
        ::DestroyWindow(m_hWnd);
        ::UnregisterClassW(L"PictaroTestBackdrop", ::GetModuleHandleW(nullptr));
        ::DeleteObject(m_hBrush);
    }
    CBackdrop(const CBackdrop&) = delete;
    CBackdrop& operator=(const CBackdrop&) = delete;

    HWND m_hWnd;

private:
    HBRUSH m_hBrush;
};

class ViewerLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SPushSpy::s_nCalls = 0;
        SPushSpy::s_nToRefuse = 0;
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        SPushSpy::s_pfnReal = m_pViewer->m_pfnUpdateLayeredWindow;
        m_pViewer->m_pfnUpdateLayeredWindow = SPushSpy::Update;
        ASSERT_TRUE(WaitShown());
        ::SetWindowPos(m_hWnd, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    // The redraw has come and shown the viewer.
    bool WaitShown()
    {
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending && ::IsWindowVisible(m_hWnd); }, 20000);
    }
    // A choice, shown to the end.
    ::testing::AssertionResult Choose(int nIndex, const std::wstring& strPath, BOOL bReload = FALSE)
    {
        if (!m_pViewer->OnElemSelect(nIndex, L"name", strPath.c_str(), bReload))
            return ::testing::AssertionFailure() << "OnElemSelect gave FALSE";
        if (!WaitShown())
            return ::testing::AssertionFailure() << "the viewer did not come back";
        return ::testing::AssertionSuccess();
    }
    // The failure placeholder after the message, at the corner the viewer had.
    void ExpectFailureShown(size_t nBoxes)
    {
        ASSERT_EQ(nBoxes, m_watcher.m_vecBoxes.size());
        const CMessageBoxWatcher::SBox& box = m_watcher.m_vecBoxes.back();
        EXPECT_EQ(kLoadFailed, box.strText);
        EXPECT_STREQ(AfxGetAppName(), box.strCaption.c_str());
        EXPECT_EQ(m_hWnd, box.hOwner);
        const RECT rc = WindowRect(m_hWnd);
        EXPECT_EQ(200, rc.left);
        EXPECT_EQ(150, rc.top);
        EXPECT_EQ(240, rc.right - rc.left);
        EXPECT_EQ(150, rc.bottom - rc.top);
        EXPECT_TRUE(m_pViewer->m_strCurPath.empty());
        EXPECT_FALSE(m_pViewer->m_bUpdateTimer);
        const CPixels failed = LoadResourcePixels(IDB_FAILED);
        ASSERT_EQ(240, SPushSpy::s_buffer.cx);
        EXPECT_EQ(failed.At(120, 75) | 0xFF000000u, SPushSpy::s_buffer.At(120, 75));
    }

    CMessageBoxWatcher m_watcher; // answers any box, so none can block a test
    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerLoadTest, AChosenPictureShowsAtItsSizeAndCornerWithWhatIsBehindThroughIt)
{
    CBackdrop backdrop(RECT{180, 130, 280, 200});
    // Mapped again, the viewer lies over the backdrop on the screen too: with
    // no window manager, Wine restacks a window in X only when it maps it.
    ::ShowWindow(m_hWnd, SW_HIDE);
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    const std::wstring strPath = Picture(L"png32-alpha.png");
    const int nCallsBefore = SPushSpy::s_nCalls;

    ASSERT_TRUE(m_pViewer->OnElemSelect(4, L"png32-alpha.png", strPath.c_str(), FALSE));
    EXPECT_TRUE(::IsWindowVisible(m_hWnd)) << "the last picture stays up until the new one is pushed";
    EXPECT_TRUE(m_pViewer->m_bUpdateTimer);
    EXPECT_FALSE(m_pViewer->m_pElement->m_bVisible);
    EXPECT_EQ(4, m_pViewer->m_nCurIndex);
    EXPECT_EQ(strPath, m_pViewer->m_strCurPath);
    ASSERT_TRUE(WaitShown());

    EXPECT_EQ(nCallsBefore + 1, SPushSpy::s_nCalls);
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(200, rc.left);
    EXPECT_EQ(150, rc.top);
    EXPECT_EQ(13, rc.right - rc.left);
    EXPECT_EQ(7, rc.bottom - rc.top);

    // The buffer holds the picture premultiplied, nothing else drawn over it.
    const CPixels& buffer = SPushSpy::s_buffer;
    ASSERT_EQ(13, buffer.cx);
    ASSERT_EQ(7, buffer.cy);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
        {
            const SRgba p = PatternAt(x, y);
            const uint32_t argb = buffer.At(x, y);
            ASSERT_EQ(p.a, Alpha(argb)) << x << "," << y;
            ASSERT_NEAR(p.r * p.a / 255, Red(argb), 1) << x << "," << y;
            ASSERT_NEAR(p.g * p.a / 255, Green(argb), 1) << x << "," << y;
            ASSERT_NEAR(p.b * p.a / 255, Blue(argb), 1) << x << "," << y;
        }

    // On screen: the backdrop through transparent pixels, opaque ones at
    // 254/255. The display may lag behind the update a little.
    CPixels screen;
    const SRgba opaque = PatternAt(5, 0);
    PumpUntil([&] {
        screen = ScreenShot(rc);
        return screen.cx == 13 && screen.cy == 7 && std::abs(Red(screen.At(5, 0)) - opaque.r * 254 / 255) <= 1 &&
               Green(screen.At(0, 0)) == GetGValue(kBackground);
    }, 20000);
    ASSERT_EQ(13, screen.cx);
    ASSERT_EQ(7, screen.cy);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x)
        {
            const SRgba p = PatternAt(x, y);
            const uint32_t argb = screen.At(x, y);
            if (p.a == 0)
            {
                EXPECT_EQ(GetRValue(kBackground), Red(argb)) << x << "," << y;
                EXPECT_EQ(GetGValue(kBackground), Green(argb)) << x << "," << y;
                EXPECT_EQ(GetBValue(kBackground), Blue(argb)) << x << "," << y;
            }
            else if (p.a == 255)
            {
                EXPECT_NEAR(p.r * 254 / 255, Red(argb), 1) << x << "," << y;
                EXPECT_NEAR(p.g * 254 / 255, Green(argb), 1) << x << "," << y;
                EXPECT_NEAR(p.b * 254 / 255, Blue(argb), 1) << x << "," << y;
            }
        }
}

TEST_F(ViewerLoadTest, ARepeatedChoiceIsSkippedUnlessReloadedOrSpelledOtherwise)
{
    ASSERT_TRUE(Choose(0, Picture(L"png32-alpha.png")));
    std::wstring strOtherCase = Picture(L"PNG32-ALPHA.PNG");
    struct SCase
    {
        const char* pszWhat;
        std::wstring strPath;
        BOOL bReload;
        bool bLoads;
    } const cases[] = {
        {"the same path", Picture(L"png32-alpha.png"), FALSE, false},
        {"the same path, reloaded", Picture(L"png32-alpha.png"), TRUE, true},
        {"the same file in other letter case", strOtherCase, FALSE, true},
        {"that spelling again", strOtherCase, FALSE, false},
    };
    int nIndex = 0;
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        const int nCallsBefore = SPushSpy::s_nCalls;
        ASSERT_TRUE(m_pViewer->OnElemSelect(++nIndex, L"name", test.strPath.c_str(), test.bReload));
        EXPECT_EQ(nIndex, m_pViewer->m_nCurIndex) << "the index follows every choice";
        EXPECT_EQ(test.bLoads, m_pViewer->m_bRedrawPending != FALSE);
        ASSERT_TRUE(WaitShown());
        PumpFor(50);
        EXPECT_EQ(nCallsBefore + (test.bLoads ? 1 : 0), SPushSpy::s_nCalls);
        EXPECT_EQ(test.strPath, m_pViewer->m_strCurPath);
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(ViewerLoadTest, APictureOfTheSizeOfTheOneLeftIsReadIntoItsMemory)
{
    // Nothing in a strip wants the picture left, so its memory is free to take.
    CTempFolder folder;
    struct SCase
    {
        const wchar_t* pszName;
        int cx, cy;
        uint32_t argb;
        bool bSameMemory;
    } const cases[] = {
        {L"first.png", 64, 48, 0xFFC81E3Cu, false},
        {L"same-size.png", 64, 48, 0xFF1E3CC8u, true},
        {L"turned.png", 48, 64, 0xFF3CC81Eu, false},
        {L"same-again.png", 48, 64, 0xFFC8C81Eu, true},
    };
    void* pLeft = nullptr;
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(test.pszName)));
        const std::wstring strPath = folder.Path(test.pszName);
        Gdiplus::Bitmap picture(test.cx, test.cy, PixelFormat32bppARGB);
        for (int y = 0; y < test.cy; ++y)
            for (int x = 0; x < test.cx; ++x)
                picture.SetPixel(x, y, Gdiplus::Color(test.argb));
        ASSERT_TRUE(SavePng(&picture, strPath));
        ASSERT_TRUE(Choose(0, strPath));
        auto* pShown = dynamic_cast<KelDraw::CDibPicture*>(m_pViewer->m_pPicture);
        ASSERT_NE(nullptr, pShown);
        if (test.bSameMemory)
        {
            EXPECT_EQ(pLeft, pShown->Bits());
        }
        EXPECT_EQ(test.cx, SPushSpy::s_buffer.cx);
        EXPECT_EQ(test.argb, SPushSpy::s_buffer.At(test.cx / 2, test.cy / 2));
        EXPECT_EQ(test.argb, SPushSpy::s_buffer.At(test.cx - 1, test.cy - 1));
        pLeft = pShown->Bits();
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(ViewerLoadTest, ANullPathGoesBackToTheStartPicture)
{
    ASSERT_TRUE(Choose(2, Picture(L"bmp24.bmp")));
    ASSERT_TRUE(m_pViewer->OnElemSelect(-1, nullptr, nullptr, FALSE));
    EXPECT_EQ(-1, m_pViewer->m_nCurIndex);
    EXPECT_TRUE(m_pViewer->m_strCurPath.empty());
    EXPECT_TRUE(m_pViewer->m_pElement->m_bVisible);
    ASSERT_TRUE(WaitShown());
    const RECT rc = WindowRect(m_hWnd);
    EXPECT_EQ(200, rc.left);
    EXPECT_EQ(150, rc.top);
    EXPECT_EQ(240, rc.right - rc.left);
    EXPECT_EQ(167, rc.bottom - rc.top);
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(ViewerLoadTest, AFileThatIsNoPictureIsToldThenTheFailurePictureShows)
{
    CTempFolder folder;
    const std::wstring strGone = folder.Write(L"gone.png", ReadFileBytes(Picture(L"png32-alpha.png")));
    ASSERT_TRUE(Choose(0, strGone));
    ASSERT_TRUE(::DeleteFileW(strGone.c_str())) << "the shown file is not held open";

    struct SCase
    {
        const char* pszWhat;
        std::wstring strPath;
        BOOL bReload;
    } const cases[] = {
        {"the shown file, deleted, reloaded", strGone, TRUE},
        {"text named .png", Picture(L"not-a-picture.png"), FALSE},
        {"the same again: tried again", Picture(L"not-a-picture.png"), FALSE},
        {"an empty file", folder.Write(L"empty.jpg", ""), FALSE},
        {"a folder", folder.m_strPath, FALSE},
    };
    size_t nBoxes = 0;
    for (const SCase& test : cases)
    {
        SCOPED_TRACE(test.pszWhat);
        ASSERT_TRUE(Choose(7, test.strPath, test.bReload));
        EXPECT_EQ(7, m_pViewer->m_nCurIndex);
        ExpectFailureShown(++nBoxes);
    }
    EXPECT_FALSE(m_pViewer->LoadPicture(Picture(L"not-a-picture.png").c_str(), TRUE));
    ASSERT_TRUE(WaitShown());
}

TEST_F(ViewerLoadTest, APictureTooLargeToShowIsALoadFailureNotAVanishedViewer)
{
    // A one-bit picture decodes into 72 MB, but its layered buffer would
    // need 32 bits a pixel, 2.3 GB, more than GDI sizes a bitmap for on any
    // architecture: the redraw finds out.
    CTempFolder folder;
    const std::wstring strPath = folder.Path(L"huge.png");
    {
        Gdiplus::Bitmap huge(24000, 24000, PixelFormat1bppIndexed);
        ASSERT_EQ(Gdiplus::Ok, huge.GetLastStatus());
        ASSERT_TRUE(SavePng(&huge, strPath));
    }
    ASSERT_TRUE(Choose(1, strPath));
    ExpectFailureShown(1);
    EXPECT_EQ(1, m_pViewer->m_nCurIndex);

    // Chosen again, it is tried again.
    ASSERT_TRUE(Choose(1, strPath));
    ExpectFailureShown(2);
}

TEST_F(ViewerLoadTest, AnUpdateThePlatformRefusesIsALoadFailure)
{
    SPushSpy::s_nToRefuse = 1;
    ASSERT_TRUE(Choose(2, Picture(L"png32-alpha.png")));
    ExpectFailureShown(1);
    EXPECT_FALSE(m_pViewer->m_bUpdateTimer);
}
