#include "tests/strip/StripTestSupport.h"

#include "draw/Decode.h"
#include "framework/GdiObject.h"
#include "strip/DropDecoder.h"
#include "tests/reliability_session/GdiCount.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace StripTest;
using namespace TestSupport;

namespace
{
// Pictures of distinct sizes and colours, so that a thumbnail put on the wrong
// entry shows; the larger ones take longer to decode, so that the workers
// finish them out of drop order.
struct SPicture
{
    int cx, cy;
    COLORREF clr;
    const wchar_t* pszMimeType;
};
const SPicture kPictures[] = {
    {1600, 1200, RGB(200, 30, 30), L"image/jpeg"}, {40, 30, RGB(30, 200, 30), L"image/png"},
    {300, 900, RGB(30, 30, 200), L"image/bmp"},    {1200, 700, RGB(220, 200, 40), L"image/jpeg"},
    {88, 82, RGB(40, 200, 220), L"image/png"},     {90, 400, RGB(140, 60, 180), L"image/png"},
};
const size_t kPictureCount = sizeof(kPictures) / sizeof(kPictures[0]);

// The viewer with its strip, as files dropped on it make them.
class DropPoolTest : public ::testing::TestWithParam<unsigned>
{
protected:
    void SetUp() override
    {
        m_pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(m_pViewer->CreateViewerWindow());
        m_hViewer = m_pViewer->m_hWnd;
        m_pViewer->ShowToolWnd(FALSE);
        ASSERT_TRUE(m_pViewer->m_pToolWnd && m_pViewer->m_pToolWnd->m_hWnd);
        m_pViewer->m_pToolWnd->m_nDropThreads = GetParam();
    }
    void TearDown() override
    {
        if (::IsWindow(m_hViewer))
            ::DestroyWindow(m_hViewer);
        EXPECT_EQ(0, CDropDecoder::RunningWorkers());
    }

    // Picture files for a drop: the table's pictures over and over.
    std::vector<std::wstring> WritePictures(const wchar_t* pszPrefix, size_t nCount)
    {
        std::vector<std::wstring> vecPaths;
        for (size_t i = 0; i < nCount; ++i)
        {
            const SPicture& picture = kPictures[i % kPictureCount];
            vecPaths.push_back(m_dir.Path(pszPrefix + std::to_wstring(i)));
            if (i < kPictureCount)
                EXPECT_TRUE(WriteSolidPicture(vecPaths.back(), picture.cx, picture.cy, picture.clr,
                                              picture.pszMimeType));
            else
                EXPECT_TRUE(::CopyFileW(vecPaths[i % kPictureCount].c_str(), vecPaths.back().c_str(), FALSE));
        }
        return vecPaths;
    }
    void DropOnViewer(const std::vector<std::wstring>& vecNames)
    {
        ::SendMessageW(m_hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecNames)), 0);
    }
    CTarvoToolWnd& Strip() const { return *m_pViewer->m_pToolWnd; }
    std::vector<std::wstring> Paths() const
    {
        std::vector<std::wstring> vecPaths;
        for (const CElem* pElem : Strip().m_vecElems)
            vecPaths.push_back(pElem->m_strPath);
        return vecPaths;
    }

    CTempFolder m_dir;
    CTarvoMainWnd* m_pViewer = nullptr;
    HWND m_hViewer = nullptr;
};

// Runs fnAction once from a timer while the strip's drop is in progress: after
// the first entry is in and before the last. The drop dispatches timers.
class CDuringDrop
{
public:
    CDuringDrop(const CTarvoToolWnd& strip, size_t nDropped, std::function<void()> fnAction)
        : m_strip(strip), m_nDropped(nDropped), m_fnAction(std::move(fnAction))
    {
        s_pThis = this;
        m_nTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, OnTimer);
    }
    ~CDuringDrop()
    {
        ::KillTimer(nullptr, m_nTimer);
        s_pThis = nullptr;
    }
    bool m_bDone = false;

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        CDuringDrop* pThis = s_pThis;
        const size_t nCount = pThis ? pThis->m_strip.m_vecElems.size() : 0;
        if (!pThis || pThis->m_bDone || nCount == 0 || nCount >= pThis->m_nDropped)
            return;
        pThis->m_bDone = true;
        pThis->m_fnAction();
    }
    static CDuringDrop* s_pThis;
    const CTarvoToolWnd& m_strip;
    const size_t m_nDropped;
    std::function<void()> m_fnAction;
    UINT_PTR m_nTimer;
};
CDuringDrop* CDuringDrop::s_pThis = nullptr;
} // namespace

