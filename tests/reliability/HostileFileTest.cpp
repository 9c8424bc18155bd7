#include "draw/Decode.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/TestSupport.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
const wchar_t kLoadFailed[] = L"加载失败。请拖入图片文件。";

std::string Picture(const wchar_t* pszName)
{
    return ReadFileBytes(SourcePath(std::wstring(L"tests\\pictures\\") + pszName));
}

// A PNG that declares cx x cy RGBA pixels and holds every one of them, all
// zero: a fixed-code deflate stream of one zero byte and then copies of 258
// bytes from one back, so the file is about 1/160 of the pixel data.
std::string ZeroRgbaPng(uint32_t cx, uint32_t cy)
{
    struct CBits
    {
        std::string str;
        uint32_t nBits = 0, nCount = 0;
        void Put(uint32_t nValue, int nLength) // the stream's own order, low bit first
        {
            for (int i = 0; i < nLength; ++i)
                Bit((nValue >> i) & 1);
        }
        void Code(uint32_t nCode, int nLength) // Huffman codes go high bit first
        {
            for (int i = nLength - 1; i >= 0; --i)
                Bit((nCode >> i) & 1);
        }
        void Bit(uint32_t b)
        {
            nBits |= b << nCount;
            if (++nCount == 8)
            {
                str += static_cast<char>(nBits);
                nBits = nCount = 0;
            }
        }
        void Flush()
        {
            if (nCount)
                str += static_cast<char>(nBits);
            nBits = nCount = 0;
        }
    } bits;
    const uint64_t cbRaw = static_cast<uint64_t>(cy) * (1 + 4ull * cx); // a filter byte per row
    bits.str = "\x78\x01";
    bits.Put(1, 1); // the last block
    bits.Put(1, 2); // fixed codes
    bits.Code(0x30, 8); // literal 0
    uint64_t cbLeft = cbRaw - 1;
    for (; cbLeft >= 258; cbLeft -= 258)
    {
        bits.Code(0xC5, 8); // length 258
        bits.Code(0, 5);    // distance 1
    }
    for (; cbLeft > 0; --cbLeft)
        bits.Code(0x30, 8);
    bits.Code(0, 7); // end of block
    bits.Flush();
    const uint32_t nAdler = static_cast<uint32_t>(cbRaw % 65521) << 16 | 1;

    auto fnBig = [](uint32_t n) {
        return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8),
                           static_cast<char>(n)};
    };
    bits.str += fnBig(nAdler);
    auto fnChunk = [&fnBig](const char* pszType, const std::string& strData) {
        const std::string strBody = pszType + strData;
        uint32_t c = 0xFFFFFFFFu;
        for (char ch : strBody)
        {
            c ^= static_cast<uint8_t>(ch);
            for (int k = 0; k < 8; ++k)
                c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
        }
        return fnBig(static_cast<uint32_t>(strData.size())) + strBody + fnBig(c ^ 0xFFFFFFFFu);
    };
    const std::string strHeader = fnBig(cx) + fnBig(cy) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + fnChunk("IHDR", strHeader) + fnChunk("IDAT", bits.str) +
           fnChunk("IEND", "");
}

