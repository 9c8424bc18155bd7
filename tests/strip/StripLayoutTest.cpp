#include "tests/strip/StripTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace StripTest;
using namespace TestSupport;

namespace
{
// The strip destroys entries through their virtual destructor; this one
// counts how often that happens to it.
class CCountedElem : public CElem
{
public:
    CCountedElem(std::vector<int>& vecDestroyed, int nId) : m_vecDestroyed(vecDestroyed), m_nId(nId) {}
    ~CCountedElem() override { ++m_vecDestroyed[static_cast<size_t>(m_nId)]; }

private:
    std::vector<int>& m_vecDestroyed;
    int m_nId;
};

class StripLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pStrip.reset(MakeStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip->m_hWnd);
        RECT rc;
        ::GetClientRect(m_pStrip->m_hWnd, &rc);
        ASSERT_EQ(1280, rc.right) << "the strip is as wide as the virtual display";
    }

    // Entries without thumbnails: layout and scrolling do not look at them.
    void AddElems(int nCount)
    {
        for (int i = 0; i < nCount; ++i)
        {
            auto* pElem = new CElem;
            pElem->m_strName = L"e" + std::to_wstring(m_pStrip->m_vecElems.size());
            pElem->m_strPath = L"C:\\pics\\" + pElem->m_strName;
            pElem->AddRef();
            m_pStrip->m_vecElems.push_back(pElem);
        }
        m_pStrip->RecalcLayout();
        m_pStrip->UpdateScrollBar();
    }
    void SetPos(int nPos)
    {
        SCROLLINFO si = {sizeof(si), SIF_POS, 0, 0, 0, nPos, 0};
        ::SetScrollInfo(m_pStrip->m_hWnd, SB_HORZ, &si, TRUE);
        m_pStrip->RecalcLayout();
    }
    int Pos() const { return ::GetScrollPos(m_pStrip->m_hWnd, SB_HORZ); }
    SCROLLINFO Bar() const
    {
        SCROLLINFO si = {sizeof(si), SIF_ALL, 0, 0, 0, 0, 0};
        ::GetScrollInfo(m_pStrip->m_hWnd, SB_HORZ, &si);
        return si;
    }
    // EnableScrollBar reports whether it changed anything: disabling an
    // enabled bar does, and the probe then puts the bar back.
    bool BarEnabled() const
    {
        if (!::EnableScrollBar(m_pStrip->m_hWnd, SB_HORZ, ESB_DISABLE_BOTH))
            return false;
        ::EnableScrollBar(m_pStrip->m_hWnd, SB_HORZ, ESB_ENABLE_BOTH);
        return true;
    }
    bool BarShown() const { return (::GetWindowLongW(m_pStrip->m_hWnd, GWL_STYLE) & WS_HSCROLL) != 0; }
    std::vector<int> VisibleKeys() const
    {
        std::vector<int> vecKeys;
        for (const auto& node : m_pStrip->m_mapVisible)
        {
            EXPECT_EQ(node.first, node.second->m_nIndex);
            EXPECT_EQ(m_pStrip->m_vecElems[static_cast<size_t>(node.first)], node.second);
            vecKeys.push_back(node.first);
        }
        return vecKeys;
    }
    static std::vector<int> Range(int nFirst, int nLast)
    {
        std::vector<int> vec;
        for (int i = nFirst; i <= nLast; ++i)
            vec.push_back(i);
        return vec;
    }
    void Scroll(UINT nCode) { ::SendMessageW(m_pStrip->m_hWnd, WM_HSCROLL, MAKEWPARAM(nCode, 0), 0); }

    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};
} // namespace

TEST_F(StripLayoutTest, EntriesAreDestroyedOnceWhenTheLastReferenceGoes)
{
    CTempFolder dir;
    std::vector<int> vecDestroyed(15, 0);
    for (int i = 0; i < 15; ++i)
    {
        auto* pElem = new CCountedElem(vecDestroyed, i);
        pElem->m_strPath = dir.Path(L"p" + std::to_wstring(i) + L".png");
        ASSERT_TRUE(WriteSolidPicture(pElem->m_strPath, 4, 4, RGB(1, 2, 3)));
        pElem->AddRef();
        m_pStrip->m_vecElems.push_back(pElem);
    }
    std::vector<CElem*> vecAlive(m_pStrip->m_vecElems);
    // The entries expected alive, by id, with their counts: 2 in the map, 1 outside.
    auto expectCounts = [&](const char* pszStep) {
        SCOPED_TRACE(pszStep);
        for (int i = 0; i < 15; ++i)
        {
            CElem* pElem = vecAlive[static_cast<size_t>(i)];
            if (!pElem)
            {
                EXPECT_EQ(1, vecDestroyed[static_cast<size_t>(i)]) << "entry " << i << " destroyed once";
                continue;
            }
            ASSERT_EQ(0, vecDestroyed[static_cast<size_t>(i)]) << "entry " << i << " destroyed early";
            const bool bVisible = m_pStrip->m_mapVisible.count(pElem->m_nIndex) &&
                                  m_pStrip->m_mapVisible[pElem->m_nIndex] == pElem;
            EXPECT_EQ(bVisible ? 2 : 1, pElem->m_nRef) << "entry " << i;
        }
    };

    m_pStrip->RecalcLayout();
    m_pStrip->RecalcLayout();
    EXPECT_EQ(Range(0, 11), VisibleKeys());
    expectCounts("two layouts");

    m_pStrip->RemoveElem(3); // visible
    vecAlive[3] = nullptr;
    expectCounts("removing a visible entry");

    m_pStrip->RemoveElem(13); // entry 14, out of view
    vecAlive[14] = nullptr;
    expectCounts("removing an entry out of view");

    m_pStrip->RefreshElem(0); // rebuilt from its file: a new entry takes its place
    vecAlive[0] = nullptr;
    expectCounts("refreshing");
    EXPECT_EQ(vecAlive[1], m_pStrip->m_vecElems[1]);
    EXPECT_EQ(vecAlive[0], nullptr);
    EXPECT_EQ(2, m_pStrip->m_vecElems[0]->m_nRef);

    ::DeleteFileW(vecAlive[1]->m_strPath.c_str());
    m_pStrip->RefreshElem(1); // its file is gone
    vecAlive[1] = nullptr;
    expectCounts("refreshing an entry whose file is gone");

    m_pStrip.reset();
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(1, vecDestroyed[static_cast<size_t>(i)]) << "entry " << i << " at the strip's end";
}

