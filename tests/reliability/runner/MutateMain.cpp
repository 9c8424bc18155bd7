// fuzz_decode: feeds damaged copies of seed pictures to the program's decoders
// in a process of its own, so that a crash ends only this process.
//
//   fuzz_decode run <seed list> <first case> <case count> <temporary folder>
//   fuzz_decode write <seed list> <case> <output file>
//   fuzz_decode files <file>...
//   fuzz_decode crash
//
// A seed list is a UTF-8 file of paths, one a line. Case n takes seed
// n % (number of seeds) and a mutation drawn from a generator seeded with n,
// so a case number names the same input on every run. "run" prints
// "case <n> <seed>" before each case, "step <name>" before each of its steps
// and "ok <n> <outcome>" after it, flushed, then "held <n>" when the file
// could not be deleted afterwards,
// so that the last line before a crash names the input; "files" prints
// "file <path>" and "ok <path> <outcome>" likewise. "crash" crashes, so the
// driver can show that it notices one.

#include "draw/Decode.h"
#include "draw/GdiplusSession.h"
#include "strip/TarvoToolWnd.h"
#include "tests/support/TestIo.h"

#include <gdiplus.h>
#include <ole2.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using TestSupport::ReadFileBytes;
using TestSupport::SplitLines;
using TestSupport::WriteFileBytes;

namespace
{

// A small generator whose sequence is fixed for a given seed.
class CRandom
{
public:
    explicit CRandom(uint32_t nSeed) : m_nState(nSeed * 2654435761u + 0x9E3779B9u) { Next(); }
    uint32_t Next()
    {
        // xorshift32
        m_nState ^= m_nState << 13;
        m_nState ^= m_nState >> 17;
        m_nState ^= m_nState << 5;
        return m_nState;
    }
    uint32_t Below(uint32_t nBound) { return nBound ? Next() % nBound : 0; }

private:
    uint32_t m_nState;
};

std::wstring Widen(const std::string& str)
{
    std::wstring wstr(str.size(), L'\0');
    wstr.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_UTF8, 0, str.data(), static_cast<int>(str.size()), &wstr[0], static_cast<int>(wstr.size()))));
    return wstr;
}

std::string Narrow(const std::wstring& wstr)
{
    std::string str(wstr.size() * 3, '\0');
    str.resize(static_cast<size_t>(::WideCharToMultiByte(CP_UTF8, 0, wstr.data(), static_cast<int>(wstr.size()), &str[0],
                                                         static_cast<int>(str.size()), nullptr, nullptr)));
    return str;
}

std::vector<std::wstring> ReadSeedList(const std::wstring& strList)
{
    std::vector<std::wstring> vecSeeds;
    for (const std::string& strLine : SplitLines(ReadFileBytes(strList)))
        if (!strLine.empty())
            vecSeeds.push_back(Widen(strLine));
    return vecSeeds;
}

// Byte access in the picture formats' own orders.
uint32_t Get32BE(const std::string& s, size_t n)
{
    return (uint32_t(uint8_t(s[n])) << 24) | (uint32_t(uint8_t(s[n + 1])) << 16) | (uint32_t(uint8_t(s[n + 2])) << 8) |
           uint8_t(s[n + 3]);
}
void Put32BE(std::string& s, size_t n, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[n + i] = static_cast<char>(v >> (24 - 8 * i));
}
void Put16BE(std::string& s, size_t n, uint32_t v)
{
    s[n] = static_cast<char>(v >> 8);
    s[n + 1] = static_cast<char>(v);
}
uint32_t Get16(const std::string& s, size_t n, bool bBig)
{
    return bBig ? (uint32_t(uint8_t(s[n])) << 8) | uint8_t(s[n + 1]) : (uint32_t(uint8_t(s[n + 1])) << 8) | uint8_t(s[n]);
}
uint32_t Get32(const std::string& s, size_t n, bool bBig)
{
    return bBig ? Get32BE(s, n) : (Get16(s, n + 2, false) << 16) | Get16(s, n, false);
}
void Put16(std::string& s, size_t n, uint32_t v, bool bBig)
{
    if (bBig)
        Put16BE(s, n, v);
    else
    {
        s[n] = static_cast<char>(v);
        s[n + 1] = static_cast<char>(v >> 8);
    }
}
void Put32(std::string& s, size_t n, uint32_t v, bool bBig)
{
    if (bBig)
        Put32BE(s, n, v);
    else
        for (int i = 0; i < 4; ++i)
            s[n + i] = static_cast<char>(v >> (8 * i));
}

