#include "dnd/OleDataSourceEx.h"
#include "tests/dnd/DragTestObjects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace DragTest;

namespace
{
CLIPFORMAT Format(const wchar_t* pszName)
{
    return static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(pszName));
}

HGLOBAL Block(const std::string& strBytes)
{
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE, strBytes.size());
    std::memcpy(::GlobalLock(hGlobal), strBytes.data(), strBytes.size());
    ::GlobalUnlock(hGlobal);
    return hGlobal;
}

std::string Bytes(HGLOBAL hGlobal)
{
    CGlobalLock lock(hGlobal);
    const char* p = static_cast<const char*>(lock.Get());
    return p ? std::string(p, lock.GetSize()) : std::string();
}

FORMATETC GlobalFormat(CLIPFORMAT cf)
{
    return FORMATETC{cf, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
}

// A data source held through its IDataObject, as the platform holds it.
class DataSourceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pSource = new COleDataSourceEx;
        m_pData = m_pSource->GetIDataObject(FALSE); // takes over the creator's reference
    }
    void TearDown() override
    {
        if (m_pData)
            m_pData->Release();
    }

    // What GetData hands out for the format, or the failure.
    HRESULT Get(CLIPFORMAT cf, std::string* pstrBytes, HGLOBAL* phGlobal = nullptr)
    {
        FORMATETC fe = GlobalFormat(cf);
        STGMEDIUM medium = {};
        const HRESULT hr = m_pData->GetData(&fe, &medium);
        if (FAILED(hr))
            return hr;
        EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), medium.tymed);
        *pstrBytes = Bytes(medium.hGlobal);
        if (phGlobal)
            *phGlobal = medium.hGlobal;
        ::ReleaseStgMedium(&medium);
        return hr;
    }

    COleDataSourceEx* m_pSource = nullptr;
    IDataObject* m_pData = nullptr;
};
} // namespace

TEST_F(DataSourceTest, CachedBlockIsOfferedAndStaysTheSourcesAfterEveryRead)
{
    const CLIPFORMAT cf = Format(L"PictaroDataSourceTest.cached");
    HGLOBAL hBlock = Block("payload");
    ASSERT_TRUE(m_pSource->CacheGlobalData(cf, hBlock));

    FORMATETC fe = GlobalFormat(cf);
    EXPECT_EQ(S_OK, m_pData->QueryGetData(&fe));
    FORMATETC feOther = GlobalFormat(Format(L"PictaroDataSourceTest.other"));
    EXPECT_EQ(DV_E_FORMATETC, m_pData->QueryGetData(&feOther));
    FORMATETC feStream = fe;
    feStream.tymed = TYMED_ISTREAM;
    EXPECT_EQ(DV_E_FORMATETC, m_pData->QueryGetData(&feStream)) << "offered as global memory only";

    // Two reads: the receiver's release must not free the cached block.
    for (int i = 0; i < 2; ++i)
    {
        std::string strBytes;
        HGLOBAL hGot = nullptr;
        ASSERT_EQ(S_OK, Get(cf, &strBytes, &hGot));
        EXPECT_EQ("payload", strBytes);
        EXPECT_EQ(hBlock, hGot);
    }
    EXPECT_EQ(1u, RefCount(m_pData)) << "every read's reference went back";

    IEnumFORMATETC* pEnum = nullptr;
    ASSERT_EQ(S_OK, m_pData->EnumFormatEtc(DATADIR_GET, &pEnum));
    FORMATETC listed[2] = {};
    ULONG nListed = 0;
    pEnum->Next(2, listed, &nListed);
    pEnum->Release();
    ASSERT_EQ(1u, nListed);
    EXPECT_EQ(cf, listed[0].cfFormat);
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), listed[0].tymed);
}

TEST_F(DataSourceTest, EveryRequestForTheDataObjectGetsTheSameInterface)
{
    IDataObject* pQueried = nullptr;
    ASSERT_EQ(S_OK, m_pData->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&pQueried)));
    IUnknown* pUnknown = nullptr;
    ASSERT_EQ(S_OK, m_pData->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)));
    IDropSource* pNot = nullptr;
    EXPECT_EQ(E_NOINTERFACE, m_pData->QueryInterface(IID_IDropSource, reinterpret_cast<void**>(&pNot)));
    EXPECT_EQ(nullptr, pNot);

    EXPECT_EQ(m_pData, pQueried);
    EXPECT_EQ(static_cast<IUnknown*>(m_pData), pUnknown);
    EXPECT_EQ(m_pData, m_pSource->GetIDataObject(FALSE));
    EXPECT_EQ(3u, RefCount(m_pData));
    pQueried->Release();
    pUnknown->Release();
}

