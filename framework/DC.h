#pragma once

#include <windows.h>

// A device context with one owner. The base owns a memory DC and deletes it;
// the window and paint DCs below give theirs back the way they were obtained.
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

// GetDC / ReleaseDC of a window.
class CClientDC : public CDC
{
public:
    explicit CClientDC(HWND hWnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// BeginPaint / EndPaint inside WM_PAINT.
class CPaintDC : public CDC
{
public:
    explicit CPaintDC(HWND hWnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
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