TEST_P(DropPoolTest, EntriesAreTheDecodablePicturesInDropOrderWithTheirOwnThumbnails)
{
    const std::vector<std::wstring> vecPictures = WritePictures(L"p", 24);
    const std::wstring strFolder = m_dir.Path(L"folder.png");
    ASSERT_TRUE(::CreateDirectoryW(strFolder.c_str(), nullptr));
    const std::vector<std::wstring> vecSkipped = {
        m_dir.Write(L"text.jpg", "not a picture at all"), m_dir.Write(L"empty.png", ""),
        m_dir.Write(L"cut.jpg", std::string("\xFF\xD8\xFF\xE0 cut short", 14)), m_dir.Path(L"missing.png"),
        strFolder};
    std::vector<std::wstring> vecDropped;
    for (size_t i = 0; i < vecPictures.size(); ++i)
    {
        vecDropped.push_back(vecPictures[i]);
        if (i % 4 == 1)
            vecDropped.push_back(vecSkipped[(i / 4) % vecSkipped.size()]);
    }

    DropOnViewer(vecDropped);
    ASSERT_EQ(vecPictures, Paths());
    for (size_t i = 0; i < vecPictures.size(); ++i)
    {
        // The thumbnail as the strip makes it for a single file.
        CBitmap bmpExpected;
        HBITMAP hExpected = nullptr;
        ASSERT_TRUE(KelDraw::DecodeFileToThumbnail(vecPictures[i].c_str(), CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT,
                                                   &hExpected));
        ASSERT_TRUE(bmpExpected.Attach(hExpected));
        const CPixels expected = ReadBitmap(bmpExpected.GetSafeHandle());
        const CPixels actual = ReadBitmap(Strip().m_vecElems[i]->m_hThumb);
        ASSERT_EQ(CElem::THUMB_WIDTH, actual.cx) << i;
        ASSERT_EQ(CElem::THUMB_HEIGHT, actual.cy) << i;
        EXPECT_TRUE(expected.argb == actual.argb) << "thumbnail of entry " << i;
    }
    const int nLast = static_cast<int>(vecPictures.size()) - 1;
    EXPECT_EQ(nLast, m_pViewer->m_nCurIndex) << "the viewer shows the last entry";
    EXPECT_EQ(vecPictures.back(), m_pViewer->m_strCurPath);
    EXPECT_EQ(Strip().m_vecElems.back(), Strip().m_pSelected);
    EXPECT_TRUE(Strip().m_mapVisible.count(nLast)) << "laid out and scrolled to the last entry";
}

// What reaches the strip while a drop is coming in. Input posted meanwhile (a
// second drop, a key) waits until the drop is in; a drop handed over by a
// message sent meanwhile joins the running one at its end; an entry removed
// meanwhile stays removed.
TEST_P(DropPoolTest, WhatArrivesDuringADropKeepsTheEntriesInOrder)
{
    const std::vector<std::wstring> vecFirst = WritePictures(L"first", 30);
    const std::vector<std::wstring> vecSecond = {vecFirst[1], vecFirst[4]};
    struct SCase
    {
        const char* pszName;
        std::function<void()> fnDuring;
        std::vector<std::wstring> vecAfterDrop; // when the first drop's handling returns
        std::vector<std::wstring> vecSettled;   // once the queue has been handled
    };
    std::vector<std::wstring> vecFirstThenSecond = vecFirst;
    vecFirstThenSecond.insert(vecFirstThenSecond.end(), vecSecond.begin(), vecSecond.end());
    std::vector<std::wstring> vecDeletedAtEnd = vecFirstThenSecond;
    vecDeletedAtEnd.pop_back();
    const std::vector<std::wstring> vecWithoutFirst(vecFirst.begin() + 1, vecFirst.end());
    const SCase cases[] = {
        {"posted drop and Delete",
         [&] {
             ::PostMessageW(m_hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecSecond)), 0);
             ::PostMessageW(m_hViewer, WM_KEYDOWN, VK_DELETE, 0);
         },
         vecFirst, vecDeletedAtEnd},
        {"sent drop",
         [&] {
             ::SendMessageW(m_hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecSecond)), 0);
         },
         vecFirstThenSecond, vecFirstThenSecond},
        {"first entry removed", [&] { Strip().RemoveElem(0); }, vecWithoutFirst,
         vecWithoutFirst},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        Strip().m_pSelected = nullptr;
        Strip().ClearVisible();
        Strip().ClearElems();
        CDuringDrop during(Strip(), vecFirst.size(), c.fnDuring);
        DropOnViewer(vecFirst);
        ASSERT_TRUE(during.m_bDone) << "the action ran during the drop";
        EXPECT_EQ(c.vecAfterDrop, Paths());
        EXPECT_EQ(c.vecAfterDrop.back(), m_pViewer->m_strCurPath) << "the viewer shows the drop's last entry";
        PumpFor(300, m_pViewer);
        EXPECT_EQ(c.vecSettled, Paths());
        for (size_t i = 0; i < Strip().m_vecElems.size(); ++i)
            EXPECT_EQ(static_cast<int>(i), Strip().m_vecElems[i]->m_nIndex) << "laid out";
    }
}

