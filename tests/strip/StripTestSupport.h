#pragma once

#include "strip/TarvoToolWnd.h"
#include "tests/support/TestSupport.h"
#include "viewer/ElemSelectCall.h"

#include <windows.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace StripTest
{

// Writes a w x h picture of one colour with GDI+'s encoder for pszMimeType
// ("image/png", "image/bmp", "image/jpeg").
bool WriteSolidPicture(const std::wstring& strPath, int cx, int cy, COLORREF clr,
                       const wchar_t* pszMimeType = L"image/png");
// Writes an indexed BMP of 1, 4 or 8 bits whose palette holds no white: every
// pixel is clr, the other palette entry black.
bool WriteIndexedBmp(const std::wstring& strPath, int cx, int cy, int nBitCount, COLORREF clr);

// The viewer's side of the strip, recording every call. fnDuring runs inside
// each call, to look at the strip while the viewer has control.
class CRecordingSelectCall : public IElemSelectCall
{
public:
    struct SCall
    {
        int nIndex;
        bool bName; // a name was passed (not null)
        std::wstring strName;
        std::wstring strPath;
        BOOL bReload;
    };

    BOOL OnElemSelect(int nIndex, const wchar_t* pszName, const wchar_t* pszPath, BOOL bReload) override;

    std::vector<SCall> m_vecCalls;
    std::function<void()> m_fnDuring;
};

inline bool operator==(const CRecordingSelectCall::SCall& a, const CRecordingSelectCall::SCall& b)
{
    return a.nIndex == b.nIndex && a.bName == b.bName && a.strName == b.strName && a.strPath == b.strPath &&
           a.bReload == b.bReload;
}
void PrintTo(const CRecordingSelectCall::SCall& call, std::ostream* pOut);

// A strip made and placed as the viewer makes it: topmost, 120 px high along
// the bottom of the work area, shown.
CTarvoToolWnd* MakeStrip(IElemSelectCall* pSelectCall);

// Real mouse input at a screen point, with the given button flags.
void SendMouse(int x, int y, DWORD dwFlags = 0);

// The client area of a window as the screen shows it.
TestSupport::CPixels ReadClient(HWND hWnd);
// Paints the window now (WM_PAINT through the update region) and reads it.
TestSupport::CPixels PaintAndRead(HWND hWnd);

inline uint32_t Rgb(COLORREF clr)
{
    return (static_cast<uint32_t>(GetRValue(clr)) << 16) | (GetGValue(clr) << 8) | GetBValue(clr);
}
inline uint32_t RgbOf(uint32_t argb)
{
    return argb & 0xFFFFFFu;
}

} // namespace StripTest
