#include "tests/reliability_session/GdiCount.h"
#include "tests/reliability_session/ReliabilityFiles.h"

#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <cstdio>

#include <algorithm>
#include <functional>
#include <memory>

using namespace Reliability;
using namespace TestSupport;

namespace
{
// True when every name of vecPart is in vecAll, in the same order.
bool InOrderWithin(const std::vector<std::wstring>& vecPart, const std::vector<std::wstring>& vecAll)
{
    auto it = vecAll.begin();
    for (const std::wstring& str : vecPart)
    {
        it = std::find(it, vecAll.end(), str);
        if (it == vecAll.end())
            return false;
        ++it;
    }
    return true;
}
} // namespace

TEST(BigDropTest, TwoThousandFilesDroppedOnTheViewerAllArriveInDropOrder)
{
    CDropFiles files(2000);
    ASSERT_GT(files.m_vecDecodable.size(), 1200u);
    CMessageBoxWatcher boxes;
    CTarvoMainWnd* pViewer = new CTarvoMainWnd;
    ASSERT_TRUE(pViewer->CreateViewerWindow());
    const HWND hViewer = pViewer->m_hWnd;

    // The viewer releases the drop handle itself.
    ::SendMessageW(hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(files.m_vecDropped)), 0);

    ASSERT_NE(nullptr, pViewer->m_pToolWnd);
    const CTarvoToolWnd& strip = *pViewer->m_pToolWnd;
    EXPECT_EQ(files.m_vecDecodable, PathsOf(strip));
    const size_t nWithoutThumb = std::count_if(strip.m_vecElems.begin(), strip.m_vecElems.end(),
                                               [](const CElem* pElem) { return !pElem->m_hThumb; });
    EXPECT_EQ(0u, nWithoutThumb);
    const int nLast = static_cast<int>(files.m_vecDecodable.size()) - 1;
    EXPECT_EQ(nLast, pViewer->m_nCurIndex) << "the viewer shows the last file";
    EXPECT_EQ(files.m_vecDecodable.back(), pViewer->m_strCurPath);
    EXPECT_TRUE(strip.m_mapVisible.count(nLast)) << "the strip was scrolled to it";
    EXPECT_TRUE(boxes.m_vecBoxes.empty());
    ::DestroyWindow(hViewer);
}

