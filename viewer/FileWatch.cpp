#include "viewer/FileWatch.h"

#include <string>
#include <system_error>

CFileWatch::~CFileWatch()
{
    Stop();
}

BOOL CFileWatch::Watch(const wchar_t* pszPath, HWND hNotify, UINT nMessage)
{
    Stop();
    const std::wstring strPath = pszPath ? pszPath : L"";
    const size_t nSeparator = strPath.find_last_of(L"\\/");
    // The folder with its separator, so that "C:\" stays the root.
    const std::wstring strFolder = nSeparator == std::wstring::npos ? L"." : strPath.substr(0, nSeparator + 1);
    m_hChange = ::FindFirstChangeNotificationW(strFolder.c_str(), FALSE,
                                               FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                                   FILE_NOTIFY_CHANGE_LAST_WRITE);
    m_hStop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_hChange == INVALID_HANDLE_VALUE || !m_hStop)
    {
        Stop();
        return FALSE;
    }
    try
    {
        m_thread = std::thread(Run, m_hChange, m_hStop, hNotify, nMessage);
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
        m_thread.join();
    }
    if (m_hChange != INVALID_HANDLE_VALUE)
        ::FindCloseChangeNotification(m_hChange);
    m_hChange = INVALID_HANDLE_VALUE;
    if (m_hStop)
        ::CloseHandle(m_hStop);
    m_hStop = nullptr;
}

void CFileWatch::Run(HANDLE hChange, HANDLE hStop, HWND hNotify, UINT nMessage)
{
    // The thread touches no window: a posted message is all it hands over.
    const HANDLE handles[] = {hStop, hChange};
    while (::WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
    {
        ::PostMessageW(hNotify, nMessage, 0, 0);
        if (!::FindNextChangeNotification(hChange))
            return;
    }
}
