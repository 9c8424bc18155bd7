#include "viewer/TarvoMainWnd.h"

#include "dnd/DropFiles.h"
#include "draw/DibPicture.h"
#include "draw/GdiplusSession.h"
#include "framework/ComPtr.h"

#include <gdiplus.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace
{
// The clipboard, open for one scope. Another program may hold it for a
// moment (clipboard watchers read every change), so opening tries a few times.
class CClipboardOpen
{
public:
    explicit CClipboardOpen(HWND hOwner)
    {
        for (int i = 0; i < 5 && !m_bOpen; ++i)
        {
            if (i > 0)
                ::Sleep(20);
            m_bOpen = ::OpenClipboard(hOwner) != FALSE;
        }
    }
    ~CClipboardOpen()
    {
        if (m_bOpen)
            ::CloseClipboard();
    }
    CClipboardOpen(const CClipboardOpen&) = delete;
    CClipboardOpen& operator=(const CClipboardOpen&) = delete;

    bool IsOpen() const { return m_bOpen; }

    // The clipboard owns the block once this succeeds.
    bool Put(UINT nFormat, CGlobalMem& block)
    {
        if (!block || !::SetClipboardData(nFormat, block.Get()))
            return false;
        block.Detach();
        return true;
    }

private:
    bool m_bOpen = false;
};

// The picture's pixels with straight alpha, top row first, as programs that
// take a picture from the clipboard read alpha.
std::unique_ptr<DWORD[]> StraightPixels(const KelDraw::CDibPicture& picture, size_t nPixels)
{
    std::unique_ptr<DWORD[]> pPixels(new (std::nothrow) DWORD[nPixels]);
    if (!pPixels)
        return pPixels;
    const auto* pSource = static_cast<const BYTE*>(picture.Bits());
    for (size_t i = 0; i < nPixels; ++i, pSource += 4)
    {
        const DWORD a = pSource[3];
        DWORD dwPixel = 0;
        if (a == 255)
            dwPixel = 0xFF000000u | pSource[2] << 16 | pSource[1] << 8 | pSource[0];
        else if (a != 0)
        {
            const auto Straight = [a](DWORD c) { return std::min<DWORD>(255, (c * 255 + a / 2) / a); };
            dwPixel = a << 24 | Straight(pSource[2]) << 16 | Straight(pSource[1]) << 8 | Straight(pSource[0]);
        }
        pPixels[i] = dwPixel;
    }
    return pPixels;
}

// A packed 32-bit DIB with a V5 header: alpha in the top byte, bottom row
// first, as readers of the format expect it.
CGlobalMem CreateDibV5(const DWORD* pPixels, int cx, int cy)
{
    const size_t cbRow = static_cast<size_t>(cx) * 4;
    CGlobalMem block(::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPV5HEADER) + cbRow * static_cast<size_t>(cy)));
    const CGlobalLock lock(block.Get());
    auto* pHeader = static_cast<BITMAPV5HEADER*>(lock.Get());
    if (!pHeader)
        return CGlobalMem();
    std::memset(pHeader, 0, sizeof(BITMAPV5HEADER));
    pHeader->bV5Size = sizeof(BITMAPV5HEADER);
    pHeader->bV5Width = cx;
    pHeader->bV5Height = cy;
    pHeader->bV5Planes = 1;
    pHeader->bV5BitCount = 32;
    pHeader->bV5Compression = BI_BITFIELDS;
    pHeader->bV5SizeImage = static_cast<DWORD>(cbRow * static_cast<size_t>(cy));
    pHeader->bV5RedMask = 0x00FF0000;
    pHeader->bV5GreenMask = 0x0000FF00;
    pHeader->bV5BlueMask = 0x000000FF;
    pHeader->bV5AlphaMask = 0xFF000000;
    pHeader->bV5CSType = 0x73524742; // LCS_sRGB, which the headers spell as a multi-character constant
    pHeader->bV5Intent = LCS_GM_IMAGES;
    auto* pRows = reinterpret_cast<BYTE*>(pHeader + 1);
    for (int y = 0; y < cy; ++y)
        std::memcpy(pRows + cbRow * static_cast<size_t>(cy - 1 - y), pPixels + static_cast<size_t>(y) * cx, cbRow);
    return block;
}

// The pixels (straight alpha, top row first) as the bytes of a PNG file.
CGlobalMem CreatePng(DWORD* pPixels, int cx, int cy)
{
    CLSID clsidPng;
    if (!KelDraw::FindImageEncoder(L"image/png", &clsidPng))
        return CGlobalMem();
    Gdiplus::Bitmap picture(cx, cy, cx * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pPixels));
    CComPtr<IStream> pStream;
    if (picture.GetLastStatus() != Gdiplus::Ok || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, &pStream)) ||
        picture.Save(pStream, &clsidPng, nullptr) != Gdiplus::Ok)
        return CGlobalMem();
    STATSTG stat = {};
    HGLOBAL hStreamBlock = nullptr;
    if (FAILED(pStream->Stat(&stat, STATFLAG_NONAME)) || FAILED(::GetHGlobalFromStream(pStream, &hStreamBlock)))
        return CGlobalMem();
    // A block of exactly the file's size: the stream's may be larger.
    const auto cbPng = static_cast<SIZE_T>(stat.cbSize.QuadPart);
    CGlobalMem block(::GlobalAlloc(GMEM_MOVEABLE, cbPng));
    const CGlobalLock from(hStreamBlock);
    const CGlobalLock to(block.Get());
    if (!from.Get() || !to.Get() || from.GetSize() < cbPng)
        return CGlobalMem();
    std::memcpy(to.Get(), from.Get(), cbPng);
    return block;
}
} // namespace

BOOL CTarvoMainWnd::CopyPicture()
{
    auto* pPicture = dynamic_cast<KelDraw::CDibPicture*>(m_pPicture);
    if (!pPicture || m_strCurPath.empty())
        return FALSE;
    const int cx = static_cast<int>(pPicture->GetWidth());
    const int cy = static_cast<int>(pPicture->GetHeight());
    if (cx <= 0 || cy <= 0)
        return FALSE;
    try
    {
        const std::unique_ptr<DWORD[]> pPixels = StraightPixels(*pPicture, static_cast<size_t>(cx) * cy);
        // Each form that can be made goes; a picture too large for memory
        // still leaves the file to paste.
        CGlobalMem dib = pPixels ? CreateDibV5(pPixels.get(), cx, cy) : CGlobalMem();
        CGlobalMem png = pPixels ? CreatePng(pPixels.get(), cx, cy) : CGlobalMem();
        CGlobalMem files = CreateDropFiles(std::vector<std::wstring>{m_strCurPath});
        if (!dib && !png && !files)
            return FALSE;

        CClipboardOpen clipboard(m_hWnd);
        if (!clipboard.IsOpen() || !::EmptyClipboard())
            return FALSE;
        bool bPut = clipboard.Put(CF_DIBV5, dib);
        static const UINT s_cfPng = ::RegisterClipboardFormatW(L"PNG");
        bPut = (s_cfPng && clipboard.Put(s_cfPng, png)) || bPut;
        bPut = clipboard.Put(CF_HDROP, files) || bPut;
        return bPut ? TRUE : FALSE;
    }
    catch (const std::bad_alloc&)
    {
        return FALSE;
    }
}
