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

} // namespace KelDraw
