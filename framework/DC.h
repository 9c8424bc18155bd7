#pragma once

#include <windows.h>

// A memory DC with one owner, who deletes it.
class CDC
{
public:
    CDC() : m_hDC(nullptr) {}
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    BOOL CreateCompatibleDC(HDC hDC);
    BOOL Attach(HDC hDC);
    HDC Detach();
    BOOL DeleteDC();
    HDC GetSafeHdc() const { return m_hDC; }

    void FillSolidRect(const RECT& rc, COLORREF clr);

    HDC m_hDC;
};

// The DCs below are borrowed from a window and given back the way they came,
// so they offer nothing that deletes or replaces their handle.

// GetDC / ReleaseDC of a window.
class CClientDC
{
public:
    explicit CClientDC(HWND hWnd);
    ~CClientDC();
    CClientDC(const CClientDC&) = delete;
    CClientDC& operator=(const CClientDC&) = delete;

    const HDC m_hDC;

private:
    const HWND m_hWnd;
};

// BeginPaint / EndPaint inside WM_PAINT.
class CPaintDC
{
public:
    explicit CPaintDC(HWND hWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    PAINTSTRUCT m_ps;
    const HDC m_hDC;

private:
    const HWND m_hWnd;
};

// Selects an object into a DC for one scope and puts the previous one back.
class CSelectObject
{
public:
    CSelectObject(HDC hDC, HGDIOBJ hObject)
        : m_hDC(hDC), m_hOld(hObject ? ::SelectObject(hDC, hObject) : nullptr) {}
    ~CSelectObject()
    {
        if (m_hOld)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