// A viewer as the application makes it, with every message box answered.
class HostileFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hWnd = m_pViewer->m_hWnd;
        ASSERT_TRUE(WaitShown());
        ::SetWindowPos(m_hWnd, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void TearDown() override
    {
        if (::IsWindow(m_hWnd))
            ::DestroyWindow(m_hWnd);
    }
    bool WaitShown()
    {
        return PumpUntil([this] { return !m_pViewer->m_bRedrawPending && ::IsWindowVisible(m_hWnd); }, 30000);
    }
    void Drop(const std::vector<std::wstring>& vecNames)
    {
        ::SendMessageW(m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecNames)), 0);
    }
    std::vector<std::wstring> EntryPaths() const
    {
        std::vector<std::wstring> vecPaths;
        if (m_pViewer->m_pToolWnd)
            for (const CElem* pElem : m_pViewer->m_pToolWnd->m_vecElems)
                vecPaths.push_back(pElem->m_strPath);
        return vecPaths;
    }
    SIZE WindowSize() const
    {
        RECT rc;
        ::GetWindowRect(m_hWnd, &rc);
        return SIZE{rc.right - rc.left, rc.bottom - rc.top};
    }
    // The message, then the 240 x 150 failure picture with no path kept.
    void ExpectFailureShown(size_t nBoxes)
    {
        ASSERT_TRUE(WaitShown());
        ASSERT_EQ(nBoxes, m_watcher.m_vecBoxes.size());
        EXPECT_EQ(kLoadFailed, m_watcher.m_vecBoxes.back().strText);
        EXPECT_EQ(m_hWnd, m_watcher.m_vecBoxes.back().hOwner);
        const SIZE size = WindowSize();
        EXPECT_EQ(240, size.cx);
        EXPECT_EQ(150, size.cy);
        EXPECT_TRUE(m_pViewer->m_strCurPath.empty());
    }

    CMessageBoxWatcher m_watcher;
    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hWnd = nullptr;
};

// Removes what a test made in a folder deeper than CTempFolder reaches.
struct SRemoveAfter
{
    std::vector<std::wstring> vecFiles, vecFolders;
    ~SRemoveAfter()
    {
        for (const std::wstring& strFile : vecFiles)
            ::DeleteFileW(strFile.c_str());
        for (auto it = vecFolders.rbegin(); it != vecFolders.rend(); ++it)
            ::RemoveDirectoryW(it->c_str());
    }
};
} // namespace

TEST_F(HostileFileTest, NamesOfEveryLengthAndAlphabetBecomeEntriesUnderThoseNames)
{
    CTempFolder folder;
    SRemoveAfter cleanup;
    // A folder name that brings the paths below to 259 and 300 characters.
    const std::wstring strDeep = folder.Path(std::wstring(150, L'd'));
    ASSERT_TRUE(::CreateDirectoryW(strDeep.c_str(), nullptr));
    cleanup.vecFolders.push_back(strDeep);
    auto fnNameOfLength = [&strDeep](size_t nLength, const wchar_t* pszExtension) {
        const size_t cchStem = nLength - strDeep.size() - 1 - wcslen(pszExtension);
        return strDeep + L"\\" + std::wstring(cchStem, L'n') + pszExtension;
    };
    struct SCase
    {
        std::wstring strPath;
        const wchar_t* pszPicture;
    } const cases[] = {
        {folder.Path(L"风景 照片.png"), L"png32-alpha.png"},
        {folder.Path(L"Tom & Jerry.bmp"), L"bmp24.bmp"},
        {folder.Path(L"   spaces  inside and before.gif"), L"gif.gif"},
        {folder.Path(L"&&&.jpg"), L"jpeg-baseline.jpg"},
        {folder.Path(L"x"), L"bmp8.bmp"},
        {fnNameOfLength(259, L".png"), L"png48.png"},
        {fnNameOfLength(300, L".tif"), L"tiff-2pages.tif"},
    };
    std::vector<std::wstring> vecDrop, vecExpected;
    for (const SCase& test : cases)
    {
        ASSERT_EQ(test.strPath, folder.Write(test.strPath.substr(folder.m_strPath.size() + 1),
                                             Picture(test.pszPicture)));
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(test.strPath.c_str()))
            << ::testing::PrintToString(test.strPath);
        cleanup.vecFiles.push_back(test.strPath);
        vecExpected.push_back(test.strPath);
        vecDrop.push_back(test.strPath);
        // A folder and a name that names nothing, between every two pictures.
        vecDrop.push_back(strDeep);
        vecDrop.push_back(test.strPath + L".missing");
    }
    EXPECT_EQ(259u, cases[5].strPath.size());
    EXPECT_EQ(300u, cases[6].strPath.size());

    Drop(vecDrop);
    ASSERT_TRUE(WaitShown());
    EXPECT_EQ(vecExpected, EntryPaths());
    const std::vector<CElem*>& vecElems = m_pViewer->m_pToolWnd->m_vecElems;
    for (size_t i = 0; i < vecElems.size() && i < vecExpected.size(); ++i)
    {
        EXPECT_EQ(vecExpected[i].substr(vecExpected[i].find_last_of(L'\\') + 1), vecElems[i]->m_strName);
        EXPECT_NE(nullptr, vecElems[i]->m_hThumb) << ::testing::PrintToString(vecElems[i]->m_strName);
    }
    // The last picture is shown, by its full name, at its own size.
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
    EXPECT_EQ(vecExpected.back(), m_pViewer->m_strCurPath);
    const SIZE size = WindowSize();
    EXPECT_NE(240, size.cx);

    // Every entry can be chosen and shown.
    for (int i = 0; i < static_cast<int>(vecElems.size()); ++i)
    {
        m_pViewer->m_pToolWnd->SelectElem(i);
        ASSERT_TRUE(WaitShown());
        EXPECT_EQ(vecExpected[static_cast<size_t>(i)], m_pViewer->m_strCurPath);
    }
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
}

