#pragma once

#include "controls/Tooltips.h"
#include "dnd/RoDroptarget.h"
#include "framework/GdiObject.h"
#include "framework/Wnd.h"
#include "strip/Elem.h"

#include <map>
#include <string>
#include <vector>

class CDC;
class CDropDecoder;
class CImage;
class IElemSelectCall;
namespace KelDraw
{
struct SPixelRows;
}
namespace Gdiplus
{
class Bitmap;
}

// The thumbnail strip: one row of entries made from dropped picture files,
// docked along the bottom of the work area, with a horizontal scroll bar.
// Every choice of an entry is reported to the viewer through IElemSelectCall.
// Owned by whoever made it (the viewer), which frees it through
// DeleteWhenUnused: a drop being added or a drag out of it may still be
// running when its window is destroyed, and ends then.
class CTarvoToolWnd : public CWnd, public CRoDroptargeter, public CKelTooltipBase
{
public:
    enum
    {
        STRIP_HEIGHT = 120,
        BOX_LEFT = 20, // left margin of the first box
        BOX_PITCH = 108,
        BOX_TOP = 10,
        BOX_BOTTOM = 92,
    };
    // Results of AddFile and InsertFile.
    enum
    {
        ADD_DONE = 0,
        ADD_EMPTY_NAME = 101,
        ADD_UNDECODABLE = 102,
    };

    explicit CTarvoToolWnd(IElemSelectCall* pSelectCall);
    ~CTarvoToolWnd() override;

    // The strip's window: an ownerless tool popup that accepts dropped files;
    // the caller places it.
    BOOL CreateStripWindow();

    // Entries.
    int AddFile(const wchar_t* pszFileName);
    // Adds the files a drop names, in order, skipping what cannot be shown;
    // the handle stays the caller's. The files are decoded on worker threads
    // while the strip keeps painting and shows the entries as they come; the
    // user's input waits until the drop ends, and Esc, Alt+F4, a close
    // request or a quit queued meanwhile ends it early, as does the strip's
    // window being destroyed. The strip stays allocated until it returns.
    void AddDropFiles(HDROP hDropInfo);
    int InsertFile(const wchar_t* pszPath, int nPos);
    HBITMAP MakeThumbnail(HBITMAP hSource);
    // New thumbnails, made from the file's new picture as the viewer holds
    // it, for the entries of a file that was rewritten: over white, as
    // adding the file makes them.
    void RefreshThumbnails(const std::wstring& strPath, const KelDraw::SPixelRows& picture);
    // The thumbnail of a decoded bitmap, made in memory DCs compatible with
    // hCompatibleDC (null: the screen); safe on any thread.
    static HBITMAP ShrinkToThumbnail(HBITMAP hSource, HDC hCompatibleDC);
    static SIZE FitSize(SIZE size, SIZE sizeBox);
    void ClearVisible();
    void ClearElems();

    // Layout, scrolling and painting.
    void RecalcLayout();
    void UpdateScrollBar();
    void ScrollToElem(int nIndex);
    void DrawBackground(const RECT& rcClient, CDC* pDC);
    virtual void DrawContent(CDC* pDC, const RECT& rcClient);
    virtual SIZE GetContentSize();

    // Choices made by the viewer's keys.
    void SelectElem(int nIndex);
    void RemoveElem(int nIndex);
    void RefreshElem(int nIndex);

    BOOL RegisterDropTarget();

    // Dragging an entry out of the strip, and reordering by dropping it on
    // another entry, with auto-scroll near the ends.
    BOOL StartDrag(CElem* pElem);
    void SnapshotDragImage(const RECT& rcBox, CDC* pDC);
    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState, POINT point) override;
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState, POINT point) override;
    DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault, DROPEFFECT dropList,
                        POINT point) override;
    void OnDragLeave(CWnd* pWnd) override;
    static int HitTestEdgeZone(const RECT& rcClient, POINT point);
    BOOL MoveElem(CElem* pTarget, CElem* pDragged);
    CElem* FindElemByDragId(DWORD nDragId) const; // null when no entry has it
    BOOL CanAutoScroll();

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::vector<CElem*> m_vecElems;    // one reference on each
    std::map<int, CElem*> m_mapVisible; // one reference on each
    IElemSelectCall* m_pSelectCall;
    BOOL m_bTracking;
    CElem* m_pSelected; // the next three hold no reference
    CElem* m_pHover;
    CElem* m_pPressed;
    POINT m_ptPress;
    CRoDroptarget* m_pDropTarget;
    CImage* m_pBackImage;
    Gdiplus::Bitmap* m_pFrameImage;
    Gdiplus::Bitmap* m_pMarkImage;
    CBitmap m_bmpDrag; // the pressed entry's box as last painted
    RECT m_rcDrag = {};
    BOOL m_bScrollTimer = FALSE;
    int m_nScrollZone = 0; // 0 none, 1 left, 2 right
    int m_nWheelRest = 0;          // wheel turns short of a notch, kept for the next
    unsigned m_nDropThreads = 0;   // workers a drop decodes on; 0: one per core

    enum
    {
        TIMER_AUTOSCROLL = 5000,
    };

private:
    int OnCreate();
    void OnPaint();
    void OnHScroll(UINT nSBCode);
    void OnMouseWheel(int nDelta);
    void OnDropFiles(HDROP hDropInfo);
    void OnClose();
    void OnLButtonDown(POINT point);
    void OnLButtonUp(POINT point);
    void OnMouseMove(UINT nFlags, POINT point);
    void OnMouseLeave();
    void OnTimer(UINT_PTR nIDEvent);
    void StopAutoScroll();
    void ClearDropMarks();

    CElem* HitTest(POINT point) const;
    int ClientWidth() const;
    // The entry is leaving the strip: nothing may name it any more.
    void Forget(CElem* pElem);
    void ReportSelection(int nIndex, BOOL bReload);
    // Takes the thumbnail; the entry is placed as InsertFile places it.
    void InsertElem(const std::wstring& strPath, HBITMAP hThumb, int nPos);
    // Adds the decoder's results in drop order as they come, until all are in,
    // the user asks to quit or the strip's window is destroyed.
    void AddDecodedFiles(CDropDecoder& decoder);
    // Takes the queued keys into *pvecHeld; true when Esc or Alt+F4 is among them.
    static bool HoldQueuedKeys(std::vector<MSG>* pvecHeld);
    bool QuitRequested() const;

    // The innermost drop being added, which a drop handed over meanwhile
    // joins; it lives in that drop's frame, which puts back the one before.
    CDropDecoder* m_pDropDecoder = nullptr;

    BOOL m_bComInitialized;
};
