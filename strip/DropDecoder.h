#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Decodes the files of a drop on worker threads, one per core, and makes each
// file's thumbnail there with GDI objects of the worker's own; the interface
// thread takes the results in drop order. Nothing here touches a window.
class CDropDecoder
{
public:
    // nThreads 0: one per core.
    explicit CDropDecoder(unsigned nThreads = 0);
    // Stops the workers (a decode already running finishes; none starts) and
    // frees every thumbnail not taken.
    ~CDropDecoder();
    CDropDecoder(const CDropDecoder&) = delete;
    CDropDecoder& operator=(const CDropDecoder&) = delete;

    // Queues files behind those already queued and starts the workers on
    // first use. FALSE when no worker could be started: nothing is queued then.
    BOOL Add(const std::vector<std::wstring>& vecPaths);

    enum EResult
    {
        RESULT_PENDING,    // the next file is not done yet
        RESULT_DECODED,    // *phThumb is the thumbnail, the caller's now (null when none could be made)
        RESULT_UNDECODABLE,
        RESULT_NONE,       // every queued file has been taken
    };
    // The next file's result, in queue order.
    EResult TakeNext(std::wstring* pstrPath, HBITMAP* phThumb);

    // Set whenever a file is done: wait on it for results.
    HANDLE ReadyEvent() const { return m_hReady.get(); }

    // Starts nothing more; what is running finishes and is freed by the destructor.
    void Cancel();

    static unsigned CoreCount();
    // Worker threads of every decoder of the process that are still running.
    static int RunningWorkers();

private:
    enum EState
    {
        STATE_QUEUED,
        STATE_DECODED,
        STATE_UNDECODABLE,
    };
    struct SJob
    {
        std::wstring strPath;
        EState nState;
        HBITMAP hThumb;
    };
    struct SHandleCloser
    {
        void operator()(HANDLE h) const { ::CloseHandle(h); }
    };

    void Work();
    // The next queued job for a worker, or null when there is none or the
    // decoder has been cancelled.
    SJob* NextJob();

    const unsigned m_nThreads;
    std::unique_ptr<void, SHandleCloser> m_hReady;
    std::mutex m_mutex;          // guards the jobs and the two indexes
    std::deque<SJob> m_deqJobs;  // a deque: workers hold their job while others are queued
    size_t m_nNextJob = 0;       // the next job a worker starts
    size_t m_nNextTaken = 0;     // the next job the interface thread takes
    std::atomic<bool> m_bCancelled{false};
    std::vector<std::thread> m_vecThreads;
};
