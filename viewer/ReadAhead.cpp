#include "viewer/ReadAhead.h"

#include "draw/Decode.h"
#include "draw/DibPicture.h"
#include "draw/WicDecode.h"

#include <objbase.h>

#include <algorithm>
#include <new>
#include <system_error>

namespace
{
// COM for the worker's lifetime: the platform's decoders may be COM objects.
class CComApartment
{
public:
    CComApartment() : m_bInitialized(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~CComApartment()
    {
        if (m_bInitialized)
            ::CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    const bool m_bInitialized;
};
} // namespace

CReadAhead::CReadAhead(size_t cbBudget)
    : m_cbBudget(cbBudget), m_bBusy(false), m_bStop(false), m_cbShown(0), m_cbZoomed(0), m_cbInFlight(0),
      m_bCancel(false), m_dwWorkerId(0)
{
}

CReadAhead::~CReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        m_bCancel = true;
    }
    m_cvWork.notify_all();
    if (m_worker.joinable())
    {
        // A read from a share that no longer answers blocks in the system,
        // deaf to the flag: it is cancelled until the worker has ended. (A
        // worker that has not started yet finds the stop before any read.)
        if (const DWORD dwId = m_dwWorkerId)
        {
            if (HANDLE hWorker = ::OpenThread(SYNCHRONIZE | THREAD_TERMINATE, FALSE, dwId))
            {
                while (::WaitForSingleObject(hWorker, 50) == WAIT_TIMEOUT)
                    ::CancelSynchronousIo(hWorker);
                ::CloseHandle(hWorker);
            }
        }
        m_worker.join();
    }
    for (const SHeld& held : m_vecHeld)
        delete held.pPicture;
}

void CReadAhead::SetShown(size_t cbShown)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cbShown = cbShown;
    GiveWay();
}

bool CReadAhead::BeginZoom(size_t cbZoomed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (cbZoomed > m_cbBudget || m_cbShown > m_cbBudget - cbZoomed)
        return false;
    m_cbZoomed = cbZoomed;
    GiveWay();
    return true;
}

void CReadAhead::EndZoom()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cbZoomed = 0;
}

KelDraw::CDibPicture* CReadAhead::Take(const std::wstring& strPath)
{
    KelDraw::CDibPicture* pPicture = nullptr;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_vecPlanned.clear();
        if (m_bBusy && m_strBusy != strPath)
            m_bCancel = true;
        // A decode of this file has a head start on any the caller could
        // begin; one already cancelled will bring nothing.
        m_cvDone.wait(lock, [&] { return !m_bBusy || m_strBusy != strPath || m_bCancel; });
        const auto it = std::find_if(m_vecHeld.begin(), m_vecHeld.end(),
                                     [&](const SHeld& held) { return held.strPath == strPath; });
        if (it == m_vecHeld.end())
            return nullptr;
        pPicture = it->pPicture;
        m_vecHeld.erase(it);
    }
    KelDraw::SFileStamp stamp;
    if (!KelDraw::ReadFileStamp(strPath.c_str(), &stamp) || stamp != pPicture->Stamp())
    {
        // The file has changed, or gone, since it was read.
        delete pPicture;
        return nullptr;
    }
    SetShown(pPicture->Bytes());
    return pPicture;
}

void CReadAhead::Keep(const std::wstring& strPath, KelDraw::CDibPicture* pPicture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cbShown = 0;
    Drop([&](const SHeld& held) { return held.strPath == strPath; });
    const size_t cbPicture = pPicture->Bytes();
    if (cbPicture > m_cbBudget || Counted() > m_cbBudget - cbPicture)
    {
        delete pPicture;
        return;
    }
    try
    {
        m_vecHeld.push_back(SHeld{strPath, pPicture});
    }
    catch (const std::bad_alloc&)
    {
        delete pPicture;
    }
}

void CReadAhead::Plan(const std::vector<std::wstring>& vecPaths)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // A redraw of the same picture plans nothing new; in particular, a file
    // that failed to decode ahead is not tried again and again.
    if (vecPaths == m_vecPlanned)
        return;
    m_vecPlanned = vecPaths;
    auto fnWanted = [&](const std::wstring& strPath) {
        return std::find(vecPaths.begin(), vecPaths.end(), strPath) != vecPaths.end();
    };
    Drop([&](const SHeld& held) { return !fnWanted(held.strPath); });
    if (m_bBusy && !fnWanted(m_strBusy))
        m_bCancel = true;
    m_queue.clear();
    for (const std::wstring& strPath : vecPaths)
    {
        const bool bHeld = std::any_of(m_vecHeld.begin(), m_vecHeld.end(),
                                       [&](const SHeld& held) { return held.strPath == strPath; });
        // A decode of the file that was cancelled brings nothing: it is
        // started again once it has ended.
        if (!bHeld && !(m_bBusy && m_strBusy == strPath && !m_bCancel))
            m_queue.push_back(strPath);
    }
    if (m_queue.empty())
        return;
    if (!m_worker.joinable())
    {
        try
        {
            m_worker = std::thread(&CReadAhead::Run, this);
        }
        catch (const std::system_error&)
        {
            // No thread: every picture is decoded when it is chosen.
            m_queue.clear();
            return;
        }
    }
    lock.unlock();
    m_cvWork.notify_one();
}

