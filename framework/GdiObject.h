#pragma once

#include <windows.h>

// Sole owner of a GDI object handle; deletes it unless detached.
class CGdiObject
{
public:
    CGdiObject() : m_hObject(nullptr) {}
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    BOOL Attach(HGDIOBJ hObject)
    {
        DeleteObject();
        m_hObject = hObject;
        return hObject != nullptr;
    }
    HGDIOBJ Detach()
    {
        HGDIOBJ hObject = m_hObject;
        m_hObject = nullptr;
        return hObject;
    }
    BOOL DeleteObject() { return m_hObject ? ::DeleteObject(Detach()) : FALSE; }
    HGDIOBJ GetSafeHandle() const { return m_hObject; }

    HGDIOBJ m_hObject;
};

class CBitmap : public CGdiObject
{
public:
    HBITMAP GetSafeHandle() const { return static_cast<HBITMAP>(m_hObject); }
    HBITMAP Detach() { return static_cast<HBITMAP>(CGdiObject::Detach()); }
    int GetBitmap(BITMAP* pBitmap) const
    {
        return ::GetObjectW(m_hObject, sizeof(BITMAP), pBitmap);
    }
};
