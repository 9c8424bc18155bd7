#pragma once

#include "draw/Decode.h"

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
// that stepping to them needs no decode on the interface thread, and keeps
// the count of the viewer's picture memory against one budget: the picture
// shown, its zoomed copy, the pictures held here (the one left and the
// neighbours) and the decode under way, counted at 4 bytes a pixel.
//
// What the user asked for comes first: the shown picture and its zoomed copy
// are counted as they come, and whatever is held ahead of need gives way to
// them (held pictures go, the decode under way is cancelled). Everything else
// is taken only where it fits. A shown picture larger than the whole budget
// is shown all the same, with nothing held beside it.
//
// Each held picture is keyed by its path and by its file's stamp when it was
// read: it is handed out only while its file still has that stamp. Used from
// the interface thread only; the worker touches no window and hands its
// pictures over under the lock.
class CReadAhead
{
public:
    // The budget unless told otherwise: half as much in a 32-bit process.
    static const size_t s_cbBudget = sizeof(void*) == 8 ? size_t(512) << 20 : size_t(256) << 20;

    explicit CReadAhead(size_t cbBudget = s_cbBudget);
    // Cancels the decode under way, a read blocked in the system included,
    // and waits for the worker to end.
    ~CReadAhead();
    CReadAhead(const CReadAhead&) = delete;
    CReadAhead& operator=(const CReadAhead&) = delete;

    size_t Budget() const { return m_cbBudget; }

    // The viewer now shows a picture of cbShown bytes (0: none of a file).
    void SetShown(size_t cbShown);
    // Room for a zoomed copy of cbZoomed bytes beside the shown picture, made
    // as for the shown one; false, changing nothing, when the two together
    // would pass the budget. EndZoom gives the room back.
    bool BeginZoom(size_t cbZoomed);
    void EndZoom();

    // The picture read for the file as it is now, which becomes the caller's
    // and is counted as shown; or null. A decode of that file under way is
    // waited for, any other cancelled: the caller is about to show something
    // else.
    KelDraw::CDibPicture* Take(const std::wstring& strPath);
    // Holds the picture the viewer stops showing, in case it is wanted again,
    // where it fits; it is no longer counted as shown. Takes it on every path.
    void Keep(const std::wstring& strPath, KelDraw::CDibPicture* pPicture);
    // The files wanted ahead, first first. Whatever else is held goes, and a
    // decode of another file is cancelled. The worker is started on the first
    // need.
    void Plan(const std::vector<std::wstring>& vecPaths);

    // For tests and benchmarks: whether a picture of the file is held,
    // whether the worker has nothing left to do, and what is counted now.
    bool Holds(const std::wstring& strPath) const;
    bool IsIdle() const;
    size_t CountedBytes() const;
    // The worker's thread id, 0 before it has started.
    DWORD WorkerThreadId() const { return m_dwWorkerId; }

private:
    struct SHeld
    {
        std::wstring strPath;
        KelDraw::CDibPicture* pPicture; // owned
    };

    // The worker's answer to the decoder once a picture's size is known.
    class CAdmission : public KelDraw::IPixelAdmission
    {
    public:
        explicit CAdmission(CReadAhead* pOwner) : m_pOwner(pOwner) {}
        bool Admit(size_t cbPixels) override;

    private:
        CReadAhead* const m_pOwner;
    };

    void Run();
    void RunOne(std::unique_lock<std::mutex>& lock);
    // Everything counted; under the lock.
    size_t Counted() const;
    // Gives up held pictures, the least wanted first, then the decode under
    // way, until everything fits; under the lock.
    void GiveWay();
    // Where the path stands in the plan; past its end when not planned.
    size_t Rank(const std::wstring& strPath) const;
    // Deletes the held pictures that fnPick picks; under the lock.
    template <class TPick>
    void Drop(TPick fnPick);

    const size_t m_cbBudget;
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
    size_t m_cbZoomed;
    size_t m_cbInFlight; // admitted for the decode under way
    std::atomic<bool> m_bCancel; // fails the decode under way
    std::atomic<DWORD> m_dwWorkerId;
    std::thread m_worker;
};

// The viewer's own decode: counted as shown as soon as its size is known,
// beside cbStaying bytes still shown meanwhile, and never refused.
class CShownAdmission : public KelDraw::IPixelAdmission
{
public:
    CShownAdmission(CReadAhead* pReadAhead, size_t cbStaying) : m_pReadAhead(pReadAhead), m_cbStaying(cbStaying) {}
    bool Admit(size_t cbPixels) override;

private:
    CReadAhead* const m_pReadAhead;
    const size_t m_cbStaying;
};
