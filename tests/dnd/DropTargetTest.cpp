#include "dnd/RoDroptarget.h"
#include "framework/Wnd.h"
#include "tests/dnd/DragTestObjects.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

using namespace DragTest;

namespace
{
const wchar_t kClass[] = L"PictaroDropTargetTest";
const int kLeft = 200;
const int kTop = 300;
const DROPEFFECT kCopyMove = DROPEFFECT_COPY | DROPEFFECT_MOVE;
const DROPEFFECT kToOnDrop = static_cast<DROPEFFECT>(-1);
const std::vector<BYTE> kPayload = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 4, 0, 0, 0};

CLIPFORMAT TestFormat()
{
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"PictaroDropTargetTest"));
}

// One event as the owner saw it.
struct SEvent
{
    std::string strName;
    CWnd* pWnd;
    IDataObject* pDataObject;
    DWORD dwKeyState;
    POINT pt;
    DROPEFFECT dropDefault;
    DROPEFFECT dropList;
    std::vector<BYTE> vecPayload;
};

// Records every event; answers with the results set, the interface's
// defaults for the others.
class CRecordingOwner : public CRoDroptargeter
{
public:
    std::optional<DROPEFFECT> m_scroll, m_enter, m_over, m_dropEx;
    std::optional<BOOL> m_drop;
    std::vector<SEvent> m_vecEvents;
    std::string m_strThrowIn; // the event whose handler runs out of memory

    std::string Names() const
    {
        std::string str;
        for (const SEvent& e : m_vecEvents)
            str += (str.empty() ? "" : " ") + e.strName;
        return str;
    }

    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pData, DWORD dwKeyState, POINT pt) override
    {
        Record("enter", pWnd, pData, dwKeyState, pt);
        return m_enter ? *m_enter : CRoDroptargeter::OnDragEnter(pWnd, pData, dwKeyState, pt);
    }
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pData, DWORD dwKeyState, POINT pt) override
    {
        Record("over", pWnd, pData, dwKeyState, pt);
        return m_over ? *m_over : CRoDroptargeter::OnDragOver(pWnd, pData, dwKeyState, pt);
    }
    BOOL OnDrop(CWnd* pWnd, COleDataObject* pData, DROPEFFECT dropEffect, POINT pt) override
    {
        Record("drop", pWnd, pData, 0, pt, dropEffect);
        return m_drop ? *m_drop : CRoDroptargeter::OnDrop(pWnd, pData, dropEffect, pt);
    }
    DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pData, DROPEFFECT dropDefault, DROPEFFECT dropList,
                        POINT pt) override
    {
        Record("dropex", pWnd, pData, 0, pt, dropDefault, dropList);
        return m_dropEx ? *m_dropEx : CRoDroptargeter::OnDropEx(pWnd, pData, dropDefault, dropList, pt);
    }
    void OnDragLeave(CWnd* pWnd) override { Record("leave", pWnd, nullptr, 0, {}); }
    DROPEFFECT OnDragScroll(CWnd* pWnd, DWORD dwKeyState, POINT pt) override
    {
        Record("scroll", pWnd, nullptr, dwKeyState, pt);
        return m_scroll ? *m_scroll : CRoDroptargeter::OnDragScroll(pWnd, dwKeyState, pt);
    }

private:
    void Record(const char* pszName, CWnd* pWnd, COleDataObject* pData, DWORD dwKeyState, POINT pt,
                DROPEFFECT dropDefault = 0, DROPEFFECT dropList = 0)
    {
        SEvent e = {pszName, pWnd, nullptr, dwKeyState, pt, dropDefault, dropList, {}};
        if (pData)
        {
            e.pDataObject = pData->GetIDataObject(FALSE);
            CGlobalMem block = pData->GetGlobalData(TestFormat());
            CGlobalLock lock(block.Get());
            const BYTE* p = static_cast<const BYTE*>(lock.Get());
            if (p)
                e.vecPayload.assign(p, p + lock.GetSize());
        }
        m_vecEvents.push_back(e);
        if (m_strThrowIn == pszName)
            throw std::bad_alloc();
    }
};

class DropTargetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = kClass;
        ::RegisterClassW(&wc);
        m_pWnd = new CWnd;
        ASSERT_TRUE(m_pWnd->CreateEx(0, kClass, L"drop target", WS_POPUP, kLeft, kTop, 400, 120, nullptr,
                                     nullptr));
        m_pData = new CTestDataObject(TestFormat(), kPayload);
    }
    void TearDown() override
    {
        Detach();
        if (m_pData)
            m_pData->Release();
        delete m_pWnd;
    }

    // Registers an adapter for the window, takes the drop target the platform
    // registered for it, and puts a spy in front of the drag-image service.
    void Attach(CRoDroptargeter* pOwner)
    {
        m_pAdapter = new CRoDroptarget(pOwner);
        ASSERT_TRUE(m_pAdapter->m_bDropImage) << "the shell's drag-image service exists";
        ASSERT_NE(nullptr, m_pAdapter->m_pDropImage);
        ASSERT_TRUE(m_pAdapter->Register(m_pWnd));
        m_pTarget = static_cast<IDropTarget*>(::GetPropW(m_pWnd->m_hWnd, L"OleDropTargetInterface"));
        ASSERT_NE(nullptr, m_pTarget);
        m_pTarget->AddRef();
        m_pAdapter->m_pDropImage.Attach(
            new CDropImageSpy(m_pAdapter->m_pDropImage.Detach(), &m_vecService, &m_bServiceReleased));
    }

    void Detach()
    {
        if (m_pTarget)
            m_pTarget->Release();
        m_pTarget = nullptr;
        delete m_pAdapter;
        m_pAdapter = nullptr;
        m_vecService.clear();
    }

    // The platform's calls, at a point in screen coordinates.
    DWORD Enter(POINT pt, DWORD dwAllowed = kCopyMove, DWORD dwKeys = MK_LBUTTON)
    {
        DWORD dwEffect = dwAllowed;
        EXPECT_EQ(S_OK, m_pTarget->DragEnter(m_pData, dwKeys, {pt.x, pt.y}, &dwEffect));
        return dwEffect;
    }
    DWORD Over(POINT pt, DWORD dwAllowed = kCopyMove, DWORD dwKeys = MK_LBUTTON)
    {
        DWORD dwEffect = dwAllowed;
        EXPECT_EQ(S_OK, m_pTarget->DragOver(dwKeys, {pt.x, pt.y}, &dwEffect));
        return dwEffect;
    }
    DWORD Drop(POINT pt, DWORD dwAllowed = kCopyMove, DWORD dwKeys = 0)
    {
        DWORD dwEffect = dwAllowed;
        EXPECT_EQ(S_OK, m_pTarget->Drop(m_pData, dwKeys, {pt.x, pt.y}, &dwEffect));
        return dwEffect;
    }
    void Leave() { EXPECT_EQ(S_OK, m_pTarget->DragLeave()); }

    std::string ServiceLog() const
    {
        std::ostringstream os;
        for (const SServiceCall& c : m_vecService)
            os << (os.tellp() ? " " : "") << c.strName
               << (c.strName == "DragLeave" ? "" : "(" + std::to_string(static_cast<int>(c.dwEffect)) + ")");
        return os.str();
    }

    CWnd* m_pWnd = nullptr;
    CTestDataObject* m_pData = nullptr;
    CRoDroptarget* m_pAdapter = nullptr;
    IDropTarget* m_pTarget = nullptr;
    std::vector<SServiceCall> m_vecService;
    bool m_bServiceReleased = false;
};

const POINT kScreenPt = {kLeft + 50, kTop + 40};
const POINT kClientPt = {50, 40};

struct SOrderCase
{
    const char* pszName;
    bool bOwner;
    std::optional<DROPEFFECT> scroll, enter, over, dropEx;
    std::optional<BOOL> drop;
    const char* pszScript;
    const char* pszOwnerLog;
    const char* pszServiceLog;
    std::vector<DWORD> vecEffects;
};

