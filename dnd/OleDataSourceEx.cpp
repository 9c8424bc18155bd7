#include "dnd/OleDataSourceEx.h"

#include <cstring>

namespace
{
// A medium of the data source's own with the content of one the caller
// keeps: a copy of a block, or another reference to a stream or storage.
HRESULT CopyMedium(const STGMEDIUM& source, STGMEDIUM* pCopy)
{
    STGMEDIUM copy = {};
    copy.tymed = source.tymed;
    switch (source.tymed)
    {
    case TYMED_HGLOBAL:
    {
        const SIZE_T cbSize = ::GlobalSize(source.hGlobal);
        CGlobalMem block(::GlobalAlloc(GMEM_MOVEABLE, cbSize));
        if (!block)
            return E_OUTOFMEMORY;
        if (cbSize)
        {
            CGlobalLock from(source.hGlobal);
            CGlobalLock to(block.Get());
            if (!from.Get() || !to.Get())
                return E_OUTOFMEMORY;
            std::memcpy(to.Get(), from.Get(), cbSize);
        }
        copy.hGlobal = block.Detach();
        break;
    }
    case TYMED_ISTREAM:
        copy.pstm = source.pstm;
        copy.pstm->AddRef();
        break;
    case TYMED_ISTORAGE:
        copy.pstg = source.pstg;
        copy.pstg->AddRef();
        break;
    default:
        return DV_E_TYMED;
    }
    *pCopy = copy;
    return S_OK;
}
} // namespace

COleDataSourceEx::COleDataSourceEx() : m_xDataObj(this) {}

IUnknown* COleDataSourceEx::GetInterface(REFIID riid)
{
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject))
        return &m_xDataObj;
    return COleDataSource::GetInterface(riid);
}

HRESULT STDMETHODCALLTYPE COleDataSourceEx::XDataObj::SetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium,
                                                              BOOL fRelease)
{
    const HRESULT hr = XDataObject::SetData(pFormatEtc, pMedium, fRelease);
    if (hr != DATA_E_FORMATETC)
        return hr;
    // Without fRelease the caller keeps its medium and frees it itself:
    // keeping that very medium would free it twice.
    STGMEDIUM medium = *pMedium;
    if (!fRelease)
    {
        const HRESULT hrCopy = CopyMedium(*pMedium, &medium);
        if (FAILED(hrCopy))
            return hrCopy;
    }
    if (!m_pOwner->CacheData(pFormatEtc->cfFormat, &medium, pFormatEtc))
    {
        if (!fRelease)
            ::ReleaseStgMedium(&medium);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
