#include "draw/GdiplusSession.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <ole2.h>

namespace
{
// What the application sets up before its first window: GDI+, OLE and the
// common controls, for the whole test process.
class CPlatformEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_pGdiplus = new KelDraw::CGdiplusSession;
        ::OleInitialize(nullptr);
        INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&icc);
    }
    void TearDown() override
    {
        ::OleUninitialize();
        delete m_pGdiplus;
    }

private:
    KelDraw::CGdiplusSession* m_pGdiplus = nullptr;
};
} // namespace

int wmain(int argc, wchar_t** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new CPlatformEnvironment);
    return RUN_ALL_TESTS();
}