uint32_t Crc32(const char* p, size_t cb)
{
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < cb; ++i)
    {
        c ^= uint8_t(p[i]);
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return c ^ 0xFFFFFFFFu;
}

// A size the format's field can carry: small, at the edges of its range, or
// far beyond what a 32-bit process can hold.
uint32_t ExtremeValue(CRandom& rnd, uint32_t nMax)
{
    static const uint32_t s_nValues[] = {0, 1, 2, 0x7F, 0x80, 0xFF, 0x7FFF, 0x8000, 0xFFFF, 20000, 100000, 0x7FFFFFFF,
                                         0x80000000u, 0xFFFFFFFFu};
    const uint32_t v = rnd.Below(4) == 0 ? rnd.Next() : s_nValues[rnd.Below(sizeof(s_nValues) / sizeof(s_nValues[0]))];
    return nMax == 0xFFFFFFFFu ? v : v & nMax;
}

// PNG: a chunk's length, or a header field with its CRC made right again so
// that the decoder reads the value.
bool MutatePng(std::string& s, CRandom& rnd)
{
    std::vector<size_t> vecChunks;
    for (size_t n = 8; n + 12 <= s.size() && vecChunks.size() < 64;)
    {
        vecChunks.push_back(n);
        const uint32_t cb = Get32BE(s, n);
        if (cb > s.size() - n - 12)
            break;
        n += 12 + cb;
    }
    if (vecChunks.empty())
        return false;
    if (rnd.Below(2) == 0)
    {
        Put32BE(s, vecChunks[rnd.Below(static_cast<uint32_t>(vecChunks.size()))], ExtremeValue(rnd, 0xFFFFFFFFu));
        return true;
    }
    // IHDR: width, height, depth, colour type, compression, filter, interlace.
    if (s.size() < 33 || s.compare(12, 4, "IHDR") != 0)
        return false;
    switch (rnd.Below(4))
    {
    case 0:
        Put32BE(s, 16, ExtremeValue(rnd, 0xFFFFFFFFu));
        break;
    case 1:
        Put32BE(s, 20, ExtremeValue(rnd, 0xFFFFFFFFu));
        break;
    case 2:
        Put32BE(s, 16, ExtremeValue(rnd, 0xFFFFFFFFu));
        Put32BE(s, 20, ExtremeValue(rnd, 0xFFFFFFFFu));
        break;
    default:
        s[24 + rnd.Below(5)] = static_cast<char>(rnd.Below(4) == 0 ? rnd.Below(256) : rnd.Below(17));
        break;
    }
    Put32BE(s, 29, Crc32(&s[12], 17));
    return true;
}

// BMP: the file header's offset, the info header's size, dimensions, depth,
// compression and colour count.
bool MutateBmp(std::string& s, CRandom& rnd)
{
    if (s.size() < 54)
        return false;
    static const size_t s_nFields[] = {2, 10, 14, 18, 22, 28, 30, 34, 46};
    const size_t n = s_nFields[rnd.Below(sizeof(s_nFields) / sizeof(s_nFields[0]))];
    if (n == 28)
        Put16(s, n, rnd.Below(2) ? rnd.Below(65) : ExtremeValue(rnd, 0xFFFF), false);
    else if (n == 30)
        Put32(s, n, rnd.Below(8), false);
    else
        Put32(s, n, ExtremeValue(rnd, 0xFFFFFFFFu), false);
    return true;
}

