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

    // Whether a change (or the end) was posted within the bound; takes every
    // message posted so far, as the viewer does.
    bool TakeChanges(CFileWatch& watch, DWORD dwWithinMs, WPARAM nWhat = CFileWatch::CHANGED)
    {
        const DWORD dwStart = ::GetTickCount();
        bool bSeen = false;
        MSG msg;
        do
        {
            while (::PeekMessageW(&msg, m_hWnd, kChanged, kChanged, PM_REMOVE))
            {
                watch.ChangeHandled();
                bSeen = bSeen || msg.wParam == nWhat;
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

TEST(FileStampTest, SizeWriteTimeChangeTimeOrTheFileItselfTellContentsApart)
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

    // The same size with the old time put back, written in place or saved
    // through another file renamed over it.
    auto fnPutTimeBack = [&strPath](const FILETIME& ftWrite) {
        HANDLE hTimes = ::CreateFileW(strPath.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        const bool bSet = hTimes != INVALID_HANDLE_VALUE && ::SetFileTime(hTimes, nullptr, nullptr, &ftWrite);
        ::CloseHandle(hTimes);
        return bSet;
    };
    const std::wstring strSaved = folder.Path(L"saved.tmp");
    struct SRewrite
    {
        const char* pszWhat;
        std::function<bool()> fnWrite;
    } const rewrites[] = {
        {"in place", [&] { return WriteFileBytes(strPath, "7654321"); }},
        {"by rename",
         [&] {
             return WriteFileBytes(strSaved, "1234567") &&
                    ::MoveFileExW(strSaved.c_str(), strPath.c_str(), MOVEFILE_REPLACE_EXISTING);
         }},
    };
    for (const SRewrite& rewrite : rewrites)
    {
        SCOPED_TRACE(rewrite.pszWhat);
        const KelDraw::SFileStamp before = fnStamp();
        ASSERT_TRUE(rewrite.fnWrite());
        const FILETIME ftBefore = {static_cast<DWORD>(before.nLastWrite), static_cast<DWORD>(before.nLastWrite >> 32)};
        ASSERT_TRUE(fnPutTimeBack(ftBefore));
        const KelDraw::SFileStamp after = fnStamp();
        EXPECT_EQ(before.cbSize, after.cbSize);
        EXPECT_EQ(before.nLastWrite, after.nLastWrite);
        EXPECT_TRUE(before != after);
    }

    KelDraw::SFileStamp stamp;
    for (const std::wstring& strMissing : {folder.Path(L"none.png"), folder.m_strPath})
        EXPECT_FALSE(KelDraw::ReadFileStamp(strMissing.c_str(), &stamp));
}

TEST_F(FileWatchTest, ABurstOfChangesQueuesOneMessageUntilItIsHandled)
{
    CTempFolder folder;
    const std::wstring strShown = folder.Write(L"shown.png", "shown");
    CFileWatch watch;
    ASSERT_TRUE(watch.Watch(strShown.c_str(), m_hWnd, kChanged));
    for (int i = 0; i < 3000; ++i)
        ASSERT_TRUE(WriteFileBytes(folder.Path(L"f" + std::to_wstring(i) + L".txt"), "x"));
    // Whatever the burst still sets off comes meanwhile; nothing is handled.
    EXPECT_EQ(std::vector<WPARAM>{CFileWatch::CHANGED}, QueuedWithin(1500));

    watch.ChangeHandled();
    ASSERT_TRUE(WriteFileBytes(strShown, "shown again"));
    EXPECT_TRUE(TakeChanges(watch, 5000)) << "handled, the next change is told";
    EXPECT_TRUE(watch.IsWatching());
}

TEST_F(FileWatchTest, AWatchIsKeptForItsFolderAndSaysSoWhenTheFolderGoes)
{
    CTempFolder folder;
    const std::wstring strInner = folder.Path(L"inner");
    ASSERT_TRUE(::CreateDirectoryW(strInner.c_str(), nullptr));
    const std::wstring strA = folder.Write(L"inner\\a.png", "a");
    const std::wstring strB = folder.Write(L"inner\\b.png", "b");
    CFileWatch watch;
    ASSERT_TRUE(watch.Watch(strA.c_str(), m_hWnd, kChanged));
    for (int i = 0; i < 500 && watch.ThreadId() == 0; ++i)
        ::Sleep(10);
    const DWORD dwThread = watch.ThreadId();
    const HANDLE hFolder = watch.FolderHandle();
    // Another file of the same folder, named in other letter case.
    std::wstring strOtherCase = strB;
    for (wchar_t& ch : strOtherCase)
        ch = static_cast<wchar_t>(::towupper(ch));
    ASSERT_TRUE(watch.Watch(strOtherCase.c_str(), m_hWnd, kChanged));
    EXPECT_EQ(dwThread, watch.ThreadId());
    EXPECT_EQ(hFolder, watch.FolderHandle());

    // Moved away (into the recycle bin, say). (A folder deleted while
    // watched is only marked for deletion until the watch lets go of it;
    // Wine tells nothing of that mark.)
    ASSERT_TRUE(::MoveFileW(strInner.c_str(), folder.Path(L"moved").c_str()));
    EXPECT_TRUE(TakeChanges(watch, 10000, CFileWatch::ENDED)) << "the end is told";
    EXPECT_FALSE(watch.IsWatching());
    watch.Stop();
    EXPECT_EQ(INVALID_HANDLE_VALUE, watch.FolderHandle());
}
