#include "draw/GdiplusSession.h"

#include <gdiplus.h>

namespace KelDraw
{

CGdiplusSession::CGdiplusSession() : m_nToken(0)
{
    Gdiplus::GdiplusStartupInput input; // version 1, no debug callback, thread and codecs on
    Gdiplus::GdiplusStartup(&m_nToken, &input, nullptr);
}

CGdiplusSession::~CGdiplusSession()
{
    if (m_nToken)
        Gdiplus::GdiplusShutdown(m_nToken);
}

} // namespace KelDraw
