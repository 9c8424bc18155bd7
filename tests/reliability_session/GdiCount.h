#pragma once

#include <windows.h>

#include <vector>

namespace Reliability
{

// Holds GDI objects until the process can make no more: the process is then
// at its GDI quota, whatever the platform sets it to. Wine has no 10,000
// object quota of its own (and GetGuiResources answers 0 there): its limit is
// the size of the process's GDI handle table.
class CGdiHoard
{
public:
    CGdiHoard() = default;
    ~CGdiHoard() { FreeAll(); }
    CGdiHoard(const CGdiHoard&) = delete;
    CGdiHoard& operator=(const CGdiHoard&) = delete;

    // Makes 1 x 1 regions until one cannot be made (or nLimit are held).
    size_t FillUp(size_t nLimit = 200000)
    {
        while (m_vecHeld.size() < nLimit)
        {
            HRGN hRgn = ::CreateRectRgn(0, 0, 1, 1);
            if (!hRgn)
                break;
            m_vecHeld.push_back(hRgn);
        }
        return m_vecHeld.size();
    }
    void Free(size_t nCount)
    {
        for (; nCount && !m_vecHeld.empty(); --nCount)
        {
            ::DeleteObject(m_vecHeld.back());
            m_vecHeld.pop_back();
        }
    }
    void FreeAll() { Free(m_vecHeld.size()); }
    size_t Held() const { return m_vecHeld.size(); }

private:
    std::vector<HGDIOBJ> m_vecHeld;
};

// How many more GDI objects the process could make now: the quota less the
// objects alive. A change between two calls is a change in live objects.
inline size_t GdiRoomLeft()
{
    CGdiHoard hoard;
    return hoard.FillUp();
}

// The live GDI objects by the platform's own count where it keeps one.
inline DWORD GdiObjectsReported()
{
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
}

} // namespace Reliability
