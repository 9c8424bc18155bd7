#include "tests/dnd/StripDragFixture.h"

#include <gtest/gtest.h>

#include <shlguid.h>

using namespace DragTest;
using namespace StripDrag;
using namespace TestSupport;

namespace
{
// One image handed to the drag-image service.
struct SImageCall
{
    SHDRAGIMAGE image;
    CPixels pixels;         // of the bitmap, as it was handed over
    IDataObject* pData;     // one reference, kept past the drag
    HRESULT hr;             // the real service's answer
};

// Stands in front of the real drag-image service: records what the drag
// source hands it, then passes the call on.
class CDragImageSpy final : public CUnknownImpl<IDragSourceHelper>
{
public:
    CDragImageSpy(IDragSourceHelper* pReal, std::vector<SImageCall>* pCalls)
        : CUnknownImpl(IID_IDragSourceHelper), m_pReal(pReal), m_pCalls(pCalls)
    {
    }

    HRESULT STDMETHODCALLTYPE InitializeFromBitmap(SHDRAGIMAGE* pImage, IDataObject* pData) override
    {
        SImageCall call = {*pImage, ReadBitmap(pImage->hbmpDragImage), pData, S_OK};
        pData->AddRef();
        call.hr = m_pReal->InitializeFromBitmap(pImage, pData);
        m_pCalls->push_back(call);
        return call.hr;
    }
    HRESULT STDMETHODCALLTYPE InitializeFromWindow(HWND hWnd, POINT* ppt, IDataObject* pData) override
    {
        return m_pReal->InitializeFromWindow(hWnd, ppt, pData);
    }

private:
    ~CDragImageSpy() override { m_pReal->Release(); }

    IDragSourceHelper* m_pReal;
    std::vector<SImageCall>* m_pCalls;
};

// While it lives, the process's drag-image services for drag sources come
// with a spy in front; everything else the class makes is the real thing.
class CDragImageSpyFactory final : public IClassFactory
{
public:
    CDragImageSpyFactory() : m_pReal(nullptr), m_dwCookie(0)
    {
        if (SUCCEEDED(::CoGetClassObject(CLSID_DragDropHelper, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                         reinterpret_cast<void**>(&m_pReal))))
            ::CoRegisterClassObject(CLSID_DragDropHelper, this, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &m_dwCookie);
    }
    ~CDragImageSpyFactory()
    {
        if (m_dwCookie)
            ::CoRevokeClassObject(m_dwCookie);
        if (m_pReal)
            m_pReal->Release();
        for (SImageCall& call : m_vecCalls)
            call.pData->Release();
    }
    CDragImageSpyFactory(const CDragImageSpyFactory&) = delete;
    CDragImageSpyFactory& operator=(const CDragImageSpyFactory&) = delete;