bool CReadAhead::Holds(const std::wstring& strPath) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::any_of(m_vecHeld.begin(), m_vecHeld.end(),
                       [&](const SHeld& held) { return held.strPath == strPath; });
}

bool CReadAhead::IsIdle() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return !m_bBusy && m_queue.empty();
}

size_t CReadAhead::CountedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return Counted();
}

void CReadAhead::Run()
{
    m_dwWorkerId = ::GetCurrentThreadId();
    const CComApartment apartment;
    // One imaging factory for every picture this thread reads.
    const KelDraw::CImagingThread imaging;
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;)
    {
        m_cvWork.wait(lock, [this] { return m_bStop || !m_queue.empty(); });
        if (m_bStop)
            return;
        RunOne(lock);
    }
}

void CReadAhead::RunOne(std::unique_lock<std::mutex>& lock)
{
    m_strBusy = std::move(m_queue.front());
    m_queue.pop_front();
    m_bBusy = true;
    m_bCancel = false;
    m_cbInFlight = 0;
    lock.unlock();

    // Only this thread changes m_strBusy, under the lock: reading it here
    // without the lock is safe.
    KelDraw::CDibPicture* pPicture = nullptr;
    CAdmission admission(this);
    try
    {
        pPicture = KelDraw::LoadDibPicture(m_strBusy.c_str(), &m_bCancel, SIZE_MAX, &admission);
    }
    catch (const std::bad_alloc&)
    {
    }

    lock.lock();
    m_bBusy = false;
    // The room admitted for the decode passes to the picture it made.
    m_cbInFlight = 0;
    bool bHeld = false;
    if (pPicture && !m_bCancel && !m_bStop && pPicture->Bytes() <= m_cbBudget &&
        Counted() <= m_cbBudget - pPicture->Bytes())
    {
        try
        {
            m_vecHeld.push_back(SHeld{m_strBusy, pPicture});
            bHeld = true;
        }
        catch (const std::bad_alloc&)
        {
        }
    }
    if (!bHeld)
        delete pPicture;
    m_strBusy.clear();
    m_cvDone.notify_all();
}

bool CReadAhead::CAdmission::Admit(size_t cbPixels)
{
    CReadAhead& owner = *m_pOwner;
    std::lock_guard<std::mutex> lock(owner.m_mutex);
    owner.m_cbInFlight = 0;
    if (owner.m_bCancel || owner.m_bStop || cbPixels > owner.m_cbBudget)
        return false;
    // Room is made among the held pictures this file outranks, the least
    // wanted first.
    const size_t nRank = owner.Rank(owner.m_strBusy);
    while (owner.Counted() > owner.m_cbBudget - cbPixels)
    {
        const auto itLeast = std::max_element(
            owner.m_vecHeld.begin(), owner.m_vecHeld.end(),
            [&owner](const SHeld& a, const SHeld& b) { return owner.Rank(a.strPath) < owner.Rank(b.strPath); });
        if (itLeast == owner.m_vecHeld.end() || owner.Rank(itLeast->strPath) <= nRank)
            return false;
        delete itLeast->pPicture;
        owner.m_vecHeld.erase(itLeast);
    }
    owner.m_cbInFlight = cbPixels;
    return true;
}

bool CShownAdmission::Admit(size_t cbPixels)
{
    if (m_pReadAhead)
        m_pReadAhead->SetShown(m_cbStaying + cbPixels);
    return true;
}

size_t CReadAhead::Counted() const
{
    size_t cbUsed = m_cbShown + m_cbZoomed + m_cbInFlight;
    for (const SHeld& held : m_vecHeld)
        cbUsed += held.pPicture->Bytes();
    return cbUsed;
}

void CReadAhead::GiveWay()
{
    while (Counted() > m_cbBudget && !m_vecHeld.empty())
    {
        const auto itLeast = std::max_element(
            m_vecHeld.begin(), m_vecHeld.end(),
            [this](const SHeld& a, const SHeld& b) { return Rank(a.strPath) < Rank(b.strPath); });
        // The plan no longer stands: the next one reads the picture again.
        if (Rank(itLeast->strPath) < m_vecPlanned.size())
            m_vecPlanned.clear();
        delete itLeast->pPicture;
        m_vecHeld.erase(itLeast);
    }
    // The decode's room is counted until it ends; its pixels never come.
    if (Counted() > m_cbBudget && m_bBusy)
        m_bCancel = true;
}

size_t CReadAhead::Rank(const std::wstring& strPath) const
{
    return static_cast<size_t>(std::find(m_vecPlanned.begin(), m_vecPlanned.end(), strPath) -
                               m_vecPlanned.begin());
}

template <class TPick>
void CReadAhead::Drop(TPick fnPick)
{
    for (auto it = m_vecHeld.begin(); it != m_vecHeld.end();)
    {
        if (fnPick(*it))
        {
            delete it->pPicture;
            it = m_vecHeld.erase(it);
        }
        else
        {
            ++it;
        }
    }
}
