#pragma once

#include <windows.h>

// The strip's way of telling its owner that an entry was chosen. The strip
// holds a non-owning pointer to it and ignores the result.
class IElemSelectCall
{
public:
    // nIndex is -1, with null name and path, when the strip has become empty;
    // bReload asks for a fresh load even of the path already shown.
    virtual BOOL OnElemSelect(int /*nIndex*/, const wchar_t* /*pszName*/, const wchar_t* /*pszPath*/,
                              BOOL /*bReload*/)
    {
        return FALSE;
    }

protected:
    // Never deleted through this interface.
    ~IElemSelectCall() = default;
};