INSTANTIATE_TEST_SUITE_P(Workers, DropPoolTest, ::testing::Values(1u, 2u, 3u),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                             return std::to_string(info.param);
                         });

// Thumbnails finished but never taken go with the decoder, as does a decode
// cancelled before it started.
TEST(DropDecoderTest, WhatIsNotTakenIsFreedAndTheWorkersStop)
{
    CTempFolder dir;
    std::vector<std::wstring> vecPaths;
    for (int i = 0; i < 40; ++i)
        vecPaths.push_back(dir.Path(L"p" + std::to_wstring(i) + L".png"));
    ASSERT_TRUE(WriteSolidPicture(vecPaths[0], 64, 48, RGB(10, 120, 250)));
    for (size_t i = 1; i < vecPaths.size(); ++i)
        ASSERT_TRUE(::CopyFileW(vecPaths[0].c_str(), vecPaths[i].c_str(), FALSE));
    {
        CDropDecoder warm(2);
        warm.Add(vecPaths);
    }
    const size_t nRoomBefore = Reliability::GdiRoomLeft();
    {
        CDropDecoder decoder(2);
        ASSERT_TRUE(decoder.Add(vecPaths));
        std::wstring strPath;
        HBITMAP hThumb = nullptr;
        for (int nTaken = 0; nTaken < 3;)
        {
            const CDropDecoder::EResult nResult = decoder.TakeNext(&strPath, &hThumb);
            if (nResult == CDropDecoder::RESULT_PENDING)
            {
                ::WaitForSingleObject(decoder.ReadyEvent(), 5000);
                continue;
            }
            ASSERT_EQ(CDropDecoder::RESULT_DECODED, nResult);
            EXPECT_EQ(vecPaths[static_cast<size_t>(nTaken)], strPath);
            ASSERT_NE(nullptr, hThumb);
            ::DeleteObject(hThumb);
            ++nTaken;
        }
        // The workers stop once every file is done.
        const DWORD dwStart = ::GetTickCount();
        while (CDropDecoder::RunningWorkers() > 0 && ::GetTickCount() - dwStart < 20000)
            ::Sleep(5);
        ASSERT_EQ(0, CDropDecoder::RunningWorkers());
        EXPECT_GT(nRoomBefore, Reliability::GdiRoomLeft() + 30) << "37 thumbnails wait to be taken";
    }
    const long long nKept = static_cast<long long>(nRoomBefore) - static_cast<long long>(Reliability::GdiRoomLeft());
    EXPECT_LE(nKept, 2) << "and are gone with the decoder";
}

namespace
{
// Takes every result left, in order, waiting for each with a generous bound;
// the paths of those decoded, or what was taken when the bound ran out.
std::vector<std::wstring> TakeAll(CDropDecoder& decoder, bool* pbTimedOut)
{
    std::vector<std::wstring> vecTaken;
    *pbTimedOut = false;
    const DWORD dwStart = ::GetTickCount();
    for (;;)
    {
        std::wstring strPath;
        HBITMAP hThumb = nullptr;
        const CDropDecoder::EResult nResult = decoder.TakeNext(&strPath, &hThumb);
        if (nResult == CDropDecoder::RESULT_NONE)
            return vecTaken;
        if (nResult == CDropDecoder::RESULT_PENDING)
        {
            if (::GetTickCount() - dwStart > 30000)
            {
                *pbTimedOut = true;
                return vecTaken;
            }
            ::WaitForSingleObject(decoder.ReadyEvent(), 200);
            continue;
        }
        if (nResult == CDropDecoder::RESULT_DECODED)
            vecTaken.push_back(strPath);
        if (hThumb)
            ::DeleteObject(hThumb);
    }
}

bool WaitForNoWorkers()
{
    const DWORD dwStart = ::GetTickCount();
    while (CDropDecoder::RunningWorkers() > 0)
    {
        if (::GetTickCount() - dwStart > 30000)
            return false;
        ::Sleep(5);
    }
    return true;
}
} // namespace

