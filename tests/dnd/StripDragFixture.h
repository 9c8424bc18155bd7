#pragma once

#include "dnd/ElemDragData.h"
#include "strip/TarvoToolWnd.h"
#include "tests/dnd/DragTestObjects.h"
#include "tests/support/TestSupport.h"
#include "viewer/ElemSelectCall.h"

#include <gdiplus.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace StripDrag
{

// The entries' colours in order: never white (the marker's line) nor magenta
// (the drag image's transparent colour).
const COLORREF kColours[] = {RGB(200, 30, 60), RGB(30, 160, 60), RGB(40, 60, 200), RGB(220, 200, 40),
                             RGB(40, 200, 210), RGB(120, 80, 30)};
const int kColourCount = sizeof(kColours) / sizeof(kColours[0]);

// The viewer's side: records the index of every choice reported.
class CRecordingSelectCall : public IElemSelectCall
{
public:
    BOOL OnElemSelect(int nIndex, const wchar_t*, const wchar_t*, BOOL) override
    {
        m_vecIndexes.push_back(nIndex);
        return TRUE;
    }
    std::vector<int> m_vecIndexes;
};

// A strip placed as the viewer places it (topmost, 120 px high along the
// bottom of the work area) holding nCount entries made from 88 x 82 pictures
// of one colour each, named A.png, B.png, ... (the colours repeat after six,
// the files after Z).
class CStripWithEntries
{
public:
    explicit CStripWithEntries(int nCount)
    {
        m_pStrip.reset(new CTarvoToolWnd(&m_calls));
        if (!m_pStrip->CreateStripWindow())
            return;
        RECT rcWork;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
        ::SetWindowPos(m_pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT,
                       rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
        for (int i = 0; i < nCount; ++i)
        {
            const std::wstring strPath =
                m_folder.Path(std::wstring(1, static_cast<wchar_t>(L'A' + i % 26)) + L".png");
            if (i < 26)
            {
                Gdiplus::Bitmap picture(CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT, PixelFormat24bppRGB);
                {
                    const COLORREF clr = kColours[i % kColourCount];
                    Gdiplus::Graphics graphics(&picture);
                    graphics.Clear(Gdiplus::Color(255, GetRValue(clr), GetGValue(clr), GetBValue(clr)));
                }
                TestSupport::SavePng(&picture, strPath);
            }
            m_pStrip->AddFile(strPath.c_str());
        }
        m_pStrip->RecalcLayout();
        m_pStrip->UpdateScrollBar();
        ::UpdateWindow(m_pStrip->m_hWnd);
    }

    // Puts up to 26 entries back in the order they were added, and lays them out.
    void Restore()
    {
        std::vector<CElem*>& vecElems = m_pStrip->m_vecElems;
        std::sort(vecElems.begin(), vecElems.end(), [](const CElem* a, const CElem* b) {
            return a->m_strName < b->m_strName;
        });
        m_pStrip->RecalcLayout();
    }

    HWND Wnd() const { return m_pStrip->m_hWnd; }
    CElem* Elem(size_t i) const { return m_pStrip->m_vecElems[i]; }

    // The entries' names in display order, without the extension: "ABCDE".
    std::string Order() const
    {
        std::string str;
        for (const CElem* pElem : m_pStrip->m_vecElems)
            str += static_cast<char>(pElem->m_strName[0]);
        return str;
    }
    bool AnyDropMark() const
    {
        for (const CElem* pElem : m_pStrip->m_vecElems)
            if (pElem->m_bDropMark)
                return true;
        return false;
    }
    // The centre of entry i's box, in client coordinates.
    POINT Centre(size_t i) const
    {
        const RECT& rc = Elem(i)->m_rcBox;
        return POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
    }
    POINT ToScreen(POINT pt) const
    {
        ::ClientToScreen(Wnd(), &pt);
        return pt;
    }
    int ScrollPos() const { return ::GetScrollPos(Wnd(), SB_HORZ); }

    TestSupport::CTempFolder m_folder;
    CRecordingSelectCall m_calls;
    std::unique_ptr<CTarvoToolWnd> m_pStrip;
};

// The 16 bytes of an entry's payload, as a drag carries them: the window's
// 32-bit handle value and the entry's id (its address in a 32-bit process).
inline std::vector<BYTE> Payload(HWND hWndSource, DWORD nElemId, int nKind = SElemDragData::KIND_ELEM)
{
    const DWORD fields[4] = {static_cast<DWORD>(HandleToLong(hWndSource)), nElemId, static_cast<DWORD>(nKind),
                             nElemId};
    const BYTE* p = reinterpret_cast<const BYTE*>(fields);
    return std::vector<BYTE>(p, p + sizeof(fields));
}
inline std::vector<BYTE> Payload(HWND hWndSource, const CElem* pElem, int nKind = SElemDragData::KIND_ELEM)
{
    return Payload(hWndSource, pElem->m_nDragId, nKind);
}

// The drop target the platform holds for the window: what the platform's
// drag loop calls, with points in screen coordinates.
class CPlatformTarget
{
public:
    explicit CPlatformTarget(HWND hWnd)
        : m_pTarget(static_cast<IDropTarget*>(::GetPropW(hWnd, L"OleDropTargetInterface")))
    {
        if (m_pTarget)
            m_pTarget->AddRef();
    }
    ~CPlatformTarget()
    {
        if (m_pTarget)
            m_pTarget->Release();
    }
    CPlatformTarget(const CPlatformTarget&) = delete;
    CPlatformTarget& operator=(const CPlatformTarget&) = delete;

    DWORD Enter(IDataObject* pData, POINT ptScreen, DWORD dwAllowed = DROPEFFECT_COPY | DROPEFFECT_MOVE)
    {
        DWORD dwEffect = dwAllowed;
        m_pTarget->DragEnter(pData, MK_LBUTTON, POINTL{ptScreen.x, ptScreen.y}, &dwEffect);
        return dwEffect;
    }
    DWORD Over(POINT ptScreen, DWORD dwAllowed = DROPEFFECT_COPY | DROPEFFECT_MOVE)
    {
        DWORD dwEffect = dwAllowed;
        m_pTarget->DragOver(MK_LBUTTON, POINTL{ptScreen.x, ptScreen.y}, &dwEffect);
        return dwEffect;
    }
    DWORD Drop(IDataObject* pData, POINT ptScreen, DWORD dwAllowed = DROPEFFECT_COPY | DROPEFFECT_MOVE)
    {
        DWORD dwEffect = dwAllowed;
        m_pTarget->Drop(pData, 0, POINTL{ptScreen.x, ptScreen.y}, &dwEffect);
        return dwEffect;
    }
    void Leave() { m_pTarget->DragLeave(); }

    IDropTarget* m_pTarget;
};

} // namespace StripDrag
