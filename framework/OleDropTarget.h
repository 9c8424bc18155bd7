#pragma once

#include <windows.h>
#include <ole2.h>

class CWnd;

typedef DWORD DROPEFFECT;

// Sole owner of a block of global memory; frees it unless detached.
class CGlobalMem
{
public:
    CGlobalMem() : m_hGlobal(nullptr) {}
    explicit CGlobalMem(HGLOBAL hGlobal) : m_hGlobal(hGlobal) {}
    ~CGlobalMem() { Free(); }
    CGlobalMem(CGlobalMem&& other) noexcept : m_hGlobal(other.Detach()) {}
    CGlobalMem& operator=(CGlobalMem&& other) noexcept
    {
        if (this != &other)
        {
            Free();
            m_hGlobal = other.Detach();
        }
        return *this;
    }
    CGlobalMem(const CGlobalMem&) = delete;
    CGlobalMem& operator=(const CGlobalMem&) = delete;

    HGLOBAL Get() const { return m_hGlobal; }
    HGLOBAL Detach()
    {
        HGLOBAL hGlobal = m_hGlobal;
        m_hGlobal = nullptr;
        return hGlobal;
    }
    explicit operator bool() const { return m_hGlobal != nullptr; }

private:
    void Free()
    {
        if (m_hGlobal)
            ::GlobalFree(Detach());
    }
    HGLOBAL m_hGlobal;
};

// Keeps a block of global memory locked for one scope. Get() is null when the
// block could not be locked (or there is none), and GetSize() is then 0.
class CGlobalLock
{
public:
    explicit CGlobalLock(HGLOBAL hGlobal)
        : m_hGlobal(hGlobal), m_pData(hGlobal ? ::GlobalLock(hGlobal) : nullptr),
          m_nSize(m_pData ? ::GlobalSize(hGlobal) : 0) {}
    ~CGlobalLock()
    {
        if (m_pData)
            ::GlobalUnlock(m_hGlobal);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    void* Get() const { return m_pData; }
    SIZE_T GetSize() const { return m_nSize; }

private:
    HGLOBAL m_hGlobal;
    void* m_pData;
    SIZE_T m_nSize;
};

// The data of the drag under way, handed to the drop handlers of one event.
class COleDataObject
{
public:
    COleDataObject() : m_lpDataObject(nullptr) {}
    ~COleDataObject() { Release(); }
    COleDataObject(const COleDataObject&) = delete;
    COleDataObject& operator=(const COleDataObject&) = delete;

    // Holds a reference of its own to pDataObject until Release.
    void Attach(IDataObject* pDataObject);
    void Release();

    BOOL IsDataAvailable(CLIPFORMAT cfFormat) const;
    // A block the caller owns, or an empty one when the data does not offer
    // the format as global memory.
    CGlobalMem GetGlobalData(CLIPFORMAT cfFormat) const;
    IDataObject* GetIDataObject(BOOL bAddRef) const;

private:
    IDataObject* m_lpDataObject;
};

// A window's OLE drop target: Register makes the platform deliver the drags
// over that window, which arrive here as the overridables below, with points
// in client coordinates of the window.
class COleDropTarget
{
public:
    COleDropTarget();
    virtual ~COleDropTarget();
    COleDropTarget(const COleDropTarget&) = delete;
    COleDropTarget& operator=(const COleDropTarget&) = delete;

    BOOL Register(CWnd* pWnd);
    void Revoke();

    // A plain window: enter, over and scroll give none; OnDropEx leaves the
    // drop to OnDrop (-1), which refuses it.
    virtual DROPEFFECT OnDragEnter(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                   POINT point);
    virtual DROPEFFECT OnDragOver(CWnd* pWnd, COleDataObject* pDataObject, DWORD dwKeyState,
                                  POINT point);
    virtual BOOL OnDrop(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropEffect,
                        POINT point);
    virtual DROPEFFECT OnDropEx(CWnd* pWnd, COleDataObject* pDataObject, DROPEFFECT dropDefault,
                                DROPEFFECT dropList, POINT point);
    virtual void OnDragLeave(CWnd* pWnd);
    virtual DROPEFFECT OnDragScroll(CWnd* pWnd, DWORD dwKeyState, POINT point);

protected:
    // The registered window, null when not registered.
    HWND m_hWndTarget;

private:
    class XDropTarget;
    XDropTarget* m_pXDropTarget;
};
