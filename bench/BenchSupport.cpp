#include "bench/BenchSupport.h"

#include "draw/GdiplusSession.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/TestIo.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace BenchSupport
{

double NowSeconds()
{
    static LARGE_INTEGER s_frequency = {};
    if (!s_frequency.QuadPart)
        ::QueryPerformanceFrequency(&s_frequency);
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(s_frequency.QuadPart);
}

double NowMs()
{
    return 1000.0 * NowSeconds();
}

double TimeMs(const std::function<void()>& fnWork)
{
    const double dStart = NowMs();
    fnWork();
    return NowMs() - dStart;
}

SStats Summarise(std::vector<double> vecTimes)
{
    SStats stats;
    if (vecTimes.empty())
        return stats;
    std::sort(vecTimes.begin(), vecTimes.end());
    const size_t n = vecTimes.size();
    stats.dMedian = vecTimes[n / 2];
    stats.dMin = vecTimes.front();
    stats.dMax = vecTimes.back();
    stats.dLow = vecTimes[n / 4];
    stats.dHigh = vecTimes[(3 * n) / 4];
    return stats;
}

void PrintRule(std::initializer_list<int> columnWidths)
{
    std::string strRule = "|";
    for (int cchWidth : columnWidths)
        strRule += std::string(static_cast<size_t>(cchWidth), '-') + "|";
    std::printf("%s\n", strRule.c_str());
}

void PrintStatsTableHead(const char* pszTitle)
{
    std::printf("%s (medians; the middle half of the runs in the range)\n\n", pszTitle);
    PrintTextRow("measure", "median", "middle half", "unit");
    PrintRule({46, 12, 21, 6});
}

void PrintStatsRow(const std::string& strWhat, const SStats& stats, double dScale, int nDecimals,
                   const char* pszUnit)
{
    std::printf("| %-44s | %10.*f | %8.*f - %-8.*f | %-4s |\n", strWhat.c_str(), nDecimals, stats.dMedian * dScale,
                nDecimals, stats.dLow * dScale, nDecimals, stats.dHigh * dScale, pszUnit);
}

void PrintValueRow(const std::string& strWhat, double dValue, int nDecimals, const std::string& strNote,
                   const char* pszUnit)
{
    std::printf("| %-44s | %10.*f | %-19s | %-4s |\n", strWhat.c_str(), nDecimals, dValue, strNote.c_str(), pszUnit);
}

void PrintRatio(const char* pszName, double dValue)
{
#ifdef _WIN64
    const char* const pszArch = "x64";
#else
    const char* const pszArch = "x86";
#endif
    std::printf("RATIO %s-%s %.2f\n", pszName, pszArch, dValue);
}

void PrintTextRow(const std::string& strWhat, const char* pszValue, const std::string& strNote, const char* pszUnit)
{
    std::printf("| %-44s | %10s | %-19s | %-4s |\n", strWhat.c_str(), pszValue, strNote.c_str(), pszUnit);
}

CUiSession::CUiSession()
{
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
}

CUiSession::~CUiSession()
{
    ::OleUninitialize();
}

void PumpMessages()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
    {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

std::wstring TempName(const wchar_t* pszPrefix)
{
    wchar_t szTemp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, szTemp);
    return std::wstring(szTemp) + pszPrefix + std::to_wstring(::GetCurrentProcessId());
}

bool SavePicture(Gdiplus::Bitmap* pPicture, const std::wstring& strPath, const wchar_t* pszMimeType,
                 const Gdiplus::EncoderParameters* pParams)
{
    CLSID clsid;
    return KelDraw::FindImageEncoder(pszMimeType, &clsid) && pPicture->Save(strPath.c_str(), &clsid, pParams) == Gdiplus::Ok;
}

HBITMAP GdiplusDecode(const std::wstring& strPath)
{
    using namespace Gdiplus;
    GpBitmap* pBitmap = nullptr;
    if (DllExports::GdipCreateBitmapFromFile(strPath.c_str(), &pBitmap) != Ok)
        return nullptr;
    UINT cx = 0, cy = 0;
    DllExports::GdipGetImageWidth(pBitmap, &cx);
    DllExports::GdipGetImageHeight(pBitmap, &cy);
    BITMAPINFO bmi = {};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), static_cast<LONG>(cx), -static_cast<LONG>(cy), 1, 32, BI_RGB, 0, 0, 0,
                     0, 0};
    void* pBits = nullptr;
    HBITMAP hDib = ::CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pBits, nullptr, 0);
    if (hDib)
    {
        const Rect rc(0, 0, static_cast<INT>(cx), static_cast<INT>(cy));
        BitmapData data = {};
        data.Width = cx;
        data.Height = cy;
        data.Stride = static_cast<INT>(cx * 4);
        data.PixelFormat = PixelFormat32bppPARGB;
        data.Scan0 = pBits;
        if (DllExports::GdipBitmapLockBits(pBitmap, &rc, ImageLockModeRead | ImageLockModeUserInputBuf,
                                           PixelFormat32bppPARGB, &data) == Ok)
            DllExports::GdipBitmapUnlockBits(pBitmap, &data);
    }
    DllExports::GdipDisposeImage(pBitmap);
    return hDib;
}

namespace
{
std::string Le16(unsigned n)
{
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8 & 0xFF)};
}

std::string Le32(DWORD n)
{
    return Le16(n & 0xFFFF) + Le16(n >> 16);
}