TEST_F(StripLayoutTest, BoxesFollowThePositionAndOnlyEntriesReachingInAreVisible)
{
    AddElems(15);
    for (size_t i = 0; i < 15; ++i)
    {
        const RECT& rc = m_pStrip->m_vecElems[i]->m_rcBox;
        const LONG x = 20 + 108 * static_cast<LONG>(i);
        EXPECT_EQ(x, rc.left);
        EXPECT_EQ(10, rc.top);
        EXPECT_EQ(x + 88, rc.right);
        EXPECT_EQ(92, rc.bottom);
    }
    struct SCase
    {
        int nPos;
        int nFirst, nLast;
    };
    const SCase cases[] = {
        {0, 0, 11},
        {36, 0, 11},   // entry 12's left edge is exactly at the client width
        {37, 0, 12},   // one column of it inside
        {107, 0, 12},  // one column of entry 0 inside
        {108, 1, 12},  // entry 0's right edge exactly at 0
        {361, 3, 14},  // the end of the range
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "position " << c.nPos);
        SetPos(c.nPos);
        ASSERT_EQ(c.nPos, Pos());
        EXPECT_EQ(Range(c.nFirst, c.nLast), VisibleKeys());
        EXPECT_EQ(20 - c.nPos, m_pStrip->m_vecElems[0]->m_rcBox.left) << "out of view, still laid out";
        EXPECT_EQ(20 + 108 * 14 - c.nPos, m_pStrip->m_vecElems[14]->m_rcBox.left);
    }
}

TEST_F(StripLayoutTest, ScrollBarIsEnabledOnlyWhileTheContentIsWider)
{
    EXPECT_TRUE(BarShown());
    EXPECT_FALSE(BarEnabled()) << "shown and disabled from the start";
    EXPECT_EQ(20, m_pStrip->GetContentSize().cx);
    EXPECT_EQ(103, m_pStrip->GetContentSize().cy);

    AddElems(11); // content 1208
    EXPECT_EQ(1208, m_pStrip->GetContentSize().cx);
    EXPECT_FALSE(BarEnabled());
    EXPECT_TRUE(BarShown());

    AddElems(1); // content 1316
    EXPECT_TRUE(BarEnabled());
    EXPECT_TRUE(BarShown());
    SCROLLINFO si = Bar();
    EXPECT_EQ(0, si.nMin);
    EXPECT_EQ(1316, si.nMax);
    EXPECT_EQ(1280u, si.nPage);

    AddElems(3);
    SetPos(300);
    m_pStrip->RemoveElem(14);
    EXPECT_EQ(253, Pos());
    EXPECT_EQ(20 - 253, m_pStrip->m_vecElems[0]->m_rcBox.left) << "laid out at the bar's new position";
    m_pStrip->RemoveElem(13);
    EXPECT_TRUE(BarEnabled());
    EXPECT_EQ(1424, Bar().nMax);
    EXPECT_EQ(145, Pos()) << "the platform keeps the position in the smaller range";
    m_pStrip->RemoveElem(12);
    m_pStrip->RemoveElem(11);
    EXPECT_FALSE(BarEnabled());
    EXPECT_TRUE(BarShown());
    EXPECT_EQ(37, Pos()) << "the position stays, as the content now fits";
    EXPECT_EQ(20 - 37, m_pStrip->m_vecElems[0]->m_rcBox.left);
}

