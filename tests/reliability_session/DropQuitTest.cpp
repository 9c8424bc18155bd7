#include "tests/reliability_session/GdiCount.h"
#include "tests/support/TestSupport.h"

#include "strip/DropDecoder.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <string>
#include <vector>

using namespace Reliability;
using namespace TestSupport;

namespace
{
// Large JPEGs, each a few tenths of a second to decode.
std::vector<std::wstring> WriteLargeJpegs(const CTempFolder& dir, size_t nCount)
{
    CLSID clsidJpeg = {};
    UINT nEncoders = 0, cbEncoders = 0;
    Gdiplus::GetImageEncodersSize(&nEncoders, &cbEncoders);
    std::vector<BYTE> buffer(cbEncoders);
    auto* pEncoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::GetImageEncoders(nEncoders, cbEncoders, pEncoders);
    for (UINT i = 0; i < nEncoders; ++i)
        if (std::wstring(pEncoders[i].MimeType) == L"image/jpeg")
            clsidJpeg = pEncoders[i].Clsid;

    std::vector<std::wstring> vecPaths;
    Gdiplus::Bitmap picture(4000, 3000, PixelFormat24bppRGB);
    {
        Gdiplus::Graphics graphics(&picture);
        Gdiplus::LinearGradientBrush brush(Gdiplus::Point(0, 0), Gdiplus::Point(4000, 3000),
                                           Gdiplus::Color(255, 250, 40, 20), Gdiplus::Color(255, 20, 60, 240));
        graphics.FillRectangle(&brush, 0, 0, 4000, 3000);
    }
    vecPaths.push_back(dir.Path(L"large0.jpg"));
    if (picture.Save(vecPaths[0].c_str(), &clsidJpeg, nullptr) != Gdiplus::Ok)
        return {};
    for (size_t i = 1; i < nCount; ++i)
    {
        vecPaths.push_back(dir.Path(L"large" + std::to_wstring(i) + L".jpg"));
        ::CopyFileW(vecPaths[0].c_str(), vecPaths[i].c_str(), FALSE);
    }
    return vecPaths;
}

// Posts Esc to the viewer from a timer once the drop has put its first entry
// in, while the workers are still busy; the drop dispatches timers.
struct SEscDuringDrop
{
    static CTarvoMainWnd* s_pViewer;
    static size_t s_nCountAtEsc;
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
    {
        CTarvoMainWnd* pViewer = s_pViewer;
        if (!pViewer || !pViewer->m_pToolWnd || pViewer->m_pToolWnd->m_vecElems.empty())
            return;
        s_nCountAtEsc = pViewer->m_pToolWnd->m_vecElems.size();
        s_pViewer = nullptr;
        ::PostMessageW(pViewer->m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
    }
};
CTarvoMainWnd* SEscDuringDrop::s_pViewer = nullptr;
size_t SEscDuringDrop::s_nCountAtEsc = 0;
} // namespace

// Esc during a long drop: the drop ends without waiting for its files, the
// viewer closes as Esc makes it, the strip goes with it, no worker is left
// running and nothing of the drop stays behind.
TEST(DropQuitTest, EscDuringALongDropQuitsCleanly)
{
    CTempFolder dir;
    const std::vector<std::wstring> vecFiles = WriteLargeJpegs(dir, 60);
    ASSERT_EQ(60u, vecFiles.size());
    CMessageBoxWatcher boxes;

    // The first round makes what the platform makes once per process.
    size_t nRoomBefore = 0;
    for (int nRound = 0; nRound < 2; ++nRound)
    {
        SCOPED_TRACE(nRound);
        if (nRound == 1)
            nRoomBefore = GdiRoomLeft();
        CTarvoMainWnd* pViewer = new CTarvoMainWnd;
        ASSERT_TRUE(pViewer->CreateViewerWindow());
        const HWND hViewer = pViewer->m_hWnd;
        pViewer->ShowToolWnd(TRUE);
        ASSERT_NE(nullptr, pViewer->m_pToolWnd);
        const HWND hStrip = pViewer->m_pToolWnd->m_hWnd;

        SEscDuringDrop::s_pViewer = pViewer;
        SEscDuringDrop::s_nCountAtEsc = 0;
        const UINT_PTR nTimer = ::SetTimer(nullptr, 0, USER_TIMER_MINIMUM, SEscDuringDrop::OnTimer);
        ::SendMessageW(hViewer, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDropFiles(vecFiles)), 0);
        ::KillTimer(nullptr, nTimer);
        ASSERT_GT(SEscDuringDrop::s_nCountAtEsc, 0u) << "Esc came during the drop";
        const size_t nAdded = pViewer->m_pToolWnd->m_vecElems.size();
        EXPECT_LT(nAdded, vecFiles.size()) << "the drop ended early";
        EXPECT_GE(nAdded, SEscDuringDrop::s_nCountAtEsc);
        EXPECT_EQ(0, CDropDecoder::RunningWorkers()) << "no worker outlives the drop";

        // The application's loop takes Esc from here.
        EXPECT_TRUE(PumpUntil([&] { return !::IsWindow(hViewer); }, 20000, pViewer));
        EXPECT_FALSE(::IsWindow(hStrip));
        EXPECT_EQ(0, CDropDecoder::RunningWorkers());
        EXPECT_TRUE(boxes.m_vecBoxes.empty());
    }
    const long long nKept = static_cast<long long>(nRoomBefore) - static_cast<long long>(GdiRoomLeft());
    EXPECT_LE(nKept, 8) << "GDI objects left behind";
}