// GIF: the logical screen, an image descriptor's place and size, the LZW
// code size.
bool MutateGif(std::string& s, CRandom& rnd)
{
    if (s.size() < 13)
        return false;
    std::vector<size_t> vecImages;
    for (size_t n = 13; n + 10 <= s.size(); ++n)
        if (s[n] == ',')
            vecImages.push_back(n);
    if (vecImages.empty() || rnd.Below(3) == 0)
    {
        Put16(s, 6 + 2 * rnd.Below(2), ExtremeValue(rnd, 0xFFFF), false);
        return true;
    }
    const size_t n = vecImages[rnd.Below(static_cast<uint32_t>(vecImages.size()))];
    const uint32_t nField = rnd.Below(6);
    if (nField < 4)
        Put16(s, n + 1 + 2 * nField, ExtremeValue(rnd, 0xFFFF), false);
    else if (nField == 4)
        s[n + 9] = static_cast<char>(rnd.Next());
    else if (n + 10 < s.size())
        s[n + 10] = static_cast<char>(rnd.Below(16)); // LZW minimum code size, when no local table follows
    return true;
}

// JPEG: a frame header's dimensions, precision and components, or any
// segment's length.
bool MutateJpeg(std::string& s, CRandom& rnd)
{
    std::vector<size_t> vecFrames, vecSegments;
    for (size_t n = 2; n + 4 <= s.size();)
    {
        if (uint8_t(s[n]) != 0xFF)
            break;
        const uint8_t nMarker = uint8_t(s[n + 1]);
        vecSegments.push_back(n);
        if (nMarker >= 0xC0 && nMarker <= 0xCF && nMarker != 0xC4 && nMarker != 0xC8 && nMarker != 0xCC)
            vecFrames.push_back(n);
        if (nMarker == 0xDA)
            break;
        n += 2 + Get16(s, n + 2, true);
    }
    if (vecSegments.empty())
        return false;
    if (vecFrames.empty() || rnd.Below(3) == 0)
    {
        Put16BE(s, vecSegments[rnd.Below(static_cast<uint32_t>(vecSegments.size()))] + 2, ExtremeValue(rnd, 0xFFFF));
        return true;
    }
    const size_t n = vecFrames[rnd.Below(static_cast<uint32_t>(vecFrames.size()))];
    if (n + 10 > s.size())
        return false;
    switch (rnd.Below(4))
    {
    case 0:
        Put16BE(s, n + 5, ExtremeValue(rnd, 0xFFFF)); // height
        break;
    case 1:
        Put16BE(s, n + 7, ExtremeValue(rnd, 0xFFFF)); // width
        break;
    case 2:
        s[n + 4] = static_cast<char>(rnd.Below(4) ? rnd.Below(17) : rnd.Next()); // precision
        break;
    default:
        s[n + 9] = static_cast<char>(rnd.Below(6)); // components
        break;
    }
    return true;
}

// TIFF: an entry of the first directory (its type, count or value), or the
// directory's own offset and entry count.
bool MutateTiff(std::string& s, CRandom& rnd)
{
    if (s.size() < 8)
        return false;
    const bool bBig = s[0] == 'M';
    const uint32_t nIfd = Get32(s, 4, bBig);
    if (rnd.Below(6) == 0 || nIfd + 2 > s.size())
    {
        Put32(s, 4, ExtremeValue(rnd, 0xFFFFFFFFu), bBig);
        return true;
    }
    const uint32_t nEntries = Get16(s, nIfd, bBig);
    if (nEntries == 0 || rnd.Below(8) == 0)
    {
        Put16(s, nIfd, ExtremeValue(rnd, 0xFFFF), bBig);
        return true;
    }
    const size_t nEntry = nIfd + 2 + 12 * rnd.Below(nEntries);
    if (nEntry + 12 > s.size())
        return false;
    switch (rnd.Below(3))
    {
    case 0:
        Put16(s, nEntry + 2, rnd.Below(14), bBig); // field type
        break;
    case 1:
        Put32(s, nEntry + 4, ExtremeValue(rnd, 0xFFFFFFFFu), bBig); // count
        break;
    default:
        Put32(s, nEntry + 8, ExtremeValue(rnd, 0xFFFFFFFFu), bBig); // value or offset
        break;
    }
    return true;
}

