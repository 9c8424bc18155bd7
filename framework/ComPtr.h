#pragma once

#include <unknwn.h>

#include <memory>

// Sole owner of one reference to a COM object; releases it unless detached.
// Move-only, so a reference is never released twice or silently shared.
template <class T>
class CComPtr
{
public:
    CComPtr() : m_p(nullptr) {}
    ~CComPtr() { Release(); }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    CComPtr(CComPtr&& other) noexcept : m_p(other.Detach()) {}
    CComPtr& operator=(CComPtr&& other) noexcept
    {
        if (this != std::addressof(other))
            Attach(other.Detach());
        return *this;
    }

    // Takes over a reference the caller holds.
    void Attach(T* p)
    {
        Release();
        m_p = p;
    }
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Release()
    {
        if (T* p = Detach())
            p->Release();
    }

    // For out-parameters: what was held is released first, so it cannot leak.
    T** operator&()
    {
        Release();
        return &m_p;
    }
    T* operator->() const { return m_p; }
    operator T*() const { return m_p; }

    T* m_p;
};
