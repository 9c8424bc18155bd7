#include "draw/GdiplusSession.h"

#include <gdiplus.h>

#include <memory>
#include <new>

namespace KelDraw
{

CGdiplusSession::CGdiplusSession() : m_nToken(0)
{
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, thread and codecs on
    Gdiplus::GdiplusStartup(&m_nToken, &input, nullptr);
}

CGdiplusSession::~CGdiplusSession()
{
    if (m_nToken)
        Gdiplus::GdiplusShutdown(m_nToken);
}

bool FindImageEncoder(const wchar_t* pszMimeType, CLSID* pClsid)
{
    UINT nCount = 0;
    UINT cbCodecs = 0;
    if (Gdiplus::GetImageEncodersSize(&nCount, &cbCodecs) != Gdiplus::Ok || cbCodecs == 0)
        return false;
    std::unique_ptr<BYTE[]> pBuffer(new (std::nothrow) BYTE[cbCodecs]);
    if (!pBuffer)
        return false;
    auto* pCodecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(pBuffer.get());
    if (Gdiplus::GetImageEncoders(nCount, cbCodecs, pCodecs) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < nCount; ++i)
    {
        if (pCodecs[i].MimeType && ::lstrcmpiW(pCodecs[i].MimeType, pszMimeType) == 0)
        {
            *pClsid = pCodecs[i].Clsid;
            return true;
        }
    }
    return false;
}

} // namespace KelDraw