TEST_F(HostileFileTest, AFileThatChangesOrGoesAfterItsEntryWasMadeFailsInTheViewerOnly)
{
    CTempFolder folder;
    const std::vector<std::wstring> vecPaths = {
        folder.Write(L"garbage.png", Picture(L"png32-alpha.png")),
        folder.Write(L"gone.bmp", Picture(L"bmp24.bmp")),
        folder.Write(L"emptied.jpg", Picture(L"jpeg-baseline.jpg")),
        folder.Write(L"folder.gif", Picture(L"gif.gif")),
        folder.Write(L"half.tif", Picture(L"tiff-2pages.tif")),
        folder.Write(L"kept.png", Picture(L"png48.png")),
    };
    Drop(vecPaths);
    ASSERT_TRUE(WaitShown());
    ASSERT_EQ(vecPaths, EntryPaths());
    EXPECT_EQ(vecPaths.back(), m_pViewer->m_strCurPath);

    // Each file is damaged after the strip made its entry, then chosen.
    const std::string strTiff = Picture(L"tiff-2pages.tif");
    struct SCase
    {
        const char* pszWhat;
        std::function<void()> fnDamage;
    } const cases[] = {
        {"replaced by text", [&] { folder.Write(L"garbage.png", "this is no longer a picture"); }},
        {"deleted", [&] { ::DeleteFileW(vecPaths[1].c_str()); }},
        {"emptied", [&] { folder.Write(L"emptied.jpg", ""); }},
        {"replaced by a folder",
         [&] {
             ::DeleteFileW(vecPaths[3].c_str());
             ::CreateDirectoryW(vecPaths[3].c_str(), nullptr);
         }},
        {"cut to its header", [&] { folder.Write(L"half.tif", strTiff.substr(0, 16)); }},
    };
    size_t nBoxes = 0;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        SCOPED_TRACE(cases[i].pszWhat);
        cases[i].fnDamage();
        m_pViewer->m_pToolWnd->SelectElem(static_cast<int>(i));
        ExpectFailureShown(++nBoxes);
        EXPECT_EQ(static_cast<int>(i), m_pViewer->m_nCurIndex);
        EXPECT_EQ(vecPaths, EntryPaths()) << "nothing is lost from the strip";
        EXPECT_EQ(m_pViewer->m_pToolWnd->m_vecElems[i], m_pViewer->m_pToolWnd->m_pSelected);
    }
    ::RemoveDirectoryW(vecPaths[3].c_str());

    // The picture that was left alone still shows.
    m_pViewer->m_pToolWnd->SelectElem(5);
    ASSERT_TRUE(WaitShown());
    EXPECT_EQ(vecPaths[5], m_pViewer->m_strCurPath);
    EXPECT_EQ(nBoxes, m_watcher.m_vecBoxes.size());
}

