// The strip's costs: adding dropped 12-megapixel JPEGs against decoding the
// same files bare, painting with 10 to 10,000 entries, the layout, and the
// memory one entry takes.
//
// Usage: bench_strip [--drop <folder>]   (the second form is the child that
// measures a 100-file drop in a process of its own, for its peak working set)
#include "bench/BenchSupport.h"
#include "draw/Decode.h"
#include "strip/TarvoToolWnd.h"

#include <windows.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace BenchSupport;

const int kJpegCount = 4;    // distinct files; the drop cycles through them
const int kDropCount = 100;
const int kPairs = 20;       // decode / add pairs timed one after the other
const int kPaintRuns = 101;
const int kLayoutRuns = 201;
const int kMemoryEntries = 1000;

std::wstring JpegPath(const std::wstring& strFolder, int i)
{
    return strFolder + L"\\photo" + std::to_wstring(i) + L".jpg";
}

// Committed private memory of the process, region by region (the process
// counters do not report it under every platform).
SIZE_T CommittedPrivateBytes()
{
    SIZE_T cbTotal = 0;
    MEMORY_BASIC_INFORMATION mbi;
    const BYTE* p = nullptr;
    while (::VirtualQuery(p, &mbi, sizeof(mbi)) == sizeof(mbi))
    {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            cbTotal += mbi.RegionSize;
        const BYTE* pNext = static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
        if (pNext <= p)
            break; // the end of the address space
        p = pNext;
    }
    return cbTotal;
}

// The child: one drop of 100 JPEG names on a fresh strip.
int RunDrop(const std::wstring& strFolder)
{
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    std::vector<std::wstring> vecNames;
    for (int i = 0; i < kDropCount; ++i)
        vecNames.push_back(JpegPath(strFolder, i % kJpegCount));
    CDropFiles drop(vecNames);
    const SIZE_T cbBefore = ProcessMemory().WorkingSetSize;
    const double t0 = NowSeconds();
    drop.SendTo(pStrip->m_hWnd);
    const double dSeconds = NowSeconds() - t0;
    const PROCESS_MEMORY_COUNTERS_EX pmc = ProcessMemory();
    std::printf("%u %.6f %llu %llu\n", static_cast<unsigned>(pStrip->m_vecElems.size()), dSeconds,
                static_cast<unsigned long long>(cbBefore), static_cast<unsigned long long>(pmc.PeakWorkingSetSize));
    return 0;
}

