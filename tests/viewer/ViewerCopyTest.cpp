#include "viewer/TarvoMainWnd.h"

#include "framework/OleDropTarget.h"
#include "tests/support/RealInput.h"
#include "tests/support/TestSupport.h"

#include <gdiplus.h>
#include <gtest/gtest.h>
#include <shellapi.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
// A picture's pixels as 0xAARRGGBB with straight alpha, top row first.
struct SPixels
{
    int cx = 0;
    int cy = 0;
    std::vector<uint32_t> argb;
};

// The clipboard, open for reading while it lives.
class CClipboardReader
{
public:
    CClipboardReader() : m_bOpen(::OpenClipboard(nullptr) != FALSE) {}
    ~CClipboardReader()
    {
        if (m_bOpen)
            ::CloseClipboard();
    }
    CClipboardReader(const CClipboardReader&) = delete;
    CClipboardReader& operator=(const CClipboardReader&) = delete;

    bool m_bOpen;
};

std::vector<UINT> ClipboardFormats()
{
    std::vector<UINT> vecFormats;
    CClipboardReader reader;
    for (UINT nFormat = ::EnumClipboardFormats(0); nFormat; nFormat = ::EnumClipboardFormats(nFormat))
        vecFormats.push_back(nFormat);
    return vecFormats;
}

bool Has(const std::vector<UINT>& vecFormats, UINT nFormat)
{
    return std::find(vecFormats.begin(), vecFormats.end(), nFormat) != vecFormats.end();
}

// The CF_DIBV5 on the clipboard, read as its header says.
::testing::AssertionResult ReadDibV5(SPixels* pPixels)
{
    CClipboardReader reader;
    const CGlobalLock lock(::GetClipboardData(CF_DIBV5));
    const auto* pHeader = static_cast<const BITMAPV5HEADER*>(lock.Get());
    if (!pHeader || lock.GetSize() < sizeof(BITMAPV5HEADER))
        return ::testing::AssertionFailure() << "no CF_DIBV5";
    if (pHeader->bV5Size != sizeof(BITMAPV5HEADER) || pHeader->bV5BitCount != 32 ||
        pHeader->bV5Compression != BI_BITFIELDS || pHeader->bV5RedMask != 0x00FF0000 ||
        pHeader->bV5GreenMask != 0x0000FF00 || pHeader->bV5BlueMask != 0x000000FF ||
        pHeader->bV5AlphaMask != 0xFF000000 || pHeader->bV5Height <= 0 || pHeader->bV5Width <= 0)
        return ::testing::AssertionFailure() << "not a bottom-up 32-bit DIB with alpha in its top byte";
    pPixels->cx = pHeader->bV5Width;
    pPixels->cy = pHeader->bV5Height;
    const size_t cbRow = static_cast<size_t>(pPixels->cx) * 4;
    if (lock.GetSize() < sizeof(BITMAPV5HEADER) + cbRow * pPixels->cy)
        return ::testing::AssertionFailure() << "the block is shorter than its pixels";
    const auto* pRows = reinterpret_cast<const BYTE*>(pHeader + 1);
    pPixels->argb.resize(static_cast<size_t>(pPixels->cx) * pPixels->cy);
    for (int y = 0; y < pPixels->cy; ++y)
        std::memcpy(&pPixels->argb[static_cast<size_t>(y) * pPixels->cx], pRows + cbRow * (pPixels->cy - 1 - y), cbRow);
    return ::testing::AssertionSuccess();
}

