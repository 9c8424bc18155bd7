#pragma once

#include "framework/ComPtr.h"
#include "framework/OleDropTarget.h"

#include <shobjidl.h>

// What a window implements to receive OLE drags through a CRoDroptarget.
// Every operation refuses by default; an owner is never deleted through this.
class CRoDroptargeter
{
public:
    virtual DROPEFFECT OnDragEnter(CWnd*, COleDataObject*, DWORD, POINT) { return DROPEFFECT_NONE; }
    virtual DROPEFFECT OnDragOver(CWnd*, COleDataObject*, DWORD, POINT) { return DROPEFFECT_NONE; }
    virtual BOOL OnDrop(CWnd*, COleDataObject*, DROPEFFECT, POINT) { return FALSE; }
    virtual DROPEFFECT OnDropEx(CWnd*, COleDataObject*, DROPEFFECT, DROPEFFECT, POINT)
    {
        return DROPEFFECT_NONE;
    }
    virtual void OnDragLeave(CWnd*) {}
    virtual DROPEFFECT OnDragScroll(CWnd*, DWORD, POINT) { return DROPEFFECT_NONE; }

protected:
    ~CRoDroptargeter() = default;
};

// The drop target a window registers: forwards every drag event to its owner
// (or, without one, to the plain window's behaviour) and then tells the
// shell's drag-image service, so a drag image follows the cursor.
class CRoDroptarget : public COleDropTarget
{
public:
    explicit CRoDroptarget(CRoDroptargeter* pTargeter);

    DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                           POINT point) override;
    DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                          POINT point) override;
    BOOL OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect,
                POINT point) override;
    DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                        DROPEFFECT dropList, POINT point) override;
    void OnDragLeave(CWnd* pWnd) override;
    DROPEFFECT OnDragScroll(CWnd* pWnd, DWORD dwKeyState, POINT point) override;

    CRoDroptargeter* m_pTargeter;
    CComPtr<IDropTargetHelper> m_pDropImage;
    bool m_bDropImage;

private:
    POINT ScreenPoint(POINT point) const;
};
