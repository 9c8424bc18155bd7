#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Decodes the files of a drop on worker threads and makes each file's
// thumbnail there with GDI objects of the worker's own; the interface thread
// takes the results in drop order. Nothing here touches a window.
//
// The decoder owns its workers: they end by themselves when the queue is
// empty, Add starts them again for files queued later, and the destructor
// stops and joins them. Whoever owns the decoder frees it before the
// process's GDI+ session ends.
class CDropDecoder
{
public:
    // nThreads 0: one per core, at most DefaultThreads().
    explicit CDropDecoder(unsigned nThreads = 0);
    // Stops the workers (a decode already running finishes; none starts) and
    // frees every thumbnail not taken.
    ~CDropDecoder();
    CDropDecoder(const CDropDecoder&) = delete;
    CDropDecoder& operator=(const CDropDecoder&) = delete;

    // Queues files behind those already queued and starts as many workers as
    // they need, whether or not earlier workers have ended. FALSE when no
    // worker is running and none could be started: nothing is queued then.
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
    // Workers for a drop by default: one per core, but no more than two in a
    // 32-bit process, where a worker on a large photo holds some 200 MB at its
    // peak and the address space is 2 GB, the viewer's pictures included.
    static unsigned DefaultThreads();
    // Worker threads of every decoder of the process that are still running.
    static int RunningWorkers();

    // A decode that fails while other decodes are running, and the process's
    // free address space is below this, may have failed for lack of memory:
    // the file is decoded once more when the others have drained. Tests may
    // raise it to take that path; 0 means a quarter of the address space.
    static size_t s_cbShortOfMemory;
    // For tests: files this decoder decoded a second time that way.
    unsigned Retries() const;

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
    // decoder has been cancelled; a worker that gets null has ended. Waits
    // while a retry needs the pool drained. Under the lock.
    SJob* NextJob(std::unique_lock<std::mutex>& lock);
    // Decodes the job's file into its thumbnail; false when it failed, with
    // *pbNoMemory set when it ran out of memory for certain.
    static bool Decode(const SJob& job, HBITMAP* phThumb, bool* pbNoMemory);
    static bool ShortOfMemory();

    const unsigned m_nThreads;
    std::unique_ptr<void, SHandleCloser> m_hReady;
    mutable std::mutex m_mutex;  // guards everything below but the cancel flag and the threads
    std::condition_variable m_cvPool; // a decode ended, a retry is done, or the decoder was cancelled
    std::deque<SJob> m_deqJobs;  // a deque: workers hold their job while others are queued
    size_t m_nNextJob = 0;       // the next job a worker starts
    size_t m_nNextTaken = 0;     // the next job the interface thread takes
    unsigned m_nAlive = 0;       // workers started and not yet ended
    unsigned m_nDecoding = 0;    // decodes under way
    unsigned m_nRetrying = 0;    // workers waiting to retry, or retrying, alone
    unsigned m_nRetries = 0;
    std::atomic<bool> m_bCancelled{false};
    std::vector<std::thread> m_vecThreads; // the interface thread's only
};