const SOrderCase kOrderCases[] = {
    {"an owner implementing nothing refuses", true, {}, {}, {}, {}, {}, "enter over drop",
     "scroll enter scroll over over dropex", "DragEnter(0) DragOver(0) DragOver(0) Drop(0)", {0, 0, 0}},
    {"no owner: plain window, OnDrop never reached", false, {}, {}, {}, {}, {}, "enter over drop", "",
     "DragEnter(0) DragOver(0) DragOver(0) DragLeave", {0, 0, 0}},
    {"the scroll bit suppresses enter and over", true, DROPEFFECT_SCROLL | DROPEFFECT_MOVE,
     DROPEFFECT_COPY, DROPEFFECT_COPY, {}, {}, "enter over leave", "scroll scroll leave", "DragLeave",
     {DROPEFFECT_SCROLL | DROPEFFECT_MOVE, DROPEFFECT_SCROLL | DROPEFFECT_MOVE}},
    {"a scroll result without the bit is dropped", true, DROPEFFECT_MOVE, DROPEFFECT_COPY, DROPEFFECT_COPY,
     {}, {}, "enter over leave", "scroll enter scroll over leave", "DragEnter(1) DragOver(1) DragLeave",
     {1, 1}},
    {"OnDropEx decides the drop", true, {}, {}, DROPEFFECT_MOVE, DROPEFFECT_COPY, {}, "enter drop",
     "scroll enter over dropex", "DragEnter(0) DragOver(2) Drop(1)", {0, 1}},
    {"-1 from OnDropEx: OnDrop accepts the default", true, {}, {}, DROPEFFECT_MOVE, kToOnDrop, TRUE,
     "enter drop", "scroll enter over dropex drop", "DragEnter(0) DragOver(2) Drop(2)", {0, 2}},
    {"-1 from OnDropEx: OnDrop refuses", true, {}, {}, DROPEFFECT_MOVE, kToOnDrop, FALSE, "enter drop",
     "scroll enter over dropex drop", "DragEnter(0) DragOver(2) Drop(0)", {0, 0}},
    {"-1 from OnDropEx with no default effect: leave", true, {}, {}, DROPEFFECT_LINK, kToOnDrop, TRUE,
     "enter drop", "scroll enter over dropex leave", "DragEnter(0) DragOver(4) DragLeave", {0, 0}},
    {"leaving", true, {}, DROPEFFECT_MOVE, {}, {}, {}, "enter leave", "scroll enter leave",
     "DragEnter(2) DragLeave", {2}},
};
} // namespace

TEST_F(DropTargetTest, EventsReachOwnerAndServiceInOrder)
{
    for (const SOrderCase& c : kOrderCases)
    {
        SCOPED_TRACE(c.pszName);
        CRecordingOwner owner;
        owner.m_scroll = c.scroll;
        owner.m_enter = c.enter;
        owner.m_over = c.over;
        owner.m_dropEx = c.dropEx;
        owner.m_drop = c.drop;
        ASSERT_NO_FATAL_FAILURE(Attach(c.bOwner ? &owner : nullptr));

        std::vector<DWORD> vecEffects;
        std::istringstream script(c.pszScript);
        for (std::string strCall; script >> strCall;)
        {
            if (strCall == "enter")
                vecEffects.push_back(Enter(kScreenPt));
            else if (strCall == "over")
                vecEffects.push_back(Over(kScreenPt));
            else if (strCall == "drop")
                vecEffects.push_back(Drop(kScreenPt));
            else
                Leave();
        }
        EXPECT_EQ(c.pszOwnerLog, owner.Names());
        EXPECT_EQ(c.pszServiceLog, ServiceLog());
        EXPECT_EQ(c.vecEffects, vecEffects);
        EXPECT_EQ(1u, RefCount(m_pData)) << "the target keeps no data after the drag";
        Detach();
    }
}

