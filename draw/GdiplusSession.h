#pragma once

#include <windows.h>

namespace KelDraw
{

// Holds the process's GDI+ start-up from construction to destruction.
class CGdiplusSession
{
public:
    CGdiplusSession();
    ~CGdiplusSession();
    CGdiplusSession(const CGdiplusSession&) = delete;
    CGdiplusSession& operator=(const CGdiplusSession&) = delete;

private:
    ULONG_PTR m_nToken;
};

// GDI+'s encoder for a MIME type such as "image/png"; false when it has none.
bool FindImageEncoder(const wchar_t* pszMimeType, CLSID* pClsid);

} // namespace KelDraw
