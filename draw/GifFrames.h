#pragma once

#include "draw/FileStamp.h"
#include "framework/ComPtr.h"

#include <windows.h>

#include <wincodec.h>

#include <memory>

namespace KelDraw
{

struct SPixelRows;

// The frames of an animated GIF, read through the imaging component one at a
// time and composed, as browsers show them, onto a canvas the size of the
// file's logical screen: premultiplied 32-bit BGRA, transparent where no frame
// has drawn. Besides the canvas it holds one row of the frame being drawn and,
// for a frame that asks to be undone afterwards, the pixels it covered; never
// a frame per frame.
class CGifFrames
{
public:
    // A file's frames, when it is a GIF of two frames or more whose stamp is
    // still *pStamp (when given). pFactory null: one is made for the calling
    // thread, which has COM. The file is read into memory and closed.
    BOOL Open(const wchar_t* pszPath, const SFileStamp* pStamp = nullptr, IWICImagingFactory* pFactory = nullptr);

    UINT Width() const { return m_cx; }
    UINT Height() const { return m_cy; }
    UINT FrameCount() const { return m_nFrames; }
    // Passes through all the frames the file asks for; 0 for ever.
    UINT Plays() const { return m_nPlays; }

    enum EStep
    {
        STEP_DRAWN,
        STEP_END, // the last pass is over; the canvas keeps the last frame
        STEP_FAILED,
    };
    // The first frame onto a cleared canvas (Width x Height), from the first
    // pass on.
    EStep Restart(const SPixelRows& canvas);
    // The frame after the one on the canvas: the shown one is disposed of as
    // it asks, then the next drawn over what is left; after the last, the
    // first again on a cleared canvas while passes are left.
    EStep Next(const SPixelRows& canvas);
    // The frame on the canvas and how long it stays there, in ms.
    UINT Frame() const { return m_nFrame; }
    UINT DelayMs() const { return m_nDelayMs; }

private:
    EStep Draw(UINT nFrame, const SPixelRows& canvas);
    void Dispose(const SPixelRows& canvas);

    CComPtr<IWICImagingFactory> m_pFactory;
    CComPtr<IWICBitmapDecoder> m_pDecoder;
    UINT m_cx = 0, m_cy = 0;
    UINT m_nFrames = 0;
    UINT m_nPlays = 0;
    UINT m_nPlayed = 0; // passes finished
    UINT m_nFrame = 0;
    UINT m_nDelayMs = 0;
    // How the frame on the canvas goes, and where it lies (clipped to the canvas).
    UINT m_nDisposal = 0;
    RECT m_rcFrame = {};
    std::unique_ptr<DWORD[]> m_pCovered; // what a frame to be restored covered
};

} // namespace KelDraw
