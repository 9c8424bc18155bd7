#include "tests/reliability/ChildProcess.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace TestSupport;
using namespace Reliability;

namespace
{
// Cases per child process, and in all. A child that ends early is followed
// by another from the case after the one that ended it.
const unsigned kBatch = 500;
const unsigned kCases = 3000;
// A case that takes longer than this has hung.
const DWORD kCaseBoundMs = 60000;

const wchar_t kCrashers[] = L"tests\\reliability\\crashers";

// Every format the platform reads, from tests/pictures, and PNGs of the
// corpus with the layouts the fixtures lack (interlaced, 16-bit grey, split
// data chunks, odd sizes, ancillary chunks).
std::vector<std::wstring> SeedPictures()
{
    std::vector<std::wstring> vecSeeds;
    WIN32_FIND_DATAW fd;
    const std::wstring strPictures = SourcePath(L"tests\\pictures");
    HANDLE hFind = ::FindFirstFileW((strPictures + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                vecSeeds.push_back(strPictures + L"\\" + fd.cFileName);
        while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    std::sort(vecSeeds.begin(), vecSeeds.end());
    for (const wchar_t* pszName : {L"basi0g01.png", L"basi3p08.png", L"basi4a16.png", L"basn0g16.png",
                                   L"bgai4a16.png", L"s09i3p02.png", L"oi9n2c16.png", L"z09n2c08.png",
                                   L"tbrn2c08.png", L"cs3n3p08.png", L"exif2c08.png", L"ps2n2c16.png"})
        vecSeeds.push_back(SharedPath(std::wstring(L"corpus\\pngsuite\\png\\") + pszName));
    return vecSeeds;
}

std::wstring WriteSeedList(const CTempFolder& folder, const std::vector<std::wstring>& vecSeeds)
{
    std::string strList;
    for (const std::wstring& strSeed : vecSeeds)
    {
        char szLine[MAX_PATH * 3];
        const int cb = ::WideCharToMultiByte(CP_UTF8, 0, strSeed.c_str(), -1, szLine, sizeof(szLine), nullptr, nullptr);
        strList.append(szLine, cb > 0 ? cb - 1 : 0);
        strList += '\n';
    }
    return folder.Write(L"seeds.txt", strList);
}

// One line of the runner's outcome, "ok <case> bytes N dib .. picture .. strip ..".
struct SOutcome
{
    unsigned nBytes = 0;
    std::string strDib, strPicture, strStrip;
};

bool ParseOutcome(const std::string& strLine, SOutcome& outcome)
{
    char szDib[32] = {}, szPicture[32] = {}, szStrip[32] = {};
    unsigned nCase = 0;
    if (std::sscanf(strLine.c_str(), "ok %u bytes %u dib %31s picture %31s strip %31s", &nCase, &outcome.nBytes,
                    szDib, szPicture, szStrip) != 5)
        return false;
    outcome.strDib = szDib;
    outcome.strPicture = szPicture;
    outcome.strStrip = szStrip;
    return true;
}

// The same bytes, the same decoder: the test decode, the shown picture and
// the strip agree, and a DIB is what its callers expect.
void ExpectConsistent(const std::string& strLine, const SOutcome& outcome)
{
    SCOPED_TRACE(strLine);
    EXPECT_NE("unsound", outcome.strDib) << "a DIB must be bottom-up with zero row padding";
    if (outcome.strDib == "none")
    {
        EXPECT_EQ("skipped", outcome.strStrip);
    }
    else
    {
        EXPECT_EQ(outcome.strDib, outcome.strPicture);
        EXPECT_EQ("added", outcome.strStrip);
    }
    // A readable file gives a picture object, failed or not, unless it was
    // refused before decoding.
    if (outcome.nBytes == 0)
    {
        EXPECT_EQ("null", outcome.strPicture);
    }
    if (outcome.strPicture == "null")
    {
        EXPECT_EQ("none", outcome.strDib);
    }
}

std::wstring SeedExtension(const std::wstring& strSeed)
{
    const size_t nDot = strSeed.find_last_of(L'.');
    return nDot == std::wstring::npos ? L"" : strSeed.substr(nDot);
}
std::wstring SeedStem(const std::wstring& strSeed)
{
    const size_t nSlash = strSeed.find_last_of(L"\\/") + 1;
    const size_t nDot = strSeed.find_last_of(L'.');
    return strSeed.substr(nSlash, nDot == std::wstring::npos || nDot < nSlash ? std::wstring::npos : nDot - nSlash);
}
} // namespace

TEST(MutationRunTest, AChildThatCrashesIsSeenWithTheCaseItWasOn)
{
    const SChildResult result = RunFuzzDecode({L"crash"}, 60000);
    EXPECT_FALSE(result.bTimedOut);
    EXPECT_EQ(static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION), result.dwExitCode);
    EXPECT_TRUE(EndedByCrash(result));
    ASSERT_FALSE(result.vecLines.empty());
    EXPECT_EQ("case 0 crash", result.vecLines.back());
}

TEST(MutationRunTest, DamagedPicturesOfEveryFormatNeverEndTheProcess)
{
    // Bit flips, bytes set to edge values, files cut short, blocks removed or
    // repeated, and the formats' own size and chunk fields set to extremes,
    // through DecodeFileToDib, LoadPictureFromFile with drawing, and the
    // strip's entry with its thumbnail. A case that ends the child is written
    // out, replayed alone, and kept under tests/reliability/crashers.
    CTempFolder folder;
    const std::vector<std::wstring> vecSeeds = SeedPictures();
    const std::wstring strSeedList = WriteSeedList(folder, vecSeeds);

    unsigned nDone = 0, nDibs = 0, nRefused = 0, nHeld = 0;
    for (unsigned nFirst = 0; nFirst < kCases;)
    {
        const unsigned nCount = std::min(kBatch, kCases - nFirst);
        const SChildResult result = RunFuzzDecode(
            {L"run", strSeedList, std::to_wstring(nFirst), std::to_wstring(nCount), folder.m_strPath}, kCaseBoundMs);
        ASSERT_TRUE(result.bTimedOut || (result.dwExitCode != 1 && result.dwExitCode != 2))
            << "the runner could not work: " << (result.vecLines.empty() ? "" : result.vecLines.back());

        unsigned nLastStarted = nFirst, nLastDone = nFirst;
        bool bStarted = false, bOpen = false;
        for (const std::string& strLine : result.vecLines)
        {
            unsigned nCase = 0;
            if (std::sscanf(strLine.c_str(), "held %u", &nCase) == 1)
            {
                ++nHeld;
                continue;
            }
            if (std::sscanf(strLine.c_str(), "case %u", &nCase) == 1)
            {
                nLastStarted = nCase;
                bStarted = bOpen = true;
                continue;
            }
            SOutcome outcome;
            if (!ParseOutcome(strLine, outcome))
                continue;
            bOpen = false;
            nLastDone = nLastStarted;
            ++nDone;
            SCOPED_TRACE("case " + std::to_string(nLastStarted));
            ExpectConsistent(strLine, outcome);
            ++(outcome.strDib == "none" ? nRefused : nDibs);
        }

        if (result.dwExitCode == 0 && !result.bTimedOut)
        {
            ASSERT_FALSE(bOpen);
            nFirst += nCount;
            continue;
        }
        ASSERT_TRUE(bStarted) << "the runner ended with code " << result.dwExitCode << " before its first case";
        const unsigned nCase = bOpen ? nLastStarted : nLastDone + 1;
        const std::wstring& strSeed = vecSeeds[nCase % vecSeeds.size()];
        const std::wstring strSaved = SourcePath(std::wstring(kCrashers) + L"\\" + SeedStem(strSeed) + L"-case" +
                                                 std::to_wstring(nCase) + SeedExtension(strSeed));
        ::CreateDirectoryW(SourcePath(kCrashers).c_str(), nullptr);
        ASSERT_EQ(0u, RunFuzzDecode({L"write", strSeedList, std::to_wstring(nCase), strSaved}, 60000).dwExitCode);
        const SChildResult replay = RunFuzzDecode({L"files", strSaved}, 60000);
        ADD_FAILURE() << "case " << nCase << " (a damaged copy of " << ::testing::PrintToString(SeedStem(strSeed))
                      << ") " << (result.bTimedOut ? "hung" : "crashed, code " + std::to_string(result.dwExitCode))
                      << "; alone it " << (replay.dwExitCode == 0 && !replay.bTimedOut ? "passes" : "fails again")
                      << "; kept as " << ::testing::PrintToString(strSaved);
        nFirst = nCase + 1;
    }
    std::printf("%u cases: %u decoded, %u refused, %u files left open\n", nDone, nDibs, nRefused, nHeld);
    // The decoders read from a copy in memory: a file is never theirs to keep.
    EXPECT_EQ(0u, nHeld);
    EXPECT_GT(nDibs, kCases / 20) << "some damage is survivable";
    EXPECT_GT(nRefused, kCases / 20) << "some is not";
}

TEST(MutationRunTest, EveryInputThatEverCrashedIsNowHandledLikeAnyOther)
{
    std::vector<std::wstring> vecArgs = {L"files"};
    WIN32_FIND_DATAW fd;
    HANDLE hFind = ::FindFirstFileW(SourcePath(std::wstring(kCrashers) + L"\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE)
    {
        do
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                vecArgs.push_back(SourcePath(std::wstring(kCrashers) + L"\\" + fd.cFileName));
        while (::FindNextFileW(hFind, &fd));
        ::FindClose(hFind);
    }
    if (vecArgs.size() == 1)
        GTEST_SKIP() << "no input has crashed yet";

    const SChildResult result = RunFuzzDecode(vecArgs, 120000);
    EXPECT_EQ(0u, result.dwExitCode) << (result.bTimedOut ? "hung" : "crashed") << " after: "
                                     << (result.vecLines.empty() ? "" : result.vecLines.back());
    size_t nOutcomes = 0;
    for (const std::string& strLine : result.vecLines)
    {
        // "ok <path> bytes ..": the path holds no spaces.
        const size_t nSpace = strLine.find(' ', 3);
        SOutcome outcome;
        if (strLine.compare(0, 3, "ok ") != 0 || nSpace == std::string::npos ||
            !ParseOutcome("ok 0" + strLine.substr(nSpace), outcome))
            continue;
        ++nOutcomes;
        ExpectConsistent(strLine, outcome);
    }
    EXPECT_EQ(vecArgs.size() - 1, nOutcomes);
}