TEST_F(HostileFileTest, APictureTooLargeForTheProcessIsRefusedWithoutKeepingItsMemory)
{
    // 24000 x 24000 RGBA is 2.3 GB of pixels: more than GDI sizes a bitmap
    // for, and more than a 32-bit process can hold. The file is complete and
    // valid; only its size is hostile.
    CTempFolder folder;
    const std::wstring strHuge = folder.Write(L"huge.png", ZeroRgbaPng(24000, 24000));
    const std::wstring strSmall = folder.Write(L"small.png", Picture(L"png32-alpha.png"));
    {
        // The same stream with a size the process can hold decodes, so the
        // refusal below is for the size alone.
        const std::wstring strCheck = folder.Write(L"check.png", ZeroRgbaPng(300, 200));
        HBITMAP hDib = KelDraw::DecodeFileToDib(strCheck.c_str());
        ASSERT_NE(nullptr, hDib);
        BITMAP bm = {};
        ::GetObjectW(hDib, sizeof(bm), &bm);
        EXPECT_EQ(300, bm.bmWidth);
        ::DeleteObject(hDib);
    }
    const size_t cbBefore = ProcessMemory();

    EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(strHuge.c_str()));

    // The strip skips it; the drop's other picture is added and shown.
    Drop({strHuge, strSmall});
    ASSERT_TRUE(WaitShown());
    EXPECT_EQ(std::vector<std::wstring>{strSmall}, EntryPaths());
    EXPECT_EQ(strSmall, m_pViewer->m_strCurPath);
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());

    // Chosen in the viewer, it gives the message and the failure picture.
    ASSERT_TRUE(m_pViewer->OnElemSelect(3, L"huge.png", strHuge.c_str(), FALSE));
    ExpectFailureShown(1);
    EXPECT_EQ(3, m_pViewer->m_nCurIndex);

    const size_t cbAfter = ProcessMemory();
    if (!HeapChecked())
    {
        EXPECT_LT(cbAfter, cbBefore + 64 * 1024 * 1024) << "grew from " << cbBefore << " to " << cbAfter;
    }
}

TEST_F(HostileFileTest, APictureLargerThanTheScreenShowsAtItsNaturalSize)
{
    CTempFolder folder;
    const std::wstring strPath = folder.Path(L"wide.png");
    {
        Gdiplus::Bitmap picture(3000, 2000, PixelFormat24bppRGB);
        ASSERT_EQ(Gdiplus::Ok, picture.GetLastStatus());
        {
            Gdiplus::Graphics graphics(&picture);
            graphics.Clear(Gdiplus::Color(255, 40, 90, 200));
        }
        ASSERT_TRUE(SavePng(&picture, strPath));
    }
    ASSERT_GT(3000, ::GetSystemMetrics(SM_CXSCREEN));

    Drop({strPath});
    ASSERT_TRUE(WaitShown());
    EXPECT_EQ(strPath, m_pViewer->m_strCurPath);
    EXPECT_TRUE(m_watcher.m_vecBoxes.empty());
    const SIZE size = WindowSize();
    EXPECT_EQ(3000, size.cx);
    EXPECT_EQ(2000, size.cy);
}

namespace
{
// The bytes with some of them replaced from nAt on.
std::string Patched(std::string strBytes, size_t nAt, std::initializer_list<unsigned char> bytes)
{
    for (unsigned char ch : bytes)
        strBytes[nAt++] = static_cast<char>(ch);
    return strBytes;
}

struct SBadFile
{
    const wchar_t* pszName;
    std::string strBytes;
};

// Neither decoder makes anything of each file, and the file can go at once.
void ExpectUnreadableAndNotHeld(const CTempFolder& folder, const std::vector<SBadFile>& vecFiles)
{
    for (const SBadFile& file : vecFiles)
    {
        SCOPED_TRACE(::testing::PrintToString(std::wstring(file.pszName)));
        ASSERT_FALSE(file.strBytes.empty());
        const std::wstring strPath = folder.Write(file.pszName, file.strBytes);
        EXPECT_EQ(nullptr, KelDraw::DecodeFileToDib(strPath.c_str()));
        Gdiplus::Bitmap* pPicture = KelDraw::LoadPictureFromFile(strPath.c_str());
        EXPECT_TRUE(!pPicture || pPicture->GetWidth() == 0);
        delete pPicture;
        EXPECT_TRUE(::DeleteFileW(strPath.c_str())) << "the file is still open";
    }
}
} // namespace