    bool Registered() const { return m_dwCookie != 0; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
        {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the test's stack, past its registration.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pOuter, REFIID riid, void** ppv) override
    {
        if (!IsEqualIID(riid, IID_IDragSourceHelper))
            return m_pReal->CreateInstance(pOuter, riid, ppv);
        IDragSourceHelper* pReal = nullptr;
        const HRESULT hr = m_pReal->CreateInstance(pOuter, riid, reinterpret_cast<void**>(&pReal));
        if (FAILED(hr))
            return hr;
        *ppv = static_cast<IDragSourceHelper*>(new CDragImageSpy(pReal, &m_vecCalls));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override { return m_pReal->LockServer(fLock); }

    std::vector<SImageCall> m_vecCalls;

private:
    IClassFactory* m_pReal;
    DWORD m_dwCookie;
};

std::vector<BYTE> DataBytes(IDataObject* pData)
{
    FORMATETC fe = {ElemDragFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(pData->GetData(&fe, &medium)))
        return {};
    std::vector<BYTE> vecBytes;
    {
        CGlobalLock lock(medium.hGlobal);
        const BYTE* p = static_cast<const BYTE*>(lock.Get());
        if (p)
            vecBytes.assign(p, p + lock.GetSize());
    }
    ::ReleaseStgMedium(&medium);
    return vecBytes;
}

uint32_t Rgb(COLORREF clr)
{
    return (static_cast<uint32_t>(GetRValue(clr)) << 16) | (GetGValue(clr) << 8) | GetBValue(clr);
}
} // namespace

// No button is held here, so the default drop source ends the drag before it
// starts; everything handed to the service and the data is ready by then.
TEST(DragSourceTest, StartDragHandsOverThePressedBoxAndThePayload)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CDragImageSpyFactory spy;
    ASSERT_TRUE(spy.Registered());

    // A paint while A is pressed takes A's snapshot.
    strip.m_pStrip->m_pPressed = strip.Elem(0);
    ::RedrawWindow(strip.Wnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ASSERT_NE(nullptr, strip.m_pStrip->m_bmpDrag.GetSafeHandle());
    EXPECT_TRUE(::EqualRect(&strip.Elem(0)->m_rcBox, &strip.m_pStrip->m_rcDrag));
    EXPECT_EQ(Rgb(kColours[0]), ReadBitmap(strip.m_pStrip->m_bmpDrag.GetSafeHandle()).At(44, 41) & 0xFFFFFF);

    // C is pressed without a paint since: the image still shows C.
    CElem* pC = strip.Elem(2);
    strip.m_pStrip->m_pPressed = pC;
    EXPECT_TRUE(strip.m_pStrip->StartDrag(pC));

    ASSERT_EQ(1u, spy.m_vecCalls.size());
    const SImageCall& call = spy.m_vecCalls[0];
    EXPECT_EQ(88, call.image.sizeDragImage.cx);
    EXPECT_EQ(82, call.image.sizeDragImage.cy);
    EXPECT_EQ(44, call.image.ptOffset.x);
    EXPECT_EQ(41, call.image.ptOffset.y);
    EXPECT_EQ(0x00FF00FFu, call.image.crColorKey);
    ASSERT_EQ(88, call.pixels.cx);
    for (const POINT pt : {POINT{0, 0}, POINT{44, 41}, POINT{87, 81}})
        EXPECT_EQ(Rgb(kColours[2]), call.pixels.At(pt.x, pt.y) & 0xFFFFFF) << pt.x << "," << pt.y;

    // The payload names this strip and C (by its address in a 32-bit process,
    // as 32-bit builds have always sent it); the data outlives the drag for
    // whoever still holds it.
    EXPECT_EQ(Payload(strip.Wnd(), pC), DataBytes(call.pData));
    if (sizeof(void*) == 4)
    {
        EXPECT_EQ(static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pC)), pC->m_nDragId);
    }
    EXPECT_EQ(1u, RefCount(call.pData)) << "only the service's holder is left";

    // The bitmap is the service's once it took the image, else still the strip's.
    if (SUCCEEDED(call.hr))
        EXPECT_EQ(nullptr, strip.m_pStrip->m_bmpDrag.GetSafeHandle());
    else
        EXPECT_EQ(call.image.hbmpDragImage, strip.m_pStrip->m_bmpDrag.GetSafeHandle()) << std::hex << call.hr;
    EXPECT_EQ("ABCDE", strip.Order());
}

TEST(DragSourceTest, PressThenMoveMoreThanThreePixelsStartsADrag)
{
    CStripWithEntries strip(5);
    ASSERT_NE(nullptr, strip.Wnd());
    CDragImageSpyFactory spy;
    ASSERT_TRUE(spy.Registered());
    EXPECT_FALSE(strip.m_pStrip->StartDrag(nullptr));
    EXPECT_TRUE(spy.m_vecCalls.empty());

    struct SCase
    {
        int dx, dy;
        WPARAM keys;
        bool bDrag;
    };
    const SCase cases[] = {
        {3, 3, MK_LBUTTON, false}, {-3, -3, MK_LBUTTON, false}, {4, 0, MK_LBUTTON, true},
        {0, -4, MK_LBUTTON, true}, {-4, 2, MK_LBUTTON, true},   {10, 0, 0, false},
    };
    const POINT ptPress = strip.Centre(2);
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.dx) + "," + std::to_string(c.dy));
        const size_t nCalls = spy.m_vecCalls.size();
        ::SendMessageW(strip.Wnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(ptPress.x, ptPress.y));
        ASSERT_EQ(strip.Elem(2), strip.m_pStrip->m_pPressed);
        ::SendMessageW(strip.Wnd(), WM_MOUSEMOVE, c.keys, MAKELPARAM(ptPress.x + c.dx, ptPress.y + c.dy));
        EXPECT_EQ(c.bDrag ? nCalls + 1 : nCalls, spy.m_vecCalls.size());
        EXPECT_EQ(c.bDrag ? nullptr : strip.Elem(2), strip.m_pStrip->m_pPressed);
    }
}