TEST_F(DropTargetTest, HandlersAndServiceGetTheDragsArguments)
{
    CRecordingOwner owner;
    owner.m_enter = DROPEFFECT_MOVE;
    owner.m_over = DROPEFFECT_MOVE;
    owner.m_dropEx = DROPEFFECT_MOVE;
    ASSERT_NO_FATAL_FAILURE(Attach(&owner));

    const POINT ptDrop = {kLeft + 399, kTop + 119};
    EXPECT_EQ(DROPEFFECT_COPY, Enter(kScreenPt, DROPEFFECT_COPY, MK_LBUTTON | MK_SHIFT));
    EXPECT_EQ(DROPEFFECT_MOVE, Drop(ptDrop, DROPEFFECT_MOVE | DROPEFFECT_LINK, MK_CONTROL));

    ASSERT_EQ("scroll enter over dropex", owner.Names());
    for (const SEvent& e : owner.m_vecEvents)
    {
        SCOPED_TRACE(e.strName);
        EXPECT_EQ(m_pWnd, e.pWnd);
        const bool bEntering = e.strName == "scroll" || e.strName == "enter";
        const POINT ptClient = bEntering ? kClientPt : POINT{399, 119};
        EXPECT_EQ(ptClient.x, e.pt.x);
        EXPECT_EQ(ptClient.y, e.pt.y);
        if (e.strName != "scroll")
        {
            EXPECT_EQ(static_cast<IDataObject*>(m_pData), e.pDataObject);
            EXPECT_EQ(kPayload, e.vecPayload) << "the drag's data is readable in the handler";
        }
    }
    EXPECT_EQ(static_cast<DWORD>(MK_LBUTTON | MK_SHIFT), owner.m_vecEvents[1].dwKeyState);
    EXPECT_EQ(static_cast<DWORD>(MK_CONTROL), owner.m_vecEvents[2].dwKeyState);
    EXPECT_EQ(DROPEFFECT_MOVE, owner.m_vecEvents[3].dropDefault);
    EXPECT_EQ(DROPEFFECT_MOVE | DROPEFFECT_LINK, owner.m_vecEvents[3].dropList);

    // The service gets the window, the drag's own data object, the owner's
    // unfiltered result and the point the platform reported.
    ASSERT_EQ("DragEnter(2) DragOver(2) Drop(2)", ServiceLog());
    const SServiceCall& enter = m_vecService[0];
    EXPECT_EQ(m_pWnd->m_hWnd, enter.hWnd);
    EXPECT_EQ(static_cast<IDataObject*>(m_pData), enter.pDataObject);
    EXPECT_EQ(kScreenPt.x, enter.pt.x);
    EXPECT_EQ(kScreenPt.y, enter.pt.y);
    EXPECT_EQ(ptDrop.x, m_vecService[1].pt.x);
    EXPECT_EQ(ptDrop.y, m_vecService[1].pt.y);
    EXPECT_EQ(static_cast<IDataObject*>(m_pData), m_vecService[2].pDataObject);
    EXPECT_EQ(ptDrop.x, m_vecService[2].pt.x);
    EXPECT_EQ(ptDrop.y, m_vecService[2].pt.y);
}

// What the platform is told is the owner's effect limited to the allowed
// effects; the drag-image service always gets the owner's own answer.
TEST_F(DropTargetTest, EffectsAreLimitedToTheAllowedOnes)
{
    struct SCase
    {
        DROPEFFECT owner;
        DWORD dwAllowed;
        DWORD dwReported;
    };
    const SCase kCases[] = {
        {DROPEFFECT_MOVE, kCopyMove, DROPEFFECT_MOVE},
        {DROPEFFECT_MOVE, DROPEFFECT_COPY, DROPEFFECT_COPY},
        {DROPEFFECT_MOVE, DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_COPY},
        {DROPEFFECT_MOVE, DROPEFFECT_LINK, DROPEFFECT_LINK},
        {DROPEFFECT_COPY, DROPEFFECT_MOVE, DROPEFFECT_MOVE},
        {DROPEFFECT_COPY, DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_MOVE},
        {DROPEFFECT_COPY, DROPEFFECT_LINK, DROPEFFECT_LINK},
        {DROPEFFECT_LINK, kCopyMove, DROPEFFECT_NONE},
        {DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_MOVE, DROPEFFECT_COPY | DROPEFFECT_MOVE},
        {DROPEFFECT_COPY | DROPEFFECT_LINK, DROPEFFECT_MOVE, DROPEFFECT_NONE},
        {DROPEFFECT_MOVE, DROPEFFECT_NONE, DROPEFFECT_NONE},
        {DROPEFFECT_NONE, kCopyMove | DROPEFFECT_LINK, DROPEFFECT_NONE},
    };
    CRecordingOwner owner;
    ASSERT_NO_FATAL_FAILURE(Attach(&owner));
    for (const SCase& c : kCases)
    {
        SCOPED_TRACE(::testing::Message() << "owner " << c.owner << ", allowed " << c.dwAllowed);
        owner.m_enter = c.owner;
        owner.m_over = c.owner;
        m_vecService.clear();
        EXPECT_EQ(c.dwReported, Enter(kScreenPt, c.dwAllowed));
        EXPECT_EQ(c.dwReported, Over(kScreenPt, c.dwAllowed));
        Leave();
        ASSERT_EQ(3u, m_vecService.size());
        EXPECT_EQ(c.owner, m_vecService[0].dwEffect);
        EXPECT_EQ(c.owner, m_vecService[1].dwEffect);
    }
}