TEST(HostileHeaderTest, AFileRefusedForItsHeaderIsNeverHeldOpen)
{
    // Each of these crashes Wine's decoder or makes it keep its stream for
    // good when the decoder sees it; refused first, it is a plain failure.
    const std::string strCmyk = ReadFileBytes(SourcePath(L"tests\\reliability\\crashers\\jpeg-cmyk-case52.jpg"));
    // A JPEG comment segment of 64 KB, to put the frame header far from the start.
    const std::string strComment = "\xFF\xFE\xFF\xFF" + std::string(0xFFFF - 2, 'c');
    const unsigned nDecodes = KelDraw::DecodesOnThisThread();
    ExpectUnreadableAndNotHeld(CTempFolder(), {
        {L"pixels past the end.bmp", Patched(Picture(L"bmp8.bmp"), 10, {0x36, 0x04, 0x00, 0x40})},
        {L"height 2^30.bmp", Patched(Picture(L"bmp8.bmp"), 22, {0x07, 0x00, 0x00, 0x40})},
        {L"width -2^31.bmp", Patched(Picture(L"bmp24.bmp"), 18, {0x00, 0x00, 0x00, 0x80})},
        // 2^31 x 2^31 x 4 bytes wraps to 0 in 64 bits.
        {L"width and height -2^31.bmp",
         Patched(Picture(L"bmp24.bmp"), 18, {0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x00, 0x80})},
        {L"cmyk 20000 x 57475.jpg", strCmyk},
        {L"cmyk 20000 x 57475 behind 128 KB.jpg",
         strCmyk.substr(0, 2) + strComment + strComment + strCmyk.substr(2)},
    });
    EXPECT_EQ(nDecodes, KelDraw::DecodesOnThisThread()) << "a decoder saw one of them";
}

TEST(HostileHeaderTest, AHeaderTheDecoderRejectsLeavesNeitherTheFileNorItsBytesHeld)
{
    // Wine's BMP decoder keeps the stream of each of these headers for good.
    // The file is then never the decoder's, and the stream it keeps no longer
    // holds the file's bytes.
    const std::string strBmp = Picture(L"bmp8.bmp");
    CTempFolder folder;
    ExpectUnreadableAndNotHeld(folder, {
        {L"7 bits.bmp", Patched(strBmp, 28, {7})},
        {L"compression 99.bmp", Patched(strBmp, 30, {99})},
        {L"width 0.bmp", Patched(strBmp, 18, {0, 0, 0, 0})},
        {L"bit fields at 8 bits.bmp", Patched(strBmp, 30, {BI_BITFIELDS})},
    });

    // 4 MB behind a rejected header, read 40 times by each decoder.
    std::string strLarge = Patched(strBmp, 28, {7});
    strLarge.resize(4 << 20, '\x5A');
    const std::wstring strPath = folder.Write(L"large 7 bits.bmp", strLarge);
    ASSERT_EQ(nullptr, KelDraw::DecodeFileToDib(strPath.c_str()));
    delete KelDraw::LoadPictureFromFile(strPath.c_str());
    const size_t cbBefore = ProcessMemory();
    for (int i = 0; i < 40; ++i)
    {
        ::DeleteObject(KelDraw::DecodeFileToDib(strPath.c_str()));
        delete KelDraw::LoadPictureFromFile(strPath.c_str());
    }
    if (!HeapChecked())
    {
        EXPECT_LT(ProcessMemory(), cbBefore + (8u << 20)) << "the file's bytes stay behind";
    }
}
