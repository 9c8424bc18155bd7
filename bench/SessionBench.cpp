// A long session's costs: private memory and GDI objects after 10,000 cycles
// of adding an entry by a drop and removing it, beside the figures after the
// first 100; the time to add a 2,000-file drop beside decoding the same files
// through GDI+; and a drop of 200 photographs on the viewer until the last
// one is on the screen, as a camera writes them (with Exif previews) on one
// and two decoding threads and without previews on two, beside GDI+'s
// decodes of the same files.
#include "bench/BenchSupport.h"
#include "draw/Decode.h"
#include "strip/DropDecoder.h"
#include "strip/TarvoToolWnd.h"
#include "tests/reliability_session/GdiCount.h"
#include "viewer/TarvoMainWnd.h"

#include <windows.h>

#include <gdiplus.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
using namespace BenchSupport;

const int kCycles = 10000;
const int kCheckpoints[] = {100, 1000, 5000, 10000};
const int kDropFiles = 2000;
const int kDropRuns = 3;
// The photograph drop: one 12-megapixel JPEG in every kLargeEvery files, the
// others 1920 x 1080, made from a few distinct pictures.
const int kPhotoFiles = 200;
const int kLargeEvery = 4;
const int kDistinctPhotos = 3;
const int kPhotoRuns = 2;
const unsigned kThreadCounts[] = {1, 2};

struct SUsage
{
    int nCycles;
    size_t cbPrivate;
    size_t nGdiInUse; // the GDI room the process has used, from an empty start
    DWORD nGdiReported;
};

// The highest private memory while it lives, sampled from a thread of its
// own through the process counters: walking the address space would contend
// with the decoders for the platform's lock on it.
class CPeakMemory
{
public:
    CPeakMemory() : m_cbPeak(ProcessMemory().PagefileUsage), m_thread([this] { Sample(); }) {}
    ~CPeakMemory()
    {
        m_bStop = true;
        m_thread.join();
    }
    SIZE_T Peak() const { return m_cbPeak; }

private:
    void Sample()
    {
        while (!m_bStop)
        {
            m_cbPeak = std::max<SIZE_T>(m_cbPeak, ProcessMemory().PagefileUsage);
            ::Sleep(20);
        }
    }
    std::atomic<bool> m_bStop{false};
    std::atomic<SIZE_T> m_cbPeak;
    std::thread m_thread;
};

double ThreadCpuSeconds()
{
    FILETIME ftCreate, ftExit, ftKernel, ftUser;
    ::GetThreadTimes(::GetCurrentThread(), &ftCreate, &ftExit, &ftKernel, &ftUser);
    auto fnSeconds = [](const FILETIME& ft) {
        return static_cast<double>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) / 1e7;
    };
    return fnSeconds(ftKernel) + fnSeconds(ftUser);
}

// The bare decodes of the files on nThreads threads at once: the most the
// platform gives a pool of that size.
double DecodeOnThreads(const std::vector<std::wstring>& vecFiles, unsigned nThreads)
{
    std::atomic<size_t> nNext{0};
    auto fnWork = [&] {
        for (size_t i; (i = nNext++) < vecFiles.size();)
            ::DeleteObject(GdiplusDecode(vecFiles[i]));
    };
    const double t0 = NowSeconds();
    std::vector<std::thread> vecThreads;
    for (unsigned i = 0; i < nThreads; ++i)
        vecThreads.emplace_back(fnWork);
    for (std::thread& thread : vecThreads)
        thread.join();
    return NowSeconds() - t0;
}

struct SPhotoDrop
{
    double dSeconds;    // drop to the last picture's frame pushed
    double dUiCpu;      // the interface thread's processor time meanwhile
    SIZE_T cbPeakExtra; // peak private memory above the start
    size_t nAdded;
};

