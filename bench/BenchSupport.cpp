#include "bench/BenchSupport.h"

#include "strip/TarvoToolWnd.h"
#include "tests/support/TestIo.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

namespace BenchSupport
{
namespace
{
// The class id of GDI+'s encoder for the MIME type.
bool EncoderClsid(const wchar_t* pszMimeType, CLSID* pClsid)
{
    UINT nCount = 0, cbSize = 0;
    Gdiplus::GetImageEncodersSize(&nCount, &cbSize);
    std::vector<BYTE> vecBuffer(cbSize);
    auto* pCodecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(vecBuffer.data());
    Gdiplus::GetImageEncoders(nCount, cbSize, pCodecs);
    for (UINT i = 0; i < nCount; ++i)
        if (std::wcscmp(pCodecs[i].MimeType, pszMimeType) == 0)
        {
            *pClsid = pCodecs[i].Clsid;
            return true;
        }
    return false;
}
} // namespace

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
    return EncoderClsid(pszMimeType, &clsid) && pPicture->Save(strPath.c_str(), &clsid, pParams) == Gdiplus::Ok;
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
