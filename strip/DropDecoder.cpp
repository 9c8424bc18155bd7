#include "strip/DropDecoder.h"

#include "draw/Decode.h"
#include "draw/WicDecode.h"
#include "framework/GdiObject.h"
#include "strip/TarvoToolWnd.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace
{
std::atomic<int> g_nRunningWorkers{0};
}

size_t CDropDecoder::s_cbShortOfMemory = 0;

CDropDecoder::CDropDecoder(unsigned nThreads)
    : m_nThreads(nThreads ? nThreads : DefaultThreads()), m_hReady(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

CDropDecoder::~CDropDecoder()
{
    Cancel();
    for (std::thread& thread : m_vecThreads)
        thread.join();
    for (SJob& job : m_deqJobs)
        if (job.hThumb)
            ::DeleteObject(job.hThumb);
}

unsigned CDropDecoder::CoreCount()
{
    SYSTEM_INFO si = {};
    ::GetSystemInfo(&si);
    return si.dwNumberOfProcessors ? si.dwNumberOfProcessors : 1;
}

unsigned CDropDecoder::DefaultThreads()
{
    return sizeof(void*) == 4 ? std::min(CoreCount(), 2u) : CoreCount();
}

int CDropDecoder::RunningWorkers()
{
    return g_nRunningWorkers.load();
}

unsigned CDropDecoder::Retries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nRetries;
}

BOOL CDropDecoder::Add(const std::vector<std::wstring>& vecPaths)
{
    if (!m_hReady || m_bCancelled)
        return FALSE;
    {
        // Workers that have all ended are joined before new ones start, so
        // that a long drop joined many times keeps few threads.
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_nAlive == 0 && !m_vecThreads.empty())
        {
            lock.unlock();
            for (std::thread& thread : m_vecThreads)
                thread.join();
            m_vecThreads.clear();
        }
    }
    size_t nQueued = 0;
    bool bNoneAlive = false;
    unsigned nStart = 0;
    {
        // All or nothing, before a worker can take one of them.
        std::lock_guard<std::mutex> lock(m_mutex);
        nQueued = m_deqJobs.size();
        try
        {
            for (const std::wstring& strPath : vecPaths)
                m_deqJobs.push_back(SJob{strPath, STATE_QUEUED, nullptr});
        }
        catch (const std::bad_alloc&)
        {
            m_deqJobs.resize(nQueued);
            return FALSE;
        }
        // Workers end once the queue is empty: count those still alive, not
        // those ever started. No more workers than files waiting: a thread
        // costs more than it saves on a drop of one small picture.
        bNoneAlive = m_nAlive == 0;
        const size_t nWaiting = m_deqJobs.size() - m_nNextJob;
        if (m_nAlive < m_nThreads)
            nStart = static_cast<unsigned>(std::min<size_t>(m_nThreads - m_nAlive, nWaiting));
        m_nAlive += nStart;
    }
    unsigned nStarted = 0;
    try
    {
        m_vecThreads.reserve(m_vecThreads.size() + nStart);
        for (; nStarted < nStart; ++nStarted)
            m_vecThreads.emplace_back(&CDropDecoder::Work, this);
    }
    catch (const std::bad_alloc&)
    {
    }
    catch (const std::system_error&)
    {
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_nAlive -= nStart - nStarted;
    if (bNoneAlive && nStarted == 0 && m_deqJobs.size() > nQueued)
    {
        // Jobs no worker will ever take: the caller adds the files itself.
        m_deqJobs.resize(nQueued);
        return FALSE;
    }
    return TRUE;
}

void CDropDecoder::Cancel()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bCancelled = true;
    }
    m_cvPool.notify_all();
}

CDropDecoder::SJob* CDropDecoder::NextJob(std::unique_lock<std::mutex>& lock)
{
    m_cvPool.wait(lock, [this] { return m_bCancelled || m_nRetrying == 0; });
    if (m_bCancelled || m_nNextJob >= m_deqJobs.size())
    {
        // Ending is decided under the lock Add queues under: a file queued
        // from here on finds this worker gone and starts another.
        --m_nAlive;
        return nullptr;
    }
    return &m_deqJobs[m_nNextJob++];
}

bool CDropDecoder::ShortOfMemory()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    if (!::GlobalMemoryStatusEx(&status))
        return false;
    const ULONGLONG cbFloor = s_cbShortOfMemory ? s_cbShortOfMemory : status.ullTotalVirtual / 4;
    return status.ullAvailVirtual < cbFloor;
}

bool CDropDecoder::Decode(const SJob& job, HBITMAP* phThumb, bool* pbNoMemory)
{
    *phThumb = nullptr;
    *pbNoMemory = false;
    // No exception may leave a worker: it would end the process.
    try
    {
        return KelDraw::DecodeFileToThumbnail(job.strPath.c_str(), CElem::THUMB_WIDTH, CElem::THUMB_HEIGHT,
                                              phThumb) != FALSE;
    }
    catch (const std::bad_alloc&)
    {
        *pbNoMemory = true;
    }
    catch (...)
    {
    }
    return false;
}

void CDropDecoder::Work()
{
    // One imaging factory for every file this worker reads.
    const KelDraw::CImagingThread imaging;
    ++g_nRunningWorkers;
    std::unique_lock<std::mutex> lock(m_mutex);
    while (SJob* pJob = NextJob(lock))
    {
        const bool bCrowdedAtStart = m_nDecoding > 0;
        ++m_nDecoding;
        lock.unlock();
        // The job's path is not changed while it is queued or being decoded.
        HBITMAP hThumb = nullptr;
        bool bNoMemory = false;
        bool bDecoded = Decode(*pJob, &hThumb, &bNoMemory);
        lock.lock();
        const bool bCrowded = bCrowdedAtStart || m_nDecoding > 1;
        --m_nDecoding;
        m_cvPool.notify_all();
        if (!bDecoded && bCrowded && !m_bCancelled && (bNoMemory || ShortOfMemory()))
        {
            // Perhaps the others' pictures left no room for this one: it is
            // tried again alone, no new decode starting meanwhile.
            ++m_nRetrying;
            m_cvPool.wait(lock, [this] { return m_nDecoding == 0 || m_bCancelled; });
            if (!m_bCancelled)
            {
                ++m_nDecoding;
                ++m_nRetries;
                lock.unlock();
                bDecoded = Decode(*pJob, &hThumb, &bNoMemory);
                lock.lock();
                --m_nDecoding;
            }
            --m_nRetrying;
            m_cvPool.notify_all();
        }
        pJob->hThumb = hThumb;
        pJob->nState = bDecoded ? STATE_DECODED : STATE_UNDECODABLE;
        ::SetEvent(m_hReady.get());
    }
    lock.unlock();
    --g_nRunningWorkers;
}

CDropDecoder::EResult CDropDecoder::TakeNext(std::wstring* pstrPath, HBITMAP* phThumb)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_nNextTaken >= m_deqJobs.size())
        return RESULT_NONE;
    SJob& job = m_deqJobs[m_nNextTaken];
    if (job.nState == STATE_QUEUED)
        return RESULT_PENDING;
    ++m_nNextTaken;
    pstrPath->swap(job.strPath);
    *phThumb = job.hThumb;
    job.hThumb = nullptr;
    return job.nState == STATE_DECODED ? RESULT_DECODED : RESULT_UNDECODABLE;
}