// The drop on a fresh viewer, through its real WM_DROPFILES, until the frame
// of the last picture has been pushed.
bool DropPhotosOnViewer(const std::vector<std::wstring>& vecFiles, unsigned nThreads, SPhotoDrop* pResult)
{
    CTarvoMainWnd* pViewer = new CTarvoMainWnd;
    if (!pViewer->CreateViewerWindow())
        return false;
    const HWND hViewer = pViewer->m_hWnd;
    SPushWatch::Install(pViewer);
    // The strip as a drop makes it, hidden, with the pool size set.
    pViewer->ShowToolWnd(FALSE);
    if (!pViewer->m_pToolWnd || !pViewer->m_pToolWnd->m_hWnd)
        return false;
    pViewer->m_pToolWnd->m_nDropThreads = nThreads;
    const double dSettle = NowSeconds();
    while (pViewer->m_bRedrawPending && NowSeconds() - dSettle < 10)
    {
        PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }

    bool bShown = false;
    {
        const CPeakMemory peak;
        const SIZE_T cbStart = ProcessMemory().PagefileUsage;
        SPushWatch::Reset();
        const double dCpu0 = ThreadCpuSeconds();
        const double t0 = NowSeconds();
        CDropFiles(vecFiles).SendTo(hViewer);
        pResult->dUiCpu = ThreadCpuSeconds() - dCpu0;
        while (SPushWatch::s_dLastPush == 0 && NowSeconds() - t0 < 600)
        {
            PumpMessages();
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
        }
        pResult->dSeconds = SPushWatch::s_dLastPush / 1000.0 - t0;
        pResult->cbPeakExtra = peak.Peak() > cbStart ? peak.Peak() - cbStart : 0;
        pResult->nAdded = pViewer->m_pToolWnd->m_vecElems.size();
        bShown = SPushWatch::s_dLastPush != 0 && pViewer->m_strCurPath == vecFiles.back();
    }
    ::DestroyWindow(hViewer);
    PumpMessages();
    return bShown;
}

