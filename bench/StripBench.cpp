// The strip's costs: adding dropped 12-megapixel JPEGs against decoding the
// same files bare, painting with 10 to 10,000 entries, the layout, and the
// memory one entry takes.
//
// Usage: bench_strip [--drop <folder>]   (the second form is the child that
// measures a 100-file drop in a process of its own, for its peak working set)
#include "draw/Decode.h"
#include "draw/GdiplusSession.h"
#include "strip/TarvoToolWnd.h"

#include <windows.h>

#include <commctrl.h>
#include <gdiplus.h>
#include <ole2.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{
const int kJpegCount = 4;    // distinct files; the drop cycles through them
const int kDropCount = 100;
const int kPairs = 20;       // decode / add pairs timed one after the other
const int kPaintRuns = 101;
const int kLayoutRuns = 201;
const int kMemoryEntries = 1000;

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

bool EncoderClsid(const wchar_t* pszMimeType, CLSID* pClsid)
{
    UINT nCount = 0, cbSize = 0;
    Gdiplus::GetImageEncodersSize(&nCount, &cbSize);
    std::vector<BYTE> vecBuffer(cbSize);
    auto* pCodecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(vecBuffer.data());
    Gdiplus::GetImageEncoders(nCount, cbSize, pCodecs);
    for (UINT i = 0; i < nCount; ++i)
        if (wcscmp(pCodecs[i].MimeType, pszMimeType) == 0)
        {
            *pClsid = pCodecs[i].Clsid;
            return true;
        }
    return false;
}

