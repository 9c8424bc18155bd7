#pragma once

// What the benchmarks share: the clock, run statistics, the tables they
// print, the process set-up, test pictures, drops and memory figures.

#include "draw/GdiplusSession.h"
#include "viewer/TarvoMainWnd.h"

#include <windows.h>

#include <gdiplus.h>
#include <psapi.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class CTarvoToolWnd;

namespace BenchSupport
{

// The high-resolution clock.
double NowSeconds();
double NowMs();
double TimeMs(const std::function<void()>& fnWork);

// A set of timed runs: all zero when there were none.
struct SStats
{
    double dMedian = 0;
    double dMin = 0, dMax = 0;  // the runs' range
    double dLow = 0, dHigh = 0; // the middle half's ends
};
SStats Summarise(std::vector<double> vecTimes);

// A table rule: "|" and a run of dashes per column.
void PrintRule(std::initializer_list<int> columnWidths);
// The four-column table of medians: the title line, the column heads and
// the rule.
void PrintStatsTableHead(const char* pszTitle);
// Its rows: measured runs, a single figure with a note, or text alone.
void PrintStatsRow(const std::string& strWhat, const SStats& stats, double dScale, int nDecimals,
                   const char* pszUnit);
void PrintValueRow(const std::string& strWhat, double dValue, int nDecimals, const std::string& strNote,
                   const char* pszUnit);
void PrintTextRow(const std::string& strWhat, const char* pszValue, const std::string& strNote, const char* pszUnit);

// One line of the summary that `make bench` ends with, so that runs can be
// compared: "RATIO <name>-<arch> <value>", the architecture being this build's.
void PrintRatio(const char* pszName, double dValue);

// The viewer's layered updates, timed as they reach the platform: the time
// of the last one in NowMs, 0 until one comes after Reset.
struct SPushWatch
{
    static void Install(CTarvoMainWnd* pViewer)
    {
        s_pfnReal = pViewer->m_pfnUpdateLayeredWindow;
        pViewer->m_pfnUpdateLayeredWindow = Update;
    }
    static void Reset() { s_dLastPush = 0; }
    static BOOL WINAPI Update(HWND hWnd, HDC hdcDst, POINT* pptDst, SIZE* psize, HDC hdcSrc, POINT* pptSrc,
                              COLORREF crKey, BLENDFUNCTION* pblend, DWORD dwFlags)
    {
        const BOOL bResult = s_pfnReal(hWnd, hdcDst, pptDst, psize, hdcSrc, pptSrc, crKey, pblend, dwFlags);
        s_dLastPush = NowMs();
        return bResult;
    }

    static inline CTarvoMainWnd::PFNUPDATELAYEREDWINDOW s_pfnReal = nullptr;
    static inline double s_dLastPush = 0;
};

// GDI+, OLE and the common controls, as the strip needs them, from
// construction to destruction.
class CUiSession
{
public:
    CUiSession();
    ~CUiSession();
    CUiSession(const CUiSession&) = delete;
    CUiSession& operator=(const CUiSession&) = delete;

private:
    KelDraw::CGdiplusSession m_gdiplus;
};

// Dispatches every message waiting in the thread's queue.
void PumpMessages();

// A name in the temporary folder, unique to this process: the prefix and
// the process id.
std::wstring TempName(const wchar_t* pszPrefix);

// Saves the picture through GDI+'s encoder for the MIME type.
bool SavePicture(Gdiplus::Bitmap* pPicture, const std::wstring& strPath, const wchar_t* pszMimeType,
                 const Gdiplus::EncoderParameters* pParams = nullptr);
// A PNG file of one flat colour.
bool WriteFlatPng(const std::wstring& strPath, int cx, int cy, const Gdiplus::Color& color);
// A photograph-like JPEG: smooth gradients under fine noise, so that it holds
// detail in every block; the seed varies the picture.
bool WritePhotoJpeg(const std::wstring& strPath, int cx, int cy, unsigned nSeed);

// The reference decode the ratios compare against, GDI+ as the viewer once
// decoded: the file opened as a Bitmap and its pixels locked once as 32-bit
// premultiplied ARGB into a DIB section of their size. Null when it fails;
// the caller deletes it.
HBITMAP GdiplusDecode(const std::wstring& strPath);

// Puts into a JPEG file an Exif block carrying a preview of it, cx x cy, as a
// camera writes one.
bool AddExifPreview(const std::wstring& strPath, int cx = 160, int cy = 120);

// A shell drop handle naming the files, as WM_DROPFILES carries it. The window
// it is sent to finishes it; one never sent is freed by the object.
class CDropFiles
{
public:
    explicit CDropFiles(const std::vector<std::wstring>& vecNames);
    ~CDropFiles();
    CDropFiles(const CDropFiles&) = delete;
    CDropFiles& operator=(const CDropFiles&) = delete;

    // Hands the drop to the window and returns once it has been handled.
    void SendTo(HWND hWnd);

private:
    HDROP m_hDrop;
};

// The strip as the viewer places it along the bottom of the work area,
// moved up by nOffset so that several fit, shown and painted.
std::unique_ptr<CTarvoToolWnd> MakeStrip(int nOffset = 0);

// The process's memory counters.
PROCESS_MEMORY_COUNTERS_EX ProcessMemory();
// Bytes in megabytes of 1024 x 1024.
double Mb(SIZE_T cb);

} // namespace BenchSupport
