#include "tests/dnd/StripDragFixture.h"

#include <gtest/gtest.h>

using namespace DragTest;
using namespace StripDrag;

namespace
{
const RECT kUnlaid = {-1, -1, -1, -1};

// A drag's data carrying one block in the entries' format.
struct SData
{
    explicit SData(std::vector<BYTE> vecBytes, CLIPFORMAT cf = ElemDragFormat())
        : pData(new CTestDataObject(cf, std::move(vecBytes)))
    {
    }
    ~SData() { pData->Release(); }
    SData(const SData&) = delete;
    SData& operator=(const SData&) = delete;
    CTestDataObject* pData;
};

bool SameRect(const RECT& a, const RECT& b)
{
    return ::EqualRect(&a, &b) != FALSE;
}
} // namespace

TEST(ReorderTest, MoveElemPlacesTheDraggedEntryInFrontOfItsTarget)
{
    struct SCase
    {
        int nDragged, nTarget; // -1: null, 9: an entry of no strip
        const char* pszOrder;
        BOOL bResult;
        bool bLayout;
    };
    const SCase cases[] = {
        {0, 3, "BCADE", TRUE, true},  {0, 4, "BCDAE", TRUE, true},  {4, 1, "AEBCD", TRUE, true},
        {2, 1, "ACBDE", TRUE, true},  {3, 0, "DABCE", TRUE, true},
        {1, 2, "ABCDE", TRUE, false}, // already just before its target
        {-1, 2, "ABCDE", FALSE, false}, {2, -1, "ABCDE", FALSE, false},
        {9, 2, "ABCDE", FALSE, false}, {2, 9, "ABCDE", FALSE, false},
    };
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.nDragged) + " onto " + std::to_string(c.nTarget));
        strip.Restore();
        CElem foreign;
        auto pick = [&](int n) { return n < 0 ? nullptr : n == 9 ? &foreign : strip.Elem(n); };
        CElem* pSelected = strip.Elem(2);
        strip.m_pStrip->m_pSelected = pSelected;
        std::vector<int> vecRefs;
        for (CElem* pElem : strip.m_pStrip->m_vecElems)
        {
            vecRefs.push_back(pElem->m_nRef);
            pElem->m_rcBox = kUnlaid;
        }
        const std::string strBefore = strip.Order();

        EXPECT_EQ(c.bResult, strip.m_pStrip->MoveElem(pick(c.nTarget), pick(c.nDragged)));
        EXPECT_EQ(c.pszOrder, strip.Order());
        EXPECT_EQ(pSelected, strip.m_pStrip->m_pSelected) << "the frame stays on its entry";
        for (size_t i = 0; i < 5; ++i)
        {
            const CElem* pElem = strip.Elem(i);
            EXPECT_EQ(vecRefs[strBefore.find(static_cast<char>(pElem->m_strName[0]))], pElem->m_nRef);
            if (c.bLayout)
            {
                EXPECT_EQ(static_cast<int>(i), pElem->m_nIndex);
                EXPECT_EQ(20 + 108 * static_cast<LONG>(i), pElem->m_rcBox.left);
            }
            else
            {
                EXPECT_TRUE(SameRect(kUnlaid, pElem->m_rcBox)) << "no layout";
            }
        }
    }
}

TEST(ReorderTest, EdgeZonesAreThirtyPixelsWithTheRightOneFirst)
{
    struct SCase
    {
        LONG nRight;
        LONG x;
        int nZone;
    };
    const SCase cases[] = {
        {1000, 999, 2}, {1000, 970, 2}, {1000, 969, 0}, {1000, 30, 0}, {1000, 29, 1}, {1000, 0, 1},
        {1000, 1000, 0}, {1000, -1, 0},
        {50, 25, 2}, {50, 19, 1}, // narrower than both zones: the right one wins where they overlap
    };
    for (const SCase& c : cases)
    {
        const RECT rcClient = {0, 0, c.nRight, 103};
        EXPECT_EQ(c.nZone, CTarvoToolWnd::HitTestEdgeZone(rcClient, POINT{c.x, 50}))
            << "x " << c.x << " of " << c.nRight;
    }
    EXPECT_EQ(0, CTarvoToolWnd::HitTestEdgeZone(RECT{0, 0, 1000, 103}, POINT{990, 103})) << "below the client";
}

