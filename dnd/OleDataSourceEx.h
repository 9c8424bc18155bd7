#pragma once

#include "framework/OleDataSource.h"

// A data source whose IDataObject also keeps formats it was never prepared
// for: the shell's drag-image service stores its image in the drag data
// through SetData.
class COleDataSourceEx : public COleDataSource
{
public:
    COleDataSourceEx();

protected:
    ~COleDataSourceEx() override = default;

    // Every request for the data object's IDataObject gets XDataObj.
    IUnknown* GetInterface(REFIID riid) override;

    // The base implementation except SetData, which caches a format the base
    // refuses with DATA_E_FORMATETC and then reports S_OK.
    class XDataObj : public IDataObject
    {
    public:
        explicit XDataObj(COleDataSourceEx* pOwner) : m_pOwner(pOwner) {}
        XDataObj(const XDataObj&) = delete;
        XDataObj& operator=(const XDataObj&) = delete;

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium) override;
        HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pFormatEtc, STGMEDIUM* pMedium) override;
        HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pFormatEtc) override;
        HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pFormatEtcIn,
                                                        FORMATETC* pFormatEtcOut) override;
        HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium,
                                          BOOL fRelease) override;
        HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection,
                                                IEnumFORMATETC** ppEnumFormatEtc) override;
        HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pFormatEtc, DWORD advf, IAdviseSink* pAdvSink,
                                          DWORD* pdwConnection) override;
        HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
        HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppEnumAdvise) override;

    private:
        COleDataSourceEx* m_pOwner;
    };
    XDataObj m_xDataObj;
};