// At the GDI quota nothing can be drawn, decoded or thumbnailed: the strip
// then skips what it cannot decode, adds what it can (with no thumbnail when
// none could be made), paints, selects and removes, and keeps no GDI object
// but its entries' thumbnails.
TEST(BigDropTest, StripAtTheGdiQuotaKeepsWorking)
{
    CDropFiles files(16);
    CLastSelectCall calls;
    std::unique_ptr<CTarvoToolWnd> pStrip(MakePlacedStrip(&calls));
    ASSERT_NE(nullptr, pStrip);
    const HWND hStrip = pStrip->m_hWnd;
    DropOnStrip(hStrip, {files.m_vecDecodable[0], files.m_vecDecodable[1]});
    ASSERT_EQ(2u, pStrip->m_vecElems.size());
    ::UpdateWindow(hStrip);
    std::printf("GetGuiResources: %d, room for %d more GDI objects\n", static_cast<int>(GdiObjectsReported()),
                static_cast<int>(GdiRoomLeft()));

    auto fnThumbs = [&] {
        return std::count_if(pStrip->m_vecElems.begin(), pStrip->m_vecElems.end(),
                             [](const CElem* pElem) { return pElem->m_hThumb != nullptr; });
    };
    // Runs the step with room for nRoom more GDI objects; every object it
    // keeps must be a new thumbnail.
    auto fnAtQuota = [&](const char* pszStep, size_t nRoom, const std::function<void()>& fnStep) {
        const size_t nRoomBefore = GdiRoomLeft();
        const ptrdiff_t nThumbsBefore = fnThumbs();
        {
            CGdiHoard hoard;
            hoard.FillUp();
            ASSERT_GT(hoard.Held(), 1000u);
            hoard.Free(nRoom);
            if (nRoom == 0)
            {
                HDC hScreen = ::GetDC(nullptr);
                HBITMAP hProbe = ::CreateCompatibleBitmap(hScreen, 8, 8);
                ::ReleaseDC(nullptr, hScreen);
                ASSERT_EQ(nullptr, hProbe) << "the process is at its quota";
            }
            fnStep();
        }
        const ptrdiff_t nKept = static_cast<ptrdiff_t>(nRoomBefore) - static_cast<ptrdiff_t>(GdiRoomLeft());
        EXPECT_EQ(fnThumbs() - nThumbsBefore, nKept) << pszStep << " with room for " << nRoom;
    };
    auto fnPaint = [&] {
        ::InvalidateRect(hStrip, nullptr, TRUE);
        ::UpdateWindow(hStrip);
    };

    // Decoding takes no GDI object: what decodes comes, without a thumbnail.
    fnAtQuota("drop", 0, [&] { DropOnStrip(hStrip, files.m_vecDropped); });
    const std::vector<std::wstring> vecPaths = PathsOf(*pStrip);
    ASSERT_LE(2u, vecPaths.size());
    EXPECT_TRUE(InOrderWithin(std::vector<std::wstring>(vecPaths.begin() + 2, vecPaths.end()), files.m_vecDropped))
        << "in drop order";
    fnAtQuota("paint", 0, fnPaint);
    fnAtQuota("select", 0, [&] { pStrip->SelectElem(static_cast<int>(pStrip->m_vecElems.size()) - 1); });
    fnAtQuota("remove", 0, [&] {
        pStrip->RemoveElem(0);
        ::UpdateWindow(hStrip);
    });
    EXPECT_EQ(files.m_vecDecodable[1], pStrip->m_vecElems.front()->m_strPath) << "nothing else was lost";
    // The drop's entries go again, so that what follows starts from one entry.
    while (pStrip->m_vecElems.size() > 1)
        pStrip->RemoveElem(static_cast<int>(pStrip->m_vecElems.size()) - 1);

    // Room for a few objects at a time: a decode can succeed where its
    // thumbnail cannot be made, and the entry comes without one. No entry is
    // selected here: Wine's GDI+ keeps the device context it makes to blend a
    // picture with alpha (the selection frame) onto a device context when it
    // then fails to make its bitmap, so each such paint keeps what room there is.
    pStrip->m_pSelected = nullptr;
    const size_t nCountBefore = pStrip->m_vecElems.size();
    for (size_t nRoom = 1; nRoom <= 12; ++nRoom)
        fnAtQuota("add", nRoom, [&] {
            pStrip->AddFile(files.m_vecDecodable[2].c_str());
            pStrip->RecalcLayout();
            fnPaint();
        });
    ASSERT_LT(nCountBefore, pStrip->m_vecElems.size());
    for (size_t i = nCountBefore; i < pStrip->m_vecElems.size(); ++i)
        EXPECT_EQ(files.m_vecDecodable[2], pStrip->m_vecElems[i]->m_strPath);
    const ptrdiff_t nWithout = static_cast<ptrdiff_t>(pStrip->m_vecElems.size()) - fnThumbs();
    EXPECT_GT(nWithout, 0) << "no entry came without a thumbnail";
    EXPECT_NE(nullptr, pStrip->m_vecElems.back()->m_hThumb) << "with room enough, thumbnails again";

    // An entry without a thumbnail paints as an empty box: the tile shows through.
    pStrip->ScrollToElem(static_cast<int>(pStrip->m_vecElems.size()) - 1);
    pStrip->RecalcLayout();
    fnPaint();
    const CElem* pEmpty = nullptr;
    const CElem* pFull = nullptr;
    for (const auto& node : pStrip->m_mapVisible)
        (node.second->m_hThumb ? pFull : pEmpty) = node.second;
    ASSERT_NE(nullptr, pEmpty);
    ASSERT_NE(nullptr, pFull);
    RECT rcClient;
    ::GetClientRect(hStrip, &rcClient);
    ::MapWindowPoints(hStrip, nullptr, reinterpret_cast<POINT*>(&rcClient), 2);
    const CPixels client = ScreenShot(rcClient);
    ASSERT_FALSE(client.Empty());
    auto fnCentre = [&](const CElem* pElem) {
        return client.At((pElem->m_rcBox.left + pElem->m_rcBox.right) / 2,
                         (pElem->m_rcBox.top + pElem->m_rcBox.bottom) / 2) & 0xFFFFFFu;
    };
    EXPECT_NE(fnCentre(pFull), fnCentre(pEmpty));
}
