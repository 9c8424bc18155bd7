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

CReadAhead::CReadAhead() : m_bBusy(false), m_bStop(false), m_cbShown(0), m_bCancel(false), m_dwWorkerId(0) {}

CReadAhead::~CReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
        m_bCancel = true;
    }
    m_cvWork.notify_all();
    if (m_worker.joinable())
        m_worker.join();
    for (const SHeld& held : m_vecHeld)
        delete held.pPicture;
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
        // A decode of this file has a head start on any the caller could begin.
        m_cvDone.wait(lock, [&] { return !m_bBusy || m_strBusy != strPath; });
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
    return pPicture;
}

void CReadAhead::Keep(const std::wstring& strPath, KelDraw::CDibPicture* pPicture)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Drop([&](const SHeld& held) { return held.strPath == strPath; });
    try
    {
        m_vecHeld.push_back(SHeld{strPath, pPicture});
    }
    catch (const std::bad_alloc&)
    {
        delete pPicture;
    }
}

void CReadAhead::Plan(const std::vector<std::wstring>& vecPaths, size_t cbShown)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cbShown = cbShown;
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
        if (!bHeld && !(m_bBusy && m_strBusy == strPath))
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
    const size_t cbRoom = Room();
    lock.unlock();

    // Only this thread changes m_strBusy, under the lock: reading it here
    // without the lock is safe.
    KelDraw::CDibPicture* pPicture = nullptr;
    if (cbRoom > 0)
    {
        try
        {
            pPicture = KelDraw::LoadDibPicture(m_strBusy.c_str(), &m_bCancel, cbRoom);
        }
        catch (const std::bad_alloc&)
        {
        }
    }

    lock.lock();
    m_bBusy = false;
    bool bHeld = false;
    if (pPicture && !m_bCancel && !m_bStop && pPicture->Bytes() <= Room())
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

size_t CReadAhead::Room() const
{
    size_t cbUsed = m_cbShown;
    for (const SHeld& held : m_vecHeld)
        cbUsed += held.pPicture->Bytes();
    return cbUsed < s_cbBudget ? s_cbBudget - cbUsed : 0;
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