TEST(ReorderTest, EnterAcceptsOnlyEntriesByTheirSourceWindow)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    ASSERT_NE(nullptr, target.m_pTarget);
    const HWND hOther = ::GetDesktopWindow();
    std::vector<BYTE> vecShort = Payload(strip.Wnd(), strip.Elem(0));
    vecShort.resize(8);

    struct SCase
    {
        const char* pszName;
        std::vector<BYTE> vecBytes;
        CLIPFORMAT cf;
        DWORD dwEffect;
    };
    const SCase cases[] = {
        {"this strip", Payload(strip.Wnd(), strip.Elem(0)), ElemDragFormat(), DROPEFFECT_MOVE},
        {"another window", Payload(hOther, strip.Elem(0)), ElemDragFormat(), DROPEFFECT_COPY},
        {"kind 2", Payload(strip.Wnd(), strip.Elem(0), 2), ElemDragFormat(), DROPEFFECT_NONE},
        {"short block", vecShort, ElemDragFormat(), DROPEFFECT_NONE},
        {"another format", Payload(strip.Wnd(), strip.Elem(0)), CF_HDROP, DROPEFFECT_NONE},
    };
    for (const SCase& c : cases)
    {
        SData data(c.vecBytes, c.cf);
        EXPECT_EQ(c.dwEffect, target.Enter(data.pData, strip.ToScreen(strip.Centre(3)))) << c.pszName;
        EXPECT_FALSE(strip.AnyDropMark()) << c.pszName << ": entering marks nothing";
        EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
        target.Leave();
    }
}

TEST(ReorderTest, DragOverMarksOnlyTheEntryUnderTheCursor)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    SData data(Payload(strip.Wnd(), strip.Elem(0)));
    const POINT ptGap = {strip.Elem(3)->m_rcBox.left - 10, 50};
    ASSERT_EQ(DROPEFFECT_MOVE, target.Enter(data.pData, strip.ToScreen(strip.Centre(3))));

    struct SStep
    {
        const char* pszName;
        POINT pt;
        DWORD dwEffect;
        int nMarked; // -1: none
    };
    const SStep steps[] = {
        {"on D", strip.Centre(3), DROPEFFECT_MOVE, 3},
        {"on C", strip.Centre(2), DROPEFFECT_MOVE, 2},
        {"on D's left edge", POINT{strip.Elem(3)->m_rcBox.left, 10}, DROPEFFECT_MOVE, 3},
        {"in the gap before D", ptGap, DROPEFFECT_NONE, -1},
        {"on D again", strip.Centre(3), DROPEFFECT_MOVE, 3},
        {"on the dragged entry's own box", strip.Centre(0), DROPEFFECT_NONE, -1},
    };
    for (const SStep& s : steps)
    {
        EXPECT_EQ(s.dwEffect, target.Over(strip.ToScreen(s.pt))) << s.pszName;
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(static_cast<int>(i) == s.nMarked, strip.Elem(i)->m_bDropMark != FALSE)
                << s.pszName << ": entry " << i;
    }

    // The mark is painted: the marker's white line stands in the gap before D.
    target.Over(strip.ToScreen(strip.Centre(3)));
    ::UpdateWindow(strip.Wnd());
    HDC hDC = ::GetDC(strip.Wnd());
    const COLORREF clrLine = ::GetPixel(hDC, strip.Elem(3)->m_rcBox.left - 11, 50);
    const COLORREF clrBeforeC = ::GetPixel(hDC, strip.Elem(2)->m_rcBox.left - 11, 50);
    ::ReleaseDC(strip.Wnd(), hDC);
    EXPECT_EQ(RGB(255, 255, 255), clrLine);
    EXPECT_NE(RGB(255, 255, 255), clrBeforeC);
    target.Leave();
}

// Only this strip's own drag skips the dragged entry: another window's drag
// whose id happens to equal one of ours marks that entry like any other.
TEST(ReorderTest, AnotherWindowsDragMarksEveryEntryUnderTheCursor)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    SData data(Payload(::GetDesktopWindow(), strip.Elem(2)));
    const POINT ptC = strip.ToScreen(strip.Centre(2));
    ASSERT_EQ(DROPEFFECT_COPY, target.Enter(data.pData, ptC));
    EXPECT_EQ(DROPEFFECT_MOVE, target.Over(ptC));
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(i == 2, strip.Elem(i)->m_bDropMark != FALSE) << "entry " << i;
    target.Leave();
}

