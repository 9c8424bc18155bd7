// Reordering by drag: one drag-over event on the strip's registered drop
// target with 10 and with 10,000 entries (it should follow the visible
// entries, not the total), and one auto-scroll tick beside the layout it runs.
#include "bench/BenchSupport.h"
#include "dnd/ElemDragData.h"
#include "dnd/OleDataSourceEx.h"
#include "strip/TarvoToolWnd.h"

#include <windows.h>

#include <gdiplus.h>
#include <ole2.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace BenchSupport;

const int kOverRuns = 2001;
const int kTickRuns = 201;

// A placed strip with nEntries entries of the one picture, laid out and painted.
std::unique_ptr<CTarvoToolWnd> MakeFilledStrip(int nEntries, const std::wstring& strPicture, int nOffset)
{
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip(nOffset);
    if (!pStrip)
        return nullptr;
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

int Run()
{
    const std::wstring strPicture = TempName(L"pictaro-bench-drag-") + L".png";
    if (!WriteFlatPng(strPicture, 120, 90, Gdiplus::Color(255, 90, 140, 200)))
    {
        std::printf("cannot write the picture\n");
        return 1;
    }

    PrintStatsTableHead("Drag benchmark");

    const int counts[] = {10, 1000, 10000};
    std::unique_ptr<CTarvoToolWnd> strips[3];
    for (int k = 0; k < 3; ++k)
        if (!(strips[k] = MakeFilledStrip(counts[k], strPicture, 200 * k)))
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
                const double t0 = NowSeconds();
                drags[k]->pTarget->DragOver(MK_LBUTTON, POINTL{pts[k].x, pts[k].y}, &dwEffect);
                vecOver[k].push_back(NowSeconds() - t0);
                ::ValidateRect(strips[k]->m_hWnd, nullptr);
            }
        for (int k = 0; k < 3; ++k)
            drags[k]->pTarget->DragLeave();
    }
    const double dOver10 = Summarise(vecOver[0]).dMedian;
    for (int k = 0; k < 3; ++k)
    {
        const std::string strCount = std::to_string(counts[k]);
        const SStats over = Summarise(vecOver[k]);
        PrintStatsRow("drag-over, " + strCount + " entries", over, 1e6, 3, "us");
        if (k > 0)
            PrintValueRow("drag-over " + strCount + " / 10 entries (target <= 1.2)", over.dMedian / dOver10, 2, "",
                          "x");
        if (counts[k] == 10000)
            PrintRatio("dragover-10k", over.dMedian / dOver10);
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
            double t0 = NowSeconds();
            ::SendMessageW(pStrip->m_hWnd, WM_TIMER, CTarvoToolWnd::TIMER_AUTOSCROLL, 0);
            vecTick.push_back(NowSeconds() - t0);
            SCROLLINFO si = {};
            si.cbSize = sizeof(si);
            si.fMask = SIF_POS;
            si.nPos = 1000 + (i % 2 ? 0 : 10);
            t0 = NowSeconds();
            ::SetScrollInfo(pStrip->m_hWnd, SB_HORZ, &si, TRUE);
            vecBar.push_back(NowSeconds() - t0);
            t0 = NowSeconds();
            pStrip->RecalcLayout();
            vecLayout.push_back(NowSeconds() - t0);
            ::ValidateRect(pStrip->m_hWnd, nullptr);
        }
        const std::string strCount = std::to_string(counts[k]);
        PrintStatsRow("auto-scroll tick, " + strCount + " entries", Summarise(vecTick), 1e6, 3, "us");
        PrintStatsRow("  its SetScrollInfo with the bar's repaint", Summarise(vecBar), 1e6, 3, "us");
        PrintStatsRow("  its RecalcLayout", Summarise(vecLayout), 1e6, 3, "us");
    }

    for (auto& pStrip : strips)
        pStrip.reset();
    ::DeleteFileW(strPicture.c_str());
    return 0;
}
} // namespace

int wmain()
{
    const BenchSupport::CUiSession session;
    return Run();
}
