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
#include <cmath>
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

// The same picture as a camera writes it, with an Exif preview.
std::wstring PreviewPath(const std::wstring& strFolder, int i)
{
    return strFolder + L"\\camera" + std::to_wstring(i) + L".jpg";
}

// The 32-bit pixels of a bitmap, top row first.
std::vector<DWORD> ReadPixels(HBITMAP hBitmap, int* pcx, int* pcy)
{
    BITMAP bm = {};
    std::vector<DWORD> vecPixels;
    if (!::GetObjectW(hBitmap, sizeof(bm), &bm))
        return vecPixels;
    vecPixels.resize(static_cast<size_t>(bm.bmWidth) * bm.bmHeight);
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC hDC = ::CreateCompatibleDC(nullptr);
    const int nRows = ::GetDIBits(hDC, hBitmap, 0, static_cast<UINT>(bm.bmHeight), vecPixels.data(), &bmi,
                                  DIB_RGB_COLORS);
    ::DeleteDC(hDC);
    if (nRows != bm.bmHeight)
        vecPixels.clear();
    *pcx = bm.bmWidth;
    *pcy = bm.bmHeight;
    return vecPixels;
}

// The peak signal-to-noise ratio of the colour channels of a cx x cy area
// of a box (at x0, y0) against reference values, in dB.
double Psnr(const std::vector<DWORD>& vecBox, int cxBox, int x0, int y0, const std::vector<double>& vecReference,
            int cx, int cy)
{
    double dSquares = 0;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            for (int c = 0; c < 3; ++c)
            {
                const double d = static_cast<double>(vecBox[static_cast<size_t>(y0 + y) * cxBox + x0 + x] >> (8 * c) & 0xFF) -
                                 vecReference[(static_cast<size_t>(y) * cx + x) * 3 + c];
                dSquares += d * d;
            }
    const double dMse = dSquares / (3.0 * cx * cy);
    return dMse > 0 ? 10 * std::log10(255.0 * 255.0 / dMse) : 99.0;
}

