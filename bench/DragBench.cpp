// Reordering by drag: one drag-over event on the strip's registered drop
// target with 10 and with 10,000 entries (it should follow the visible
// entries, not the total), and one auto-scroll tick beside the layout it runs.
#include "dnd/ElemDragData.h"
#include "dnd/OleDataSourceEx.h"
#include "draw/GdiplusSession.h"
#include "strip/TarvoToolWnd.h"

#include <windows.h>

#include <commctrl.h>
#include <gdiplus.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
const int kOverRuns = 2001;
const int kTickRuns = 201;

double Now()
{
    static LARGE_INTEGER s_freq = {};
    if (!s_freq.QuadPart)
        ::QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(s_freq.QuadPart);
}

struct SStats
{
    double dMedian, dLow, dHigh; // median and the middle half's ends
};
SStats Stats(std::vector<double> vec)
{
    std::sort(vec.begin(), vec.end());
    const size_t n = vec.size();
    return SStats{vec[n / 2], vec[n / 4], vec[(3 * n) / 4]};
}

void PrintStats(const std::string& strWhat, const SStats& s, double dScale, const char* pszUnit)
{
    std::printf("| %-44s | %10.3f | %8.3f - %-8.3f | %-4s |\n", strWhat.c_str(), s.dMedian * dScale,
                s.dLow * dScale, s.dHigh * dScale, pszUnit);
}

void PrintRatio(const std::string& strWhat, double dRatio)
{
    std::printf("| %-44s | %10.2f | %-19s | %-4s |\n", strWhat.c_str(), dRatio, "", "x");
}

bool WritePng(const std::wstring& strPath)
{
    UINT nCount = 0, cbSize = 0;
    Gdiplus::GetImageEncodersSize(&nCount, &cbSize);
    std::vector<BYTE> vecBuffer(cbSize);
    auto* pCodecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(vecBuffer.data());
    Gdiplus::GetImageEncoders(nCount, cbSize, pCodecs);
    for (UINT i = 0; i < nCount; ++i)
        if (wcscmp(pCodecs[i].MimeType, L"image/png") == 0)
        {
            Gdiplus::Bitmap bitmap(120, 90, PixelFormat24bppRGB);
            {
                Gdiplus::Graphics graphics(&bitmap);
                graphics.Clear(Gdiplus::Color(255, 90, 140, 200));
            }
            return bitmap.Save(strPath.c_str(), &pCodecs[i].Clsid, nullptr) == Gdiplus::Ok;
        }
    return false;
}

// The strip as the viewer places it, moved up by nOffset so several fit.
std::unique_ptr<CTarvoToolWnd> MakeStrip(int nEntries, const std::wstring& strPicture, int nOffset)
{
    std::unique_ptr<CTarvoToolWnd> pStrip(new CTarvoToolWnd(nullptr));
    if (!pStrip->CreateStripWindow())
        return nullptr;
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::SetWindowPos(pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT - nOffset,
                   rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    for (int i = 0; i < nEntries; ++i)
        pStrip->AddFile(strPicture.c_str());
    pStrip->RecalcLayout();
    pStrip->UpdateScrollBar();
    ::UpdateWindow(pStrip->m_hWnd);
    return pStrip;
}

// The drag of the strip's first entry, as its own drag start makes it.
struct SDrag
{
    explicit SDrag(CTarvoToolWnd* pStrip)
        : pSource(new COleDataSourceEx), pTarget(static_cast<IDropTarget*>(
                                              ::GetPropW(pStrip->m_hWnd, L"OleDropTargetInterface")))
    {
        CGlobalMem payload = MakeElemDragData(pStrip->m_hWnd, pStrip->m_vecElems[0]);
        if (pSource->CacheGlobalData(ElemDragFormat(), payload.Get()))
            payload.Detach();
    }
    ~SDrag() { pSource->ExternalRelease(); }
    SDrag(const SDrag&) = delete;
    SDrag& operator=(const SDrag&) = delete;

    COleDataSourceEx* pSource;
    IDropTarget* pTarget; // the registration's; not ours to release
};
} // namespace

