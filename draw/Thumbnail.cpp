#include "draw/Thumbnail.h"

#include "draw/RoMemDC.h"
#include "draw/Scale.h"
#include "draw/WicDecode.h"
#include "framework/ComPtr.h"

#include <algorithm>
#include <memory>
#include <new>

namespace KelDraw
{

namespace
{
// Rows read from a frame at a time.
const UINT kBandRows = 16;

// The box with the small upright picture centred over white.
HBITMAP Compose(const SPixelRows& small, int cxBox, int cyBox)
{
    // Made in a buffer and handed out as a bitmap compatible with it, the
    // kind the strip has always drawn.
    const RECT rcBox = {0, 0, cxBox, cyBox};
    CRoMemDC dcBox(nullptr, &rcBox, TRUE);
    DIBSECTION ds = {};
    if (!dcBox.m_hBitmap || ::GetObjectW(dcBox.m_hBitmap, sizeof(ds), &ds) != sizeof(ds) || !ds.dsBm.bmBits)
    {
        dcBox.Discard();
        return nullptr;
    }
    ::GdiFlush();
    auto* pBox = static_cast<DWORD*>(ds.dsBm.bmBits);
    std::fill(pBox, pBox + static_cast<size_t>(cxBox) * cyBox, 0xFFFFFFFFu);
    const int x0 = (cxBox - small.cx) / 2, y0 = (cyBox - small.cy) / 2;
    for (int y = 0; y < small.cy; ++y)
    {
        const BYTE* pIn = small.pTop + small.nStride * y;
        BYTE* pOut = reinterpret_cast<BYTE*>(pBox + static_cast<size_t>(y0 + y) * cxBox + x0);
        for (int x = 0; x < small.cx; ++x, pIn += 4, pOut += 4)
        {
            // Premultiplied over white.
            const int nClear = 255 - pIn[3];
            pOut[0] = static_cast<BYTE>(std::min(255, pIn[0] + nClear));
            pOut[1] = static_cast<BYTE>(std::min(255, pIn[1] + nClear));
            pOut[2] = static_cast<BYTE>(std::min(255, pIn[2] + nClear));
            pOut[3] = 255;
        }
    }
    HBITMAP hThumb = dcBox.CopyBitmap();
    dcBox.Discard();
    return hThumb;
}

// Premultiplied pixels of cx x cy in memory of their own.
struct SSmallPicture
{
    std::unique_ptr<BYTE[]> pData;
    SPixelRows rows = {};

    bool Make(int cx, int cy)
    {
        rows = {nullptr, cx, cy, static_cast<LONG_PTR>(cx) * 4};
        if (cx <= 0 || cy <= 0)
            return true;
        pData.reset(new (std::nothrow) BYTE[static_cast<size_t>(cx) * cy * 4]);
        rows.pTop = pData.get();
        return pData != nullptr;
    }
};
} // namespace

SIZE FitThumbnail(SIZE size, SIZE sizeBox)
{
    if (size.cx <= sizeBox.cx && size.cy <= sizeBox.cy)
        return size;
    const double rx = static_cast<double>(size.cx) / sizeBox.cx;
    const double ry = static_cast<double>(size.cy) / sizeBox.cy;
    if (ry < rx)
        return SIZE{sizeBox.cx, static_cast<LONG>(size.cy / rx)};
    return SIZE{static_cast<LONG>(size.cx / ry), sizeBox.cy};
}

HBITMAP ThumbnailFromPixels(const SPixelRows& upright, int cxBox, int cyBox)
{
    const SIZE fit = FitThumbnail(SIZE{upright.cx, upright.cy}, SIZE{cxBox, cyBox});
    SSmallPicture small;
    if (!small.Make(fit.cx, fit.cy))
        return nullptr;
    if (small.rows.pTop && !ScalePixels(upright, small.rows))
        return nullptr;
    return Compose(small.rows, cxBox, cyBox);
}

BOOL ThumbnailFromFrame(CWicFrame& frame, int nOrientation, SIZE sizePicture, int cxBox, int cyBox,
                        HBITMAP* phThumb)
{
    *phThumb = nullptr;
    const SIZE fit = FitThumbnail(sizePicture, SIZE{cxBox, cyBox});
    // Shrunk as stored, then turned: the average of a turned area is the
    // average of the area.
    const bool bSwap = nOrientation >= 5 && nOrientation <= 8;
    SSmallPicture stored, turned;
    bool bMemory = stored.Make(bSwap ? fit.cy : fit.cx, bSwap ? fit.cx : fit.cy) && turned.Make(fit.cx, fit.cy);
    const int cx = static_cast<int>(frame.Width()), cy = static_cast<int>(frame.Height());
    CAreaShrinker shrinker(cx, cy, stored.rows);
    // Nothing to shrink when nothing of the picture shows (a line too thin).
    const bool bShrink = bMemory && stored.rows.pTop;
    bMemory = bMemory && (!bShrink || shrinker.Ready());
    const size_t cbStride = static_cast<size_t>(cx) * 4;
    std::unique_ptr<BYTE[]> pBand(new (std::nothrow) BYTE[cbStride * kBandRows]);
    if (!pBand)
        return FALSE;
    // Every row is read even when nothing of it shows: a file counts as a
    // picture only once it has decoded whole.
    for (UINT y = 0; y < frame.Height(); y += kBandRows)
    {
        const UINT nRows = std::min(kBandRows, frame.Height() - y);
        if (!frame.ReadPremultipliedRows(y, nRows, pBand.get(), static_cast<UINT>(cbStride)))
            return FALSE;
        if (bShrink && bMemory)
            for (UINT r = 0; r < nRows; ++r)
                shrinker.AddRow(pBand.get() + r * cbStride);
    }
    if (!bMemory)
        return TRUE;
    if (bShrink)
    {
        shrinker.Finish();
        TurnPixels(stored.rows, nOrientation, turned.rows);
    }
    *phThumb = Compose(turned.rows, cxBox, cyBox);
    return TRUE;
}

HBITMAP ThumbnailFromPreview(IWICImagingFactory* pFactory, const BYTE* pData, size_t cbData, UINT cx, UINT cy,
                             int nOrientation, SIZE sizePicture, int cxBox, int cyBox)
{
    CComPtr<IWICStream> pStream;
    if (!pFactory || cbData > MAXDWORD || FAILED(pFactory->CreateStream(&pStream)) ||
        FAILED(pStream->InitializeFromMemory(const_cast<BYTE*>(pData), static_cast<DWORD>(cbData))))
        return nullptr;
    CWicFrame frame;
    if (frame.Open(pFactory, pStream, pData, cbData) != CWicFrame::OPEN_DONE || frame.Width() != cx ||
        frame.Height() != cy)
        return nullptr;
    HBITMAP hThumb = nullptr;
    ThumbnailFromFrame(frame, nOrientation, sizePicture, cxBox, cyBox, &hThumb);
    return hThumb;
}

} // namespace KelDraw