bool MutateStructure(std::string& s, CRandom& rnd)
{
    if (s.size() >= 8 && s.compare(1, 3, "PNG") == 0)
        return MutatePng(s, rnd);
    if (s.size() >= 2 && s.compare(0, 2, "BM") == 0)
        return MutateBmp(s, rnd);
    if (s.size() >= 6 && s.compare(0, 3, "GIF") == 0)
        return MutateGif(s, rnd);
    if (s.size() >= 4 && uint8_t(s[0]) == 0xFF && uint8_t(s[1]) == 0xD8)
        return MutateJpeg(s, rnd);
    if (s.size() >= 8 && (s.compare(0, 2, "II") == 0 || s.compare(0, 2, "MM") == 0))
        return MutateTiff(s, rnd);
    return false;
}

std::string Mutate(const std::string& strSeed, uint32_t nCase)
{
    CRandom rnd(nCase);
    std::string s = strSeed;
    if (s.empty())
        return s;
    // Two rounds now and then, so damage meets damage.
    const int nRounds = rnd.Below(4) == 0 ? 2 : 1;
    for (int nRound = 0; nRound < nRounds && !s.empty(); ++nRound)
    {
        switch (rnd.Below(7))
        {
        case 0: // bits flipped anywhere
            for (uint32_t n = 1 + rnd.Below(8); n > 0; --n)
                s[rnd.Below(static_cast<uint32_t>(s.size()))] ^= static_cast<char>(1u << rnd.Below(8));
            break;
        case 1: // bytes set to edge values anywhere
            for (uint32_t n = 1 + rnd.Below(4); n > 0; --n)
            {
                static const char s_chValues[] = {'\0', '\x01', '\x7F', '\x80', '\xFF'};
                s[rnd.Below(static_cast<uint32_t>(s.size()))] =
                    rnd.Below(3) ? s_chValues[rnd.Below(5)] : static_cast<char>(rnd.Next());
            }
            break;
        case 2: // cut short
            s.resize(rnd.Below(static_cast<uint32_t>(s.size())));
            break;
        case 3: // a 32-bit field near the start, where sizes live, set to an extreme
            if (s.size() >= 4)
                Put32(s, rnd.Below(static_cast<uint32_t>(std::min<size_t>(s.size() - 3, 64))),
                      ExtremeValue(rnd, 0xFFFFFFFFu), rnd.Below(2) == 0);
            break;
        case 4: // a block removed or repeated
        {
            const uint32_t nAt = rnd.Below(static_cast<uint32_t>(s.size()));
            const uint32_t nLength = 1 + rnd.Below(std::min<uint32_t>(static_cast<uint32_t>(s.size()) - nAt, 64));
            if (rnd.Below(2))
                s.erase(nAt, nLength);
            else
                s.insert(nAt, s.substr(nAt, nLength));
            break;
        }
        default: // the format's own header and chunk fields
            if (!MutateStructure(s, rnd))
                s[rnd.Below(static_cast<uint32_t>(s.size()))] ^= static_cast<char>(1u << rnd.Below(8));
            break;
        }
    }
    return s;
}

// Names the step about to run, so that a crash in it is known by it.
void Step(const char* pszName)
{
    std::printf("step %s\n", pszName);
    std::fflush(stdout);
}

