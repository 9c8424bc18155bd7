#pragma once

// Real input through the system's input queue, and a scripted user's hand
// that acts inside modal loops.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace RealInput
{

// Moves the cursor to a screen point.
inline void MoveTo(POINT pt)
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

inline void LeftButton(bool bDown)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = bDown ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    ::SendInput(1, &input, sizeof(input));
}

// Presses and releases the keys in order, then releases any still held in
// reverse: {VK_MENU, VK_F4} is Alt+F4.
inline void PressKeys(std::vector<WORD> vecVk)
{
    std::vector<INPUT> inputs;
    for (WORD wVk : vecVk)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = wVk;
        inputs.push_back(input);
    }
    for (auto it = vecVk.rbegin(); it != vecVk.rend(); ++it)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *it;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}
inline void PressKey(WORD wVk)
{
    PressKeys({wVk});
}

// A user's hand. A drag runs a modal loop inside the test's own message pump,
// so the hand acts from a thread timer, which every loop dispatches: at each
// tick it takes its next step once that step's condition holds. One at a time.
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

    static inline CScriptedUser* s_pUser = nullptr;
    std::vector<SStep> m_vecSteps;
    size_t m_nNext;
    UINT_PTR m_nTimer;
};

// Moves from one point to another in steps of 15 pixels, one step a tick.
inline void AppendPath(std::vector<CScriptedUser::SStep>* pSteps, POINT ptFrom, POINT ptTo)
{
    const int nSteps = std::max(std::abs(ptTo.x - ptFrom.x), std::abs(ptTo.y - ptFrom.y)) / 15 + 1;
    for (int i = 1; i <= nSteps; ++i)
    {
        const POINT pt = {ptFrom.x + (ptTo.x - ptFrom.x) * i / nSteps, ptFrom.y + (ptTo.y - ptFrom.y) * i / nSteps};
        pSteps->push_back({nullptr, [pt] { MoveTo(pt); }});
    }
}

// Records the messages a real window receives, by subclassing it, while it lives.
class CMessageSpy
{
public:
    CMessageSpy(HWND hWnd, std::vector<UINT> vecWatched) : m_hWnd(hWnd), m_vecWatched(std::move(vecWatched))
    {
        ::SetPropW(m_hWnd, kProp, this);
        m_pfnReal = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMessageSpy::Proc)));
    }
    ~CMessageSpy()
    {
        if (::IsWindow(m_hWnd))
        {
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnReal));
            ::RemovePropW(m_hWnd, kProp);
        }
    }
    CMessageSpy(const CMessageSpy&) = delete;
    CMessageSpy& operator=(const CMessageSpy&) = delete;

    struct SMessage
    {
        UINT message;
        WPARAM wParam;
    };
    std::vector<SMessage> m_vecSeen;

    size_t Count(UINT message, WPARAM wParam) const
    {
        return static_cast<size_t>(std::count_if(m_vecSeen.begin(), m_vecSeen.end(), [&](const SMessage& m) {
            return m.message == message && m.wParam == wParam;
        }));
    }
    size_t Count(UINT message) const
    {
        return static_cast<size_t>(std::count_if(m_vecSeen.begin(), m_vecSeen.end(),
                                                  [&](const SMessage& m) { return m.message == message; }));
    }

private:
    static constexpr const wchar_t* kProp = L"PictaroTestMessageSpy";

    static LRESULT CALLBACK Proc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* pSpy = static_cast<CMessageSpy*>(::GetPropW(hWnd, kProp));
        if (std::find(pSpy->m_vecWatched.begin(), pSpy->m_vecWatched.end(), message) != pSpy->m_vecWatched.end())
            pSpy->m_vecSeen.push_back({message, wParam});
        return ::CallWindowProcW(pSpy->m_pfnReal, hWnd, message, wParam, lParam);
    }

    HWND m_hWnd;
    std::vector<UINT> m_vecWatched;
    WNDPROC m_pfnReal;
};

} // namespace RealInput