// The thumbnail of a 12-megapixel noisy photograph against the exact area
// average of its decoded pixels, and against the stretch a thumbnail once was.
void ThumbQuality(CTarvoToolWnd* pStrip, const std::wstring& strPath)
{
    int cx = 0, cy = 0;
    HBITMAP hDib = GdiplusDecode(strPath);
    const std::vector<DWORD> vecPicture = hDib ? ReadPixels(hDib, &cx, &cy) : std::vector<DWORD>();
    if (vecPicture.empty())
    {
        ::DeleteObject(hDib);
        PrintTextRow("thumbnail quality", "failed", "", "");
        return;
    }
    const SIZE fit = CTarvoToolWnd::FitSize(SIZE{cx, cy}, SIZE{CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT});
    // Each thumbnail pixel the mean of the picture's area it covers, partly
    // covered pixels weighed by their share.
    std::vector<double> vecReference(static_cast<size_t>(fit.cx) * fit.cy * 3, 0.0);
    const double dx = static_cast<double>(cx) / fit.cx, dy = static_cast<double>(cy) / fit.cy;
    for (int ty = 0; ty < fit.cy; ++ty)
    {
        const double y0 = ty * dy, y1 = y0 + dy;
        for (int tx = 0; tx < fit.cx; ++tx)
        {
            const double x0 = tx * dx, x1 = x0 + dx;
            double sums[3] = {}, dWeight = 0;
            for (int y = static_cast<int>(y0); y < cy && y < y1; ++y)
            {
                const double wy = std::min<double>(y + 1, y1) - std::max<double>(y, y0);
                for (int x = static_cast<int>(x0); x < cx && x < x1; ++x)
                {
                    const double w = wy * (std::min<double>(x + 1, x1) - std::max<double>(x, x0));
                    const DWORD argb = vecPicture[static_cast<size_t>(y) * cx + x];
                    for (int c = 0; c < 3; ++c)
                        sums[c] += w * (argb >> (8 * c) & 0xFF);
                    dWeight += w;
                }
            }
            for (int c = 0; c < 3; ++c)
                vecReference[(static_cast<size_t>(ty) * fit.cx + tx) * 3 + c] = sums[c] / dWeight;
        }
    }
    const int x0 = (CElem::THUMB_WIDTH - fit.cx) / 2, y0 = (CElem::THUMB_HEIGHT - fit.cy) / 2;

    pStrip->AddFile(strPath.c_str());
    int cxBox = 0, cyBox = 0;
    const std::vector<DWORD> vecThumb = ReadPixels(pStrip->m_vecElems.back()->m_hThumb, &cxBox, &cyBox);
    const double dThumb = vecThumb.empty() ? 0 : Psnr(vecThumb, cxBox, x0, y0, vecReference, fit.cx, fit.cy);

    // The stretch with HALFTONE of the same pixels, as thumbnails were made.
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), fit.cx, -fit.cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hSmall = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    HDC hSource = ::CreateCompatibleDC(nullptr), hTarget = ::CreateCompatibleDC(nullptr);
    HGDIOBJ hOldSource = ::SelectObject(hSource, hDib), hOldTarget = ::SelectObject(hTarget, hSmall);
    ::SetStretchBltMode(hTarget, HALFTONE);
    ::SetBrushOrgEx(hTarget, 0, 0, nullptr);
    ::StretchBlt(hTarget, 0, 0, fit.cx, fit.cy, hSource, 0, 0, cx, cy, SRCCOPY);
    ::SelectObject(hSource, hOldSource);
    ::SelectObject(hTarget, hOldTarget);
    ::DeleteDC(hSource);
    ::DeleteDC(hTarget);
    int cxSmall = 0, cySmall = 0;
    const std::vector<DWORD> vecStretched = ReadPixels(hSmall, &cxSmall, &cySmall);
    ::DeleteObject(hSmall);
    ::DeleteObject(hDib);
    const double dStretch = vecStretched.empty() ? 0 : Psnr(vecStretched, cxSmall, 0, 0, vecReference, fit.cx, fit.cy);

    PrintValueRow("thumbnail PSNR vs exact area average", dThumb, 1, "(target >= 45)", "dB");
    PrintValueRow("  StretchBlt HALFTONE of the same pixels", dStretch, 1, "", "dB");
    PrintRatio("thumb-quality", dThumb);
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
        if (!WritePhotoJpeg(JpegPath(strFolder, i), 4000, 3000, static_cast<unsigned>(i)) ||
            !::CopyFileW(JpegPath(strFolder, i).c_str(), PreviewPath(strFolder, i).c_str(), FALSE) ||
            !AddExifPreview(PreviewPath(strFolder, i)))
        {
            std::printf("cannot write the JPEG pictures\n");
            return 1;
        }
    const std::wstring strSmall = strFolder + L"\\small.png";
    WriteFlatPng(strSmall, 160, 120, Gdiplus::Color(255, 90, 140, 200));

    PrintStatsTableHead("Strip benchmark");

    // Adding a 12-megapixel JPEG against decoding it bare, one after the other:
    // plain, and as a camera writes it, with its Exif preview.
    std::unique_ptr<CTarvoToolWnd> pStrip = MakeStrip();
    if (!pStrip)
        return 1;
    std::vector<double> vecDecode, vecAdd, vecRatio, vecAddPreview, vecPreviewRatio;
    for (int i = 0; i < kPairs; ++i)
    {
        const std::wstring strPath = JpegPath(strFolder, i % kJpegCount);
        const std::wstring strCamera = PreviewPath(strFolder, i % kJpegCount);
        double t0 = NowSeconds();
        HBITMAP hDib = GdiplusDecode(strPath);
        const double dDecode = NowSeconds() - t0;
        ::DeleteObject(hDib);
        t0 = NowSeconds();
        pStrip->AddFile(strPath.c_str());
        const double dAdd = NowSeconds() - t0;
        t0 = NowSeconds();
        pStrip->AddFile(strCamera.c_str());
        const double dAddPreview = NowSeconds() - t0;
        vecDecode.push_back(dDecode);
        vecAdd.push_back(dAdd);
        vecRatio.push_back(dAdd / dDecode);
        vecAddPreview.push_back(dAddPreview);
        vecPreviewRatio.push_back(dAddPreview / dDecode);
    }
    PrintStatsRow("GDI+ decode of a 12 MP JPEG (reference)", Summarise(vecDecode), 1000.0, 2, "ms");
    PrintStatsRow("AddFile of the same JPEG (decode + thumbnail)", Summarise(vecAdd), 1000.0, 2, "ms");
    PrintStatsRow("AddFile / GDI+ decode (target <= 0.75)", Summarise(vecRatio), 1.0, 2, "x");
    PrintRatio("add-jpeg", Summarise(vecRatio).dMedian);
    PrintStatsRow("AddFile of it with an Exif preview", Summarise(vecAddPreview), 1000.0, 2, "ms");
    PrintStatsRow("that / GDI+ decode (target <= 0.02)", Summarise(vecPreviewRatio), 1.0, 3, "x");
    PrintRatio("add-jpeg-preview", Summarise(vecPreviewRatio).dMedian);
    ThumbQuality(pStrip.get(), JpegPath(strFolder, 0));
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
    {
        ::DeleteFileW(JpegPath(strFolder, i).c_str());
        ::DeleteFileW(PreviewPath(strFolder, i).c_str());
    }
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