// Whether a DIB from DecodeFileToDib is what its callers expect: bottom-up,
// and the bytes past each row's pixels zero.
bool DibIsSound(HBITMAP hDib)
{
    DIBSECTION ds = {};
    if (::GetObjectW(hDib, sizeof(ds), &ds) != sizeof(ds) || !ds.dsBm.bmBits || ds.dsBmih.biHeight <= 0)
        return false;
    const size_t cbRow = (static_cast<size_t>(ds.dsBm.bmWidth) * ds.dsBm.bmBitsPixel + 7) / 8;
    const size_t cbStride = static_cast<size_t>(ds.dsBm.bmWidthBytes);
    const BYTE* pBits = static_cast<const BYTE*>(ds.dsBm.bmBits);
    for (LONG y = 0; y < ds.dsBm.bmHeight; ++y)
        for (size_t n = cbRow; n < cbStride; ++n)
            if (pBits[y * cbStride + n] != 0)
                return false;
    return true;
}

// Everything the program does with a file a user gives it: the test decode,
// the shown picture drawn, the strip's entry with its thumbnail. The outcome
// reads "bytes N dib WxH|unsound|none picture WxH|failed|null strip added|skipped".
std::string Exercise(CTarvoToolWnd& strip, const std::wstring& strPath)
{
    char szOutcome[160];
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    ::GetFileAttributesExW(strPath.c_str(), GetFileExInfoStandard, &attributes);
    std::snprintf(szOutcome, sizeof(szOutcome), "bytes %lu", attributes.nFileSizeLow);
    std::string strOutcome = szOutcome;

    Step("dib");
    HBITMAP hDib = KelDraw::DecodeFileToDib(strPath.c_str());
    BITMAP bm = {};
    if (!hDib)
        std::snprintf(szOutcome, sizeof(szOutcome), " dib none");
    else if (::GetObjectW(hDib, sizeof(bm), &bm) && DibIsSound(hDib))
        std::snprintf(szOutcome, sizeof(szOutcome), " dib %ldx%ld", bm.bmWidth, bm.bmHeight);
    else
        std::snprintf(szOutcome, sizeof(szOutcome), " dib unsound");
    strOutcome += szOutcome;
    if (hDib)
        ::DeleteObject(hDib);

    Step("picture");
    std::unique_ptr<Gdiplus::Bitmap> pPicture(KelDraw::LoadPictureFromFile(strPath.c_str()));
    if (pPicture && pPicture->GetWidth() && pPicture->GetHeight())
    {
        Step("draw");
        std::snprintf(szOutcome, sizeof(szOutcome), " picture %ux%u", pPicture->GetWidth(), pPicture->GetHeight());
        // Drawn as the viewer draws it, scaled into a small buffer.
        HDC hScreen = ::GetDC(nullptr);
        HDC hDC = ::CreateCompatibleDC(hScreen);
        HBITMAP hBuffer = ::CreateCompatibleBitmap(hScreen, 64, 64);
        HGDIOBJ hOld = ::SelectObject(hDC, hBuffer);
        {
            Gdiplus::Graphics graphics(hDC);
            graphics.DrawImage(pPicture.get(), 0, 0, 64, 64);
        }
        ::SelectObject(hDC, hOld);
        ::DeleteObject(hBuffer);
        ::DeleteDC(hDC);
        ::ReleaseDC(nullptr, hScreen);
    }
    else
    {
        std::snprintf(szOutcome, sizeof(szOutcome), pPicture ? " picture failed" : " picture null");
    }
    strOutcome += szOutcome;
    pPicture.reset();

    Step("strip");
    const int nResult = strip.InsertFile(strPath.c_str(), -1);
    strOutcome += nResult == CTarvoToolWnd::ADD_DONE ? " strip added" : " strip skipped";
    strip.ClearElems();
    return strOutcome;
}

