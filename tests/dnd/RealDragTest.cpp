#include "tests/dnd/StripDragFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

using namespace StripDrag;

namespace
{
// Real input through the system's input queue, at screen points.
void MoveTo(POINT pt)
{
    const int cxScreen = ::GetSystemMetrics(SM_CXSCREEN);
    const int cyScreen = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    // Normalised 0..65535, rounded up so the platform's scaling lands on the pixel.
    input.mi.dx = (pt.x * 65536 + cxScreen - 1) / cxScreen;
    input.mi.dy = (pt.y * 65536 + cyScreen - 1) / cyScreen;
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    ::SendInput(1, &input, sizeof(input));
}

void LeftButton(bool bDown)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = bDown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &input, sizeof(input));
}

void PressKey(WORD wVk)
{
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
    inputs[0].ki.wVk = inputs[1].ki.wVk = wVk;
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    ::SendInput(2, inputs, sizeof(INPUT));
}

// A user's hand. The strip's drag runs a modal loop inside the test's own
// message pump, so the hand acts from a thread timer, which every loop
// dispatches: at each tick it takes its next step once that step's
// condition holds.
class CScriptedUser
{
public:
    struct SStep
    {
        std::function<bool()> fnReady;
        std::function<void()> fnAct;
    };

    explicit CScriptedUser(std::vector<SStep> vecSteps) : m_vecSteps(std::move(vecSteps)), m_nNext(0)
    {
        s_pUser = this;
        m_nTimer = ::SetTimer(nullptr, 0, 15, &CScriptedUser::OnTick);
    }
    ~CScriptedUser()
    {
        ::KillTimer(nullptr, m_nTimer);
        s_pUser = nullptr;
    }
    CScriptedUser(const CScriptedUser&) = delete;
    CScriptedUser& operator=(const CScriptedUser&) = delete;

    bool Done() const { return m_nNext == m_vecSteps.size(); }

private:
    static void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
    {
        if (s_pUser)
            s_pUser->Step();
    }
    void Step()
    {
        if (m_nNext < m_vecSteps.size() && (!m_vecSteps[m_nNext].fnReady || m_vecSteps[m_nNext].fnReady()))
            m_vecSteps[m_nNext++].fnAct();
    }

    static CScriptedUser* s_pUser;
    std::vector<SStep> m_vecSteps;
    size_t m_nNext;
    UINT_PTR m_nTimer;
};
CScriptedUser* CScriptedUser::s_pUser = nullptr;

// Moves from one point to another in steps of 15 pixels, one step a tick.
void AppendPath(std::vector<CScriptedUser::SStep>* pSteps, POINT ptFrom, POINT ptTo)
{
    const int nSteps = std::max(std::abs(ptTo.x - ptFrom.x), std::abs(ptTo.y - ptFrom.y)) / 15 + 1;
    for (int i = 1; i <= nSteps; ++i)
    {
        const POINT pt = {ptFrom.x + (ptTo.x - ptFrom.x) * i / nSteps, ptFrom.y + (ptTo.y - ptFrom.y) * i / nSteps};
        pSteps->push_back({nullptr, [pt] { MoveTo(pt); }});
    }
}

class RealDragTest : public ::testing::Test
{
protected:
    // Presses the left button on entry i and waits until the strip has it.
    void PressOn(CStripWithEntries& strip, size_t i)
    {
        m_ptPress = strip.ToScreen(strip.Centre(i));
        MoveTo(m_ptPress);
        ASSERT_TRUE(TestSupport::PumpUntil([&] {
            POINT pt;
            return ::GetCursorPos(&pt) && pt.x == m_ptPress.x && pt.y == m_ptPress.y;
        })) << "the cursor reaches the entry";
        LeftButton(true);
        ASSERT_TRUE(TestSupport::PumpUntil([&] { return strip.m_pStrip->m_pPressed == strip.Elem(i); }));
    }

    // The drag ends when the strip's drag start returns: it then forgets the press.
    static void RunUntilDragEnds(CStripWithEntries& strip, CScriptedUser& user)
    {
        EXPECT_TRUE(TestSupport::PumpUntil([&] { return user.Done() && !strip.m_pStrip->m_pPressed; }, 30000))
            << "the drag did not run to its end";
    }

