#pragma once

#include "framework/OleDropTarget.h"

#include <vector>

// The data of a drag this program starts: a cache of formats, each held in a
// medium the data source owns and frees when it goes. It is a COM object: it
// starts with one reference, its creator's, and is deleted when the last
// reference goes (the platform may still hold one after the drag).
class COleDataSource
{
public:
    COleDataSource();
    COleDataSource(const COleDataSource&) = delete;
    COleDataSource& operator=(const COleDataSource&) = delete;

    ULONG ExternalAddRef();
    ULONG ExternalRelease();
    HRESULT ExternalQueryInterface(REFIID riid, void** ppvObject);

    // Offers the medium in that format and takes it over: from then on the
    // data source frees it (ReleaseStgMedium). A format already offered in
    // the same way is replaced. FALSE when there was no memory to keep it;
    // the medium then stays the caller's.
    BOOL CacheData(CLIPFORMAT cfFormat, const STGMEDIUM* pMedium, const FORMATETC* pFormatEtc = nullptr);
    // The same for a block of global memory.
    BOOL CacheGlobalData(CLIPFORMAT cfFormat, HGLOBAL hGlobal, const FORMATETC* pFormatEtc = nullptr);

    // Runs a drag of this data with the default drop source: the mouse is
    // captured until the cursor leaves a small square around it or the drag
    // delay passes (a release before that is no drag, and is left for the
    // window), then the platform's drag loop runs until a drop or a cancel
    // (Esc). The effect of the drop, or DROPEFFECT_NONE.
    DROPEFFECT DoDragDrop(DROPEFFECT dwEffects);

    // The object's IDataObject, with an added reference if asked.
    IDataObject* GetIDataObject(BOOL bAddRef);

protected:
    virtual ~COleDataSource();

    // The interface handed out for riid, or null. A subclass may hand out
    // its own implementation instead of the base's.
    virtual IUnknown* GetInterface(REFIID riid);

    // The base implementation of IDataObject over the cache.
    class XDataObject : public IDataObject
    {
    public:
        explicit XDataObject(COleDataSource* pOwner) : m_pOwner(pOwner) {}
        XDataObject(const XDataObject&) = delete;
        XDataObject& operator=(const XDataObject&) = delete;

        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
        ULONG STDMETHODCALLTYPE AddRef() override;
        ULONG STDMETHODCALLTYPE Release() override;
        HRESULT STDMETHODCALLTYPE GetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium) override;
        HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* pFormatEtc, STGMEDIUM* pMedium) override;
        HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* pFormatEtc) override;
        HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* pFormatEtcIn,
                                                        FORMATETC* pFormatEtcOut) override;
        // Accepts no format: this data source is never prepared to receive
        // one, so every well-formed request fails with DATA_E_FORMATETC.
        HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium,
                                          BOOL fRelease) override;
        HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD dwDirection,
                                                IEnumFORMATETC** ppEnumFormatEtc) override;
        HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* pFormatEtc, DWORD advf, IAdviseSink* pAdvSink,
                                          DWORD* pdwConnection) override;
        HRESULT STDMETHODCALLTYPE DUnadvise(DWORD dwConnection) override;
        HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** ppEnumAdvise) override;

    private:
        COleDataSource* m_pOwner;
    };
    XDataObject m_xDataObject;

private:
    struct SCacheEntry
    {
        FORMATETC formatEtc; // ptd always null: renderings are not device-specific
        STGMEDIUM medium;
    };
    const SCacheEntry* Lookup(const FORMATETC* pFormatEtc) const;

    LONG m_nRef;
    std::vector<SCacheEntry> m_vecCache;
};