int wmain()
{
    KelDraw::CGdiplusSession gdiplus;
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);

    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strPicture =
        std::wstring(szTemp) + L"pictaro-bench-drag-" + std::to_wstring(::GetCurrentProcessId()) + L".png";
    if (!WritePng(strPicture))
    {
        std::printf("cannot write the picture\n");
        return 1;
    }

    std::printf("Drag benchmark (medians; the middle half of the runs in the range)\n\n");
    std::printf("| %-44s | %10s | %-19s | %-4s |\n", "measure", "median", "middle half", "unit");
    std::printf("|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(12, '-').c_str(),
                std::string(21, '-').c_str(), std::string(6, '-').c_str());

    const int counts[] = {10, 1000, 10000};
    std::unique_ptr<CTarvoToolWnd> strips[3];
    for (int k = 0; k < 3; ++k)
        if (!(strips[k] = MakeStrip(counts[k], strPicture, 200 * k)))
            return 1;

    // Drag-over: the cursor held over the fourth entry, away from the edge
    // zones; measured in turns so that drift touches all strips alike.
    std::vector<double> vecOver[3];
    {
        std::unique_ptr<SDrag> drags[3];
        POINT pts[3];
        for (int k = 0; k < 3; ++k)
        {
            drags[k].reset(new SDrag(strips[k].get()));
            const RECT& rc = strips[k]->m_vecElems[3]->m_rcBox;
            pts[k] = POINT{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
            ::ClientToScreen(strips[k]->m_hWnd, &pts[k]);
            DWORD dwEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
            drags[k]->pTarget->DragEnter(drags[k]->pSource->GetIDataObject(FALSE), MK_LBUTTON,
                                         POINTL{pts[k].x, pts[k].y}, &dwEffect);
        }
        for (int i = 0; i < kOverRuns; ++i)
            for (int k = 0; k < 3; ++k)
            {
                DWORD dwEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
                const double t0 = Now();
                drags[k]->pTarget->DragOver(MK_LBUTTON, POINTL{pts[k].x, pts[k].y}, &dwEffect);
                vecOver[k].push_back(Now() - t0);
                ::ValidateRect(strips[k]->m_hWnd, nullptr);
            }
        for (int k = 0; k < 3; ++k)
            drags[k]->pTarget->DragLeave();
    }
    const double dOver10 = Stats(vecOver[0]).dMedian;
    for (int k = 0; k < 3; ++k)
    {
        const std::string strCount = std::to_string(counts[k]);
        const SStats over = Stats(vecOver[k]);
        PrintStats("drag-over, " + strCount + " entries", over, 1e6, "us");
        if (k > 0)
            PrintRatio("drag-over " + strCount + " / 10 entries (target <= 1.2)", over.dMedian / dOver10);
    }

    // Auto-scroll ticks, 10 px right then left again, beside its two parts:
    // the bar's position written with its repaint, and the layout. With 10
    // entries the content fits and a tick only stops the timer.
    for (int k = 1; k < 3; ++k)
    {
        CTarvoToolWnd* pStrip = strips[k].get();
        ::SetScrollPos(pStrip->m_hWnd, SB_HORZ, 1000, TRUE);
        pStrip->RecalcLayout();
        std::vector<double> vecTick, vecBar, vecLayout;
        for (int i = 0; i < kTickRuns; ++i)
        {
            pStrip->m_nScrollZone = i % 2 ? 1 : 2;
            double t0 = Now();
            ::SendMessageW(pStrip->m_hWnd, WM_TIMER, CTarvoToolWnd::TIMER_AUTOSCROLL, 0);
            vecTick.push_back(Now() - t0);
            SCROLLINFO si = {};
            si.cbSize = sizeof(si);
            si.fMask = SIF_POS;
            si.nPos = 1000 + (i % 2 ? 0 : 10);
            t0 = Now();
            ::SetScrollInfo(pStrip->m_hWnd, SB_HORZ, &si, TRUE);
            vecBar.push_back(Now() - t0);
            t0 = Now();
            pStrip->RecalcLayout();
            vecLayout.push_back(Now() - t0);
            ::ValidateRect(pStrip->m_hWnd, nullptr);
        }
        const std::string strCount = std::to_string(counts[k]);
        PrintStats("auto-scroll tick, " + strCount + " entries", Stats(vecTick), 1e6, "us");
        PrintStats("  its SetScrollInfo with the bar's repaint", Stats(vecBar), 1e6, "us");
        PrintStats("  its RecalcLayout", Stats(vecLayout), 1e6, "us");
    }

    for (auto& pStrip : strips)
        pStrip.reset();
    ::DeleteFileW(strPicture.c_str());
    ::OleUninitialize();
    return 0;
}