    void TearDown() override
    {
        // Never leave the button held for the next test.
        if (::GetAsyncKeyState(VK_LBUTTON) < 0)
        {
            MoveTo(POINT{640, 100});
            LeftButton(false);
            TestSupport::PumpFor(100);
        }
    }

    POINT m_ptPress = {};
};
} // namespace

TEST_F(RealDragTest, DraggingTheFirstThumbnailOntoTheFourthMovesIt)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    strip.m_pStrip->SelectElem(0);
    strip.m_calls.m_vecIndexes.clear();
    CElem* pA = strip.Elem(0);
    CElem* pD = strip.Elem(3);
    ASSERT_NO_FATAL_FAILURE(PressOn(strip, 0));

    std::vector<CScriptedUser::SStep> steps;
    AppendPath(&steps, m_ptPress, strip.ToScreen(strip.Centre(3)));
    steps.push_back({[&] { return pD->m_bDropMark != FALSE; }, [] { LeftButton(false); }});
    CScriptedUser user(std::move(steps));
    RunUntilDragEnds(strip, user);

    EXPECT_EQ("BCADE", strip.Order());
    EXPECT_EQ(pA, strip.m_pStrip->m_pSelected) << "the frame stays on A";
    EXPECT_EQ(2, pA->m_nIndex);
    EXPECT_FALSE(strip.AnyDropMark());
    EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer);
    EXPECT_TRUE(strip.m_calls.m_vecIndexes.empty()) << "the viewer is not told";
}

TEST_F(RealDragTest, EscCancelsTheDragAndChangesNothing)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CElem* pD = strip.Elem(3);
    ASSERT_NO_FATAL_FAILURE(PressOn(strip, 0));

    std::vector<CScriptedUser::SStep> steps;
    AppendPath(&steps, m_ptPress, strip.ToScreen(strip.Centre(3)));
    steps.push_back({[&] { return pD->m_bDropMark != FALSE; }, [] { PressKey(VK_ESCAPE); }});
    CScriptedUser user(std::move(steps));
    RunUntilDragEnds(strip, user);

    EXPECT_EQ("ABCDE", strip.Order());
    EXPECT_FALSE(strip.AnyDropMark()) << "no mark is left behind";
    EXPECT_TRUE(strip.m_calls.m_vecIndexes.empty());
}

TEST_F(RealDragTest, HoldingTheDragAtTheRightEdgeScrollsTheStrip)
{
    CStripWithEntries strip(14);
    ASSERT_NE(nullptr, strip.Wnd());
    RECT rcClient;
    ::GetClientRect(strip.Wnd(), &rcClient);
    ASSERT_NO_FATAL_FAILURE(PressOn(strip, 0));

    int nPosAtEsc = -1;
    std::vector<CScriptedUser::SStep> steps;
    AppendPath(&steps, m_ptPress, strip.ToScreen(POINT{rcClient.right - 8, 50}));
    steps.push_back({[&] { return strip.ScrollPos() >= 100; },
                     [&] {
                         nPosAtEsc = strip.ScrollPos();
                         PressKey(VK_ESCAPE);
                     }});
    CScriptedUser user(std::move(steps));
    RunUntilDragEnds(strip, user);

    EXPECT_GE(nPosAtEsc, 100);
    EXPECT_FALSE(strip.m_pStrip->m_bScrollTimer) << "cancelling stops the auto-scroll";
    const int nPos = strip.ScrollPos();
    TestSupport::PumpFor(300);
    EXPECT_EQ(nPos, strip.ScrollPos()) << "nothing scrolls on its own after the drag";
    EXPECT_EQ("ABCDEFGHIJKLMN", strip.Order());
}

TEST_F(RealDragTest, ReleaseBeforeTheDragStartsChangesNothing)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    ASSERT_NO_FATAL_FAILURE(PressOn(strip, 0));

    // The release is queued with the move that starts the drag, so it comes
    // while the drop source still waits for the cursor to leave its square
    // (around where the cursor is then). Had a drag run, A would land before D.
    const POINT ptMoved = strip.ToScreen(strip.Centre(3));
    CScriptedUser user({{nullptr, [&] {
                             MoveTo(ptMoved);
                             LeftButton(false);
                         }}});
    RunUntilDragEnds(strip, user);

    EXPECT_EQ("ABCDE", strip.Order());
    EXPECT_FALSE(strip.AnyDropMark());
}
