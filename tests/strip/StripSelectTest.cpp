#include "tests/strip/StripTestSupport.h"

#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <memory>

using namespace StripTest;
using namespace TestSupport;

namespace
{
typedef CRecordingSelectCall::SCall SCall;

SCall Call(int nIndex, const std::wstring& strName, const std::wstring& strPath, BOOL bReload)
{
    return SCall{nIndex, true, strName, strPath, bReload};
}
const SCall kEmptied = {-1, false, L"", L"", FALSE};

// Centre of entry i's box, and points that hit no entry, at scroll position 0.
POINT Centre(int i)
{
    return POINT{64 + 108 * i, 51};
}
const POINT kGap = {118, 51};
const POINT kBeyond = {1200, 51};

class StripSelectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pStrip.reset(MakeStrip(&m_calls));
        ASSERT_NE(nullptr, m_pStrip->m_hWnd);
        // Inside every call, the strip already shows what it reports.
        m_calls.m_fnDuring = [this] {
            const SCall& call = m_calls.m_vecCalls.back();
            CElem* pExpected = call.nIndex < 0 ? nullptr : m_pStrip->m_vecElems[static_cast<size_t>(call.nIndex)];
            EXPECT_EQ(pExpected, m_pStrip->m_pSelected);
        };
    }

    // Entries without thumbnails, named e0, e1, ... in a strip emptied first.
    void ResetElems(int nCount)
    {
        m_pStrip->ClearVisible();
        m_pStrip->ClearElems();
        m_pStrip->m_pSelected = nullptr;
        for (int i = 0; i < nCount; ++i)
        {
            auto* pElem = new CElem;
            pElem->m_strName = L"e" + std::to_wstring(i);
            pElem->m_strPath = Path(i);
            pElem->AddRef();
            m_pStrip->m_vecElems.push_back(pElem);
        }
        SetPos(0);
        m_pStrip->UpdateScrollBar();
        m_calls.m_vecCalls.clear();
    }
    static std::wstring Path(int i) { return L"C:\\pics\\e" + std::to_wstring(i); }
    void SetPos(int nPos)
    {
        SCROLLINFO si = {sizeof(si), SIF_POS, 0, 0, 0, nPos, 0};
        ::SetScrollInfo(m_pStrip->m_hWnd, SB_HORZ, &si, TRUE);
        m_pStrip->RecalcLayout();
    }
    int Pos() const { return ::GetScrollPos(m_pStrip->m_hWnd, SB_HORZ); }
    std::vector<std::wstring> Names() const
    {
        std::vector<std::wstring> vecNames;
        for (CElem* pElem : m_pStrip->m_vecElems)
            vecNames.push_back(pElem->m_strName);
        return vecNames;
    }
    void Send(UINT message, POINT pt, WPARAM wParam = 0)
    {
        ::SendMessageW(m_pStrip->m_hWnd, message, wParam, MAKELPARAM(pt.x, pt.y));
    }
    CElem* Elem(int i) const { return i < 0 ? nullptr : m_pStrip->m_vecElems[static_cast<size_t>(i)]; }
    // Press and hover an entry, as the mouse would, so the strip names it.
    void PressAndHover(int i)
    {
        Send(WM_MOUSEMOVE, Centre(i));
        Send(WM_LBUTTONDOWN, Centre(i), MK_LBUTTON);
        ASSERT_EQ(Elem(i), m_pStrip->m_pHover);
        ASSERT_EQ(Elem(i), m_pStrip->m_pPressed);
    }
    void ExpectNothingNames(const CElem* pGone)
    {
        EXPECT_NE(pGone, m_pStrip->m_pHover);
        EXPECT_NE(pGone, m_pStrip->m_pPressed);
        EXPECT_NE(pGone, m_pStrip->m_pSelected);
        ASSERT_NE(nullptr, m_pStrip->m_tip.m_pTip);
        EXPECT_NE(pGone, m_pStrip->m_tip.m_pTip->m_pCurID);
    }

    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};
} // namespace