TEST(ReorderTest, DropMovesOnlyOwnEntriesAndLeavesNoMarkOrTimer)
{
    enum EPoint
    {
        ON_D,
        ON_B,
        ON_C,
        ON_OWN_BOX,
        IN_GAP,
        BESIDE_LAST
    };
    struct SCase
    {
        const char* pszName;
        int nDragged; // -1: an id that is no entry
        int nKind;
        EPoint point;
        const char* pszOrder;
        DWORD dwEffect;
        bool bForeign = false; // from another window, its id equal to one of ours
    };
    const SCase cases[] = {
        {"A onto D", 0, 1, ON_D, "BCADE", DROPEFFECT_MOVE},
        {"E onto B", 4, 1, ON_B, "AEBCD", DROPEFFECT_MOVE},
        {"B onto C", 1, 1, ON_C, "ABCDE", DROPEFFECT_MOVE},
        {"A onto itself", 0, 1, ON_OWN_BOX, "ABCDE", DROPEFFECT_NONE},
        {"A into a gap", 0, 1, IN_GAP, "ABCDE", DROPEFFECT_NONE},
        {"A beside the last", 0, 1, BESIDE_LAST, "ABCDE", DROPEFFECT_NONE},
        {"forged entry onto D", -1, 1, ON_D, "ABCDE", DROPEFFECT_MOVE},
        {"kind 2 onto D", 0, 2, ON_D, "ABCDE", DROPEFFECT_NONE},
        {"another window's entry with A's id onto D", 0, 1, ON_D, "ABCDE", DROPEFFECT_MOVE, true},
        {"another window's entry with E's id onto B", 4, 1, ON_B, "ABCDE", DROPEFFECT_MOVE, true},
    };
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        strip.Restore();
        const DWORD nDragged = c.nDragged < 0 ? 0x00BADBADu : strip.Elem(c.nDragged)->m_nDragId;
        SData data(Payload(c.bForeign ? ::GetDesktopWindow() : strip.Wnd(), nDragged, c.nKind));
        const RECT& rcE = strip.Elem(4)->m_rcBox;
        const POINT points[] = {strip.Centre(3), strip.Centre(1), strip.Centre(2),
                                c.nDragged < 0 ? strip.Centre(0) : strip.Centre(c.nDragged),
                                POINT{strip.Elem(3)->m_rcBox.left - 1, 50}, POINT{rcE.right + 5, 50}};
        const POINT ptScreen = strip.ToScreen(points[c.point]);

        target.Enter(data.pData, ptScreen);
        target.Over(ptScreen);
        EXPECT_EQ(c.dwEffect, target.Drop(data.pData, ptScreen));
        EXPECT_EQ(c.pszOrder, strip.Order());
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ(static_cast<int>(i), strip.Elem(i)->m_nIndex);
        EXPECT_FALSE(strip.AnyDropMark());
        EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
    }
    EXPECT_TRUE(strip.m_calls.m_vecIndexes.empty()) << "the viewer is not told of a reorder";
}

TEST(ReorderTest, LeavingClearsTheMarksAndStopsAutoScroll)
{
    CStripWithEntries strip(14);
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    SData data(Payload(strip.Wnd(), strip.Elem(0)));
    RECT rcClient;
    ::GetClientRect(strip.Wnd(), &rcClient);
    const POINT ptEdge = strip.ToScreen(POINT{rcClient.right - 10, 50});

    target.Enter(data.pData, ptEdge);
    EXPECT_EQ(DROPEFFECT_MOVE, target.Over(ptEdge)) << "an entry reaches under the right edge";
    ASSERT_TRUE(strip.AnyDropMark());
    ASSERT_TRUE(strip.m_pStrip->m_bScrollTimer);
    target.Leave();
    EXPECT_FALSE(strip.AnyDropMark());
    EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
    EXPECT_EQ(0, strip.m_pStrip->m_nScrollZone);
    TestSupport::PumpFor(200);
    EXPECT_EQ(0, strip.ScrollPos()) << "no scrolling after the drag left";
}

