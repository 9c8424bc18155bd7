// What decoding and showing a picture file cost, beside GDI+'s own decode of
// the same file (opened from the file, pixels locked once) measured in the
// same run, and beside djpeg (libjpeg-turbo) on the JPEG as the floor.
//
// Prints medians of several interleaved runs with their spread. Makes its
// pictures itself in a folder under /tmp and removes them at the end.
//
// The cold choices are made without a strip, so nothing is ever read ahead
// for them; the step through a strip of photographs comes last, with its
// memory figures.

#include "bench/BenchSupport.h"
#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "strip/TarvoToolWnd.h"
#include "viewer/ReadAhead.h"
#include "viewer/TarvoMainWnd.h"

#include <windows.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

namespace
{
using namespace BenchSupport;

// A photograph-like picture: smooth shapes, fine detail and a little noise.
bool MakePicture(const std::wstring& strPath, int cx, int cy, bool bAlpha, const wchar_t* pszMimeType)
{
    Gdiplus::Bitmap picture(cx, cy, PixelFormat32bppARGB);
    Gdiplus::BitmapData data;
    Gdiplus::Rect rc(0, 0, cx, cy);
    if (picture.LockBits(&rc, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) != Gdiplus::Ok)
        return false;
    uint32_t nSeed = 7;
    for (int y = 0; y < cy; ++y)
    {
        uint32_t* pRow = reinterpret_cast<uint32_t*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
        for (int x = 0; x < cx; ++x)
        {
            nSeed = nSeed * 1664525u + 1013904223u;
            const int nNoise = static_cast<int>(nSeed >> 30) - 2;
            const double u = static_cast<double>(x) / cx, v = static_cast<double>(y) / cy;
            auto channel = [&](double dPhase) {
                const double d = 128 + 70 * std::sin(6 * u + 4 * v + dPhase) + 40 * std::sin(40 * u * v + dPhase) +
                                 12 * std::sin(0.35 * x + dPhase) * std::cos(0.29 * y);
                return static_cast<uint32_t>(std::min(255.0, std::max(0.0, d + nNoise)));
            };
            const uint32_t a = bAlpha ? static_cast<uint32_t>(255 * std::fabs(std::sin(3 * u + 2 * v))) : 255;
            pRow[x] = (a << 24) | (channel(0) << 16) | (channel(2) << 8) | channel(4);
        }
    }
    picture.UnlockBits(&data);
    Gdiplus::EncoderParameters params;
    ULONG nQuality = 90;
    params.Count = 1;
    params.Parameter[0].Guid = Gdiplus::EncoderQuality;
    params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
    params.Parameter[0].NumberOfValues = 1;
    params.Parameter[0].Value = &nQuality;
    return SavePicture(&picture, strPath, pszMimeType, &params);
}

// GDI+ alone: the file decoded, its pixels locked once in their own format.
void BareDecode(const std::wstring& strPath)
{
    Gdiplus::GpBitmap* pBitmap = nullptr;
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(strPath.c_str(), &pBitmap) != Gdiplus::Ok)
        return;
    UINT cx = 0, cy = 0;
    Gdiplus::PixelFormat nFormat = 0;
    Gdiplus::DllExports::GdipGetImageWidth(pBitmap, &cx);
    Gdiplus::DllExports::GdipGetImageHeight(pBitmap, &cy);
    Gdiplus::DllExports::GdipGetImagePixelFormat(pBitmap, &nFormat);
    const Gdiplus::Rect rc(0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
    Gdiplus::BitmapData data;
    if (Gdiplus::DllExports::GdipBitmapLockBits(pBitmap, &rc, Gdiplus::ImageLockModeRead, nFormat, &data) ==
        Gdiplus::Ok)
        Gdiplus::DllExports::GdipBitmapUnlockBits(pBitmap, &data);
    Gdiplus::DllExports::GdipDisposeImage(pBitmap);
}

// The strip's choice of a file, until its layered frame has been pushed: the
// real sequence, the redraw timer included.
double ChooseUntilPushed(CTarvoMainWnd* pViewer, const std::wstring& strPath)
{
    SPushWatch::Reset();
    const double dStart = NowMs();
    pViewer->OnElemSelect(0, L"", strPath.c_str(), TRUE);
    while (SPushWatch::s_dLastPush == 0 && NowMs() - dStart < 60000)
    {
        PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    return SPushWatch::s_dLastPush - dStart;
}

// The same work with the viewer kept hidden and the redraw run at once: the
// decode, the conversion and the layered update, without the timer's delay
// and the window system's update of a window on the screen.
double ChooseWork(CTarvoMainWnd* pViewer, const std::wstring& strPath)
{
    return TimeMs([&] {
        pViewer->OnElemSelect(0, L"", strPath.c_str(), TRUE);
        pViewer->Redraw(FALSE);
    });
}

void PrintRow(const char* pszWhat, const SStats& stats, const SStats& bare, const char* pszTarget);

// Waits, messages dispatched, until the condition holds or a minute passes.
bool PumpUntil(const std::function<bool()>& fnDone)
{
    const double dStart = NowMs();
    while (!fnDone())
    {
        if (NowMs() - dStart > 60000)
            return false;
        PumpMessages();
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    return true;
}

// A key on the viewer as the application's loop hands it over, until the
// frame it leads to has been pushed.
double KeyUntilPushed(CTarvoMainWnd* pViewer, UINT nKey)
{
    SPushWatch::Reset();
    const double dStart = NowMs();
    MSG msg = {pViewer->m_hWnd, WM_KEYDOWN, nKey, 0, 0, {}};
    pViewer->PreTranslateMessage(&msg);
    PumpUntil([] { return SPushWatch::s_dLastPush != 0; });
    return SPushWatch::s_dLastPush - dStart;
}

// Several 12-megapixel photographs in the strip: each step to the next (then
// back to the previous) once the read-ahead has finished, beside GDI+'s own
// decode of the file stepped to.
void StepBench(CTarvoMainWnd* pViewer, const std::wstring& strFolder)
{
    const int nFiles = 5, nRounds = 2;
    const std::wstring strFirst = strFolder + L"\\step0.jpg";
    if (!MakePicture(strFirst, 4000, 3000, false, L"image/jpeg"))
    {
        std::printf("\nStepping: the pictures could not be made\n");
        return;
    }
    std::vector<std::wstring> vecPaths = {strFirst};
    for (int i = 1; i < nFiles; ++i)
    {
        vecPaths.push_back(strFolder + L"\\step" + std::to_wstring(i) + L".jpg");
        ::CopyFileW(strFirst.c_str(), vecPaths.back().c_str(), FALSE);
    }
    pViewer->ShowToolWnd(TRUE);
    CTarvoToolWnd* pStrip = pViewer->m_pToolWnd;
    for (const std::wstring& strPath : vecPaths)
        pStrip->AddFile(strPath.c_str());
    pStrip->SelectElem(0);
    PumpUntil([&] { return pViewer->m_strCurPath == vecPaths[0] && !pViewer->m_bRedrawPending; });

    auto fnReadAheadDone = [&] { return pViewer->m_pReadAhead && pViewer->m_pReadAhead->IsIdle(); };
    std::vector<double> vecBare, vecStep;
    SIZE_T cbPeak = 0;
    int nIndex = 0;
    for (int nRound = 0; nRound < nRounds; ++nRound)
    {
        for (const int nStep : {1, -1})
        {
            for (int i = 1; i < nFiles; ++i)
            {
                PumpUntil(fnReadAheadDone);
                nIndex += nStep;
                const std::wstring& strTarget = vecPaths[static_cast<size_t>(nIndex)];
                const bool bHeld = pViewer->m_pReadAhead->Holds(strTarget);
                const double dStep = KeyUntilPushed(pViewer, nStep > 0 ? VK_RIGHT : VK_LEFT);
                cbPeak = std::max(cbPeak, ProcessMemory().PagefileUsage);
                vecStep.push_back(dStep);
                vecBare.push_back(TimeMs([&] { BareDecode(strTarget); }));
                if (!bHeld || pViewer->m_strCurPath != strTarget)
                    std::printf("  (step to %d: %s)\n", nIndex, bHeld ? "shows another file" : "was not read ahead");
            }
        }
    }
    const SStats bare = Summarise(vecBare);
    std::printf("\nStepping through %d 12-megapixel JPEGs, %d steps\n", nFiles, static_cast<int>(vecStep.size()));
    PrintRow("GDI+ decode, pixels locked (ref.)", bare, SStats(), "");
    PrintRow("key -> frame pushed, read ahead", Summarise(vecStep), bare, "  (target <= 0.60)");
    if (bare.dMedian > 0)
        PrintRatio("step-readahead-jpeg", Summarise(vecStep).dMedian / bare.dMedian);
    std::printf("  peak private bytes while stepping: %.0f MB\n", Mb(cbPeak));
    while (!pStrip->m_vecElems.empty())
        pStrip->RemoveElem(0);
    PumpUntil([&] { return !pViewer->m_bRedrawPending; });
    for (const std::wstring& strPath : vecPaths)
        ::DeleteFileW(strPath.c_str());
}

// Private bytes over a long walk through a strip of 1080p photographs, one
// key after another without waiting for the read-ahead: what the viewer
// holds must not grow with the steps.
void MemoryBench(CTarvoMainWnd* pViewer, const std::wstring& strFolder)
{
    const int nFiles = 8, nSteps = 1000;
    const std::wstring strFirst = strFolder + L"\\walk0.jpg";
    if (!MakePicture(strFirst, 1920, 1080, false, L"image/jpeg"))
        return;
    std::vector<std::wstring> vecPaths = {strFirst};
    for (int i = 1; i < nFiles; ++i)
    {
        vecPaths.push_back(strFolder + L"\\walk" + std::to_wstring(i) + L".jpg");
        ::CopyFileW(strFirst.c_str(), vecPaths.back().c_str(), FALSE);
    }
    CTarvoToolWnd* pStrip = pViewer->m_pToolWnd;
    for (const std::wstring& strPath : vecPaths)
        pStrip->AddFile(strPath.c_str());
    pStrip->SelectElem(0);
    PumpUntil([&] { return pViewer->m_strCurPath == vecPaths[0] && !pViewer->m_bRedrawPending; });

    SIZE_T cbAfterFirst = 0, cbPeak = 0;
    int nIndex = 0, nStep = 1;
    for (int i = 0; i < nSteps; ++i)
    {
        if (nIndex + nStep < 0 || nIndex + nStep >= nFiles)
            nStep = -nStep;
        nIndex += nStep;
        KeyUntilPushed(pViewer, nStep > 0 ? VK_RIGHT : VK_LEFT);
        const SIZE_T cbNow = ProcessMemory().PagefileUsage;
        cbPeak = std::max(cbPeak, cbNow);
        if (i == nFiles * 2)
            cbAfterFirst = cbNow;
    }
    PumpUntil([&] { return pViewer->m_pReadAhead && pViewer->m_pReadAhead->IsIdle(); });
    const SIZE_T cbEnd = ProcessMemory().PagefileUsage;
    std::printf("\nWalking %d steps through %d 1080p JPEGs, keys as fast as frames come\n", nSteps, nFiles);
    std::printf("  private bytes after %d steps: %.0f MB; after %d: %.0f MB (%+.1f MB); peak %.0f MB\n",
                nFiles * 2 + 1, Mb(cbAfterFirst), nSteps, Mb(cbEnd),
                Mb(cbEnd) - Mb(cbAfterFirst), Mb(cbPeak));
    while (!pStrip->m_vecElems.empty())
        pStrip->RemoveElem(0);
    PumpUntil([&] { return !pViewer->m_bRedrawPending; });
    for (const std::wstring& strPath : vecPaths)
        ::DeleteFileW(strPath.c_str());
}

// djpeg on the same file, run by the shell; its times come back in a file.
std::vector<double> TimeDjpeg(const std::string& strUnixJpeg, const std::string& strUnixFolder, int nRuns)
{
    std::vector<double> vecTimes;
    const std::string strResult = strUnixFolder + "/djpeg-times";
    const std::string strScript =
        "import subprocess,time\n"
        "t=[]\n"
        "for i in range(" + std::to_string(nRuns + 1) + "):\n"
        " s=time.perf_counter();subprocess.run(['djpeg','-outfile','/dev/null','" + strUnixJpeg + "'],check=True)\n"
        " t.append((time.perf_counter()-s)*1000)\n"
        "open('" + strResult + ".tmp','w').write(' '.join(map(str,t[1:])))\n"
        "import os;os.rename('" + strResult + ".tmp','" + strResult + "')\n";
    std::string strScriptPath = strUnixFolder + "/djpeg-times.py";
    std::wstring strWineScript(L"Z:" + std::wstring(strScriptPath.begin(), strScriptPath.end()));
    std::replace(strWineScript.begin(), strWineScript.end(), L'/', L'\\');
    HANDLE hFile = ::CreateFileW(strWineScript.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return vecTimes;
    DWORD dwWritten = 0;
    ::WriteFile(hFile, strScript.data(), static_cast<DWORD>(strScript.size()), &dwWritten, nullptr);
    ::CloseHandle(hFile);

    std::wstring strCommand = L"/usr/bin/python3 " + std::wstring(strScriptPath.begin(), strScriptPath.end());
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(L"Z:\\usr\\bin\\python3", &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &si, &pi))
        return vecTimes;
    // A Unix process comes without handles to wait on: wait for its file.
    if (pi.hThread)
        ::CloseHandle(pi.hThread);
    if (pi.hProcess)
        ::CloseHandle(pi.hProcess);
    std::wstring strWineResult(L"Z:" + std::wstring(strResult.begin(), strResult.end()));
    std::replace(strWineResult.begin(), strWineResult.end(), L'/', L'\\');
    const double dStart = NowMs();
    while (::GetFileAttributesW(strWineResult.c_str()) == INVALID_FILE_ATTRIBUTES && NowMs() - dStart < 120000)
        ::Sleep(20);
    hFile = ::CreateFileW(strWineResult.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return vecTimes;
    char szText[4096] = {};
    DWORD dwRead = 0;
    ::ReadFile(hFile, szText, sizeof(szText) - 1, &dwRead, nullptr);
    ::CloseHandle(hFile);
    for (const char* p = szText; *p;)
    {
        char* pEnd = nullptr;
        const double d = std::strtod(p, &pEnd);
        if (pEnd == p)
            break;
        vecTimes.push_back(d);
        p = pEnd;
    }
    ::DeleteFileW(strWineResult.c_str());
    ::DeleteFileW(strWineScript.c_str());
    return vecTimes;
}

struct SPicture
{
    const char* pszLabel;
    const wchar_t* pszName;
    int cx, cy;
    bool bAlpha;
    const wchar_t* pszMimeType;
    int nRuns;
    const char* pszRatioName; // its line in the summary, if any
};

void PrintRow(const char* pszWhat, const SStats& stats, const SStats& bare, const char* pszTarget)
{
    const double dSpread = stats.dMedian > 0 ? 100 * (stats.dMax - stats.dMin) / stats.dMedian : 0;
    std::printf("  %-36s %9.1f ms  %5.0f %%", pszWhat, stats.dMedian, dSpread);
    if (bare.dMedian > 0)
        std::printf("  %6.2f x%s", stats.dMedian / bare.dMedian, pszTarget);
    std::printf("\n");
}
} // namespace

int wmain()
{
    // OLE as well, for the strip of the stepping figures.
    const CUiSession session;
    // Each line as it comes: the run is long.
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    const std::string strUnixFolder = "/tmp/pictaro-bench-" + std::to_string(::GetCurrentProcessId());
    std::wstring strFolder = L"Z:" + std::wstring(strUnixFolder.begin(), strUnixFolder.end());
    std::replace(strFolder.begin(), strFolder.end(), L'/', L'\\');
    ::CreateDirectoryW(strFolder.c_str(), nullptr);

    const wchar_t* const pszJpeg = L"image/jpeg";
    const wchar_t* const pszPng = L"image/png";
    const SPicture pictures[] = {
        {"12-megapixel JPEG (4000 x 3000)", L"photo.jpg", 4000, 3000, false, pszJpeg, 7, "choose-cold-jpeg"},
        {"1920 x 1080 RGBA PNG", L"screen.png", 1920, 1080, true, pszPng, 9, "choose-cold-png"},
        {"256 x 256 RGBA PNG", L"icon.png", 256, 256, true, pszPng, 15, nullptr},
    };

    auto* pViewer = new CTarvoMainWnd;
    if (!pViewer->CreateViewerWindow())
    {
        std::printf("bench_decode: no viewer window (is there a display?)\n");
        return 1;
    }
    SPushWatch::Install(pViewer);
    const HWND hViewer = pViewer->m_hWnd;

    std::printf("Picture decoding, median of interleaved runs under Wine; spread = (max - min) / median;\n"
                "ratios against GDI+'s own decode of the same file in the same run.\n");
    for (const SPicture& picture : pictures)
    {
        const std::wstring strPath = strFolder + L"\\" + picture.pszName;
        if (!MakePicture(strPath, picture.cx, picture.cy, picture.bAlpha, picture.pszMimeType))
        {
            std::printf("\n%s: could not be made\n", picture.pszLabel);
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA attributes = {};
        ::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &attributes);

        std::vector<double> vecBare, vecDib, vecLoad, vecDibPicture, vecWork, vecChoose;
        // One round first to warm the caches, not counted.
        for (int nRun = -1; nRun < picture.nRuns; ++nRun)
        {
            const double dBare = TimeMs([&] { BareDecode(strPath); });
            const double dDib = TimeMs([&] { ::DeleteObject(KelDraw::DecodeFileToDib(strPath.c_str())); });
            const double dLoad = TimeMs([&] { delete KelDraw::LoadPictureFromFile(strPath.c_str()); });
            const double dDibPicture = TimeMs([&] { delete KelDraw::LoadDibPicture(strPath.c_str()); });
            ::ShowWindow(hViewer, SW_HIDE);
            const double dWork = ChooseWork(pViewer, strPath);
            // The real sequence starts from a viewer on screen.
            ::ShowWindow(hViewer, SW_SHOWNORMAL);
            const double dChoose = ChooseUntilPushed(pViewer, strPath);
            if (nRun < 0)
                continue;
            vecBare.push_back(dBare);
            vecDib.push_back(dDib);
            vecLoad.push_back(dLoad);
            vecDibPicture.push_back(dDibPicture);
            vecWork.push_back(dWork);
            vecChoose.push_back(dChoose);
        }
        const SStats bare = Summarise(vecBare);
        std::printf("\n%s, %lu KB, %d runs\n", picture.pszLabel, attributes.nFileSizeLow / 1024, picture.nRuns);
        PrintRow("GDI+ decode, pixels locked (ref.)", bare, SStats(), "");
        PrintRow("DecodeFileToDib", Summarise(vecDib), bare, "  (target <= 1.10)");
        PrintRow("LoadPictureFromFile", Summarise(vecLoad), bare, "");
        PrintRow("LoadDibPicture (premultiplied DIB)", Summarise(vecDibPicture), bare, "");
        PrintRow("choose -> frame pushed, work only", Summarise(vecWork), bare, "  (target <= 2.50)");
        PrintRow("choose -> frame pushed, wall clock", Summarise(vecChoose), bare, "  (target <= 1.60)");
        if (picture.pszRatioName && bare.dMedian > 0)
            PrintRatio(picture.pszRatioName, Summarise(vecChoose).dMedian / bare.dMedian);
        if (picture.pszMimeType == pszJpeg)
        {
            const std::string strUnixJpeg = strUnixFolder + "/" + std::string(picture.pszName, picture.pszName + wcslen(picture.pszName));
            const std::vector<double> vecDjpeg = TimeDjpeg(strUnixJpeg, strUnixFolder, picture.nRuns);
            if (vecDjpeg.empty())
                std::printf("  djpeg: not run\n");
            else
            {
                const SStats djpeg = Summarise(vecDjpeg);
                PrintRow("djpeg to /dev/null (floor, with spawn)", djpeg, bare, "");
                if (picture.pszRatioName && djpeg.dMedian > 0)
                {
                    const double dFloor = Summarise(vecChoose).dMedian / djpeg.dMedian;
                    std::printf("  choose -> frame pushed / djpeg: %.2f x\n", dFloor);
                    PrintRatio((std::string(picture.pszRatioName) + "-floor").c_str(), dFloor);
                }
            }
        }
        ::DeleteFileW(strPath.c_str());
    }
    std::printf("\n\"work only\": the viewer kept hidden and its redraw run at once; \"wall clock\" adds\n"
                "the 10 ms redraw timer and the window system's update of the viewer on the screen.\n");

    StepBench(pViewer, strFolder);
    MemoryBench(pViewer, strFolder);

    ::DestroyWindow(hViewer);
    ::RemoveDirectoryW(strFolder.c_str());
    return 0;
}