TEST_F(StripLayoutTest, StepsMoveTheRowAndStopWhereTheBarStops)
{
    AddElems(30); // content 3260: the bar stops at 3260 - 1280 + 1
    const SCROLLINFO si = Bar();
    const int nMaxPos = si.nMax - static_cast<int>(si.nPage) + 1;
    ASSERT_EQ(1981, nMaxPos);
    struct SCase
    {
        int nFrom;
        UINT nCode;
        int nTo;
    };
    const SCase cases[] = {
        {5, SB_LINELEFT, 4},      {0, SB_LINELEFT, 0},       {0, SB_LINERIGHT, 1},
        {1980, SB_LINERIGHT, 1981}, {1981, SB_LINERIGHT, 1981}, {1500, SB_PAGELEFT, 220},
        {1280, SB_PAGELEFT, 0},   {1281, SB_PAGELEFT, 1},    {0, SB_PAGERIGHT, 1280},
        {1000, SB_PAGERIGHT, 1981}, {50, SB_TOP, 50},         {50, SB_BOTTOM, 50},
        {50, SB_ENDSCROLL, 50},
        // Without a drag of the thumb under way the bar's track position is its position.
        {50, SB_THUMBTRACK, 50},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "code " << c.nCode << " from " << c.nFrom);
        SetPos(c.nFrom);
        Scroll(c.nCode);
        EXPECT_EQ(c.nTo, Pos());
        EXPECT_EQ(20 - c.nTo, m_pStrip->m_vecElems[0]->m_rcBox.left) << "the row follows";
    }
}

TEST_F(StripLayoutTest, TheWheelScrollsOneEntryPerNotch)
{
    AddElems(30); // the bar stops at 1981
    struct SCase
    {
        int nFrom;
        std::vector<int> vecTurns; // wheel deltas, one message each
        int nTo;
    };
    const SCase cases[] = {
        {0, {-WHEEL_DELTA}, 108},          {500, {-3 * WHEEL_DELTA}, 824},   {216, {WHEEL_DELTA}, 108},
        {50, {WHEEL_DELTA}, 0},            {1950, {-WHEEL_DELTA}, 1981},     {0, {-60, -60}, 108},
        {0, {-60}, 0},                     {324, {-30, 90, 60}, 216},
    };
    POINT ptScreen = {100, 50};
    ::ClientToScreen(m_pStrip->m_hWnd, &ptScreen);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "from " << c.nFrom << " by " << c.vecTurns.size() << " turns");
        SetPos(c.nFrom);
        m_pStrip->m_nWheelRest = 0;
        for (int nDelta : c.vecTurns)
            ::SendMessageW(m_pStrip->m_hWnd, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(nDelta)),
                           MAKELPARAM(ptScreen.x, ptScreen.y));
        EXPECT_EQ(c.nTo, Pos());
        EXPECT_EQ(20 - c.nTo, m_pStrip->m_vecElems[0]->m_rcBox.left) << "the row follows";
    }
}

TEST_F(StripLayoutTest, ScrollToElemPutsTheEntryAtTheLeftMarginWithinTheRange)
{
    AddElems(30);
    struct SCase
    {
        int nIndex;
        int nPos;
    };
    const SCase cases[] = {{5, 540}, {0, 0}, {29, 1981}, {99, 1981}};
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "entry " << c.nIndex);
        SetPos(700);
        m_pStrip->ScrollToElem(c.nIndex);
        m_pStrip->RecalcLayout();
        EXPECT_EQ(c.nPos, Pos());
    }
    m_pStrip->ScrollToElem(5);
    m_pStrip->RecalcLayout();
    EXPECT_EQ(20, m_pStrip->m_vecElems[5]->m_rcBox.left);
}

TEST_F(StripLayoutTest, DraggingTheThumbReachesPositionsBeyondSixteenBits)
{
    AddElems(700); // content 75620: the far end lies beyond 65535
    const int nMaxPos = 75620 - 1280 + 1;
    SCROLLBARINFO sbi = {};
    sbi.cbSize = sizeof(sbi);
    ASSERT_TRUE(::GetScrollBarInfo(m_pStrip->m_hWnd, OBJID_HSCROLL, &sbi));
    const int yBar = (sbi.rcScrollBar.top + sbi.rcScrollBar.bottom) / 2;
    const int xThumb = sbi.rcScrollBar.left + (sbi.xyThumbTop + sbi.xyThumbBottom) / 2;

    // Real input: press on the thumb, drag it past the right end, release.
    SendMouse(xThumb, yBar);
    PumpFor(50);
    SendMouse(xThumb, yBar, MOUSEEVENTF_LEFTDOWN);
    SendMouse(xThumb + 300, yBar);
    SendMouse(::GetSystemMetrics(SM_CXSCREEN) - 1, yBar);
    SendMouse(::GetSystemMetrics(SM_CXSCREEN) - 1, yBar, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(PumpUntil([&] { return Pos() == nMaxPos; }, 10000)) << "position " << Pos();
    EXPECT_EQ(20 + 108 * 699 - nMaxPos, m_pStrip->m_vecElems[699]->m_rcBox.left);
    EXPECT_EQ(Range(688, 699), VisibleKeys());

    SetPos(nMaxPos - 5);
    Scroll(SB_LINERIGHT);
    Scroll(SB_PAGERIGHT);
    EXPECT_EQ(nMaxPos, Pos()) << "the steps stop where the thumb does";
}
