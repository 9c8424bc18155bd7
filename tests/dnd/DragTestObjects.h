#pragma once

#include <windows.h>
#include <ole2.h>
#include <shobjidl.h>

#include "framework/UnknownImpl.h"

#include <cstring>
#include <string>
#include <vector>

namespace DragTest
{

// The references an object holds now.
inline ULONG RefCount(IUnknown* pUnknown)
{
    pUnknown->AddRef();
    return pUnknown->Release();
}

// A drag source's data: one payload in one format, as global memory. A kept
// medium stays the object's (the receiver gets it with pUnkForRelease set);
// otherwise every GetData hands out a fresh block the receiver owns.
class CTestDataObject final : public CUnknownImpl<IDataObject>
{
public:
    CTestDataObject(CLIPFORMAT cfFormat, std::vector<BYTE> vecPayload, bool bKeepMedium = false)
        : CUnknownImpl(IID_IDataObject), m_cfFormat(cfFormat), m_vecPayload(std::move(vecPayload)),
          m_hKept(nullptr)
    {
        if (bKeepMedium)
            m_hKept = NewBlock();
    }

    HGLOBAL KeptMedium() const { return m_hKept; }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pFormat, STGMEDIUM* pMedium) override
    {
        if (QueryGetData(pFormat) != S_OK)
            return DV_E_FORMATETC;
        pMedium->tymed = TYMED_HGLOBAL;
        if (m_hKept)
        {
            pMedium->hGlobal = m_hKept;
            pMedium->pUnkForRelease = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        pMedium->hGlobal = NewBlock();
        pMedium->pUnkForRelease = nullptr;
        return pMedium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pFormat) override
    {
        return pFormat->cfFormat == m_cfFormat && (pFormat->tymed & TYMED_HGLOBAL) &&
                       pFormat->dwAspect == DVASPECT_CONTENT
                   ? S_OK
                   : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pOut) override
    {
        pOut->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }

private:
    ~CTestDataObject() override
    {
        if (m_hKept)
            ::GlobalFree(m_hKept);
    }
    HGLOBAL NewBlock() const
    {
        HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, m_vecPayload.size());
        if (void* p = hGlobal ? ::GlobalLock(hGlobal) : nullptr)
        {
            std::memcpy(p, m_vecPayload.data(), m_vecPayload.size());
            ::GlobalUnlock(hGlobal);
        }
        return hGlobal;
    }

    CLIPFORMAT m_cfFormat;
    std::vector<BYTE> m_vecPayload;
    HGLOBAL m_hKept;
};

// One call that reached the drag-image service.
struct SServiceCall
{
    std::string strName;
    HWND hWnd;
    IDataObject* pDataObject;
    POINT pt;
    DWORD dwEffect;
};

// Stands in the adapter's place of the drag-image service: records each call
// and passes it on to the real service.
class CDropImageSpy final : public CUnknownImpl<IDropTargetHelper>
{
public:
    CDropImageSpy(IDropTargetHelper* pReal, std::vector<SServiceCall>* pCalls, bool* pbReleased)
        : CUnknownImpl(IID_IDropTargetHelper), m_pReal(pReal), m_pCalls(pCalls), m_pbReleased(pbReleased)
    {
    }

    HRESULT STDMETHODCALLTYPE DragEnter(HWND hWnd, IDataObject* pDataObject, POINT* ppt,
                                        DWORD dwEffect) override
    {
        m_pCalls->push_back({"DragEnter", hWnd, pDataObject, *ppt, dwEffect});
        return m_pReal->DragEnter(hWnd, pDataObject, ppt, dwEffect);
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override
    {
        m_pCalls->push_back({"DragLeave", nullptr, nullptr, {0, 0}, 0});
        return m_pReal->DragLeave();
    }
    HRESULT STDMETHODCALLTYPE DragOver(POINT* ppt, DWORD dwEffect) override
    {
        m_pCalls->push_back({"DragOver", nullptr, nullptr, *ppt, dwEffect});
        return m_pReal->DragOver(ppt, dwEffect);
    }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* pDataObject, POINT* ppt, DWORD dwEffect) override
    {
        m_pCalls->push_back({"Drop", nullptr, pDataObject, *ppt, dwEffect});
        return m_pReal->Drop(pDataObject, ppt, dwEffect);
    }
    HRESULT STDMETHODCALLTYPE Show(BOOL fShow) override
    {
        m_pCalls->push_back({"Show", nullptr, nullptr, {0, 0}, static_cast<DWORD>(fShow)});
        return m_pReal->Show(fShow);
    }

private:
    ~CDropImageSpy() override
    {
        m_pReal->Release();
        *m_pbReleased = true;
    }

    IDropTargetHelper* m_pReal;
    std::vector<SServiceCall>* m_pCalls;
    bool* m_pbReleased;
};

} // namespace DragTest