TEST(ReorderTest, AutoScrollStepsTenPixelsTowardTheZoneAndHoldsAtTheEnds)
{
    CStripWithEntries strip(14); // 1532 px of content
    ASSERT_NE(nullptr, strip.Wnd());
    CPlatformTarget target(strip.Wnd());
    SData data(Payload(strip.Wnd(), strip.Elem(0)));
    RECT rcClient;
    ::GetClientRect(strip.Wnd(), &rcClient);
    SCROLLINFO si = {};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    ::GetScrollInfo(strip.Wnd(), SB_HORZ, &si);
    const int nMaxPos = si.nMax - static_cast<int>(si.nPage) + 1; // the bar's own end
    ASSERT_GT(nMaxPos, 100);
    auto tick = [&] { ::SendMessageW(strip.Wnd(), WM_TIMER, CTarvoToolWnd::TIMER_AUTOSCROLL, 0); };
    auto setPos = [&](int nPos) {
        ::SetScrollPos(strip.Wnd(), SB_HORZ, nPos, TRUE);
        strip.m_pStrip->RecalcLayout();
    };

    // Held in the right zone, the strip's own timer scrolls it.
    const POINT ptRight = strip.ToScreen(POINT{rcClient.right - 5, 50});
    target.Enter(data.pData, ptRight);
    target.Over(ptRight);
    EXPECT_EQ(2, strip.m_pStrip->m_nScrollZone);
    ASSERT_TRUE(strip.m_pStrip->m_bScrollTimer);
    EXPECT_TRUE(TestSupport::PumpUntil([&] { return strip.ScrollPos() > 0; }));

    struct SStep
    {
        int nZoneX; // where the cursor is held
        int nFrom, nTo;
    };
    const SStep steps[] = {
        {rcClient.right - 5, 100, 110}, {rcClient.right - 30, 110, 120}, {rcClient.right - 5, nMaxPos, nMaxPos},
        {5, 100, 90},                   {29, 90, 80},                    {5, 0, 0},
    };
    for (const SStep& s : steps)
    {
        setPos(s.nFrom);
        target.Over(strip.ToScreen(POINT{s.nZoneX, 50}));
        tick();
        EXPECT_EQ(s.nTo, strip.ScrollPos()) << "from " << s.nFrom << " held at x " << s.nZoneX;
        EXPECT_EQ(20 - s.nTo, strip.Elem(0)->m_rcBox.left) << "laid out at the new position";
        EXPECT_TRUE(strip.m_pStrip->m_bScrollTimer);
    }

    // At an end the timer keeps running: its ticks still lay the row out.
    strip.Elem(5)->m_rcBox = kUnlaid;
    EXPECT_TRUE(TestSupport::PumpUntil([&] { return !SameRect(kUnlaid, strip.Elem(5)->m_rcBox); }));
    EXPECT_EQ(0, strip.ScrollPos());

    // Out of the zones, the next tick stops the timer where it is.
    setPos(60);
    target.Over(strip.ToScreen(POINT{rcClient.right / 2, 50}));
    EXPECT_TRUE(strip.m_pStrip->m_bScrollTimer) << "only a tick stops it";
    tick();
    EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
    EXPECT_EQ(60, strip.ScrollPos());
    target.Leave();
}

TEST(ReorderTest, AutoScrollNeedsContentWiderThanTheStrip)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    EXPECT_FALSE(strip.m_pStrip->CanAutoScroll());
    CPlatformTarget target(strip.Wnd());
    SData data(Payload(strip.Wnd(), strip.Elem(0)));
    RECT rcClient;
    ::GetClientRect(strip.Wnd(), &rcClient);
    const POINT ptRight = strip.ToScreen(POINT{rcClient.right - 5, 50});
    target.Enter(data.pData, ptRight);
    target.Over(ptRight);
    ASSERT_TRUE(strip.m_pStrip->m_bScrollTimer);
    ::SendMessageW(strip.Wnd(), WM_TIMER, CTarvoToolWnd::TIMER_AUTOSCROLL, 0);
    EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
    EXPECT_EQ(0, strip.ScrollPos());
    target.Leave();
}

TEST(ReorderTest, AutoScrollKeepsPositionsBeyondSixteenBits)
{
    CStripWithEntries strip(320); // 34580 px of content
    ASSERT_NE(nullptr, strip.Wnd());
    ASSERT_TRUE(strip.m_pStrip->CanAutoScroll());
    strip.m_pStrip->m_nScrollZone = 2;
    ::SetScrollPos(strip.Wnd(), SB_HORZ, 32765, TRUE);
    ::SendMessageW(strip.Wnd(), WM_TIMER, CTarvoToolWnd::TIMER_AUTOSCROLL, 0);
    EXPECT_EQ(32775, strip.ScrollPos());
    EXPECT_EQ(20 - 32775, strip.Elem(0)->m_rcBox.left);
}
