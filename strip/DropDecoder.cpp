#include "strip/DropDecoder.h"

#include "draw/Decode.h"
#include "draw/WicDecode.h"
#include "framework/GdiObject.h"
#include "strip/TarvoToolWnd.h"

#include <new>
#include <system_error>

namespace
{
std::atomic<int> g_nRunningWorkers{0};
}

CDropDecoder::CDropDecoder(unsigned nThreads)
    : m_nThreads(nThreads ? nThreads : CoreCount()), m_hReady(::CreateEventW(nullptr, FALSE, FALSE, nullptr))
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

int CDropDecoder::RunningWorkers()
{
    return g_nRunningWorkers.load();
}

BOOL CDropDecoder::Add(const std::vector<std::wstring>& vecPaths)
{
    if (!m_hReady || m_bCancelled)
        return FALSE;
    const size_t nQueued = m_deqJobs.size();
    {
        // All or nothing, before a worker can take one of them.
        std::lock_guard<std::mutex> lock(m_mutex);
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
    }
    // No more workers than files: a thread costs more than it saves on a
    // drop of one small picture.
    try
    {
        m_vecThreads.reserve(m_nThreads);
        while (m_vecThreads.size() < m_nThreads && m_vecThreads.size() < m_deqJobs.size() - m_nNextTaken)
            m_vecThreads.emplace_back(&CDropDecoder::Work, this);
    }
    catch (const std::bad_alloc&)
    {
    }
    catch (const std::system_error&)
    {
    }
    if (m_vecThreads.empty())
    {
        // Jobs no worker will ever take: the caller adds the files itself.
        m_deqJobs.resize(nQueued);
        return FALSE;
    }
    return TRUE;
}

void CDropDecoder::Cancel()
{
    m_bCancelled = true;
}

CDropDecoder::SJob* CDropDecoder::NextJob()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_bCancelled || m_nNextJob >= m_deqJobs.size())
        return nullptr;
    return &m_deqJobs[m_nNextJob++];
}

void CDropDecoder::Work()
{
    // One imaging factory for every file this worker reads.
    const KelDraw::CImagingThread imaging;
    ++g_nRunningWorkers;
    while (SJob* pJob = NextJob())
    {
        // The job's path is not changed while it is queued or being decoded.
        HBITMAP hThumb = nullptr;
        const bool bDecoded = KelDraw::DecodeFileToThumbnail(pJob->strPath.c_str(), CElem::THUMB_WIDTH,
                                                             CElem::THUMB_HEIGHT, &hThumb) != FALSE;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            pJob->hThumb = hThumb;
            pJob->nState = bDecoded ? STATE_DECODED : STATE_UNDECODABLE;
        }
        ::SetEvent(m_hReady.get());
    }
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
