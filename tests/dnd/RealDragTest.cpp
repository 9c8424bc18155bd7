#include "tests/dnd/StripDragFixture.h"
#include "tests/support/RealInput.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace RealInput;
using namespace StripDrag;

namespace
{
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

// Sets the user's drag delay while it lives, then puts the old one back.
class CDragDelay
{
public:
    explicit CDragDelay(DWORD dwMs)
    {
        wchar_t szOld[32] = {};
        m_bHadOld = ::GetProfileStringW(L"windows", L"DragDelay", L"", szOld, 32) > 0;
        m_strOld = szOld;
        ::WriteProfileStringW(L"windows", L"DragDelay", std::to_wstring(dwMs).c_str());
    }
    ~CDragDelay() { ::WriteProfileStringW(L"windows", L"DragDelay", m_bHadOld ? m_strOld.c_str() : nullptr); }
    CDragDelay(const CDragDelay&) = delete;
    CDragDelay& operator=(const CDragDelay&) = delete;

private:
    bool m_bHadOld;
    std::wstring m_strOld;
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

// Input that comes while the drop source waits for the drag to start, and is
// not the drag's business, is left for the window: a release there is a click,
// and keys typed then arrive.
TEST_F(RealDragTest, InputWhileTheDragWaitsToStartIsLeftForTheWindow)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CMessageSpy spy(strip.Wnd(), {WM_KEYDOWN, WM_LBUTTONUP});
    ASSERT_NO_FATAL_FAILURE(PressOn(strip, 1));
    ASSERT_EQ(strip.Wnd(), ::GetFocus()) << "the pressed strip takes the keys";

    // A move of 5 px starts the wait, which captures the mouse for the strip;
    // once it has, the user types F7 and a moment later releases the button.
    // The delay is long enough that the drag never starts on its own.
    CDragDelay delay(20000);
    ASSERT_EQ(20000u, ::GetProfileIntW(L"windows", L"DragDelay", 0));
    const DWORD dwThread = ::GetCurrentThreadId();
    const HWND hStrip = strip.Wnd();
    bool bTyped = false;
    std::thread hand([&] {
        GUITHREADINFO gti = {};
        gti.cbSize = sizeof(gti);
        for (int i = 0; i < 5000; ++i)
        {
            if (::GetGUIThreadInfo(dwThread, &gti) && gti.hwndCapture == hStrip)
            {
                PressKey(VK_F7);
                bTyped = true;
                ::Sleep(100);
                break;
            }
            ::Sleep(1);
        }
        LeftButton(false);
    });
    MoveTo(POINT{m_ptPress.x + 5, m_ptPress.y});
    const bool bEnded = TestSupport::PumpUntil([&] { return !strip.m_pStrip->m_pPressed; }, 10000);
    hand.join();
    ASSERT_TRUE(bEnded);
    ASSERT_TRUE(bTyped) << "the wait captured the mouse";
    TestSupport::PumpFor(100);

    EXPECT_EQ("ABCDE", strip.Order()) << "no drag";
    EXPECT_EQ(1u, spy.Count(WM_LBUTTONUP)) << "the release reached the strip";
    EXPECT_EQ(std::vector<int>{1}, strip.m_calls.m_vecIndexes) << "the press chose B";
    EXPECT_EQ(strip.Elem(1), strip.m_pStrip->m_pSelected);
    EXPECT_EQ(1u, spy.Count(WM_KEYDOWN, VK_F7)) << "the key typed meanwhile";
}
