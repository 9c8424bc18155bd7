#include "tests/strip/StripTestSupport.h"

#include "draw/GdiplusSession.h"

#include <gtest/gtest.h>

#include <gdiplus.h>
#include <shlobj.h>

#include <cstring>
#include <memory>

using namespace TestSupport;

namespace StripTest
{

bool WriteSolidPicture(const std::wstring& strPath, int cx, int cy, COLORREF clr, const wchar_t* pszMimeType)
{
    CLSID clsid;
    if (!KelDraw::FindImageEncoder(pszMimeType, &clsid))
        return false;
    Gdiplus::Bitmap bitmap(cx, cy, PixelFormat24bppRGB);
    {
        Gdiplus::Graphics graphics(&bitmap);
        graphics.Clear(Gdiplus::Color(255, GetRValue(clr), GetGValue(clr), GetBValue(clr)));
    }
    return bitmap.Save(strPath.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

bool WriteIndexedBmp(const std::wstring& strPath, int cx, int cy, int nBitCount, COLORREF clr)
{
    const int cbRow = ((cx * nBitCount + 31) / 32) * 4;
    const int nColors = 1 << nBitCount;
    BITMAPINFOHEADER bih = {};
    bih.biSize = sizeof(bih);
    bih.biWidth = cx;
    bih.biHeight = cy;
    bih.biPlanes = 1;
    bih.biBitCount = static_cast<WORD>(nBitCount);
    bih.biCompression = BI_RGB;
    bih.biSizeImage = static_cast<DWORD>(cbRow * cy);
    bih.biClrUsed = static_cast<DWORD>(nColors);
    // Entry 1 is the colour, every other entry black: no white anywhere.
    std::vector<RGBQUAD> vecPalette(static_cast<size_t>(nColors), RGBQUAD{0, 0, 0, 0});
    vecPalette[1] = RGBQUAD{GetBValue(clr), GetGValue(clr), GetRValue(clr), 0};
    // Every pixel index 1.
    std::vector<BYTE> vecRow(static_cast<size_t>(cbRow), 0);
    for (int x = 0; x < cx; ++x)
    {
        const int nBit = x * nBitCount;
        vecRow[static_cast<size_t>(nBit / 8)] |= static_cast<BYTE>(1 << (8 - nBitCount - nBit % 8));
    }
    BITMAPFILEHEADER bfh = {};
    bfh.bfType = 0x4D42;
    bfh.bfOffBits = static_cast<DWORD>(sizeof(bfh) + sizeof(bih) + vecPalette.size() * sizeof(RGBQUAD));
    bfh.bfSize = bfh.bfOffBits + bih.biSizeImage;

    std::string strBytes(reinterpret_cast<const char*>(&bfh), sizeof(bfh));
    strBytes.append(reinterpret_cast<const char*>(&bih), sizeof(bih));
    strBytes.append(reinterpret_cast<const char*>(vecPalette.data()), vecPalette.size() * sizeof(RGBQUAD));
    for (int y = 0; y < cy; ++y)
        strBytes.append(reinterpret_cast<const char*>(vecRow.data()), vecRow.size());
    return WriteFileBytes(strPath, strBytes);
}

BOOL CRecordingSelectCall::OnElemSelect(int nIndex, const wchar_t* pszName, const wchar_t* pszPath, BOOL bReload)
{
    m_vecCalls.push_back(
        SCall{nIndex, pszName != nullptr, pszName ? pszName : L"", pszPath ? pszPath : L"", bReload});
    if (m_fnDuring)
        m_fnDuring();
    return TRUE;
}

void PrintTo(const CRecordingSelectCall::SCall& call, std::ostream* pOut)
{
    *pOut << "(" << call.nIndex << ", " << (call.bName ? testing::PrintToString(call.strName) : "null") << ", "
          << testing::PrintToString(call.strPath) << ", " << call.bReload << ")";
}

CTarvoToolWnd* MakeStrip(IElemSelectCall* pSelectCall)
{
    auto* pStrip = new CTarvoToolWnd(pSelectCall);
    if (!pStrip->CreateStripWindow())
        return pStrip;
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::SetWindowPos(pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT,
                   rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    ::UpdateWindow(pStrip->m_hWnd);
    return pStrip;
}

void SendMouse(int x, int y, DWORD dwFlags)
{
    const int cxScreen = ::GetSystemMetrics(SM_CXSCREEN);
    const int cyScreen = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65536 + cxScreen / 2) / cxScreen;
    input.mi.dy = (y * 65536 + cyScreen / 2) / cyScreen;
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE | dwFlags;
    ::SendInput(1, &input, sizeof(input));
}

CPixels ReadClient(HWND hWnd)
{
    RECT rc;
    ::GetClientRect(hWnd, &rc);
    CPixels pixels;
    pixels.cx = rc.right;
    pixels.cy = rc.bottom;
    pixels.argb.resize(static_cast<size_t>(rc.right) * rc.bottom);
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HDC hWndDC = ::GetDC(hWnd);
    HDC hMemDC = ::CreateCompatibleDC(hWndDC);
    HGDIOBJ hOld = ::SelectObject(hMemDC, hDib);
    ::BitBlt(hMemDC, 0, 0, rc.right, rc.bottom, hWndDC, 0, 0, SRCCOPY);
    ::GdiFlush();
    std::memcpy(pixels.argb.data(), pBits, pixels.argb.size() * sizeof(uint32_t));
    ::SelectObject(hMemDC, hOld);
    ::DeleteDC(hMemDC);
    ::ReleaseDC(hWnd, hWndDC);
    ::DeleteObject(hDib);
    return pixels;
}

CPixels PaintAndRead(HWND hWnd)
{
    ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return ReadClient(hWnd);
}

} // namespace StripTest
