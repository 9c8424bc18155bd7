#include "tests/strip/StripTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

using namespace StripTest;
using namespace TestSupport;

namespace
{
class StripDropTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pStrip.reset(MakeStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip->m_hWnd);
    }
    // As the shell drops: the window that receives the handle finishes it.
    HDROP Drop(const std::vector<std::wstring>& vecNames)
    {
        HDROP hDrop = TestSupport::MakeDropFiles(vecNames);
        ::SendMessageW(m_pStrip->m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
        return hDrop;
    }
    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> vecPaths;
        for (CElem* pElem : m_pStrip->m_vecElems)
            vecPaths.push_back(pElem->m_strPath);
        return vecPaths;
    }

    CTempFolder m_dir;
    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};
} // namespace

TEST_F(StripDropTest, PicturesAreAddedInDropOrderAndEverythingElseIsSkipped)
{
    const std::wstring strA = m_dir.Path(L"a.png");
    const std::wstring strB = m_dir.Path(L"b.bmp");
    const std::wstring strC = m_dir.Path(L"c.jpg");
    const std::wstring strFolder = m_dir.Path(L"folder.png");
    const std::wstring strCorrupt = m_dir.Path(L"corrupt.jpg");
    const std::wstring strEmpty = m_dir.Path(L"empty.png");
    ASSERT_TRUE(WriteSolidPicture(strA, 30, 20, RGB(255, 0, 0)));
    ASSERT_TRUE(WriteSolidPicture(strB, 30, 20, RGB(0, 255, 0), L"image/bmp"));
    ASSERT_TRUE(WriteSolidPicture(strC, 30, 20, RGB(0, 0, 255), L"image/jpeg"));
    ASSERT_TRUE(::CreateDirectoryW(strFolder.c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(strCorrupt, std::string("\xFF\xD8\xFF\xE0 cut short", 14)));
    ASSERT_TRUE(WriteFileBytes(strEmpty, ""));

    Drop({strC, strFolder, m_dir.Path(L"missing.png"), strCorrupt, strA, strEmpty, strB});
    EXPECT_EQ((std::vector<std::wstring>{strC, strA, strB}), Paths());
    EXPECT_EQ(3u, m_pStrip->m_mapVisible.size()) << "laid out";
    for (CElem* pElem : m_pStrip->m_vecElems)
        EXPECT_NE(nullptr, pElem->m_hThumb);
    EXPECT_TRUE(m_calls.m_vecCalls.empty()) << "a drop on the strip chooses nothing";

    // A second drop appends; with 12 entries the content no longer fits.
    std::vector<std::wstring> vecMore(9, strA);
    Drop(vecMore);
    EXPECT_EQ(12u, m_pStrip->m_vecElems.size());
    EXPECT_EQ(strB, m_pStrip->m_vecElems[2]->m_strPath);
    EXPECT_TRUE(::EnableScrollBar(m_pStrip->m_hWnd, SB_HORZ, ESB_DISABLE_BOTH)) << "the bar was enabled";
}

TEST_F(StripDropTest, ALongNameIsNeverCutShortIntoAnotherFile)
{
    // A folder name long enough that the first 259 characters of the path end
    // 20 characters into the file's name.
    const size_t nFolder = 259 - (m_dir.m_strPath.size() + 1) - 1 - 20;
    const std::wstring strFolder = m_dir.Path(std::wstring(nFolder, L'd'));
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + strFolder).c_str(), nullptr));
    const std::wstring strLong = strFolder + L"\\" + std::wstring(40, L'p') + L".png";
    ASSERT_GT(strLong.size(), 259u);
    // The picture its first 259 characters name is another file.
    const std::wstring strCut = strLong.substr(0, 259);
    ASSERT_TRUE(WriteSolidPicture(L"\\\\?\\" + strCut, 10, 10, RGB(0, 0, 0)));
    ASSERT_TRUE(WriteSolidPicture(L"\\\\?\\" + strLong, 10, 10, RGB(0, 0, 0)));

    Drop({strLong});
    // Where the platform reaches the long name, the picture is added under it;
    // otherwise it is skipped like any other file that cannot be read.
    const bool bReachable = ::GetFileAttributesW(strLong.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(bReachable ? std::vector<std::wstring>{strLong} : std::vector<std::wstring>{}, Paths());
}

// A drop handle is a block of global memory; the platform tells a freed one
// by its handle being invalid.
TEST_F(StripDropTest, TheStripFinishesTheDropHandleItReceives)
{
    const std::wstring strA = m_dir.Path(L"a.png");
    ASSERT_TRUE(WriteSolidPicture(strA, 30, 20, RGB(255, 0, 0)));
    HDROP hFreed = TestSupport::MakeDropFiles({strA});
    ASSERT_NE(GMEM_INVALID_HANDLE, ::GlobalFlags(hFreed)) << "a live handle";
    ::GlobalFree(hFreed);
    ASSERT_EQ(GMEM_INVALID_HANDLE, ::GlobalFlags(hFreed)) << "the platform reports a freed handle";

    for (const std::vector<std::wstring>& vecNames : {std::vector<std::wstring>{strA}, std::vector<std::wstring>{}})
    {
        const HDROP hDrop = Drop(vecNames);
        EXPECT_EQ(GMEM_INVALID_HANDLE, ::GlobalFlags(hDrop)) << vecNames.size() << " names";
    }
    EXPECT_EQ(1u, m_pStrip->m_vecElems.size());
}