// A drop that joins a running one after every worker of it has ended (its
// files all decoded, some not yet taken) still has its files decoded, behind
// the first drop's, in order.
TEST(DropDecoderTest, ADropJoiningAfterTheWorkersEndedArrivesInOrder)
{
    CTempFolder dir;
    std::vector<std::wstring> vecFiles;
    for (int i = 0; i < 8; ++i)
    {
        vecFiles.push_back(dir.Path(L"f" + std::to_wstring(i) + L".png"));
        ASSERT_TRUE(WriteSolidPicture(vecFiles.back(), 40 + i, 30, RGB(20 * i, 90, 200)));
    }
    struct SRow
    {
        unsigned nThreads;
        size_t nFirst, nTaken, nAdded;
    };
    const SRow rows[] = {{1, 1, 1, 1}, {2, 2, 1, 1}, {3, 3, 2, 2}, {3, 2, 1, 1}, {1, 3, 1, 2}, {2, 4, 4, 3}};
    for (const SRow& row : rows)
    {
        SCOPED_TRACE(testing::Message() << "threads " << row.nThreads << ", first " << row.nFirst << ", taken "
                                        << row.nTaken << ", added " << row.nAdded);
        const std::vector<std::wstring> vecFirst(vecFiles.begin(), vecFiles.begin() + row.nFirst);
        const std::vector<std::wstring> vecAdded(vecFiles.end() - row.nAdded, vecFiles.end());
        CDropDecoder decoder(row.nThreads);
        ASSERT_TRUE(decoder.Add(vecFirst));
        std::vector<std::wstring> vecTaken;
        while (vecTaken.size() < row.nTaken)
        {
            std::wstring strPath;
            HBITMAP hThumb = nullptr;
            const CDropDecoder::EResult nResult = decoder.TakeNext(&strPath, &hThumb);
            ASSERT_NE(CDropDecoder::RESULT_NONE, nResult);
            if (nResult == CDropDecoder::RESULT_PENDING)
            {
                ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(decoder.ReadyEvent(), 30000));
                continue;
            }
            vecTaken.push_back(strPath);
            ::DeleteObject(hThumb);
        }
        // A worker has started (a file was taken) and every one has ended.
        ASSERT_TRUE(WaitForNoWorkers());

        EXPECT_TRUE(decoder.Add(vecAdded));
        bool bTimedOut = false;
        const std::vector<std::wstring> vecRest = TakeAll(decoder, &bTimedOut);
        EXPECT_FALSE(bTimedOut) << "a file was never decoded";
        vecTaken.insert(vecTaken.end(), vecRest.begin(), vecRest.end());
        std::vector<std::wstring> vecExpected = vecFirst;
        vecExpected.insert(vecExpected.end(), vecAdded.begin(), vecAdded.end());
        EXPECT_EQ(vecExpected, vecTaken);
    }
    EXPECT_TRUE(WaitForNoWorkers());
}

// A decode that fails while others run, with memory short, is tried again
// once the others have drained; files that are no pictures fail twice and
// are skipped, every picture arrives in order and the workers end.
TEST(DropDecoderTest, FailuresUnderMemoryPressureAreRetriedAloneAndNothingIsLost)
{
    CTempFolder dir;
    std::vector<std::wstring> vecDropped, vecPictures;
    for (int i = 0; i < 12; ++i)
    {
        if (i % 3 == 1)
        {
            vecDropped.push_back(dir.Write(L"bad" + std::to_wstring(i) + L".png", "not a picture"));
            continue;
        }
        vecDropped.push_back(dir.Path(L"p" + std::to_wstring(i) + L".png"));
        ASSERT_TRUE(WriteSolidPicture(vecDropped.back(), 300 + 10 * i, 200, RGB(200, 10 * i, 40)));
        vecPictures.push_back(vecDropped.back());
    }
    struct SShortOfMemory
    {
        SShortOfMemory() { CDropDecoder::s_cbShortOfMemory = SIZE_MAX; }
        ~SShortOfMemory() { CDropDecoder::s_cbShortOfMemory = 0; }
    } shortOfMemory;
    for (unsigned nThreads : {1u, 3u})
    {
        SCOPED_TRACE(nThreads);
        CDropDecoder decoder(nThreads);
        ASSERT_TRUE(decoder.Add(vecDropped));
        bool bTimedOut = false;
        EXPECT_EQ(vecPictures, TakeAll(decoder, &bTimedOut));
        EXPECT_FALSE(bTimedOut);
        EXPECT_TRUE(WaitForNoWorkers());
        // With three workers a failure meets another decode under way on most
        // runs, not on every one: the retries are checked by their results.
        if (nThreads == 1)
        {
            EXPECT_EQ(0u, decoder.Retries()) << "a worker alone has no one to wait for";
        }
    }
}
