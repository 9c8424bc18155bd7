#include "viewer/FileWatch.h"

#include <dbt.h>

#include <system_error>

CFileWatch::~CFileWatch()
{
    Stop();
}

BOOL CFileWatch::Watch(const wchar_t* pszPath, HWND hNotify, UINT nMessage)
{
    const std::wstring strPath = pszPath ? pszPath : L"";
    const size_t nSeparator = strPath.find_last_of(L"\\/");
    // The folder with its separator, so that "C:\" stays the root.
    const std::wstring strFolder = nSeparator == std::wstring::npos ? L"." : strPath.substr(0, nSeparator + 1);
    if (IsWatching() && hNotify == m_hNotify && nMessage == m_nMessage &&
        ::CompareStringOrdinal(strFolder.c_str(), -1, m_strFolder.c_str(), -1, TRUE) == CSTR_EQUAL)
        return TRUE;
    Stop();
    m_hFolder = ::CreateFileW(strFolder.c_str(), FILE_LIST_DIRECTORY,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    m_hRead = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_hStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hFolder == INVALID_HANDLE_VALUE || !m_hRead || !m_hStop)
    {
        Stop();
        return FALSE;
    }
    m_strFolder = strFolder;
    m_hNotify = hNotify;
    m_nMessage = nMessage;
    m_bEnded = false;
    // Told when the folder's volume is about to be removed; a volume that
    // does not tell (a network share) is watched all the same.
    DEV_BROADCAST_HANDLE filter = {};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = m_hFolder;
    m_hDevNotify = ::RegisterDeviceNotificationW(hNotify, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    try
    {
        m_thread = std::thread(&CFileWatch::Run, this);
    }
    catch (const std::system_error&)
    {
        Stop();
        return FALSE;
    }
    return TRUE;
}

void CFileWatch::Stop()
{
    if (m_thread.joinable())
    {
        ::SetEvent(m_hStop);
        // A look at a folder on a share that no longer answers blocks in the
        // system: it is cancelled until the thread has ended.
        if (HANDLE hThread = m_dwThreadId ? ::OpenThread(SYNCHRONIZE | THREAD_TERMINATE, FALSE, m_dwThreadId) : nullptr)
        {
            while (::WaitForSingleObject(hThread, 50) == WAIT_TIMEOUT)
                ::CancelSynchronousIo(hThread);
            ::CloseHandle(hThread);
        }
        m_thread.join();
    }
    m_dwThreadId = 0;
    if (m_hDevNotify)
        ::UnregisterDeviceNotification(m_hDevNotify);
    m_hDevNotify = nullptr;
    if (m_hFolder != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFolder);
    m_hFolder = INVALID_HANDLE_VALUE;
    for (HANDLE* phEvent : {&m_hRead, &m_hStop})
    {
        if (*phEvent)
            ::CloseHandle(*phEvent);
        *phEvent = nullptr;
    }
    m_strFolder.clear();
}

BOOL CFileWatch::OnDeviceChange(WPARAM nEvent, LPARAM lParam)
{
    const auto* pHeader = reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam);
    if ((nEvent == DBT_DEVICEQUERYREMOVE || nEvent == DBT_DEVICEREMOVEPENDING ||
         nEvent == DBT_DEVICEREMOVECOMPLETE) &&
        pHeader && pHeader->dbch_devicetype == DBT_DEVTYP_HANDLE && m_hFolder != INVALID_HANDLE_VALUE)
    {
        const auto* pHandle = reinterpret_cast<const DEV_BROADCAST_HANDLE*>(pHeader);
        if (pHandle->dbch_handle == m_hFolder || (m_hDevNotify && pHandle->dbch_hdevnotify == m_hDevNotify))
            Stop();
    }
    return TRUE;
}

void CFileWatch::Run()
{
    // The thread touches no window: a posted message is all it hands over.
    m_dwThreadId = ::GetCurrentThreadId();
    // What the system reports is not read, only that something changed.
    alignas(DWORD) BYTE buffer[4096];
    const HANDLE handles[] = {m_hStop, m_hRead};
    for (;;)
    {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_hRead;
        ::ResetEvent(m_hRead);
        if (!::ReadDirectoryChangesW(m_hFolder, buffer, sizeof(buffer), FALSE,
                                     FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                         FILE_NOTIFY_CHANGE_LAST_WRITE,
                                     nullptr, &overlapped, nullptr))
            break;
        // A folder deleted, or out of reach, does not always end the read
        // (under Wine it never does): it is looked at now and then.
        DWORD dwWait;
        while ((dwWait = ::WaitForMultipleObjects(2, handles, FALSE, FOLDER_CHECK_MS)) == WAIT_TIMEOUT &&
               FolderIsThere())
        {
        }
        DWORD cbRead = 0;
        if (dwWait != WAIT_OBJECT_0 + 1)
        {
            // The read may not outlive its buffer.
            ::CancelIoEx(m_hFolder, &overlapped);
            ::GetOverlappedResult(m_hFolder, &overlapped, &cbRead, TRUE);
            if (dwWait == WAIT_OBJECT_0)
                return;
            break;
        }
        // A full buffer (no bytes, or ERROR_NOTIFY_ENUM_DIR) is a change too.
        if ((!::GetOverlappedResult(m_hFolder, &overlapped, &cbRead, FALSE) &&
             ::GetLastError() != ERROR_NOTIFY_ENUM_DIR) ||
            !FolderIsThere())
            break;
        Tell();
    }
    m_bEnded = true;
    ::PostMessageW(m_hNotify, m_nMessage, ENDED, 0);
}

bool CFileWatch::FolderIsThere() const
{
    // Deleted while this watch holds it open, the folder lingers until it is
    // closed, only marked for deletion; moved away, its name finds nothing.
    FILE_STANDARD_INFO info;
    if (::GetFileInformationByHandleEx(m_hFolder, FileStandardInfo, &info, sizeof(info)) && info.DeletePending)
        return false;
    const DWORD dwAttributes = ::GetFileAttributesW(m_strFolder.c_str());
    return dwAttributes != INVALID_FILE_ATTRIBUTES && (dwAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

void CFileWatch::Tell()
{
    if (!m_bPosted.exchange(true) && !::PostMessageW(m_hNotify, m_nMessage, CHANGED, 0))
        m_bPosted = false;
}
