// A long session's costs: private memory and GDI objects after 10,000 cycles
// of adding an entry by a drop and removing it, beside the figures after the
// first 100; and the time to add a 2,000-file drop beside decoding the same
// files bare.
#include "draw/Decode.h"
#include "draw/GdiplusSession.h"
#include "strip/TarvoToolWnd.h"
#include "tests/reliability_session/GdiCount.h"

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
const int kCycles = 10000;
const int kCheckpoints[] = {100, 1000, 5000, 10000};
const int kDropFiles = 2000;
const int kDropRuns = 3;

double Now()
{
    static LARGE_INTEGER s_freq = {};
    if (!s_freq.QuadPart)
        ::QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(s_freq.QuadPart);
}

size_t PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof(counters));
    return counters.PagefileUsage;
}

bool WritePng(const std::wstring& strPath, int cx, int cy, BYTE nShade)
{
    UINT nCount = 0, cbSize = 0;
    Gdiplus::GetImageEncodersSize(&nCount, &cbSize);
    std::vector<BYTE> vecBuffer(cbSize);
    auto* pCodecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(vecBuffer.data());
    Gdiplus::GetImageEncoders(nCount, cbSize, pCodecs);
    for (UINT i = 0; i < nCount; ++i)
        if (std::wcscmp(pCodecs[i].MimeType, L"image/png") == 0)
        {
            Gdiplus::Bitmap picture(cx, cy, PixelFormat24bppRGB);
            {
                Gdiplus::Graphics graphics(&picture);
                graphics.Clear(Gdiplus::Color(255, nShade, 128, 255 - nShade));
            }
            return picture.Save(strPath.c_str(), &pCodecs[i].Clsid, nullptr) == Gdiplus::Ok;
        }
    return false;
}

HDROP MakeDrop(const std::vector<std::wstring>& vecNames)
{
    size_t cchNames = 1;
    for (const std::wstring& strName : vecNames)
        cchNames += strName.size() + 1;
    HGLOBAL hGlobal = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + cchNames * sizeof(wchar_t));
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(hGlobal));
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    auto* pszName = reinterpret_cast<wchar_t*>(pDrop + 1);
    for (const std::wstring& strName : vecNames)
    {
        std::memcpy(pszName, strName.c_str(), (strName.size() + 1) * sizeof(wchar_t));
        pszName += strName.size() + 1;
    }
    ::GlobalUnlock(hGlobal);
    return static_cast<HDROP>(hGlobal);
}

void Drop(CTarvoToolWnd* pStrip, const std::vector<std::wstring>& vecNames)
{
    HDROP hDrop = MakeDrop(vecNames);
    ::SendMessageW(pStrip->m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    ::GlobalFree(hDrop);
}

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

// Lets the strip paint what the cycle changed, as its message loop would.
void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

struct SUsage
{
    int nCycles;
    size_t cbPrivate;
    size_t nGdiInUse; // the GDI room the process has used, from an empty start
    DWORD nGdiReported;
};

double Median(std::vector<double> vec)
{
    std::sort(vec.begin(), vec.end());
    return vec[vec.size() / 2];
}

int Run()
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    const std::wstring strFolder =
        std::wstring(szTemp) + L"pictaro-bench-session-" + std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(strFolder.c_str(), nullptr);
    std::vector<std::wstring> vecFiles;
    for (int i = 0; i < kDropFiles; ++i)
    {
        vecFiles.push_back(strFolder + L"\\p" + std::to_wstring(i) + L".png");
        if (!WritePng(vecFiles.back(), 40 + i % 200, 30 + i % 150, static_cast<BYTE>(i)))
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
        Drop(pStrip.get(), {vecFiles[static_cast<size_t>(n % 16)]});
        Pump();
        pStrip->RemoveElem(static_cast<int>(pStrip->m_vecElems.size()) - 1);
        Pump();
        if (n == *pNext)
        {
            const size_t cbPrivate = PrivateBytes();
            vecUsage.push_back(SUsage{n, cbPrivate, nRoomAtStart - Reliability::GdiRoomLeft(),
                                      Reliability::GdiObjectsReported()});
            ++pNext;
        }
    }
    std::printf("Drop one file, then remove its entry, %d times (GetGuiResources answers 0 under Wine;\n"
                "GDI objects are counted as the room the process used of its handle table)\n\n",
                kCycles);
    std::printf("| %8s | %14s | %12s | %15s |\n", "cycles", "private memory", "GDI objects", "GetGuiResources");
    std::printf("|%s|%s|%s|%s|\n", std::string(10, '-').c_str(), std::string(16, '-').c_str(),
                std::string(14, '-').c_str(), std::string(17, '-').c_str());
    for (const SUsage& usage : vecUsage)
        std::printf("| %8d | %11.2f MB | %12d | %15lu |\n", usage.nCycles, usage.cbPrivate / (1024.0 * 1024.0),
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
        double t0 = Now();
        for (const std::wstring& strFile : vecFiles)
            ::DeleteObject(KelDraw::DecodeFileToDib(strFile.c_str()));
        vecDecode.push_back(Now() - t0);

        pStrip = MakeStrip();
        if (!pStrip)
            return 1;
        t0 = Now();
        Drop(pStrip.get(), vecFiles);
        ::UpdateWindow(pStrip->m_hWnd);
        vecDrop.push_back(Now() - t0);
        nAdded = pStrip->m_vecElems.size();
        pStrip.reset();
    }
    std::sort(vecDrop.begin(), vecDrop.end());
    std::sort(vecDecode.begin(), vecDecode.end());
    std::printf("A drop of %d small PNGs (%d runs; median, and the runs' range)\n\n", kDropFiles, kDropRuns);
    std::printf("| %-40s | %8s | %-17s |\n", "measure", "median", "range");
    std::printf("|%s|%s|%s|\n", std::string(42, '-').c_str(), std::string(10, '-').c_str(),
                std::string(19, '-').c_str());
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "bare decode of the 2,000 files", Median(vecDecode),
                vecDecode.front(), vecDecode.back());
    std::printf("| %-40s | %6.2f s | %6.2f - %6.2f s |\n", "the drop onto the strip, to its repaint", Median(vecDrop),
                vecDrop.front(), vecDrop.back());
    std::printf("| %-40s | %6.2f x | %17s |\n", "drop / bare decode", Median(vecDrop) / Median(vecDecode), "");
    std::printf("\n%d of %d files added\n", static_cast<int>(nAdded), kDropFiles);

    for (const std::wstring& strFile : vecFiles)
        ::DeleteFileW(strFile.c_str());
    ::RemoveDirectoryW(strFolder.c_str());
    return 0;
}
} // namespace

int wmain()
{
    KelDraw::CGdiplusSession gdiplus;
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    const int nResult = Run();
    ::OleUninitialize();
    return nResult;
}
