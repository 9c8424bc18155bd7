#pragma once

#include "tests/support/TestSupport.h"
#include "viewer/TarvoMainWnd.h"

namespace TestSupport
{

// Sits in the viewer's looked-up UpdateLayeredWindow pointer, records every
// layered update (with a copy of its buffer) and passes it on to the platform.
struct SLayeredSpy
{
    static void Install(CTarvoMainWnd* pViewer)
    {
        s_nCalls = 0;
        s_pfnReal = pViewer->m_pfnUpdateLayeredWindow;
        pViewer->m_pfnUpdateLayeredWindow = Update;
    }

    static BOOL WINAPI Update(HWND hWnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                              COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags)
    {
        ++s_nCalls;
        s_ptDest = *pptDst;
        s_size = *psize;
        s_blend = *pblend;
        s_dwFlags = dwFlags;
        s_buffer = ReadSelectedBitmap(hdcSrc);
        return s_pfnReal(hWnd, hdcDst, pptDst, psize, hdcSrc, pptSrc, crKey, pblend, dwFlags);
    }

    static inline CTarvoMainWnd::PFNUPDATELAYEREDWINDOW s_pfnReal = nullptr;
    static inline int s_nCalls = 0;
    static inline POINT s_ptDest = {};
    static inline SIZE s_size = {};
    static inline BLENDFUNCTION s_blend = {};
    static inline DWORD s_dwFlags = 0;
    static inline CPixels s_buffer;
};

} // namespace TestSupport
