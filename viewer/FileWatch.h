#pragma once

#include <windows.h>

#include <thread>

// Watches the folder of one file from a thread of its own and posts a
// message to a window each time something in that folder is written,
// resized, created, renamed or deleted. The window decides whether its file
// was the one that changed: the folder is all the system can watch.
class CFileWatch
{
public:
    CFileWatch() = default;
    ~CFileWatch();
    CFileWatch(const CFileWatch&) = delete;
    CFileWatch& operator=(const CFileWatch&) = delete;

    // Watches the folder of pszPath from now on, in place of any earlier
    // watch; FALSE, watching nothing, when that folder cannot be watched.
    BOOL Watch(const wchar_t* pszPath, HWND hNotify, UINT nMessage);
    // Ends the watch; its thread has ended on return.
    void Stop();
    bool IsWatching() const { return m_thread.joinable(); }

private:
    static void Run(HANDLE hChange, HANDLE hStop, HWND hNotify, UINT nMessage);

    HANDLE m_hChange = INVALID_HANDLE_VALUE;
    HANDLE m_hStop = nullptr;
    std::thread m_thread;
};