TEST_F(StripSelectTest, TheReleaseChoosesTheEntryUnderIt)
{
    struct SCase
    {
        POINT ptPress, ptRelease;
        int nPressed; // entry named by the press
        int nChosen;  // -1: no choice
    };
    const SCase cases[] = {
        {Centre(0), Centre(0), 0, 0},
        {Centre(0), Centre(2), 0, 2}, // a press on one entry, a release on another
        {kGap, Centre(1), -1, 1},
        {Centre(1), kGap, 1, -1},
        {kBeyond, kBeyond, -1, -1},
    };
    ResetElems(3);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "press " << c.ptPress.x << ", release " << c.ptRelease.x);
        m_pStrip->m_pSelected = nullptr;
        m_calls.m_vecCalls.clear();
        Send(WM_LBUTTONDOWN, c.ptPress, MK_LBUTTON);
        EXPECT_EQ(Elem(c.nPressed), m_pStrip->m_pPressed);
        if (c.nPressed >= 0)
        {
            EXPECT_EQ(c.ptPress.x, m_pStrip->m_ptPress.x);
        }
        Send(WM_LBUTTONUP, c.ptRelease);
        EXPECT_EQ(nullptr, m_pStrip->m_pPressed) << "a release ends the press";
        EXPECT_EQ(Elem(c.nChosen), m_pStrip->m_pSelected);
        std::vector<SCall> vecExpected;
        if (c.nChosen >= 0)
            vecExpected.push_back(Call(c.nChosen, L"e" + std::to_wstring(c.nChosen), Path(c.nChosen), FALSE));
        EXPECT_EQ(vecExpected, m_calls.m_vecCalls);
    }
}

TEST_F(StripSelectTest, SelectElemClampsReportsAndBringsAnEntryOutOfViewToTheMargin)
{
    ResetElems(0);
    m_pStrip->SelectElem(0);
    EXPECT_TRUE(m_calls.m_vecCalls.empty()) << "an empty strip reports nothing";

    struct SCase
    {
        int nPos;
        int nIndex;
        int nChosen;
        int nPosAfter;
    };
    const SCase cases[] = {
        {0, -5, 0, 0},        // Left at the first entry stays there
        {0, 5, 5, 0},         // in view: no scrolling
        {100, 0, 0, 100},     // 8 columns of it in view: no scrolling
        {1000, 5, 5, 540},    // out of view: to the left margin
        {0, 12, 12, 1296},
        {0, 99, 29, 1981},    // Right at the last entry; the range ends first
    };
    ResetElems(30);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "SelectElem(" << c.nIndex << ") at " << c.nPos);
        SetPos(c.nPos);
        m_calls.m_vecCalls.clear();
        m_pStrip->SelectElem(c.nIndex);
        EXPECT_EQ(std::vector<SCall>{Call(c.nChosen, L"e" + std::to_wstring(c.nChosen), Path(c.nChosen), FALSE)},
                  m_calls.m_vecCalls);
        EXPECT_EQ(Elem(c.nChosen), m_pStrip->m_pSelected);
        EXPECT_EQ(c.nPosAfter, Pos());
        EXPECT_EQ(20 + 108 * c.nChosen - c.nPosAfter, Elem(c.nChosen)->m_rcBox.left);
        EXPECT_TRUE(m_pStrip->m_mapVisible.count(c.nChosen));
    }
}

TEST_F(StripSelectTest, RemoveElemSelectsTheSuccessorAndForgetsTheEntry)
{
    struct SCase
    {
        int nCount;
        int nIndex;
        std::vector<SCall> vecCalls;
        std::vector<std::wstring> vecNames;
    };
    const SCase cases[] = {
        {5, 2, {Call(2, L"e3", Path(3), FALSE)}, {L"e0", L"e1", L"e3", L"e4"}},
        {5, 4, {Call(3, L"e3", Path(3), FALSE)}, {L"e0", L"e1", L"e2", L"e3"}},
        {5, 0, {Call(0, L"e1", Path(1), FALSE)}, {L"e1", L"e2", L"e3", L"e4"}},
        {1, 0, {kEmptied}, {}},
        {5, 5, {}, {L"e0", L"e1", L"e2", L"e3", L"e4"}},
        {5, -1, {}, {L"e0", L"e1", L"e2", L"e3", L"e4"}},
        {0, 0, {}, {}},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "RemoveElem(" << c.nIndex << ") of " << c.nCount);
        ResetElems(c.nCount);
        const bool bNamesEntry = c.nIndex >= 0 && c.nIndex < c.nCount;
        CElem* pGone = nullptr;
        if (bNamesEntry)
        {
            PressAndHover(c.nIndex);
            pGone = Elem(c.nIndex);
            m_pStrip->m_pSelected = pGone;
        }
        m_pStrip->RemoveElem(c.nIndex);
        EXPECT_EQ(c.vecCalls, m_calls.m_vecCalls);
        EXPECT_EQ(c.vecNames, Names());
        for (size_t i = 0; i < m_pStrip->m_vecElems.size(); ++i)
            EXPECT_EQ(static_cast<int>(i), m_pStrip->m_vecElems[i]->m_nIndex) << "laid out again";
        if (bNamesEntry)
            ExpectNothingNames(pGone);
        if (c.nCount == 1)
        {
            EXPECT_EQ(nullptr, m_pStrip->m_pSelected) << "no frame is left";
        }
    }
}

