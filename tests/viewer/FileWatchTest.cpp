#include "viewer/FileWatch.h"

#include "draw/DibPicture.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace TestSupport;

namespace
{
const UINT kChanged = WM_APP + 7;

// A window that only receives; the test takes its messages off the queue.
class FileWatchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_hWnd = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWnd);
    }
    void TearDown() override { ::DestroyWindow(m_hWnd); }

    // Whether a change was posted within the bound; takes every one posted
    // so far, as the viewer does.
    bool TakeChanges(CFileWatch& watch, DWORD dwWithinMs)
    {
        const DWORD dwStart = ::GetTickCount();
        bool bSeen = false;
        MSG msg;
        do
        {
            while (::PeekMessageW(&msg, m_hWnd, kChanged, kChanged, PM_REMOVE))
            {
                watch.ChangeHandled();
                bSeen = bSeen || msg.wParam == CFileWatch::CHANGED;
            }
            if (!bSeen)
                ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        } while (!bSeen && ::GetTickCount() - dwStart < dwWithinMs);
        return bSeen;
    }
    // The messages the watch has queued within the bound, none of them handled.
    std::vector<WPARAM> QueuedWithin(DWORD dwMs)
    {
        std::vector<WPARAM> vecQueued;
        const DWORD dwStart = ::GetTickCount();
        MSG msg;
        do
        {
            while (::PeekMessageW(&msg, m_hWnd, kChanged, kChanged, PM_REMOVE))
                vecQueued.push_back(msg.wParam);
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_POSTMESSAGE);
        } while (::GetTickCount() - dwStart < dwMs);
        return vecQueued;
    }

    HWND m_hWnd = nullptr;
};
} // namespace

TEST_F(FileWatchTest, EveryChangeInTheFoldersOfTheWatchedFileIsTold)
{
    CTempFolder folder;
    const std::wstring strShown = folder.Write(L"shown.png", "first");
    CFileWatch watch;
    ASSERT_TRUE(watch.Watch(strShown.c_str(), m_hWnd, kChanged));
    EXPECT_TRUE(watch.IsWatching());
    EXPECT_FALSE(TakeChanges(watch, 300)) << "nothing changed yet";

    struct SStep
    {
        const char* pszWhat;
        std::function<bool()> fnChange;
    };
    const std::wstring strOther = folder.Path(L"other.png");
    const std::wstring strMoved = folder.Path(L"moved.png");
    const SStep steps[] = {
        {"rewritten", [&] { return WriteFileBytes(strShown, "second, longer"); }},
        {"another file made", [&] { return WriteFileBytes(strOther, "x"); }},
        {"renamed away", [&] { return ::MoveFileW(strShown.c_str(), strMoved.c_str()) != FALSE; }},
        {"renamed back", [&] { return ::MoveFileW(strMoved.c_str(), strShown.c_str()) != FALSE; }},
        {"deleted", [&] { return ::DeleteFileW(strShown.c_str()) != FALSE; }},
    };
    for (const SStep& step : steps)
    {
        SCOPED_TRACE(step.pszWhat);
        ASSERT_TRUE(step.fnChange());
        EXPECT_TRUE(TakeChanges(watch, 5000));
        // Whatever else the change set off has come meanwhile.
        ::Sleep(200);
        TakeChanges(watch, 0);
    }
}

TEST_F(FileWatchTest, AWatchEndsWhenStoppedOrMovedElsewhere)
{
    CTempFolder first, second;
    const std::wstring strFirst = first.Write(L"a.png", "a");
    const std::wstring strSecond = second.Write(L"b.png", "b");
    CFileWatch watch;
    ASSERT_TRUE(watch.Watch(strFirst.c_str(), m_hWnd, kChanged));
    ASSERT_TRUE(watch.Watch(strSecond.c_str(), m_hWnd, kChanged));
    ASSERT_TRUE(WriteFileBytes(strFirst, "a again"));
    EXPECT_FALSE(TakeChanges(watch, 500)) << "the first folder is no longer watched";
    ASSERT_TRUE(WriteFileBytes(strSecond, "b again"));
    EXPECT_TRUE(TakeChanges(watch, 5000));

    watch.Stop();
    EXPECT_FALSE(watch.IsWatching());
    ::Sleep(200);
    TakeChanges(watch, 0);
    ASSERT_TRUE(WriteFileBytes(strSecond, "b once more"));
    EXPECT_FALSE(TakeChanges(watch, 500));

    EXPECT_FALSE(watch.Watch((first.m_strPath + L"\\no such folder\\c.png").c_str(), m_hWnd, kChanged));
    EXPECT_FALSE(watch.IsWatching());
}

TEST(FileStampTest, SizeOrWriteTimeTellsContentsApart)
{
    CTempFolder folder;
    const std::wstring strPath = folder.Write(L"p.png", "12345");
    auto fnStamp = [&strPath] {
        KelDraw::SFileStamp stamp;
        EXPECT_TRUE(KelDraw::ReadFileStamp(strPath.c_str(), &stamp));
        return stamp;
    };
    const KelDraw::SFileStamp first = fnStamp();
    EXPECT_EQ(5u, first.cbSize);
    EXPECT_TRUE(first == fnStamp());

    ASSERT_TRUE(WriteFileBytes(strPath, "1234567"));
    EXPECT_TRUE(first != fnStamp());

    // The same size, written later.
    const KelDraw::SFileStamp second = fnStamp();
    FILETIME ftLater = {};
    ::GetSystemTimeAsFileTime(&ftLater);
    ULARGE_INTEGER later = {{ftLater.dwLowDateTime, ftLater.dwHighDateTime}};
    later.QuadPart += 10000000ull * 60;
    ftLater = {later.LowPart, later.HighPart};
    HANDLE hFile = ::CreateFileW(strPath.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFile);
    ::SetFileTime(hFile, nullptr, nullptr, &ftLater);
    ::CloseHandle(hFile);
    EXPECT_EQ(second.cbSize, fnStamp().cbSize);
    EXPECT_TRUE(second != fnStamp());

    KelDraw::SFileStamp stamp;
    for (const std::wstring& strMissing : {folder.Path(L"none.png"), folder.m_strPath})
        EXPECT_FALSE(KelDraw::ReadFileStamp(strMissing.c_str(), &stamp));
}
