#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

// Watches the folder of one file from a thread of its own and tells a window
// when something in that folder is written, resized, created, renamed or
// deleted. The window decides whether its file was the one that changed: the
// folder is all the system can watch. At most one change message is queued
// at a time: the window calls ChangeHandled as it takes one, and the changes
// until then are told by that one.
class CFileWatch
{
public:
    // The message's wParam.
    enum
    {
        CHANGED = 0,
        ENDED = 1, // the thread ended on an error: the folder went, or the network
    };

    CFileWatch() = default;
    ~CFileWatch();
    CFileWatch(const CFileWatch&) = delete;
    CFileWatch& operator=(const CFileWatch&) = delete;

    // Watches the folder of pszPath from now on, in place of any earlier
    // watch; a running watch of the same folder is kept as it is. FALSE,
    // watching nothing, when that folder cannot be watched.
    BOOL Watch(const wchar_t* pszPath, HWND hNotify, UINT nMessage);
    // Ends the watch; its thread has ended on return.
    void Stop();
    // False once stopped, and once the thread has ended on an error (it has
    // posted ENDED then; Stop still releases the folder).
    bool IsWatching() const { return m_thread.joinable() && !m_bEnded; }
    // The window has taken the change message: the next change posts again.
    void ChangeHandled() { m_bPosted = false; }
    // The window's WM_DEVICECHANGE: a volume about to go ends a watch of a
    // folder on it, whose open handle would keep it from going. TRUE grants
    // the request.
    BOOL OnDeviceChange(WPARAM nEvent, LPARAM lParam);

    // For tests: the watching thread and the open folder, while watching.
    DWORD ThreadId() const { return m_dwThreadId; }
    HANDLE FolderHandle() const { return m_hFolder; }

private:
    enum
    {
        FOLDER_CHECK_MS = 1000,
    };

    void Run();
    bool FolderIsThere() const;
    void Tell();

    std::wstring m_strFolder;
    HWND m_hNotify = nullptr;
    UINT m_nMessage = 0;
    HANDLE m_hFolder = INVALID_HANDLE_VALUE;
    HANDLE m_hRead = nullptr; // the overlapped read's event
    HANDLE m_hStop = nullptr;
    HDEVNOTIFY m_hDevNotify = nullptr;
    std::atomic<bool> m_bPosted{false};
    std::atomic<bool> m_bEnded{false};
    std::atomic<DWORD> m_dwThreadId{0};
    std::thread m_thread;
};
