#include "strip/TarvoToolWnd.h"

#include "draw/Decode.h"
#include "draw/RoMemDC.h"
#include "framework/GdiObject.h"

#include <algorithm>
#include <memory>

int CTarvoToolWnd::AddFile(const wchar_t* pszFileName)
{
    if (!pszFileName || !*pszFileName)
        return ADD_EMPTY_NAME;
    return InsertFile(pszFileName, -1);
}

int CTarvoToolWnd::InsertFile(const wchar_t* pszPath, int nPos)
{
    CBitmap bmpDecoded;
    if (!bmpDecoded.Attach(KelDraw::DecodeFileToDib(pszPath)))
        return ADD_UNDECODABLE;
    HBITMAP hThumb = MakeThumbnail(bmpDecoded.GetSafeHandle());
    bmpDecoded.DeleteObject();
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

void CTarvoToolWnd::RefreshThumbnails(const std::wstring& strPath, HBITMAP hPicture)
{
    for (CElem* pElem : m_vecElems)
    {
        if (pElem->m_strPath != strPath)
            continue;
        if (HBITMAP hThumb = MakeThumbnail(hPicture))
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
    if (!hSource || !::GetObjectW(hSource, sizeof(bm), &bm))
        return nullptr;

    // The source is read where it is: a buffer of its size would only be thrown away.
    CDC dcSource;
    if (!dcSource.CreateCompatibleDC(hCompatibleDC))
        return nullptr;
    CSelectObject selectSource(dcSource.m_hDC, hSource);

    // A 32-bit buffer whatever the source is: one made compatible with an
    // indexed source would take its palette, and its margins would not be white.
    const RECT rcThumb = {0, 0, CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT};
    KelDraw::CRoMemDC dcThumb(hCompatibleDC, &rcThumb, TRUE);
    if (!dcThumb.m_hBitmap)
    {
        dcThumb.Discard(); // its empty DC is not copied onto the target either
        return nullptr;
    }
    dcThumb.FillSolidRect(rcThumb, RGB(255, 255, 255));
    const SIZE size = FitSize(SIZE{bm.bmWidth, bm.bmHeight}, SIZE{CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT});
    ::SetStretchBltMode(dcThumb.m_hDC, HALFTONE);
    ::SetBrushOrgEx(dcThumb.m_hDC, 0, 0, nullptr);
    ::StretchBlt(dcThumb.m_hDC, (CElem::THUMB_WIDTH - size.cx) / 2, (CElem::THUMB_HEIGHT - size.cy) / 2,
                 size.cx, size.cy, dcSource.m_hDC, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    HBITMAP hThumb = dcThumb.CopyBitmap();
    // Nothing of this reaches the target.
    dcThumb.Discard();
    return hThumb;
}

SIZE CTarvoToolWnd::FitSize(SIZE size, SIZE sizeBox)
{
    if (size.cx <= sizeBox.cx && size.cy <= sizeBox.cy)
        return size;
    // In doubles on purpose: 100 x 50 gives 88 x 43 here, 88 x 44 exactly.
    const double rx = static_cast<double>(size.cx) / sizeBox.cx;
    const double ry = static_cast<double>(size.cy) / sizeBox.cy;
    if (ry < rx)
        return SIZE{sizeBox.cx, static_cast<LONG>(size.cy / rx)};
    return SIZE{static_cast<LONG>(size.cx / ry), sizeBox.cy};
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
