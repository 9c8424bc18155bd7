#include "controls/Tooltips.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
const wchar_t kClass[] = L"PictaroTooltipTest";

// Subclasses every tooltip window as it is created (after the framework has
// attached its object) and writes down each request it receives before
// passing it on, in the manner of Wine's message-sequence tests.
struct STooltipSpy
{
    static HWND s_hTip;
    static HWND s_hOwner;
    static WNDPROC s_pfnPrev;
    static std::vector<std::wstring> s_vecRequests;

    static LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam)
    {
        if (nCode == HCBT_CREATEWND)
        {
            HWND hWnd = reinterpret_cast<HWND>(wParam);
            wchar_t szClass[64] = {};
            ::GetClassNameW(hWnd, szClass, 64);
            if (::lstrcmpiW(szClass, TOOLTIPS_CLASSW) == 0)
            {
                s_hTip = hWnd;
                s_pfnPrev = reinterpret_cast<WNDPROC>(
                    ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WndProc)));
            }
        }
        return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
    }

    static LRESULT CALLBACK WndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message >= WM_USER && message < WM_USER + 0x100)
            s_vecRequests.push_back(Describe(message, wParam, lParam));
        return ::CallWindowProcW(s_pfnPrev, hWnd, message, wParam, lParam);
    }

    static std::wstring Describe(UINT message, WPARAM wParam, LPARAM lParam)
    {
        const auto* pti = reinterpret_cast<const TTTOOLINFOW*>(lParam);
        std::wostringstream os;
        auto tool = [&] {
            os << L"tool " << pti->uId << L" of " << (pti->hwnd == s_hOwner ? L"owner" : L"another window");
        };
        auto rect = [&] {
            os << L" (" << pti->rect.left << L"," << pti->rect.top << L"," << pti->rect.right << L","
               << pti->rect.bottom << L")";
        };
        switch (message)
        {
        case TTM_SETMAXTIPWIDTH: os << L"max width " << lParam; break;
        case TTM_SETDELAYTIME: os << L"delay " << wParam << L" " << lParam; break;
        case TTM_ACTIVATE: os << L"activate " << wParam; break;
        case TTM_GETTOOLCOUNT: os << L"tool count"; break;
        case TTM_ADDTOOLW:
            os << L"add ";
            tool();
            os << L" flags " << pti->uFlags;
            rect();
            os << L" \"" << pti->lpszText << L"\"";
            break;
        case TTM_NEWTOOLRECTW:
            os << L"rect of ";
            tool();
            rect();
            break;
        case TTM_GETTEXTW:
            os << L"get text of ";
            tool();
            break;
        case TTM_UPDATETIPTEXTW:
            os << L"set text of ";
            tool();
            os << L" \"" << pti->lpszText << L"\"";
            break;
        case TTM_RELAYEVENT:
        {
            const MSG* pMsg = reinterpret_cast<const MSG*>(lParam);
            if (pMsg)
                os << L"relay " << pMsg->message << (pMsg->hwnd == s_hOwner ? L" to owner" : L" elsewhere");
            else
                os << L"relay nothing";
            break;
        }
        default: os << L"request " << message << L" " << wParam << L" " << lParam; break;
        }
        return os.str();
    }
};
HWND STooltipSpy::s_hTip = nullptr;
HWND STooltipSpy::s_hOwner = nullptr;
WNDPROC STooltipSpy::s_pfnPrev = nullptr;
std::vector<std::wstring> STooltipSpy::s_vecRequests;

const UINT WM_RELAY_CURRENT = WM_APP + 7;

// A window of the test's own class that shows tooltips as the strip does.
class COwnerWnd : public CWnd, public CKelTooltipBase
{
public:
    COwnerWnd() { m_pOwnerWnd = this; }

