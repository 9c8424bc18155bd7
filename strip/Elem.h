#pragma once

#include <windows.h>

#include <string>

// Base of the strip's shared entries: a plain reference count, used on the
// user-interface thread only. Release destroys the object at 0.
struct SHelperData
{
    SHelperData() : m_nRef(0) {}
    virtual ~SHelperData() = default;
    SHelperData(const SHelperData&) = delete;
    SHelperData& operator=(const SHelperData&) = delete;

    void AddRef() { ++m_nRef; }
    void Release()
    {
        if (--m_nRef <= 0)
            delete this;
    }

    int m_nRef;
};

// One entry of the strip: a dropped picture file and its thumbnail.
class CElem : public SHelperData
{
public:
    enum
    {
        THUMB_WIDTH = 88,
        THUMB_HEIGHT = 82,
    };

    CElem();
    ~CElem() override;

    std::wstring m_strName; // after the path's last separator
    std::wstring m_strPath; // exactly as dropped
    HBITMAP m_hThumb;       // owned
    RECT m_rcBox;           // set by the layout
    BOOL m_bDropMark;
    int m_nIndex;
    // Names the entry in a drag's payload, which has 32 bits for it: its
    // address in a 32-bit process, a serial number of the process in a 64-bit
    // one. Unique among the process's live entries either way.
    const DWORD m_nDragId;
};