// Runs this program again as the drop child and reads its one line.
bool MeasureDropInChild(const std::wstring& strFolder, size_t* pnAdded, double* pdSeconds, SIZE_T* pcbBefore,
                        SIZE_T* pcbPeak)
{
    wchar_t szExe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, szExe, MAX_PATH);
    std::wstring strCommand = L"\"" + std::wstring(szExe) + L"\" --drop \"" + strFolder + L"\"";
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    HANDLE hRead = nullptr, hWrite = nullptr;
    if (!::CreatePipe(&hRead, &hWrite, &sa, 0))
        return false;
    ::SetHandleInformation(hRead, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = hWrite;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi = {};
    const BOOL bStarted =
        ::CreateProcessW(nullptr, &strCommand[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    ::CloseHandle(hWrite);
    std::string strOut;
    if (bStarted)
    {
        char buffer[256];
        DWORD cbRead = 0;
        while (::ReadFile(hRead, buffer, sizeof(buffer), &cbRead, nullptr) && cbRead)
            strOut.append(buffer, cbRead);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        ::CloseHandle(pi.hProcess);
        ::CloseHandle(pi.hThread);
    }
    ::CloseHandle(hRead);
    unsigned long long cbBefore = 0, cbPeak = 0;
    unsigned nAdded = 0;
    if (std::sscanf(strOut.c_str(), "%u %lf %llu %llu", &nAdded, pdSeconds, &cbBefore, &cbPeak) != 4)
        return false;
    *pnAdded = nAdded;
    *pcbBefore = static_cast<SIZE_T>(cbBefore);
    *pcbPeak = static_cast<SIZE_T>(cbPeak);
    return true;
}

int RunAll()
{
    const std::wstring strFolder = TempName(L"pictaro-bench-strip-");
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    for (int i = 0; i < kJpegCount; ++i)
        if (!WritePhotoJpeg(JpegPath(strFolder, i), 4000, 3000, static_cast<unsigned>(i)))
        {
            std::printf("cannot write the JPEG pictures\n");
            return 1;
        }
    const std::wstring strSmall = strFolder + L"\\small.png";
    WriteFlatPng(strSmall, 160, 120, Gdiplus::Color(255, 90, 140, 200));

    PrintStatsTableHead("Strip benchmark");

    // Adding a 12-megapixel JPEG against decoding it bare, one after the other.
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    std::vector<double> vecDecode, vecAdd, vecRatio;
    for (int i = 0; i < kPairs; ++i)
    {
        const std::wstring strPath = JpegPath(strFolder, i % kJpegCount);
        double t0 = NowSeconds();
        HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
        const double dDecode = NowSeconds() - t0;
        ::DeleteObject(hDib);
        t0 = NowSeconds();
        pStrip->AddFile(strPath.c_str());
        const double dAdd = NowSeconds() - t0;
        vecDecode.push_back(dDecode);
        vecAdd.push_back(dAdd);
        vecRatio.push_back(dAdd / dDecode);
    }
    PrintStatsRow("bare decode of a 12 MP JPEG", Summarise(vecDecode), 1000.0, 2, "ms");
    PrintStatsRow("AddFile of the same JPEG (decode + thumbnail)", Summarise(vecAdd), 1000.0, 2, "ms");
    PrintStatsRow("AddFile / bare decode (target <= 1.25)", Summarise(vecRatio), 1.0, 2, "x");
    PrintRatio("add-jpeg", Summarise(vecRatio).dMedian);
    pStrip.reset();

    size_t nAdded = 0;
    double dDrop = 0;
    SIZE_T cbBefore = 0, cbPeak = 0;
    if (MeasureDropInChild(strFolder, &nAdded, &dDrop, &cbBefore, &cbPeak))
    {
        PrintValueRow("drop of 100 JPEGs, per file", dDrop * 1000.0 / nAdded, 2,
                      "(" + std::to_string(nAdded) + " added)", "ms");
        PrintValueRow("peak working set of that process", Mb(cbPeak), 1,
                      "(" + std::to_string(static_cast<int>(Mb(cbBefore))) + " MB before)", "MB");
    }
    else
    {
        PrintTextRow("drop of 100 JPEGs", "failed", "", "");
    }

    // Memory per entry, over many entries made from one small picture.
    pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    const SIZE_T cbStart = CommittedPrivateBytes();
    for (int i = 0; i < kMemoryEntries; ++i)
        pStrip->AddFile(strSmall.c_str());
    const double dPerEntry =
        static_cast<double>(CommittedPrivateBytes() - cbStart) / static_cast<double>(kMemoryEntries);
    const double dThumbBytes = 88.0 * 82.0 * 4.0;
    PrintValueRow("memory per entry", dPerEntry, 0, "thumbnail " + std::to_string(static_cast<int>(dThumbBytes)),
                  "B");
    PrintValueRow("memory per entry / thumbnail pixels (<= 1.5)", dPerEntry / dThumbBytes, 2, "", "x");

    // Painting and layout with 10, 1,000 and 10,000 entries: three strips one
    // above the other, measured in turns so that drift touches all alike.
    pStrip->ClearVisible();
    pStrip->ClearElems();
    const int counts[] = {10, 1000, 10000};
    std::unique_ptr<CTarvoToolWnd> strips[3];
    for (int k = 0; k < 3; ++k)
    {
        strips[k] = k == 0 ? std::move(pStrip) : MakeStrip();
        if (!strips[k])
            return 1;
        ::SetWindowPos(strips[k]->m_hWnd, nullptr, 0, 100 + 200 * k, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        while (static_cast<int>(strips[k]->m_vecElems.size()) < counts[k])
            strips[k]->AddFile(strSmall.c_str());
        strips[k]->RecalcLayout();
        strips[k]->UpdateScrollBar();
        ::UpdateWindow(strips[k]->m_hWnd);
    }
    std::vector<double> vecPaint[3], vecLayout[3];
    for (int i = 0; i < kPaintRuns; ++i)
        for (int k = 0; k < 3; ++k)
        {
            const double t0 = NowSeconds();
            ::RedrawWindow(strips[k]->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            vecPaint[k].push_back(NowSeconds() - t0);
        }
    for (int i = 0; i < kLayoutRuns; ++i)
        for (int k = 0; k < 3; ++k)
        {
            const double t0 = NowSeconds();
            strips[k]->RecalcLayout();
            vecLayout[k].push_back(NowSeconds() - t0);
            ::ValidateRect(strips[k]->m_hWnd, nullptr);
        }
    const double dPaint10 = Summarise(vecPaint[0]).dMedian;
    for (int k = 0; k < 3; ++k)
    {
        const std::string strCount = std::to_string(counts[k]);
        const SStats paint = Summarise(vecPaint[k]);
        PrintStatsRow("paint, " + strCount + " entries", paint, 1000.0, 2, "ms");
        if (k > 0)
        {
            PrintValueRow("paint " + strCount + " / paint 10 (target <= 1.2)", paint.dMedian / dPaint10, 2, "", "x");
            if (counts[k] == 10000)
                PrintRatio("paint-10k", paint.dMedian / dPaint10);
        }
        PrintStatsRow("RecalcLayout, " + strCount + " entries", Summarise(vecLayout[k]), 1000.0, 2, "ms");
    }
    for (auto& pEach : strips)
        pEach.reset();

    for (int i = 0; i < kJpegCount; ++i)
        ::DeleteFileW(JpegPath(strFolder, i).c_str());
    ::DeleteFileW(strSmall.c_str());
    ::RemoveDirectoryW(strFolder.c_str());
    return 0;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const BenchSupport::CUiSession session;
    return (argc == 3 && wcscmp(argv[1], L"--drop") == 0) ? RunDrop(argv[2]) : RunAll();
}