TEST_F(StripSelectTest, RefreshElemRebuildsInPlaceOrLeavesLikeARemoval)
{
    CTempFolder dir;
    auto fileOf = [&](int i) { return dir.Path(L"f" + std::to_wstring(i) + L".png"); };
    struct SCase
    {
        int nCount;
        int nIndex;
        bool bFileGone;
        std::vector<SCall> vecCalls;
        int nCountAfter;
        bool bBarEnabledAfter;
    };
    const SCase cases[] = {
        {5, 2, false, {Call(2, L"f2.png", fileOf(2), TRUE)}, 5, false},
        {5, 0, false, {Call(0, L"f0.png", fileOf(0), TRUE)}, 5, false},
        {5, 2, true, {Call(2, L"f3.png", fileOf(3), TRUE)}, 4, false},
        {5, 4, true, {Call(3, L"f3.png", fileOf(3), TRUE)}, 4, false}, // the last entry: the new last one
        {1, 0, true, {kEmptied}, 0, false},
        {12, 11, true, {Call(10, L"f10.png", fileOf(10), TRUE)}, 11, false}, // the bar follows the removal
        {12, 3, false, {Call(3, L"f3.png", fileOf(3), TRUE)}, 12, true},
        {5, 5, false, {}, 5, false},
    };
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "RefreshElem(" << c.nIndex << ") of " << c.nCount
                                        << (c.bFileGone ? ", file gone" : ""));
        ResetElems(0);
        for (int i = 0; i < c.nCount; ++i)
        {
            ASSERT_TRUE(WriteSolidPicture(fileOf(i), 20, 20, RGB(10 * i, 0, 0)));
            ASSERT_EQ(0, m_pStrip->AddFile(fileOf(i).c_str()));
        }
        m_pStrip->RecalcLayout();
        m_pStrip->UpdateScrollBar();
        m_calls.m_vecCalls.clear();
        const bool bNamesEntry = c.nIndex < c.nCount;
        CElem* pOld = bNamesEntry ? Elem(c.nIndex) : nullptr;
        if (bNamesEntry)
        {
            PressAndHover(c.nIndex);
            // The file changes on disk, or goes.
            if (c.bFileGone)
                ASSERT_TRUE(::DeleteFileW(fileOf(c.nIndex).c_str()));
            else
                ASSERT_TRUE(WriteSolidPicture(fileOf(c.nIndex), 20, 20, RGB(0, 0, 250)));
        }

        m_pStrip->RefreshElem(c.nIndex);
        EXPECT_EQ(c.vecCalls, m_calls.m_vecCalls);
        ASSERT_EQ(static_cast<size_t>(c.nCountAfter), m_pStrip->m_vecElems.size());
        EXPECT_EQ(c.bBarEnabledAfter, !!::EnableScrollBar(m_pStrip->m_hWnd, SB_HORZ, ESB_DISABLE_BOTH))
            << "bar enabled";
        if (bNamesEntry)
            ExpectNothingNames(pOld);
        if (bNamesEntry && !c.bFileGone)
        {
            CElem* pNew = Elem(c.nIndex);
            EXPECT_EQ(fileOf(c.nIndex), pNew->m_strPath);
            EXPECT_EQ(2, pNew->m_nRef) << "laid out";
            const CPixels thumb = ReadBitmap(pNew->m_hThumb);
            ASSERT_FALSE(thumb.Empty());
            EXPECT_EQ(0x0000FAu, RgbOf(thumb.At(44, 41))) << "the new picture";
        }
    }
}