// The "PNG" on the clipboard, decoded by GDI+.
::testing::AssertionResult ReadPng(SPixels* pPixels)
{
    std::string strBytes;
    {
        CClipboardReader reader;
        const CGlobalLock lock(::GetClipboardData(::RegisterClipboardFormatW(L"PNG")));
        if (!lock.Get())
            return ::testing::AssertionFailure() << "no PNG";
        strBytes.assign(static_cast<const char*>(lock.Get()), lock.GetSize());
    }
    if (strBytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0)
        return ::testing::AssertionFailure() << "not the bytes of a PNG file";
    HGLOBAL hCopy = ::GlobalAlloc(GMEM_MOVEABLE, strBytes.size());
    std::memcpy(::GlobalLock(hCopy), strBytes.data(), strBytes.size());
    ::GlobalUnlock(hCopy);
    IStream* pStream = nullptr;
    ::CreateStreamOnHGlobal(hCopy, TRUE, &pStream);
    Gdiplus::Bitmap picture(pStream);
    pStream->Release();
    if (picture.GetLastStatus() != Gdiplus::Ok)
        return ::testing::AssertionFailure() << "GDI+ cannot decode it";
    pPixels->cx = static_cast<int>(picture.GetWidth());
    pPixels->cy = static_cast<int>(picture.GetHeight());
    pPixels->argb.resize(static_cast<size_t>(pPixels->cx) * pPixels->cy);
    Gdiplus::BitmapData data = {};
    data.Width = pPixels->cx;
    data.Height = pPixels->cy;
    data.Stride = pPixels->cx * 4;
    data.PixelFormat = PixelFormat32bppARGB;
    data.Scan0 = pPixels->argb.data();
    Gdiplus::Rect rc(0, 0, pPixels->cx, pPixels->cy);
    if (picture.LockBits(&rc, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, PixelFormat32bppARGB,
                         &data) != Gdiplus::Ok)
        return ::testing::AssertionFailure() << "its pixels cannot be read";
    picture.UnlockBits(&data);
    return ::testing::AssertionSuccess();
}

std::vector<std::wstring> ReadFileList()
{
    std::vector<std::wstring> vecFiles;
    CClipboardReader reader;
    const auto hDrop = static_cast<HDROP>(::GetClipboardData(CF_HDROP));
    if (!hDrop)
        return vecFiles;
    const UINT nFiles = ::DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < nFiles; ++i)
    {
        std::wstring strName(::DragQueryFileW(hDrop, i, nullptr, 0) + 1, L'\0');
        strName.resize(::DragQueryFileW(hDrop, i, &strName[0], static_cast<UINT>(strName.size())));
        vecFiles.push_back(strName);
    }
    return vecFiles;
}

void PutText(const wchar_t* pszText)
{
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    const size_t cb = (wcslen(pszText) + 1) * sizeof(wchar_t);
    HGLOBAL hText = ::GlobalAlloc(GMEM_MOVEABLE, cb);
    std::memcpy(::GlobalLock(hText), pszText, cb);
    ::GlobalUnlock(hText);
    ::SetClipboardData(CF_UNICODETEXT, hText);
    ::CloseClipboard();
}

bool Near(uint32_t a, uint32_t b, int nTolerance)
{
    for (int nShift = 0; nShift < 32; nShift += 8)
        if (std::abs(static_cast<int>((a >> nShift) & 0xFF) - static_cast<int>((b >> nShift) & 0xFF)) > nTolerance)
            return false;
    return true;
}

class ViewerCopyTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        ASSERT_TRUE(PumpUntil([this] { return !m_pViewer->m_bRedrawPending; }));
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    bool Show(const wchar_t* pszPath)
    {
        CMessageBoxWatcher watcher;
        m_pViewer->OnElemSelect(0, L"", pszPath, TRUE);
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending; });
    }
    // The keys pressed for real, with the viewer focused; done when the last
    // key's release has reached it.
    bool Press(const std::vector<WORD>& vecVk)
    {
        ::SetForegroundWindow(m_hWnd);
        ::SetFocus(m_hWnd);
        if (!PumpUntil([this] { return ::GetFocus() == m_hWnd; }, 5000, m_pViewer))
            return false;
        RealInput::CMessageSpy spy(m_hWnd, {WM_KEYUP});
        RealInput::PressKeys(vecVk);
        return PumpUntil([&] { return spy.Count(WM_KEYUP, vecVk.front()) > 0; }, 5000, m_pViewer);
    }

    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(ViewerCopyTest, CtrlCPutsThePictureAtNaturalSizeAndTheFileOnTheClipboard)
{
    // Opaque, clear and half-clear pixels; PNG and the DIB carry straight alpha.
    const uint32_t source[] = {
        0xFFC81E3C, 0xFF1EA03C, 0xFF2838C8, 0x00000000,
        0x80C86432, 0x40FFFFFF, 0xFF000000, 0xFFFFFFFF,
        0xC0102030, 0x00000000, 0x20FF0000, 0xFF808080,
    };
    CTempFolder folder;
    const std::wstring strAlpha = folder.Path(L"透明 alpha.png");
    {
        Gdiplus::Bitmap picture(4, 3, PixelFormat32bppARGB);
        for (int i = 0; i < 12; ++i)
            picture.SetPixel(i % 4, i / 4, Gdiplus::Color(source[i]));
        ASSERT_TRUE(SavePng(&picture, strAlpha));
    }
    SPixels alpha;
    alpha.cx = 4;
    alpha.cy = 3;
    alpha.argb.assign(source, source + 12);

    // Turned upright by its orientation tag, 32 x 16, one colour a quadrant.
    const std::wstring strTurned = SourcePath(L"tests\\pictures\\orient-6.tif");
    SPixels upright;
    upright.cx = 32;
    upright.cy = 16;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            upright.argb.push_back(y < 8 ? (x < 16 ? 0xFFDC2828 : 0xFF28C83C) : (x < 16 ? 0xFF283CDC : 0xFFE6D228));

    struct SCase
    {
        std::wstring strPath;
        const SPixels* pExpected;
        std::vector<UINT> vecZoomKeys; // zoomed on screen first: the copy is still at natural size
    } const cases[] = {
        {strAlpha, &alpha, {}},
        {strTurned, &upright, {VK_ADD, VK_ADD}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::PrintToString(c.strPath));
        ASSERT_TRUE(Show(c.strPath.c_str()));
        for (const UINT nKey : c.vecZoomKeys)
            m_pViewer->OnViewKey(nKey);
        PutText(L"before");
        ASSERT_TRUE(Press({VK_CONTROL, 'C'}));

        const std::vector<UINT> vecFormats = ClipboardFormats();
        EXPECT_TRUE(Has(vecFormats, CF_DIBV5));
        EXPECT_TRUE(Has(vecFormats, ::RegisterClipboardFormatW(L"PNG")));
        EXPECT_TRUE(Has(vecFormats, CF_HDROP));
        EXPECT_FALSE(Has(vecFormats, CF_UNICODETEXT)) << "what was there before is gone";

        SPixels dib, png;
        ASSERT_TRUE(ReadDibV5(&dib));
        ASSERT_TRUE(ReadPng(&png));
        const SPixels& expected = *c.pExpected;
        ASSERT_EQ(expected.cx, dib.cx);
        ASSERT_EQ(expected.cy, dib.cy);
        ASSERT_EQ(expected.cx, png.cx);
        ASSERT_EQ(expected.cy, png.cy);
        for (size_t i = 0; i < expected.argb.size(); ++i)
        {
            SCOPED_TRACE(testing::Message() << "pixel " << i % expected.cx << ", " << i / expected.cx);
            const uint32_t want = expected.argb[i];
            const int nAlpha = static_cast<int>(want >> 24);
            if (nAlpha == 0)
                EXPECT_EQ(0u, dib.argb[i]) << std::hex << dib.argb[i];
            else
                // Partial alpha went through premultiplied pixels: a step or two off.
                EXPECT_TRUE(Near(want, dib.argb[i], nAlpha == 255 ? 0 : 255 / nAlpha + 1))
                    << std::hex << want << " " << dib.argb[i];
            EXPECT_EQ(dib.argb[i], png.argb[i]) << "the PNG holds the DIB's pixels";
        }
        EXPECT_EQ(std::vector<std::wstring>{c.strPath}, ReadFileList());
    }
}

TEST_F(ViewerCopyTest, PlaceholdersAndAPlainCCopyNothing)
{
    CTempFolder folder;
    const std::wstring strPath = folder.Path(L"red.png");
    {
        Gdiplus::Bitmap picture(8, 8, PixelFormat32bppARGB);
        ASSERT_TRUE(SavePng(&picture, strPath));
    }
    struct SCase
    {
        const char* pszName;
        const wchar_t* pszShown; // null: the start-up placeholder
        std::vector<WORD> vecKeys;
    } const cases[] = {
        {"start-up placeholder", nullptr, {VK_CONTROL, 'C'}},
        {"failure placeholder", L"Z:\\no such file.png", {VK_CONTROL, 'C'}},
        {"C without Ctrl", strPath.c_str(), {'C'}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        ASSERT_TRUE(Show(c.pszShown));
        PutText(L"before");
        ASSERT_TRUE(Press(c.vecKeys));
        EXPECT_EQ(std::vector<UINT>{CF_UNICODETEXT},
                  [] {
                      // Only the text and what the system makes of it.
                      std::vector<UINT> vecFormats = ClipboardFormats();
                      vecFormats.erase(std::remove_if(vecFormats.begin(), vecFormats.end(),
                                                      [](UINT n) { return n == CF_TEXT || n == CF_OEMTEXT || n == CF_LOCALE; }),
                                       vecFormats.end());
                      return vecFormats;
                  }());
    }
}