TEST_F(DropTargetTest, RegistrationFollowsRegisterAndRevoke)
{
    CRecordingOwner owner;
    CRoDroptarget adapter(&owner);
    const HWND hWnd = m_pWnd->m_hWnd;
    EXPECT_FALSE(adapter.Register(nullptr));
    ASSERT_TRUE(adapter.Register(m_pWnd));
    EXPECT_NE(nullptr, ::GetPropW(hWnd, L"OleDropTargetInterface"));
    EXPECT_FALSE(adapter.Register(m_pWnd)) << "registered once";
    CRoDroptarget other(&owner);
    EXPECT_FALSE(other.Register(m_pWnd)) << "one drop target per window";

    adapter.Revoke();
    EXPECT_EQ(nullptr, ::GetPropW(hWnd, L"OleDropTargetInterface"));
    EXPECT_TRUE(other.Register(m_pWnd));
    other.Revoke();

    CWnd gone;
    ASSERT_TRUE(gone.CreateEx(0, kClass, L"gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    ::DestroyWindow(gone.m_hWnd);
    EXPECT_FALSE(adapter.Register(&gone));
}

// Revoking and deleting the adapter leaves only the references others hold;
// a drag still holding the platform's reference then meets a target that
// refuses and lets the drag's data go.
TEST_F(DropTargetTest, DeletedAdapterLeavesNothingBehind)
{
    CRecordingOwner owner;
    owner.m_enter = DROPEFFECT_COPY;
    owner.m_over = DROPEFFECT_COPY;
    ASSERT_NO_FATAL_FAILURE(Attach(&owner));
    EXPECT_EQ(DROPEFFECT_COPY, Enter(kScreenPt));
    EXPECT_EQ(2u, RefCount(m_pData)) << "the drag's data is held while the drag is over the window";

    m_pAdapter->Revoke();
    EXPECT_EQ(nullptr, ::GetPropW(m_pWnd->m_hWnd, L"OleDropTargetInterface"));
    delete m_pAdapter;
    m_pAdapter = nullptr;
    EXPECT_TRUE(m_bServiceReleased) << "the adapter's service reference is released";

    const std::string strBefore = owner.Names();
    EXPECT_EQ(DROPEFFECT_NONE, Over(kScreenPt));
    EXPECT_EQ(DROPEFFECT_NONE, Drop(kScreenPt));
    EXPECT_EQ(DROPEFFECT_NONE, Enter(kScreenPt));
    Leave();
    EXPECT_EQ(strBefore, owner.Names()) << "no event reaches a deleted adapter";
    EXPECT_EQ(1u, RefCount(m_pData));

    EXPECT_EQ(0u, m_pTarget->Release()) << "the last reference frees the drop target";
    m_pTarget = nullptr;
}

// The platform's drag loop cannot take an exception: one from a handler ends
// at the drop target's methods as a failure, and the drag's data is let go
// once the drag is over.
TEST_F(DropTargetTest, OutOfMemoryInAHandlerEndsAtTheComBoundary)
{
    struct SCase
    {
        const char* pszThrowIn;
        const char* pszCall;
    };
    const SCase kCases[] = {
        {"scroll", "enter"}, {"enter", "enter"}, {"over", "over"},
        {"dropex", "drop"},  {"leave", "leave"},
    };
    for (const SCase& c : kCases)
    {
        SCOPED_TRACE(std::string(c.pszThrowIn) + " during " + c.pszCall);
        CRecordingOwner owner;
        owner.m_enter = DROPEFFECT_COPY;
        owner.m_over = DROPEFFECT_COPY;
        owner.m_dropEx = DROPEFFECT_COPY;
        ASSERT_NO_FATAL_FAILURE(Attach(&owner));
        const std::string strCall = c.pszCall;
        if (strCall != "enter")
        {
            ASSERT_EQ(DROPEFFECT_COPY, Enter(kScreenPt));
        }
        owner.m_strThrowIn = c.pszThrowIn;

        DWORD dwEffect = kCopyMove;
        HRESULT hr = E_FAIL;
        const POINTL pt = {kScreenPt.x, kScreenPt.y};
        if (strCall == "enter")
            hr = m_pTarget->DragEnter(m_pData, MK_LBUTTON, pt, &dwEffect);
        else if (strCall == "over")
            hr = m_pTarget->DragOver(MK_LBUTTON, pt, &dwEffect);
        else if (strCall == "drop")
            hr = m_pTarget->Drop(m_pData, 0, pt, &dwEffect);
        else
            hr = m_pTarget->DragLeave();
        EXPECT_EQ(E_OUTOFMEMORY, hr);
        EXPECT_EQ(strCall == "leave" ? kCopyMove : DROPEFFECT_NONE, dwEffect);

        // The drag carries on or ends as the platform decides.
        owner.m_strThrowIn.clear();
        if (strCall == "over")
        {
            EXPECT_EQ(DROPEFFECT_COPY, Over(kScreenPt)) << "the next event is handled";
        }
        if (strCall == "enter" || strCall == "over")
            Leave();
        EXPECT_EQ(1u, RefCount(m_pData)) << "the target keeps no data after the drag";
        Detach();
    }
}

namespace
{
// Drags along a path, one point per query of the drag loop once the target
// has seen the previous one, and drops at the last; gives up after a bound.
class CScriptedDropSource final : public IDropSource
{
public:
    CScriptedDropSource(std::vector<POINT> vecPath, std::function<bool(POINT)> fnSeen)
        : m_vecPath(std::move(vecPath)), m_fnSeen(std::move(fnSeen))
    {
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDropSource))
        {
            *ppv = static_cast<IDropSource*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL fEscapePressed, DWORD) override
    {
        if (fEscapePressed || ++m_nQueries > 400)
            return DRAGDROP_S_CANCEL;
        const bool bSeenLast = m_nNext == 0 || m_fnSeen(m_vecPath[m_nNext - 1]);
        if (!bSeenLast)
            return S_OK;
        if (m_nNext == m_vecPath.size())
            return DRAGDROP_S_DROP;
        ::SetCursorPos(m_vecPath[m_nNext].x, m_vecPath[m_nNext].y);
        ++m_nNext;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    std::vector<POINT> m_vecPath;
    std::function<bool(POINT)> m_fnSeen;
    size_t m_nNext = 0;
    int m_nQueries = 0;
};
} // namespace

TEST_F(DropTargetTest, PlatformDragReachesTheOwner)
{
    CRecordingOwner owner;
    owner.m_enter = DROPEFFECT_MOVE;
    owner.m_over = DROPEFFECT_MOVE;
    owner.m_dropEx = kToOnDrop;
    owner.m_drop = TRUE;
    ASSERT_NO_FATAL_FAILURE(Attach(&owner));

    // The drag loop finds its target under the cursor.
    ::ShowWindow(m_pWnd->m_hWnd, SW_SHOWNA);
    ::SetCursorPos(10, 10);
    const POINT ptFirst = {kLeft + 20, kTop + 30};
    const POINT ptLast = {kLeft + 300, kTop + 60};
    CScriptedDropSource source({ptFirst, ptLast}, [&](POINT ptScreen) {
        for (const SEvent& e : owner.m_vecEvents)
            if (e.strName == "over" && e.pt.x == ptScreen.x - kLeft && e.pt.y == ptScreen.y - kTop)
                return true;
        return false;
    });
    DWORD dwEffect = DROPEFFECT_NONE;
    EXPECT_EQ(DRAGDROP_S_DROP, ::DoDragDrop(m_pData, &source, kCopyMove, &dwEffect));
    EXPECT_EQ(DROPEFFECT_MOVE, dwEffect);

    const std::string strLog = owner.Names();
    EXPECT_EQ(0u, strLog.rfind("scroll enter scroll over", 0)) << strLog;
    ASSERT_GE(strLog.size(), 17u);
    EXPECT_EQ("over dropex drop", strLog.substr(strLog.size() - 16)) << strLog;
    EXPECT_EQ(std::string::npos, strLog.find("leave")) << strLog;
    const SEvent& drop = owner.m_vecEvents.back();
    EXPECT_EQ(300, drop.pt.x);
    EXPECT_EQ(60, drop.pt.y);
    EXPECT_EQ(DROPEFFECT_MOVE, drop.dropDefault);
    EXPECT_EQ(kPayload, drop.vecPayload);
    EXPECT_EQ(1u, RefCount(m_pData));
}