TEST_F(StripSelectTest, HoverFollowsTheMouseAndRepaintsOnlyOnAChange)
{
    ResetElems(3);
    struct SCase
    {
        POINT ptFrom, ptTo;
        int nHover;
        bool bRepaint;
    };
    const SCase cases[] = {
        {Centre(0), POINT{30, 20}, 0, false}, // within one box
        {Centre(0), kGap, -1, true},
        {kGap, Centre(1), 1, true},
        {Centre(1), Centre(2), 2, true},
        {kBeyond, kGap, -1, false},
    };
    RECT rcWindow;
    ::GetWindowRect(m_pStrip->m_hWnd, &rcWindow);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(testing::Message() << "from " << c.ptFrom.x << "," << c.ptFrom.y << " to " << c.ptTo.x);
        ::SetCursorPos(rcWindow.left + c.ptTo.x, rcWindow.top + c.ptTo.y);
        Send(WM_MOUSEMOVE, c.ptFrom);
        ::ValidateRect(m_pStrip->m_hWnd, nullptr);
        Send(WM_MOUSEMOVE, c.ptTo);
        EXPECT_EQ(Elem(c.nHover), m_pStrip->m_pHover);
        EXPECT_EQ(c.bRepaint, !!::GetUpdateRect(m_pStrip->m_hWnd, nullptr, FALSE));
    }
    EXPECT_TRUE(m_pStrip->m_bTracking);
    Send(WM_MOUSEMOVE, Centre(1));
    ::ValidateRect(m_pStrip->m_hWnd, nullptr);
    ::SendMessageW(m_pStrip->m_hWnd, WM_MOUSELEAVE, 0, 0);
    EXPECT_FALSE(m_pStrip->m_bTracking);
    EXPECT_EQ(nullptr, m_pStrip->m_pHover);
    EXPECT_TRUE(::GetUpdateRect(m_pStrip->m_hWnd, nullptr, FALSE));
}

namespace
{
// Counts the relayed messages a tooltip window receives, then lets it handle them.
struct SRelaySpy
{
    static WNDPROC s_pfnReal;
    static std::vector<UINT> s_vecRelayed;
    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == TTM_RELAYEVENT)
            s_vecRelayed.push_back(reinterpret_cast<const MSG*>(lParam)->message);
        return ::CallWindowProcW(s_pfnReal, hWnd, message, wParam, lParam);
    }
};
WNDPROC SRelaySpy::s_pfnReal = nullptr;
std::vector<UINT> SRelaySpy::s_vecRelayed;

std::wstring ToolText(HWND hTip, HWND hOwner)
{
    wchar_t szText[256] = {};
    TOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = hOwner;
    ti.uId = 1;
    ti.lpszText = szText;
    ::SendMessageW(hTip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&ti));
    return szText;
}
} // namespace

TEST_F(StripSelectTest, HoveringShowsTheNameAsItIsAndEveryMessageIsRelayed)
{
    ResetElems(3);
    m_pStrip->m_vecElems[1]->m_strName = L"Tom & Jerry.png";
    EXPECT_EQ(nullptr, m_pStrip->m_tip.m_pTip) << "made on the first hover";
    Send(WM_MOUSEMOVE, kGap);
    EXPECT_EQ(nullptr, m_pStrip->m_tip.m_pTip);

    Send(WM_MOUSEMOVE, Centre(1));
    ASSERT_NE(nullptr, m_pStrip->m_tip.m_pTip);
    const HWND hTip = m_pStrip->m_tip.m_pTip->m_hWnd;
    ASSERT_NE(nullptr, hTip);
    EXPECT_TRUE(::GetWindowLongW(hTip, GWL_STYLE) & TTS_NOPREFIX);
    EXPECT_EQ(L"Tom & Jerry.png", ToolText(hTip, m_pStrip->m_hWnd));
    RECT rcTool = {};
    TOOLINFOW ti = {};
    ti.cbSize = sizeof(ti);
    ti.hwnd = m_pStrip->m_hWnd;
    ti.uId = 1;
    ASSERT_TRUE(::SendMessageW(hTip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&ti)));
    rcTool = ti.rect;
    EXPECT_EQ(128, rcTool.left);
    EXPECT_EQ(216, rcTool.right);
    EXPECT_EQ(m_pStrip->m_vecElems[1], m_pStrip->m_tip.m_pTip->m_pCurID);

    Send(WM_MOUSEMOVE, Centre(2));
    EXPECT_EQ(L"e2", ToolText(hTip, m_pStrip->m_hWnd));

    SRelaySpy::s_vecRelayed.clear();
    SRelaySpy::s_pfnReal = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hTip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SRelaySpy::Proc)));
    for (UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_KEYDOWN})
    {
        MSG msg = {m_pStrip->m_hWnd, message, 0, MAKELPARAM(5, 5), 0, {0, 0}};
        EXPECT_FALSE(AfxPreTranslateMessage(&msg, nullptr)) << "nothing is consumed";
    }
    ::SetWindowLongPtrW(hTip, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SRelaySpy::s_pfnReal));
    EXPECT_EQ((std::vector<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_KEYDOWN}), SRelaySpy::s_vecRelayed);
}
