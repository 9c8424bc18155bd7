#include "tests/reliability_session/GdiCount.h"
#include "tests/reliability_session/ReliabilityFiles.h"
#include "tests/support/RealInput.h"

#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

using namespace Reliability;
using namespace TestSupport;

namespace
{
// What a run of cycles leaves behind, measured after a warm-up that fills
// the platform's caches (GDI+, the drag service, the heap's free lists).
struct SGrowth
{
    long long nGdiObjects;
    long long cbMemory;
};

const int kWarmUp = 20;

template <typename Cycle>
SGrowth MeasureGrowth(int nCycles, Cycle fnCycle, int nWarmUp = kWarmUp)
{
    for (int n = 0; n < nWarmUp; ++n)
        fnCycle(n);
    // The count of GDI objects first: the objects it makes for a moment
    // leave the heap larger for good.
    const size_t nRoomBefore = GdiRoomLeft();
    const size_t cbBefore = ProcessMemory();
    for (int n = 0; n < nCycles; ++n)
        fnCycle(n);
    const size_t cbAfter = ProcessMemory();
    const size_t nRoomAfter = GdiRoomLeft();
    const SGrowth growth = {static_cast<long long>(nRoomBefore) - static_cast<long long>(nRoomAfter),
                            static_cast<long long>(cbAfter) - static_cast<long long>(cbBefore)};
    std::printf("%d cycles: %+lld GDI objects, %+lld KB private memory\n", nCycles, growth.nGdiObjects,
                growth.cbMemory / 1024);
    return growth;
}

// One leaked object per cycle would show as hundreds; a few are the
// platform's own lazily made objects.
const long long kGdiNoise = 8;
// A thumbnail alone is 28 KB, so one entry leaked per cycle would add tens of
// megabytes; a megabyte is what the heap keeps as its own over such a run.
const long long kMemoryNoise = 1024 * 1024;

// A strip along the bottom holding the first kBase pictures of a drop.
class StripLeakTest : public ::testing::TestWithParam<int>
{
public:
    enum
    {
        kBase = 5
    };

    StripLeakTest() : m_files(32) {}

    void SetUp() override
    {
        m_pStrip.reset(MakePlacedStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip);
        m_vecBase.assign(m_files.m_vecDecodable.begin(), m_files.m_vecDecodable.begin() + kBase);
        DropOnStrip(m_pStrip->m_hWnd, m_vecBase);
        ASSERT_EQ(m_vecBase, PathsOf(*m_pStrip));
        ::UpdateWindow(m_pStrip->m_hWnd);
    }

    // Two more files are dropped, the last is chosen, and Delete removes both.
    void DropSelectRemove(int n)
    {
        const size_t nFirst = kBase + (n % 6) * 2;
        DropOnStrip(m_pStrip->m_hWnd, {m_files.m_vecDecodable[nFirst], m_files.m_vecDecodable[nFirst + 1]});
        const int nLast = static_cast<int>(m_pStrip->m_vecElems.size()) - 1;
        HBITMAP hThumb = m_pStrip->m_vecElems[static_cast<size_t>(nLast)]->m_hThumb;
        m_pStrip->SelectElem(nLast);
        m_pStrip->RemoveElem(m_calls.m_nIndex);
        m_pStrip->RemoveElem(m_calls.m_nIndex);
        ::UpdateWindow(m_pStrip->m_hWnd);
        if (::GetObjectType(hThumb) != 0)
            ++m_nThumbsAlive;
    }
    // F5 on an entry: it is made again from its file.
    void Refresh(int n)
    {
        HBITMAP hThumb = m_pStrip->m_vecElems[static_cast<size_t>(n % kBase)]->m_hThumb;
        m_pStrip->RefreshElem(n % kBase);
        ::UpdateWindow(m_pStrip->m_hWnd);
        if (::GetObjectType(hThumb) != 0)
            ++m_nThumbsAlive;
    }
    void Repaint(int)
    {
        ::InvalidateRect(m_pStrip->m_hWnd, nullptr, TRUE);
        ::UpdateWindow(m_pStrip->m_hWnd);
    }
    // A user presses an entry, drags it over the next one and cancels with
    // Esc. The next entry's drop mark shows that the platform's drag loop ran:
    // only that loop tells the strip's drop target where the cursor is.
    void DragCancel(int n)
    {
        using namespace RealInput;
        const size_t i = static_cast<size_t>(n % (kBase - 1));
        CElem* pNext = m_pStrip->m_vecElems[i + 1];
        const POINT ptFrom = ScreenCentre(i);
        const POINT ptTo = ScreenCentre(i + 1);
        MoveTo(ptFrom);
        PumpUntil([&] {
            POINT pt;
            return ::GetCursorPos(&pt) && pt.x == ptFrom.x && pt.y == ptFrom.y;
        });
        LeftButton(true);
        PumpUntil([&] { return m_pStrip->m_pPressed == m_pStrip->m_vecElems[i]; });

        std::vector<CScriptedUser::SStep> steps;
        AppendPath(&steps, ptFrom, ptTo);
        DWORD dwPathEnd = 0;
        steps.push_back({nullptr, [&] { dwPathEnd = ::GetTickCount(); }});
        // Esc in any case, so that no drag outlives the cycle.
        steps.push_back({[&] { return pNext->m_bDropMark || ::GetTickCount() - dwPathEnd > 3000; },
                         [&] {
                             if (pNext->m_bDropMark)
                                 ++m_nDrags;
                             PressKey(VK_ESCAPE);
                         }});
        CScriptedUser user(std::move(steps));
        PumpUntil([&] { return user.Done() && !m_pStrip->m_pPressed; }, 10000);
        LeftButton(false);
        PumpUntil([&] { return ::GetKeyState(VK_LBUTTON) >= 0; });
    }
    POINT ScreenCentre(size_t i) const
    {
        const RECT& rc = m_pStrip->m_vecElems[i]->m_rcBox;
        POINT pt = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
        ::ClientToScreen(m_pStrip->m_hWnd, &pt);
        return pt;
    }