    // Hidden: under Wine destroying a shown window costs seconds.
    BOOL Create()
    {
        return CreateEx(0, kClass, L"owner", WS_POPUP, 100, 100, 400, 120, nullptr, nullptr);
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        RelayTooltipEvent(pMsg);
        return CWnd::PreTranslateMessage(pMsg);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_RELAY_CURRENT)
        {
            RelayTooltipEvent(nullptr);
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    CRoTooltips* Tip() const { return m_tip.m_pTip; }
};

// Entries stand behind the identities 1 and 2; 0 is a null identity.
int g_aEntries[2];
const void* Identity(int nID)
{
    return nID ? &g_aEntries[nID - 1] : nullptr;
}
const int kOwnerID = 3; // the tooltip base of the owner, which a null identity stands for

const RECT kBoxA = {20, 10, 108, 92};
const RECT kBoxB = {128, 10, 216, 92};

struct SCall
{
    const wchar_t* pszText;
    const RECT* pRect;
    int nID;
};

class TooltipTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        ::RegisterClassW(&wc);
        STooltipSpy::s_hTip = nullptr;
        STooltipSpy::s_vecRequests.clear();
        m_hHook = ::SetWindowsHookExW(WH_CBT, STooltipSpy::CbtHook, nullptr, ::GetCurrentThreadId());
        m_pOwner = new COwnerWnd;
        ASSERT_TRUE(m_pOwner->Create());
        STooltipSpy::s_hOwner = m_pOwner->m_hWnd;
    }
    void TearDown() override
    {
        delete m_pOwner;
        ::UnhookWindowsHookEx(m_hHook);
    }
    void Update(const SCall& call)
    {
        m_pOwner->UpdateTooltip(call.pszText, call.pRect, Identity(call.nID));
    }
    std::wstring TipText() const
    {
        std::wstring str;
        m_pOwner->Tip()->GetText(str, m_pOwner, 1);
        return str;
    }

    HHOOK m_hHook = nullptr;
    COwnerWnd* m_pOwner = nullptr;
};

struct SSequenceCase
{
    const char* pszName;
    std::vector<SCall> vecBefore;
    int nForgetID; // forgotten after the calls before, when not 0
    SCall call;
    std::vector<std::wstring> vecExpected;
    int bActiveAfter;
    int nCurIDAfter;
    const wchar_t* pszTextAfter;
};
} // namespace

TEST_F(TooltipTest, RequestSequences)
{
    const std::wstring kCount = L"tool count";
    const std::wstring kRectA = L"rect of tool 1 of owner (20,10,108,92)";
    const std::wstring kRectB = L"rect of tool 1 of owner (128,10,216,92)";
    const std::wstring kGet = L"get text of tool 1 of owner";
    const SCall kHoverA = {L"a.png", &kBoxA, 1};
    const SSequenceCase aCases[] = {
        {"first hover", {}, 0, kHoverA,
         {L"max width 500", L"delay 0 500", L"activate 0", kCount,
          L"add tool 1 of owner flags 0 (0,0,0,0) \"a.png\"", kRectA, kGet,
          L"set text of tool 1 of owner \"a.png\"", L"activate 1"},
         1, 1, L"a.png"},
        {"repeated call", {kHoverA}, 0, kHoverA, {kCount, kRectA, kGet}, 1, 1, L"a.png"},
        {"same name, other entry", {kHoverA}, 0, {L"a.png", &kBoxB, 2},
         {kCount, kRectB, kGet, L"set text of tool 1 of owner \"a.png\"", L"activate 1"}, 1, 2, L"a.png"},
        {"other name", {kHoverA}, 0, {L"b.png", &kBoxB, 2},
         {kCount, kRectB, kGet, L"activate 0", L"set text of tool 1 of owner \"b.png\"", L"activate 1"}, 1, 2,
         L"b.png"},
        {"name differing in case only", {kHoverA}, 0, {L"A.png", &kBoxA, 1},
         {kCount, kRectA, kGet, L"activate 0", L"set text of tool 1 of owner \"A.png\"", L"activate 1"}, 1, 1,
         L"A.png"},
        {"no text for the shown entry", {kHoverA}, 0, {nullptr, nullptr, 1},
         {kCount, L"set text of tool 1 of owner \"\"", L"activate 0"}, 0, 1, L""},
        {"no text for another entry", {kHoverA}, 0, {nullptr, nullptr, 2}, {kCount}, 1, 1, L"a.png"},
        {"null identities stand for the owner", {{L"a.png", &kBoxA, 0}}, 0, {nullptr, nullptr, 0},
         {kCount, L"set text of tool 1 of owner \"\"", L"activate 0"}, 0, kOwnerID, L""},
        {"forgotten entry", {kHoverA}, 1, {nullptr, nullptr, 1}, {kCount}, 1, 0, L"a.png"},
    };
    for (const SSequenceCase& c : aCases)
    {
        SCOPED_TRACE(c.pszName);
        delete m_pOwner; // a fresh owner without a tooltip for each case
        m_pOwner = new COwnerWnd;
        ASSERT_TRUE(m_pOwner->Create());
        STooltipSpy::s_hOwner = m_pOwner->m_hWnd;
        for (const SCall& call : c.vecBefore)
            Update(call);
        if (c.nForgetID)
            m_pOwner->ForgetTooltipID(Identity(c.nForgetID));
        STooltipSpy::s_vecRequests.clear();

        Update(c.call);
        EXPECT_EQ(c.vecExpected, STooltipSpy::s_vecRequests);
        ASSERT_NE(nullptr, m_pOwner->Tip());
        EXPECT_EQ(c.bActiveAfter, m_pOwner->Tip()->m_bActive);
        const void* pCurID = c.nCurIDAfter == kOwnerID ? static_cast<CKelTooltipBase*>(m_pOwner)
                                                       : Identity(c.nCurIDAfter);
        EXPECT_EQ(pCurID, m_pOwner->Tip()->m_pCurID);
        EXPECT_EQ(c.pszTextAfter, TipText());
    }
}

