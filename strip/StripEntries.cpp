#include "strip/TarvoToolWnd.h"

#include "draw/Decode.h"
#include "draw/RoMemDC.h"
#include "draw/Scale.h"
#include "draw/Thumbnail.h"
#include "framework/GdiObject.h"

#include <algorithm>
#include <memory>
#include <new>

int CTarvoToolWnd::AddFile(const wchar_t* pszFileName)
{
    if (!pszFileName || !*pszFileName)
        return ADD_EMPTY_NAME;
    return InsertFile(pszFileName, -1);
}

int CTarvoToolWnd::InsertFile(const wchar_t* pszPath, int nPos)
{
    HBITMAP hThumb = nullptr;
    if (!KelDraw::DecodeFileToThumbnail(pszPath, CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT, &hThumb))
        return ADD_UNDECODABLE;
    InsertElem(pszPath, hThumb, nPos);
    return ADD_DONE;
}

void CTarvoToolWnd::InsertElem(const std::wstring& strPath, HBITMAP hThumb, int nPos)
{
    CBitmap bmpThumb;
    bmpThumb.Attach(hThumb);
    std::unique_ptr<CElem> pElem(new CElem);
    pElem->m_hThumb = bmpThumb.Detach();
    pElem->m_strPath = strPath;
    // Windows takes '/' as a separator too.
    const size_t nSlash = strPath.find_last_of(L"\\/");
    pElem->m_strName = nSlash == std::wstring::npos ? strPath : strPath.substr(nSlash + 1);

    if (nPos >= 0 && !m_vecElems.empty())
    {
        const size_t nAt = std::min(static_cast<size_t>(nPos), m_vecElems.size());
        m_vecElems.insert(m_vecElems.begin() + static_cast<std::ptrdiff_t>(nAt), pElem.get());
    }
    else
    {
        m_vecElems.push_back(pElem.get());
    }
    pElem.release()->AddRef(); // the vector's reference
}

void CTarvoToolWnd::RefreshThumbnails(const std::wstring& strPath, const KelDraw::SPixelRows& picture)
{
    for (CElem* pElem : m_vecElems)
    {
        if (pElem->m_strPath != strPath)
            continue;
        // Read where the pixels are: a copy of a large picture would cost
        // more than the shrinking.
        if (HBITMAP hThumb = KelDraw::ThumbnailFromPixels(picture, CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT))
        {
            ::DeleteObject(pElem->m_hThumb);
            pElem->m_hThumb = hThumb;
            ::InvalidateRect(m_hWnd, &pElem->m_rcBox, FALSE);
        }
    }
}

HBITMAP CTarvoToolWnd::MakeThumbnail(HBITMAP hSource)
{
    if (!hSource)
        return nullptr;
    CClientDC dcWindow(m_hWnd);
    return ShrinkToThumbnail(hSource, dcWindow.m_hDC);
}

HBITMAP CTarvoToolWnd::ShrinkToThumbnail(HBITMAP hSource, HDC hCompatibleDC)
{
    BITMAP bm = {};
    if (!hSource || !::GetObjectW(hSource, sizeof(bm), &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return nullptr;
    // Read as 32-bit rows whatever the source is, and taken as opaque.
    CDC dcSource;
    if (!dcSource.CreateCompatibleDC(hCompatibleDC))
        return nullptr;
    const size_t nPixels = static_cast<size_t>(bm.bmWidth) * static_cast<size_t>(bm.bmHeight);
    std::unique_ptr<DWORD[]> pPixels(new (std::nothrow) DWORD[nPixels]);
    if (!pPixels)
        return nullptr;
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    if (::GetDIBits(dcSource.m_hDC, hSource, 0, static_cast<UINT>(bm.bmHeight), pPixels.get(), &bmi,
                    DIB_RGB_COLORS) != bm.bmHeight)
        return nullptr;
    for (size_t i = 0; i < nPixels; ++i)
        pPixels[i] |= 0xFF000000u;
    const KelDraw::SPixelRows rows = {reinterpret_cast<BYTE*>(pPixels.get()), bm.bmWidth, bm.bmHeight,
                                      static_cast<LONG_PTR>(bm.bmWidth) * 4};
    return KelDraw::ThumbnailFromPixels(rows, CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT);
}

SIZE CTarvoToolWnd::FitSize(SIZE size, SIZE sizeBox)
{
    return KelDraw::FitThumbnail(size, sizeBox);
}

void CTarvoToolWnd::ClearVisible()
{
    for (auto& node : m_mapVisible)
        node.second->Release();
    m_mapVisible.clear();
}

void CTarvoToolWnd::ClearElems()
{
    for (CElem* pElem : m_vecElems)
        pElem->Release();
    m_vecElems.clear();
    // Nothing may name an entry that is gone.
    m_pSelected = m_pHover = m_pPressed = nullptr;
}