int RunPhotoDrop()
{
    const std::wstring strFolder = TempName(L"pictaro-bench-photos-");
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    // Each distinct photograph twice: as written, and as a camera writes it,
    // with an Exif preview of its aspect.
    std::vector<std::wstring> vecDistinct, vecDistinctCamera;
    for (int i = 0; i < 2 * kDistinctPhotos; ++i)
    {
        const bool bLarge = i < kDistinctPhotos;
        const std::wstring strName = (bLarge ? L"\\large" : L"\\hd") + std::to_wstring(i);
        vecDistinct.push_back(strFolder + strName + L".jpg");
        vecDistinctCamera.push_back(strFolder + strName + L"-camera.jpg");
        if (!WritePhotoJpeg(vecDistinct.back(), bLarge ? 4000 : 1920, bLarge ? 3000 : 1080, static_cast<unsigned>(i)) ||
            !::CopyFileW(vecDistinct.back().c_str(), vecDistinctCamera.back().c_str(), FALSE) ||
            !AddExifPreview(vecDistinctCamera.back(), 160, bLarge ? 120 : 90))
        {
            std::printf("cannot write the photographs\n");
            return 1;
        }
    }
    std::vector<std::wstring> vecFiles, vecCamera;
    for (int i = 0; i < kPhotoFiles; ++i)
    {
        const bool bLarge = i % kLargeEvery == 0;
        const size_t nSource = static_cast<size_t>((bLarge ? 0 : kDistinctPhotos) + i % kDistinctPhotos);
        vecFiles.push_back(strFolder + L"\\photo" + std::to_wstring(i) + L".jpg");
        ::CopyFileW(vecDistinct[nSource].c_str(), vecFiles.back().c_str(), FALSE);
        vecCamera.push_back(strFolder + L"\\camera" + std::to_wstring(i) + L".jpg");
        ::CopyFileW(vecDistinctCamera[nSource].c_str(), vecCamera.back().c_str(), FALSE);
    }

    // The drops: the camera files on one and on two threads, the plain ones
    // on two.
    struct SDropKind
    {
        const std::vector<std::wstring>* pFiles;
        unsigned nThreads;
        const char* pszLabel;
        const char* pszTarget;
        const char* pszRatioName;
    };
    const SDropKind kinds[] = {
        {&vecCamera, kThreadCounts[0], "with previews, 1 thread", "", nullptr},
        {&vecCamera, kThreadCounts[1], "with previews, 2 threads", " (target <= 0.10)", "drop-200"},
        {&vecFiles, kThreadCounts[1], "without previews, 2 threads", " (target <= 0.55)", "drop-200-nopreview"},
    };
    const size_t nKinds = sizeof(kinds) / sizeof(kinds[0]);

    // The thumbnails' own share, on one thread: what the interface thread
    // would do in turn if the workers handed over decoded pictures instead.
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    std::vector<double> vecDecode, vecThumbs, vecParallel;
    std::vector<SPhotoDrop> vecDrops[nKinds];
    for (int nRun = 0; nRun < kPhotoRuns; ++nRun)
    {
        double dDecode = 0, dThumbs = 0;
        for (const std::wstring& strFile : vecFiles)
        {
            double t0 = NowSeconds();
            HBITMAP hDib = GdiplusDecode(strFile);
            dDecode += NowSeconds() - t0;
            t0 = NowSeconds();
            ::DeleteObject(pStrip->MakeThumbnail(hDib));
            dThumbs += NowSeconds() - t0;
            ::DeleteObject(hDib);
        }
        vecDecode.push_back(dDecode);
        vecThumbs.push_back(dThumbs);
        vecParallel.push_back(DecodeOnThreads(vecFiles, 2) / dDecode);
        for (size_t k = 0; k < nKinds; ++k)
        {
            SPhotoDrop drop = {};
            if (!DropPhotosOnViewer(*kinds[k].pFiles, kinds[k].nThreads, &drop))
            {
                std::printf("the photograph drop %s did not show its last picture\n", kinds[k].pszLabel);
                return 1;
            }
            vecDrops[k].push_back(drop);
        }
    }
    pStrip.reset();

    const SStats decode = Summarise(vecDecode);
    std::printf("\nA drop of %d JPEGs on the viewer (one in %d of 12 MP, the others 1920 x 1080), until the\n"
                "last one's frame is pushed; %d runs, the CPU has %u cores\n\n",
                kPhotoFiles, kLargeEvery, kPhotoRuns, CDropDecoder::CoreCount());
    PrintStatsTableHead("Photograph drop");
    PrintStatsRow("GDI+ decodes of the 200 files, summed (ref.)", decode, 1.0, 2, "s");
    PrintStatsRow("their thumbnails made on one thread, summed", Summarise(vecThumbs), 1.0, 2, "s");
    PrintStatsRow("the GDI+ decodes on 2 threads / on one", Summarise(vecParallel), 1.0, 2, "x");
    for (size_t k = 0; k < nKinds; ++k)
    {
        std::vector<double> vecSeconds, vecRatio, vecCpu, vecPeak;
        for (size_t i = 0; i < vecDrops[k].size(); ++i)
        {
            vecSeconds.push_back(vecDrops[k][i].dSeconds);
            vecRatio.push_back(vecDrops[k][i].dSeconds / vecDecode[i]);
            vecCpu.push_back(vecDrops[k][i].dUiCpu);
            vecPeak.push_back(Mb(vecDrops[k][i].cbPeakExtra));
        }
        PrintStatsRow(std::string("drop -> last shown, ") + kinds[k].pszLabel, Summarise(vecSeconds), 1.0, 2, "s");
        PrintStatsRow(std::string("  / GDI+ decodes") + kinds[k].pszTarget, Summarise(vecRatio), 1.0, 2, "x");
        PrintStatsRow("  interface thread's processor time", Summarise(vecCpu), 1.0, 2, "s");
        PrintStatsRow("  peak private memory above the start", Summarise(vecPeak), 1.0, 1, "MB");
        if (kinds[k].pszRatioName)
            PrintRatio(kinds[k].pszRatioName, Summarise(vecRatio).dMedian);
    }

    for (const std::vector<std::wstring>* pList : {&vecFiles, &vecCamera, &vecDistinct, &vecDistinctCamera})
        for (const std::wstring& strFile : *pList)
            ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW(strFolder.c_str());
    return 0;
}

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
            ::DeleteObject(GdiplusDecode(strFile));
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
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "GDI+ decode of the 2,000 files (ref.)", decode.dMedian,
                decode.dMin, decode.dMax);
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "the drop onto the strip, to its repaint", drop.dMedian,
                drop.dMin, drop.dMax);
    std::printf("| %-40s | %6.2f x | %17s |\n", "drop / bare decode", drop.dMedian / decode.dMedian, "");
    PrintRatio("drop-2000", drop.dMedian / decode.dMedian);
    std::printf("\n%d of %d files added\n", static_cast<int>(nAdded), kDropFiles);

    for (const std::wstring& strFile : vecFiles)
        ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW(strFolder.c_str());
    return RunPhotoDrop();
}
} // namespace

// Usage: bench_session [--photo-drop]   (the second form runs the photograph drop alone)
int wmain(int argc, wchar_t** argv)
{
    const BenchSupport::CUiSession session;
    return (argc == 2 && wcscmp(argv[1], L"--photo-drop") == 0) ? RunPhotoDrop() : Run();
}