TEST_F(TooltipTest, FirstCallWithoutTextMakesNothing)
{
    m_pOwner->UpdateTooltip(nullptr, &kBoxA, Identity(1));
    m_pOwner->UpdateTooltip(nullptr, nullptr, nullptr);
    EXPECT_EQ(nullptr, m_pOwner->Tip());
    EXPECT_EQ(nullptr, STooltipSpy::s_hTip);
}

TEST_F(TooltipTest, WindowIsAnOwnedPopupShowingNamesAsTheyAre)
{
    const wchar_t kName[] = L"Tom & Jerry.png";
    m_pOwner->UpdateTooltip(kName, &kBoxA, Identity(1));
    CRoTooltips* pTip = m_pOwner->Tip();
    ASSERT_NE(nullptr, pTip);
    ASSERT_EQ(STooltipSpy::s_hTip, pTip->m_hWnd);
    EXPECT_EQ(m_pOwner, pTip->m_pParent);
    EXPECT_EQ(m_pOwner->m_hWnd, ::GetWindow(pTip->m_hWnd, GW_OWNER));
    const LONG lStyle = ::GetWindowLongW(pTip->m_hWnd, GWL_STYLE);
    EXPECT_TRUE(lStyle & WS_POPUP);
    EXPECT_EQ(TTS_ALWAYSTIP | TTS_NOPREFIX, lStyle & (TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON));
    EXPECT_EQ(kName, TipText());
    EXPECT_EQ(1, pTip->GetToolCount());
    EXPECT_EQ(500, ::SendMessageW(pTip->m_hWnd, TTM_GETMAXTIPWIDTH, 0, 0));
    EXPECT_EQ(500, ::SendMessageW(pTip->m_hWnd, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
    EXPECT_EQ(5000, ::SendMessageW(pTip->m_hWnd, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0));
    EXPECT_EQ(100, ::SendMessageW(pTip->m_hWnd, TTM_GETDELAYTIME, TTDT_RESHOW, 0));
}

TEST_F(TooltipTest, TipShowsWhenTheMouseRestsInTheBox)
{
    ::ShowWindow(m_pOwner->m_hWnd, SW_SHOWNOACTIVATE);
    m_pOwner->UpdateTooltip(L"a.png", &kBoxA, Identity(1));
    HWND hTip = m_pOwner->Tip()->m_hWnd;
    ASSERT_FALSE(::IsWindowVisible(hTip));
    // The real cursor move reaches the owner as WM_MOUSEMOVE, which its
    // pre-translation relays: the tool has no flags and sees nothing else.
    POINT pt = {60, 50};
    ::ClientToScreen(m_pOwner->m_hWnd, &pt);
    ::SetCursorPos(pt.x, pt.y);
    EXPECT_TRUE(PumpUntil([&] { return ::IsWindowVisible(hTip) != FALSE; }, 10000, m_pOwner));
    EXPECT_NE(STooltipSpy::s_vecRequests.end(),
              std::find(STooltipSpy::s_vecRequests.begin(), STooltipSpy::s_vecRequests.end(),
                        L"relay " + std::to_wstring(WM_MOUSEMOVE) + L" to owner"));

    // No text for the shown entry takes the tip down.
    m_pOwner->UpdateTooltip(nullptr, nullptr, Identity(1));
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(hTip); }, 10000, m_pOwner));
}

