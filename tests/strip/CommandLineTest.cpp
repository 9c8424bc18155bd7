#include "tests/strip/StripTestSupport.h"

#include "tests/support/RealInput.h"
#include "viewer/TarvoMainWnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace StripTest;
using namespace TestSupport;

namespace
{
// Restores the process's current folder when it goes.
class CCurrentFolder
{
public:
    explicit CCurrentFolder(const std::wstring& strFolder)
    {
        wchar_t szOld[MAX_PATH] = {};
        ::GetCurrentDirectoryW(MAX_PATH, szOld);
        m_strOld = szOld;
        ::SetCurrentDirectoryW(strFolder.c_str());
    }
    ~CCurrentFolder() { ::SetCurrentDirectoryW(m_strOld.c_str()); }
    CCurrentFolder(const CCurrentFolder&) = delete;
    CCurrentFolder& operator=(const CCurrentFolder&) = delete;

private:
    std::wstring m_strOld;
};

std::wstring Quoted(const std::wstring& str)
{
    return L"\"" + str + L"\"";
}
} // namespace

// The files of a command line come in as a drop of them would: entries for
// what decodes, in their order, the last of them shown; no message.
TEST(CommandLineTest, FilesOfTheCommandLineComeInAsADropOfThemWould)
{
    CTempFolder folder;
    struct SPicture
    {
        const wchar_t* pszName;
        int cx, cy;
    } const pictures[] = {
        {L"red.png", 40, 30}, {L"green.png", 50, 20}, {L"blue.png", 30, 60},
        {L"with space.png", 44, 33}, {L"照片 一.png", 36, 28}, {L"sub\\inner.png", 20, 70},
    };
    ASSERT_TRUE(::CreateDirectoryW(folder.Path(L"sub").c_str(), nullptr));
    for (const SPicture& p : pictures)
        ASSERT_TRUE(WriteSolidPicture(folder.Path(p.pszName), p.cx, p.cy, RGB(200, 40, 40)));
    const std::wstring strText = folder.Write(L"notes.png", "not a picture\n");

    // A folder deep enough that the picture's full path passes MAX_PATH.
    std::wstring strDeep = folder.m_strPath;
    for (int i = 0; i < 5; ++i)
    {
        strDeep += L"\\" + std::wstring(60, static_cast<wchar_t>(L'a' + i));
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + strDeep).c_str(), nullptr));
    }
    const std::wstring strLong = strDeep + L"\\long.png";
    ASSERT_GT(strLong.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_TRUE(::CopyFileW(folder.Path(L"green.png").c_str(), (L"\\\\?\\" + strLong).c_str(), FALSE));

    const std::wstring strRed = folder.Path(L"red.png");
    const std::wstring strGreen = folder.Path(L"green.png");
    const std::wstring strBlue = folder.Path(L"blue.png");
    const std::wstring strSpace = folder.Path(L"with space.png");
    const std::wstring strCjk = folder.Path(L"照片 一.png");
    const std::wstring strInner = folder.Path(L"sub\\inner.png");
    const std::wstring strMissing = folder.Path(L"missing.png");

    struct SCase
    {
        const char* pszName;
        std::wstring strCommandLine;
        std::vector<std::wstring> vecEntries; // the last one is shown
        SIZE sizeShown;
    };
    const SCase cases[] = {
        {"one file", L"Pictaro.exe " + strRed, {strRed}, {40, 30}},
        {"several files in their order", L"Pictaro.exe " + strBlue + L" " + strRed + L" " + strGreen,
         {strBlue, strRed, strGreen}, {50, 20}},
        {"the program's quoted name", L"\"C:\\Program Files\\Pictaro\\Pictaro.exe\" " + strRed, {strRed}, {40, 30}},
        {"quoted names with spaces and CJK", L"Pictaro.exe " + Quoted(strSpace) + L" " + Quoted(strCjk),
         {strSpace, strCjk}, {36, 28}},
        {"relative names", L"Pictaro.exe red.png \"sub\\inner.png\" .\\sub\\..\\blue.png",
         {strRed, strInner, strBlue}, {30, 60}},
        {"a folder is skipped", L"Pictaro.exe " + Quoted(folder.Path(L"sub")) + L" " + strRed, {strRed}, {40, 30}},
        {"a missing file is skipped", L"Pictaro.exe " + strGreen + L" " + strMissing, {strGreen}, {50, 20}},
        {"a file that is no picture is skipped", L"Pictaro.exe " + strRed + L" " + strText, {strRed}, {40, 30}},
        {"a long path given with its prefix", L"Pictaro.exe " + Quoted(L"\\\\?\\" + strLong),
         {L"\\\\?\\" + strLong}, {50, 20}},
        {"a long path given without it", L"Pictaro.exe " + Quoted(strLong), {L"\\\\?\\" + strLong}, {50, 20}},
        {"only a folder and a missing file", L"Pictaro.exe " + folder.Path(L"sub") + L" " + strMissing, {}, {}},
    };
    const CCurrentFolder current(folder.m_strPath);
    CMessageBoxWatcher watcher;
    auto* pViewer = new CTarvoMainWnd;
    ASSERT_TRUE(pViewer->CreateViewerWindow());
    const HWND hViewer = pViewer->m_hWnd;
    // A drop is done when its message has been handled.
    RealInput::CMessageSpy spy(hViewer, {WM_DROPFILES});
    for (const SCase& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        // Each command line meets an empty strip, as at start-up.
        CTarvoToolWnd* pStrip = pViewer->m_pToolWnd;
        while (pStrip && !pStrip->m_vecElems.empty())
            pStrip->RemoveElem(0);
        ASSERT_TRUE(PumpUntil([&] { return !pViewer->m_bRedrawPending; }, 10000, pViewer));
        ASSERT_TRUE(pViewer->m_strCurPath.empty());

        const size_t nDrops = spy.Count(WM_DROPFILES);
        EXPECT_TRUE(pViewer->OpenFiles(CTarvoMainWnd::FilesFromCommandLine(c.strCommandLine.c_str())));
        ASSERT_TRUE(PumpUntil([&] { return spy.Count(WM_DROPFILES) > nDrops && !pViewer->m_bRedrawPending; },
                              20000, pViewer));
        pStrip = pViewer->m_pToolWnd;
        ASSERT_TRUE(pStrip && pStrip->m_hWnd);
        // Made hidden by the first, as by a first drop; the user shows it with Tab.
        EXPECT_FALSE(::IsWindowVisible(pStrip->m_hWnd));

        std::vector<std::wstring> vecEntries;
        for (const CElem* pElem : pStrip->m_vecElems)
            vecEntries.push_back(pElem->m_strPath);
        EXPECT_EQ(c.vecEntries, vecEntries);
        const CElem* pSelected = pStrip->m_pSelected;
        EXPECT_EQ(static_cast<int>(c.vecEntries.size()) - 1, pSelected ? pSelected->m_nIndex : -1);
        EXPECT_EQ(c.vecEntries.empty() ? std::wstring() : c.vecEntries.back(), pViewer->m_strCurPath);
        if (!c.vecEntries.empty())
        {
            const RECT rc = WindowRect(hViewer);
            EXPECT_EQ(c.sizeShown.cx, rc.right - rc.left);
            EXPECT_EQ(c.sizeShown.cy, rc.bottom - rc.top);
        }
    }
    EXPECT_TRUE(watcher.m_vecBoxes.empty()) << "no message, as for a drop";
    ::DestroyWindow(hViewer);
}

TEST(CommandLineTest, NoFilesStartAsWithout)
{
    for (const wchar_t* pszCommandLine : {L"Pictaro.exe", L"\"C:\\Program Files\\Pictaro\\Pictaro.exe\"  ", L""})
    {
        SCOPED_TRACE(testing::PrintToString(std::wstring(pszCommandLine)));
        EXPECT_TRUE(CTarvoMainWnd::FilesFromCommandLine(pszCommandLine).empty());
    }
    auto* pViewer = new CTarvoMainWnd;
    ASSERT_TRUE(pViewer->CreateViewerWindow());
    const HWND hViewer = pViewer->m_hWnd;
    EXPECT_FALSE(pViewer->OpenFiles({}));
    PumpUntil([&] { return !pViewer->m_bRedrawPending; }, 5000, pViewer);
    EXPECT_EQ(nullptr, pViewer->m_pToolWnd) << "no strip until one is asked for";
    EXPECT_TRUE(pViewer->m_strCurPath.empty());
    ::DestroyWindow(hViewer);
}