    // The strip's drop target's count of references, read through the
    // interface the platform keeps for the window.
    ULONG DropTargetRefs() const
    {
        auto* pTarget = static_cast<IDropTarget*>(::GetPropW(m_pStrip->m_hWnd, L"OleDropTargetInterface"));
        if (!pTarget)
            return 0;
        pTarget->AddRef();
        return pTarget->Release();
    }

protected:
    CDropFiles m_files;
    std::vector<std::wstring> m_vecBase;
    CLastSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
    int m_nThumbsAlive = 0;
    int m_nDrags = 0;
};

struct SCycle
{
    const char* pszName;
    int nCycles;
    int nWarmUp;
    // The nth cycle; it leaves the strip with the entries it began with.
    void (StripLeakTest::*pfnCycle)(int);
};
const SCycle s_aCycles[] = {
    {"DropSelectRemove", 2000, kWarmUp, &StripLeakTest::DropSelectRemove},
    {"Refresh", 2000, kWarmUp, &StripLeakTest::Refresh},
    {"Repaint", 5000, kWarmUp, &StripLeakTest::Repaint},
    // Real input at a user's pace, a third of a second a drag: one drag image
    // leaked per drag would still show many times over.
    {"DragCancel", 100, 10, &StripLeakTest::DragCancel},
};
} // namespace

TEST_P(StripLeakTest, ThousandsOfCyclesLeaveNothingBehind)
{
    const SCycle& cycle = s_aCycles[GetParam()];
    const ULONG nTargetRefs = DropTargetRefs();
    ASSERT_GT(nTargetRefs, 0u);

    const SGrowth growth =
        MeasureGrowth(cycle.nCycles, [&](int n) { (this->*cycle.pfnCycle)(n); }, cycle.nWarmUp);

    EXPECT_EQ(m_vecBase, PathsOf(*m_pStrip)) << "every cycle ends where it began";
    EXPECT_EQ(0, m_nThumbsAlive) << "thumbnails of entries that left the strip";
    EXPECT_LE(growth.nGdiObjects, kGdiNoise);
    if (!HeapChecked())
    {
        EXPECT_LE(growth.cbMemory, kMemoryNoise);
    }
    EXPECT_EQ(nTargetRefs, DropTargetRefs()) << "references to the strip's drop target";
    if (cycle.pfnCycle == &StripLeakTest::DragCancel)
    {
        EXPECT_EQ(cycle.nCycles + cycle.nWarmUp, m_nDrags) << "drags that reached the platform's drag loop";
    }
}

INSTANTIATE_TEST_SUITE_P(Cycles, StripLeakTest, ::testing::Range(0, 4),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(s_aCycles[info.param].pszName);
                         });

// The viewer reads the shown file again (F5) many times. Each load hides the
// viewer until its redraw, and Wine waits for a window manager on every hide
// of a managed window (there is none on the test display), so the run is
// shorter than the strip's.
TEST(ViewerLeakTest, ReloadingThePictureLeavesNothingBehind)
{
    CDropFiles files(4);
    CMessageBoxWatcher boxes;
    CTarvoMainWnd* pViewer = new CTarvoMainWnd;
    ASSERT_TRUE(pViewer->CreateViewerWindow());
    const HWND hViewer = pViewer->m_hWnd;
    ::SendMessageW(hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(files.m_vecDecodable)), 0);
    ASSERT_NE(nullptr, pViewer->m_pToolWnd);
    CTarvoToolWnd* pStrip = pViewer->m_pToolWnd;
    auto fnSettle = [&] { PumpUntil([&] { return !pViewer->m_bRedrawPending; }, 10000, pViewer); };
    fnSettle();

    int nLoads = 0;
    const SGrowth growth = MeasureGrowth(
        40,
        [&](int) {
            pStrip->RefreshElem(pViewer->m_nCurIndex);
            // A load hides the viewer until its redraw.
            nLoads += pViewer->m_bRedrawPending ? 1 : 0;
            fnSettle();
        },
        5);

    EXPECT_EQ(45, nLoads) << "every reload reads the file again";
    EXPECT_EQ(files.m_vecDecodable, PathsOf(*pStrip));
    EXPECT_LE(growth.nGdiObjects, kGdiNoise);
    if (!HeapChecked())
    {
        EXPECT_LE(growth.cbMemory, kMemoryNoise);
    }
    EXPECT_TRUE(boxes.m_vecBoxes.empty());
    ::DestroyWindow(hViewer);
}
