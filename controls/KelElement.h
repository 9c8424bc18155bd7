#pragma once

#include <windows.h>

namespace Gdiplus
{
class Bitmap;
}
class CDC;
class CTarvoMainWnd;

// The feedback link: a windowless hot spot the viewer draws over its
// placeholder pictures and offers every message to before handling it.
class CKelElement
{
public:
    enum
    {
        STATE_NORMAL = 0,
        STATE_HOVER = 1,
        STATE_PRESSED = 2,
        STATE_COUNT = 4,
    };

    CKelElement();
    virtual ~CKelElement();
    CKelElement(const CKelElement&) = delete;
    CKelElement& operator=(const CKelElement&) = delete;

    void LoadStateImage(WORD nID, int nSlot);
    void Draw(CDC* pDC);
    // True when the message was the element's; the viewer then returns *pResult.
    bool HandleMessage(UINT message, LPARAM lParam, LRESULT* pResult);
    static BOOL StartMouseTracking(HWND hWnd);

    Gdiplus::Bitmap* m_pImages[STATE_COUNT];
    CTarvoMainWnd* m_pOwner;
    RECT m_rcBounds;
    int m_nState;
    int m_nID;
    BOOL m_bVisible;

    // A leave notification has been asked for the viewer and has not come yet.
    static BOOL s_bTracking;

private:
    bool Contains(LPARAM lParam) const;
    void RequestRedraw(BOOL bShow);
};