// Ends the process with the exception's code, without the platform's crash
// dialog or debugger, so the parent sees the crash at once.
LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* pInfo)
{
    std::fflush(stdout);
    ::TerminateProcess(::GetCurrentProcess(), pInfo->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

int Usage()
{
    std::fprintf(stderr, "usage: fuzz_decode run <seeds> <first> <count> <folder> | write <seeds> <case> <file> | "
                         "files <file>... | crash\n");
    return 2;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    ::SetUnhandledExceptionFilter(ExitOnCrash);
    if (argc < 2)
        return Usage();
    const std::wstring strMode = argv[1];

    if (strMode == L"crash")
    {
        std::printf("case 0 crash\n");
        std::fflush(stdout);
        volatile int* pNull = nullptr;
        *pNull = 1;
        return 0;
    }
    if (strMode == L"write" && argc == 5)
    {
        const std::vector<std::wstring> vecSeeds = ReadSeedList(argv[2]);
        if (vecSeeds.empty())
            return Usage();
        const uint32_t nCase = static_cast<uint32_t>(std::wcstoul(argv[3], nullptr, 10));
        return WriteFileBytes(argv[4], Mutate(ReadFileBytes(vecSeeds[nCase % vecSeeds.size()]), nCase)) ? 0 : 1;
    }

    KelDraw::CGdiplusSession gdiplus;
    ::OleInitialize(nullptr);
    int nExit = 0;
    {
        CTarvoToolWnd* pStrip = new CTarvoToolWnd(nullptr);
        if (!pStrip->CreateStripWindow())
        {
            std::fprintf(stderr, "no strip window\n");
            nExit = 1;
        }
        else if (strMode == L"run" && argc == 6)
        {
            const std::vector<std::wstring> vecSeeds = ReadSeedList(argv[2]);
            std::vector<std::string> vecSeedBytes;
            for (const std::wstring& strSeed : vecSeeds)
                vecSeedBytes.push_back(ReadFileBytes(strSeed));
            const uint32_t nFirst = static_cast<uint32_t>(std::wcstoul(argv[3], nullptr, 10));
            const uint32_t nCount = static_cast<uint32_t>(std::wcstoul(argv[4], nullptr, 10));
            for (uint32_t nCase = nFirst; nCase < nFirst + nCount && !vecSeeds.empty(); ++nCase)
            {
                // A file of its own for each case, so that a file left open
                // shows against the case that left it.
                const std::wstring strFile = std::wstring(argv[5]) + L"\\case" + std::to_wstring(nCase);
                const size_t nSeed = nCase % vecSeeds.size();
                const std::wstring& strSeed = vecSeeds[nSeed];
                std::printf("case %u %s\n", nCase, Narrow(strSeed.substr(strSeed.find_last_of(L"\\/") + 1)).c_str());
                std::fflush(stdout);
                if (!WriteFileBytes(strFile, Mutate(vecSeedBytes[nSeed], nCase)))
                {
                    std::fprintf(stderr, "cannot write %s: error %lu\n", Narrow(strFile).c_str(), ::GetLastError());
                    nExit = 1;
                    break;
                }
                std::printf("ok %u %s\n", nCase, Exercise(*pStrip, strFile).c_str());
                // A file the platform still holds cannot go.
                if (!::DeleteFileW(strFile.c_str()))
                    std::printf("held %u\n", nCase);
                std::fflush(stdout);
            }
            if (vecSeeds.empty())
                nExit = Usage();
        }
        else if (strMode == L"files")
        {
            for (int i = 2; i < argc; ++i)
            {
                std::printf("file %s\n", Narrow(argv[i]).c_str());
                std::fflush(stdout);
                std::printf("ok %s %s\n", Narrow(argv[i]).c_str(), Exercise(*pStrip, argv[i]).c_str());
                std::fflush(stdout);
            }
        }
        else
        {
            nExit = Usage();
        }
        if (pStrip->m_hWnd)
            ::DestroyWindow(pStrip->m_hWnd);
        delete pStrip;
    }
    ::OleUninitialize();
    return nExit;
}