bool ReadWholeFile(const std::wstring& strPath, std::string* pBytes)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    const DWORD cbFile = ::GetFileSize(hFile, nullptr);
    pBytes->resize(cbFile);
    DWORD cbRead = 0;
    const BOOL bRead = cbFile != INVALID_FILE_SIZE && ::ReadFile(hFile, &(*pBytes)[0], cbFile, &cbRead, nullptr);
    ::CloseHandle(hFile);
    return bRead && cbRead == cbFile;
}

bool WriteWholeFile(const std::wstring& strPath, const std::string& strBytes)
{
    HANDLE hFile = ::CreateFileW(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbWritten = 0;
    const BOOL bWritten =
        ::WriteFile(hFile, strBytes.data(), static_cast<DWORD>(strBytes.size()), &cbWritten, nullptr);
    ::CloseHandle(hFile);
    return bWritten && cbWritten == strBytes.size();
}
} // namespace

bool AddExifPreview(const std::wstring& strPath, int cx, int cy)
{
    std::string strMain;
    if (!ReadWholeFile(strPath, &strMain) || strMain.size() < 4)
        return false;
    // The preview: the picture drawn small, saved as a JPEG in memory.
    std::string strPreview;
    {
        Gdiplus::Bitmap picture(strPath.c_str());
        Gdiplus::Bitmap small(cx, cy, PixelFormat24bppRGB);
        {
            Gdiplus::Graphics graphics(&small);
            graphics.DrawImage(&picture, 0, 0, cx, cy);
        }
        CLSID clsid;
        IStream* pStream = nullptr;
        if (!KelDraw::FindImageEncoder(L"image/jpeg", &clsid) || ::CreateStreamOnHGlobal(nullptr, TRUE, &pStream) != S_OK)
            return false;
        if (small.Save(pStream, &clsid, nullptr) == Gdiplus::Ok)
        {
            STATSTG stat = {};
            pStream->Stat(&stat, STATFLAG_NONAME);
            strPreview.resize(static_cast<size_t>(stat.cbSize.QuadPart));
            const LARGE_INTEGER start = {};
            pStream->Seek(start, STREAM_SEEK_SET, nullptr);
            ULONG cbRead = 0;
            pStream->Read(&strPreview[0], static_cast<ULONG>(strPreview.size()), &cbRead);
        }
        pStream->Release();
    }
    if (strPreview.empty())
        return false;
    // Little-endian TIFF: an empty IFD0, then IFD1 naming the preview's bytes.
    const DWORD nIfd1 = 8 + 2 + 4;
    const DWORD nPreview = nIfd1 + 2 + 2 * 12 + 4;
    std::string strTiff = std::string("II*\0", 4) + Le32(8) + Le16(0) + Le32(nIfd1) + Le16(2);
    strTiff += Le16(0x0201) + Le16(4) + Le32(1) + Le32(nPreview);
    strTiff += Le16(0x0202) + Le16(4) + Le32(1) + Le32(static_cast<DWORD>(strPreview.size()));
    strTiff += Le32(0) + strPreview;
    const size_t cbSegment = 2 + 6 + strTiff.size();
    if (cbSegment > 0xFFFF)
        return false;
    const std::string strApp1 = std::string("\xFF\xE1", 2) + static_cast<char>(cbSegment >> 8) +
                                static_cast<char>(cbSegment & 0xFF) + std::string("Exif\0\0", 6) + strTiff;
    return WriteWholeFile(strPath, strMain.substr(0, 2) + strApp1 + strMain.substr(2));
}

bool WriteFlatPng(const std::wstring& strPath, int cx, int cy, const Gdiplus::Color& color)
{
    Gdiplus::Bitmap picture(cx, cy, PixelFormat24bppRGB);
    {
        Gdiplus::Graphics graphics(&picture);
        graphics.Clear(color);
    }
    return SavePicture(&picture, strPath, L"image/png");
}

bool WritePhotoJpeg(const std::wstring& strPath, int cx, int cy, unsigned nSeed)
{
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
    return SavePicture(&bitmap, strPath, L"image/jpeg");
}

CDropFiles::CDropFiles(const std::vector<std::wstring>& vecNames)
    : m_hDrop(TestSupport::MakeDropFiles(vecNames))
{
}

CDropFiles::~CDropFiles()
{
    if (m_hDrop)
        ::GlobalFree(m_hDrop);
}

void CDropFiles::SendTo(HWND hWnd)
{
    const HDROP hDrop = m_hDrop;
    m_hDrop = nullptr;
    ::SendMessageW(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
}

std::unique_ptr<CTarvoToolWnd> MakeStrip(int nOffset)
{
    std::unique_ptr<CTarvoToolWnd> pStrip(new CTarvoToolWnd(nullptr));
    if (!pStrip->CreateStripWindow())
        return nullptr;
    RECT rcWork;
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0);
    ::SetWindowPos(pStrip->m_hWnd, HWND_TOPMOST, 0, rcWork.bottom - CTarvoToolWnd::STRIP_HEIGHT - nOffset,
                   rcWork.right - rcWork.left, CTarvoToolWnd::STRIP_HEIGHT, SWP_SHOWWINDOW);
    ::UpdateWindow(pStrip->m_hWnd);
    return pStrip;
}

PROCESS_MEMORY_COUNTERS_EX ProcessMemory()
{
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof(pmc));
    return pmc;
}

double Mb(SIZE_T cb)
{
    return static_cast<double>(cb) / (1024.0 * 1024.0);
}

} // namespace BenchSupport