// A 4000 x 3000 photograph-like picture: smooth gradients under fine noise,
// so that the JPEG holds detail in every block.
bool WriteJpeg(const std::wstring& strPath, unsigned nSeed)
{
    CLSID clsid;
    if (!EncoderClsid(L"image/jpeg", &clsid))
        return false;
    const int cx = 4000, cy = 3000;
    Gdiplus::Bitmap bitmap(cx, cy, PixelFormat24bppRGB);
    Gdiplus::Rect rc(0, 0, cx, cy);
    Gdiplus::BitmapData data = {};
    if (bitmap.LockBits(&rc, Gdiplus::ImageLockModeWrite, PixelFormat24bppRGB, &data) != Gdiplus::Ok)
        return false;
    unsigned nNoise = nSeed * 2654435761u + 1;
    for (int y = 0; y < cy; ++y)
    {
        BYTE* pRow = static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
        for (int x = 0; x < cx; ++x)
        {
            nNoise = nNoise * 1103515245u + 12345u;
            const int n = static_cast<int>((nNoise >> 16) & 31) - 16;
            pRow[3 * x] = static_cast<BYTE>(std::clamp((x * 255) / cx + n, 0, 255));
            pRow[3 * x + 1] = static_cast<BYTE>(std::clamp((y * 255) / cy + n, 0, 255));
            pRow[3 * x + 2] = static_cast<BYTE>(std::clamp(static_cast<int>((x + y + nSeed * 500) % 256) + n, 0, 255));
        }
    }
    bitmap.UnlockBits(&data);
    return bitmap.Save(strPath.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

bool WriteSmallPng(const std::wstring& strPath)
{
    CLSID clsid;
    if (!EncoderClsid(L"image/png", &clsid))
        return false;
    Gdiplus::Bitmap bitmap(160, 120, PixelFormat24bppRGB);
    {
        Gdiplus::Graphics graphics(&bitmap);
        graphics.Clear(Gdiplus::Color(255, 90, 140, 200));
    }
    return bitmap.Save(strPath.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}

std::wstring JpegPath(const std::wstring& strFolder, int i)
{
    return strFolder + L"\\photo" + std::to_wstring(i) + L".jpg";
}

HGLOBAL MakeDropHandle(const std::vector<std::wstring>& vecNames)
{
    size_t cchNames = 1;
    for (const std::wstring& strName : vecNames)
        cchNames += strName.size() + 1;
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + cchNames * sizeof(wchar_t));
    if (!hGlobal)
        return nullptr;
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(hGlobal));
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    auto* pszNames = reinterpret_cast<wchar_t*>(pDrop + 1);
    for (const std::wstring& strName : vecNames)
    {
        std::memcpy(pszNames, strName.c_str(), (strName.size() + 1) * sizeof(wchar_t));
        pszNames += strName.size() + 1;
    }
    ::GlobalUnlock(hGlobal);
    return hGlobal;
}

// The strip as the viewer places it.
std::unique_ptr<CTarvoToolWnd> MakeStrip()
{
    std::unique_ptr<CTarvoToolWnd> pStrip(new CTarvoToolWnd(nullptr));
    if (!pStrip->CreateStripWindow())
        return nullptr;
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::SetWindowPos(pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT,
                   rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    ::UpdateWindow(pStrip->m_hWnd);
    return pStrip;
}

PROCESS_MEMORY_COUNTERS_EX Memory()
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
    return pmc;
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

double Mb(SIZE_T cb)
{
    return static_cast<double>(cb) / (1024.0 * 1024.0);
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
    HGLOBAL hDrop = MakeDropHandle(vecNames);
    const SIZE_T cbBefore = Memory().WorkingSetSize;
    const double t0 = Now();
    ::SendMessageW(pStrip->m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    const double dSeconds = Now() - t0;
    ::GlobalFree(hDrop);
    const PROCESS_MEMORY_COUNTERS_EX pmc = Memory();
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

void PrintStats(const char* pszWhat, const SStats& s, double dScale, const char* pszUnit)
{
    std::printf("| %-44s | %10.2f | %8.2f - %-8.2f | %-4s |\n", pszWhat, s.dMedian * dScale, s.dLow * dScale,
                s.dHigh * dScale, pszUnit);
}

int RunAll()
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFolder = std::wstring(szTemp) + L"pictaro-bench-strip-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    for (int i = 0; i < kJpegCount; ++i)
        if (!WriteJpeg(JpegPath(strFolder, i), static_cast<unsigned>(i)))
        {
            std::printf("cannot write the JPEG pictures\n");
            return 1;
        }
    const std::wstring strSmall = strFolder + L"\\small.png";
    WriteSmallPng(strSmall);

    std::printf("Strip benchmark (medians; the middle half of the runs in the range)\n\n");
    std::printf("| %-44s | %10s | %-19s | %-4s |\n", "measure", "median", "middle half", "unit");
    std::printf("|%s|%s|%s|%s|\n", std::string(46, '-').c_str(), std::string(12, '-').c_str(),
                std::string(21, '-').c_str(), std::string(6, '-').c_str());

    // Adding a 12-megapixel JPEG against decoding it bare, one after the other.
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    std::vector<double> vecDecode, vecAdd, vecRatio;
    for (int i = 0; i < kPairs; ++i)
    {
        const std::wstring strPath = JpegPath(strFolder, i % kJpegCount);
        double t0 = Now();
        HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
        const double dDecode = Now() - t0;
        ::DeleteObject(hDib);
        t0 = Now();
        pStrip->AddFile(strPath.c_str());
        const double dAdd = Now() - t0;
        vecDecode.push_back(dDecode);
        vecAdd.push_back(dAdd);
        vecRatio.push_back(dAdd / dDecode);
    }
    PrintStats("bare decode of a 12 MP JPEG", Stats(vecDecode), 1000.0, "ms");
    PrintStats("AddFile of the same JPEG (decode + thumbnail)", Stats(vecAdd), 1000.0, "ms");
    PrintStats("AddFile / bare decode (target <= 1.25)", Stats(vecRatio), 1.0, "x");
    pStrip.reset();

    size_t nAdded = 0;
    double dDrop = 0;
    SIZE_T cbBefore = 0, cbPeak = 0;
    if (MeasureDropInChild(strFolder, &nAdded, &dDrop, &cbBefore, &cbPeak))
    {
        std::printf("| %-44s | %10.2f | %-19s | %-4s |\n", "drop of 100 JPEGs, per file", dDrop * 1000.0 / nAdded,
                    ("(" + std::to_string(nAdded) + " added)").c_str(), "ms");
        std::printf("| %-44s | %10.1f | %-19s | %-4s |\n", "peak working set of that process", Mb(cbPeak),
                    ("(" + std::to_string(static_cast<int>(Mb(cbBefore))) + " MB before)").c_str(), "MB");
    }
    else
    {
        std::printf("| %-44s | %10s | %-19s | %-4s |\n", "drop of 100 JPEGs", "failed", "", "");
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
    std::printf("| %-44s | %10.0f | %-19s | %-4s |\n", "memory per entry", dPerEntry,
                ("thumbnail " + std::to_string(static_cast<int>(dThumbBytes))).c_str(), "B");
    std::printf("| %-44s | %10.2f | %-19s | %-4s |\n", "memory per entry / thumbnail pixels (<= 1.5)",
                dPerEntry / dThumbBytes, "", "x");

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
            const double t0 = Now();
            ::RedrawWindow(strips[k]->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            vecPaint[k].push_back(Now() - t0);
        }
    for (int i = 0; i < kLayoutRuns; ++i)
        for (int k = 0; k < 3; ++k)
        {
            const double t0 = Now();
            strips[k]->RecalcLayout();
            vecLayout[k].push_back(Now() - t0);
            ::ValidateRect(strips[k]->m_hWnd, nullptr);
        }
    const double dPaint10 = Stats(vecPaint[0]).dMedian;
    for (int k = 0; k < 3; ++k)
    {
        const std::string strCount = std::to_string(counts[k]);
        const SStats paint = Stats(vecPaint[k]);
        PrintStats(("paint, " + strCount + " entries").c_str(), paint, 1000.0, "ms");
        if (k > 0)
            std::printf("| %-44s | %10.2f | %-19s | %-4s |\n",
                        ("paint " + strCount + " / paint 10 (target <= 1.2)").c_str(), paint.dMedian / dPaint10, "",
                        "x");
        PrintStats(("RecalcLayout, " + strCount + " entries").c_str(), Stats(vecLayout[k]), 1000.0, "ms");
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
    KelDraw::CGdiplusSession gdiplus;
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    const int nResult = (argc == 3 && wcscmp(argv[1], L"--drop") == 0) ? RunDrop(argv[2]) : RunAll();
    ::OleUninitialize();
    return nResult;
}