// The drag-image service stores its image with SetData in formats the data
// source was never prepared for; with fRelease FALSE the caller frees its
// own medium afterwards, so the data source must keep a copy.
TEST_F(DataSourceTest, SetDataKeepsAnyFormatAndCopiesWhatTheCallerKeeps)
{
    for (const BOOL fRelease : {TRUE, FALSE})
    {
        SCOPED_TRACE(fRelease ? "fRelease TRUE" : "fRelease FALSE");
        const CLIPFORMAT cf = Format(fRelease ? L"PictaroDataSourceTest.given" : L"PictaroDataSourceTest.lent");
        HGLOBAL hBlock = Block("image bits");
        FORMATETC fe = GlobalFormat(cf);
        STGMEDIUM medium = {};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = hBlock;
        ASSERT_EQ(S_OK, m_pData->SetData(&fe, &medium, fRelease));
        if (!fRelease)
        {
            // The caller's block, overwritten and freed: the copy is untouched.
            std::memset(::GlobalLock(hBlock), 'x', 10);
            ::GlobalUnlock(hBlock);
            ::GlobalFree(hBlock);
        }

        std::string strBytes;
        HGLOBAL hGot = nullptr;
        ASSERT_EQ(S_OK, Get(cf, &strBytes, &hGot));
        EXPECT_EQ("image bits", strBytes);
        if (fRelease)
            EXPECT_EQ(hBlock, hGot) << "a medium handed over is kept as it is";
        else
            EXPECT_NE(hBlock, hGot);
    }
}

TEST_F(DataSourceTest, SetDataReplacesAFormatAndPassesOtherRefusalsOn)
{
    const CLIPFORMAT cf = Format(L"PictaroDataSourceTest.replaced");
    FORMATETC fe = GlobalFormat(cf);
    for (const char* pszBytes : {"first", "second"})
    {
        STGMEDIUM medium = {};
        medium.tymed = TYMED_HGLOBAL;
        medium.hGlobal = Block(pszBytes);
        ASSERT_EQ(S_OK, m_pData->SetData(&fe, &medium, TRUE));
    }
    std::string strBytes;
    ASSERT_EQ(S_OK, Get(cf, &strBytes));
    EXPECT_EQ("second", strBytes);

    // Refusals other than an unprepared format reach the caller unchanged.
    STGMEDIUM medium = {};
    EXPECT_EQ(E_INVALIDARG, m_pData->SetData(&fe, nullptr, TRUE));
    EXPECT_EQ(E_INVALIDARG, m_pData->SetData(nullptr, &medium, TRUE));
    // A kept medium the data source cannot copy is refused, and stays the caller's.
    medium.tymed = TYMED_GDI;
    medium.hBitmap = ::CreateBitmap(1, 1, 1, 32, nullptr);
    fe.tymed = TYMED_GDI;
    EXPECT_EQ(DV_E_TYMED, m_pData->SetData(&fe, &medium, FALSE));
    EXPECT_TRUE(::DeleteObject(medium.hBitmap)) << "the bitmap is still the caller's";
}

TEST(DataSourceBaseTest, BaseRefusesEveryFormatItWasNotPreparedFor)
{
    IDataObject* pData = (new COleDataSource)->GetIDataObject(FALSE);
    FORMATETC fe = GlobalFormat(Format(L"PictaroDataSourceTest.base"));
    STGMEDIUM medium = {};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = Block("x");
    EXPECT_EQ(DATA_E_FORMATETC, pData->SetData(&fe, &medium, TRUE));
    EXPECT_EQ(DV_E_FORMATETC, pData->QueryGetData(&fe));
    ::GlobalFree(medium.hGlobal);
    EXPECT_EQ(0u, pData->Release());
}

// The platform may still hold the data after the drag's creator let go; the
// last reference frees the data source and every medium it keeps.
TEST_F(DataSourceTest, LastReferenceFreesTheSourceAndItsMedia)
{
    IStream* pStream = nullptr;
    ASSERT_EQ(S_OK, ::CreateStreamOnHGlobal(nullptr, TRUE, &pStream));
    const CLIPFORMAT cf = Format(L"PictaroDataSourceTest.stream");
    FORMATETC fe = {cf, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    STGMEDIUM medium = {};
    medium.tymed = TYMED_ISTREAM;
    medium.pstm = pStream;
    pStream->AddRef(); // the data source's, handed over below
    ASSERT_EQ(S_OK, m_pData->SetData(&fe, &medium, TRUE));
    EXPECT_EQ(2u, RefCount(pStream));

    STGMEDIUM got = {};
    ASSERT_EQ(S_OK, m_pData->GetData(&fe, &got));
    EXPECT_EQ(pStream, got.pstm);
    EXPECT_EQ(3u, RefCount(pStream));
    ::ReleaseStgMedium(&got);
    EXPECT_EQ(2u, RefCount(pStream));

    IDataObject* pHeld = nullptr;
    m_pData->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&pHeld));
    m_pData->Release(); // the creator lets go
    m_pData = nullptr;
    EXPECT_EQ(2u, RefCount(pStream)) << "still held by the platform";
    EXPECT_EQ(0u, pHeld->Release());
    EXPECT_EQ(1u, RefCount(pStream)) << "the last release freed the cached medium";
    pStream->Release();
}
