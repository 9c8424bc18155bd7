// A long session's costs: private memory and GDI objects after 10,000 cycles
// of adding an entry by a drop and removing it, beside the figures after the
// first 100; and the time to add a 2,000-file drop beside decoding the same
// files bare.
#include "bench/BenchSupport.h"
#include "draw/Decode.h"
#include "strip/TarvoToolWnd.h"
#include "tests/reliability_session/GdiCount.h"

#include <windows.h>

#include <gdiplus.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace BenchSupport;

const int kCycles = 10000;
const int kCheckpoints[] = {100, 1000, 5000, 10000};
const int kDropFiles = 2000;
const int kDropRuns = 3;

struct SUsage
{
    int nCycles;
    size_t cbPrivate;
    size_t nGdiInUse; // the GDI room the process has used, from an empty start
    DWORD nGdiReported;
};

int Run()
{
    const std::wstring strFolder = TempName(L"pictaro-bench-session-");
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    std::vector<std::wstring> vecFiles;
    for (int i = 0; i < kDropFiles; ++i)
    {
        vecFiles.push_back(strFolder + L"\\p" + std::to_wstring(i) + L".png");
        const BYTE nShade = static_cast<BYTE>(i);
        const Gdiplus::Color color(255, nShade, 128, 255 - nShade);
        if (!WriteFlatPng(vecFiles.back(), 40 + i % 200, 30 + i % 150, color))
        {
            std::printf("cannot write the pictures\n");
            return 1;
        }
    }

    std::printf("Session benchmark\n\n");
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    const size_t nRoomAtStart = Reliability::GdiRoomLeft();
    std::vector<SUsage> vecUsage;
    const int* pNext = kCheckpoints;
    for (int n = 1; n <= kCycles; ++n)
    {
        // One dropped file becomes the last entry, and is removed again.
        // Pumping lets the strip paint what the cycle changed, as its message
        // loop would.
        CDropFiles({vecFiles[static_cast<size_t>(n % 16)]}).SendTo(pStrip->m_hWnd);
        PumpMessages();
        pStrip->RemoveElem(static_cast<int>(pStrip->m_vecElems.size()) - 1);
        PumpMessages();
        if (n == *pNext)
        {
            const size_t cbPrivate = ProcessMemory().PagefileUsage;
            vecUsage.push_back(SUsage{n, cbPrivate, nRoomAtStart - Reliability::GdiRoomLeft(),
                                      Reliability::GdiObjectsReported()});
            ++pNext;
        }
    }
    std::printf("Drop one file, then remove its entry, %d times (GetGuiResources answers 0 under Wine;\n"
                "GDI objects are counted as the room the process used of its handle table)\n\n",
                kCycles);
    std::printf("| %8s | %14s | %12s | %15s |\n", "cycles", "private memory", "GDI objects", "GetGuiResources");
    PrintRule({10, 16, 14, 17});
    for (const SUsage& usage : vecUsage)
        std::printf("| %8d | %11.2f MB | %12d | %15lu |\n", usage.nCycles, Mb(usage.cbPrivate),
                    static_cast<int>(usage.nGdiInUse), usage.nGdiReported);
    std::printf("\ngrowth from 100 to %d cycles: %+.1f KB private memory, %+d GDI objects\n\n", kCycles,
                (static_cast<double>(vecUsage.back().cbPrivate) - static_cast<double>(vecUsage.front().cbPrivate)) /
                    1024.0,
                static_cast<int>(vecUsage.back().nGdiInUse) - static_cast<int>(vecUsage.front().nGdiInUse));
    pStrip.reset();

    // A 2,000-file drop onto an empty strip, beside decoding the same files bare.
    std::vector<double> vecDrop, vecDecode;
    size_t nAdded = 0;
    for (int nRun = 0; nRun < kDropRuns; ++nRun)
    {
        double t0 = NowSeconds();
        for (const std::wstring& strFile : vecFiles)
            ::DeleteObject(KelDraw::DecodeFileToDib(strFile.c_str()));
        vecDecode.push_back(NowSeconds() - t0);

        pStrip = MakeStrip();
        if (!pStrip)
            return 1;
        t0 = NowSeconds();
        CDropFiles(vecFiles).SendTo(pStrip->m_hWnd);
        ::UpdateWindow(pStrip->m_hWnd);
        vecDrop.push_back(NowSeconds() - t0);
        nAdded = pStrip->m_vecElems.size();
        pStrip.reset();
    }
    const SStats drop = Summarise(vecDrop);
    const SStats decode = Summarise(vecDecode);
    std::printf("A drop of %d small PNGs (%d runs; median, and the runs' range)\n\n", kDropFiles, kDropRuns);
    std::printf("| %-40s | %8s | %-17s |\n", "measure", "median", "range");
    PrintRule({42, 10, 19});
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "bare decode of the 2,000 files", decode.dMedian,
                decode.dMin, decode.dMax);
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "the drop onto the strip, to its repaint", drop.dMedian,
                drop.dMin, drop.dMax);
    std::printf("| %-40s | %6.2f x | %17s |\n", "drop / bare decode", drop.dMedian / decode.dMedian, "");
    std::printf("\n%d of %d files added\n", static_cast<int>(nAdded), kDropFiles);

    for (const std::wstring& strFile : vecFiles)
        ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW(strFolder.c_str());
    return 0;
}
} // namespace

int wmain()
{
    const BenchSupport::CUiSession session;
    return Run();
}
