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
    class XDataObj : public XDataObject
    {
    public:
        explicit XDataObj(COleDataSourceEx* pOwner) : XDataObject(pOwner), m_pOwner(pOwner) {}

        HRESULT STDMETHODCALLTYPE SetData(FORMATETC* pFormatEtc, STGMEDIUM* pMedium,
                                          BOOL fRelease) override;

    private:
        COleDataSourceEx* m_pOwner;
    };
    XDataObj m_xDataObj;
};
