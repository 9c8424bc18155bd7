#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace KelDraw
{
class CDibPicture;
}

// Decodes the files beside the shown one on a worker thread of its own, so
// that stepping to them needs no decode on the interface thread. Holds a few
// pictures within a memory bound, each keyed by its path and by the size and
// last-write time its file had when it was read: a picture is handed out only
// while its file still has them. Used from the interface thread only; the
// worker touches no window and hands its pictures over under the lock.
class CReadAhead
{
public:
    // What the held pictures, the one shown included, may take together:
    // counted at 4 bytes a pixel, half as much in a 32-bit process.
    static const size_t s_cbBudget = sizeof(void*) == 8 ? size_t(512) << 20 : size_t(256) << 20;

    CReadAhead();
    // Cancels the decode under way and waits for the worker to end.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    // The picture read for the file as it is now, which becomes the caller's;
    // or null. A decode of that file under way is waited for, any other
    // cancelled: the caller is about to show something else.
    KelDraw::CDibPicture* Take(const std::wstring& strPath);
    // Holds a picture the viewer stops showing, in case it is wanted again.
    // Takes it on every path.
    void Keep(const std::wstring& strPath, KelDraw::CDibPicture* pPicture);
    // The files wanted ahead, first first, beside a shown picture of cbShown
    // bytes. Whatever else is held goes, and a decode of another file is
    // cancelled. The worker is started on the first need.
    void Plan(const std::vector<std::wstring>& vecPaths, size_t cbShown);

    // For tests and benchmarks: whether a picture of the file is held, and
    // whether the worker has nothing left to do.
    bool Holds(const std::wstring& strPath) const;
    bool IsIdle() const;
    // The worker's thread id, 0 before it has started.
    DWORD WorkerThreadId() const { return m_dwWorkerId; }

private:
    struct SHeld
    {
        std::wstring strPath;
        KelDraw::CDibPicture* pPicture; // owned
    };

    void Run();
    void RunOne(std::unique_lock<std::mutex>& lock);
    // Room left in the budget; under the lock.
    size_t Room() const;
    // Deletes the held pictures that fnPick picks; under the lock.
    template <class TPick>
    void Drop(TPick fnPick);

    mutable std::mutex m_mutex;
    std::condition_variable m_cvWork; // a job or the stop
    std::condition_variable m_cvDone; // a job finished
    std::vector<SHeld> m_vecHeld;
    std::deque<std::wstring> m_queue;
    std::vector<std::wstring> m_vecPlanned; // the last plan, while it stands
    std::wstring m_strBusy;                 // the file being decoded, if any
    bool m_bBusy;
    bool m_bStop;
    size_t m_cbShown;
    std::atomic<bool> m_bCancel; // fails the decode under way
    std::atomic<DWORD> m_dwWorkerId;
    std::thread m_worker;
};
