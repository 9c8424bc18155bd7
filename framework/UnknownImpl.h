#pragma once

#include <windows.h>
#include <unknwn.h>

// IUnknown for a heap object that implements one interface: it starts with one
// reference, answers for IUnknown and that interface, and deletes itself when
// the last reference goes.
template <class TInterface>
class CUnknownImpl : public TInterface
{
public:
    CUnknownImpl(const CUnknownImpl&) = delete;
    CUnknownImpl& operator=(const CUnknownImpl&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, *m_pIID))
        {
            *ppvObject = static_cast<TInterface*>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(::InterlockedIncrement(&m_nRef));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG nRef = ::InterlockedDecrement(&m_nRef);
        if (nRef == 0)
            delete this;
        return static_cast<ULONG>(nRef);
    }

protected:
    explicit CUnknownImpl(const IID& iid) : m_nRef(1), m_pIID(&iid) {}
    virtual ~CUnknownImpl() = default;

private:
    LONG m_nRef;
    const IID* m_pIID;
};