TEST_F(TooltipTest, RelaysOnlyOnceTheWindowExists)
{
    MSG msg = {m_pOwner->m_hWnd, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5), 0, {0, 0}};
    m_pOwner->RelayTooltipEvent(&msg);
    ::SendMessageW(m_pOwner->m_hWnd, WM_RELAY_CURRENT, 0, 0);
    EXPECT_EQ(nullptr, m_pOwner->Tip());
    EXPECT_EQ(nullptr, STooltipSpy::s_hTip);

    m_pOwner->UpdateTooltip(L"a.png", &kBoxA, Identity(1));
    STooltipSpy::s_vecRequests.clear();
    m_pOwner->RelayTooltipEvent(&msg);
    ::SendMessageW(m_pOwner->m_hWnd, WM_RELAY_CURRENT, 0, 0); // relays the message being dispatched
    const std::vector<std::wstring> vecExpected = {
        L"relay " + std::to_wstring(WM_MOUSEMOVE) + L" to owner",
        L"relay " + std::to_wstring(WM_RELAY_CURRENT) + L" to owner",
    };
    EXPECT_EQ(vecExpected, STooltipSpy::s_vecRequests);
}

TEST_F(TooltipTest, WindowThatCannotBeMadeIsTriedAgain)
{
    // An owner whose window is gone: the control cannot be created under it.
    CWnd gone;
    ASSERT_TRUE(gone.CreateEx(0, kClass, L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    HWND hGone = gone.m_hWnd;
    gone.DestroyWindow();
    gone.m_hWnd = hGone;
    m_pOwner->m_pOwnerWnd = &gone;
    m_pOwner->UpdateTooltip(L"a.png", &kBoxA, Identity(1));
    gone.m_hWnd = nullptr;
    ASSERT_NE(nullptr, m_pOwner->Tip());
    EXPECT_EQ(nullptr, m_pOwner->Tip()->m_hWnd);
    EXPECT_EQ(0, m_pOwner->Tip()->m_bActive);
    EXPECT_EQ(nullptr, m_pOwner->Tip()->m_pCurID);
    EXPECT_TRUE(STooltipSpy::s_vecRequests.empty());

    m_pOwner->m_pOwnerWnd = m_pOwner;
    m_pOwner->UpdateTooltip(L"a.png", &kBoxA, Identity(1));
    ASSERT_NE(nullptr, m_pOwner->Tip()->m_hWnd);
    EXPECT_EQ(1, m_pOwner->Tip()->m_bActive);
    EXPECT_EQ(L"a.png", TipText());
}

TEST_F(TooltipTest, ControlGoesWithItsOwner)
{
    struct SCase
    {
        const char* pszName;
        bool bDestroyWindowFirst;
    };
    for (const SCase& c : {SCase{"owner window destroyed, then the object", true},
                           SCase{"owner object deleted with its window", false}})
    {
        SCOPED_TRACE(c.pszName);
        auto* pOwner = new COwnerWnd;
        ASSERT_TRUE(pOwner->Create());
        pOwner->UpdateTooltip(L"a.png", &kBoxA, Identity(1));
        HWND hTip = pOwner->Tip()->m_hWnd;
        ASSERT_TRUE(::IsWindow(hTip));
        if (c.bDestroyWindowFirst)
        {
            pOwner->DestroyWindow();
            EXPECT_FALSE(::IsWindow(hTip));
            EXPECT_EQ(nullptr, pOwner->Tip()->m_hWnd) << "the control let go of its window";
        }
        delete pOwner;
        EXPECT_FALSE(::IsWindow(hTip));
        EXPECT_EQ(nullptr, CWnd::FromHandlePermanent(hTip));
    }
}
