#pragma once

#include "tests/support/TestIo.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CWnd;
namespace Gdiplus
{
class Bitmap;
}

namespace TestSupport
{

// Dispatches messages (offering them to pMainWnd's pre-translation as the
// application's loop does) until the condition holds or the bound passes.
bool PumpUntil(const std::function<bool()>& fnDone, DWORD dwTimeoutMs = 5000,
               CWnd* pMainWnd = nullptr);
void PumpFor(DWORD dwMs, CWnd* pMainWnd = nullptr);

// 32-bit pixels read back from a bitmap, top row first, as 0xAARRGGBB.
struct CPixels
{
    int cx = 0;
    int cy = 0;
    std::vector<uint32_t> argb;

    uint32_t At(int x, int y) const { return argb[static_cast<size_t>(y) * cx + x]; }
    bool Empty() const { return argb.empty(); }
};
CPixels ReadBitmap(HBITMAP hBitmap);
// The bitmap now selected into a memory DC.
CPixels ReadSelectedBitmap(HDC hDC);

inline int Alpha(uint32_t c) { return static_cast<int>(c >> 24); }
inline int Red(uint32_t c) { return static_cast<int>((c >> 16) & 0xFF); }
inline int Green(uint32_t c) { return static_cast<int>((c >> 8) & 0xFF); }
inline int Blue(uint32_t c) { return static_cast<int>(c & 0xFF); }

// What the X display shows in a rectangle of the screen, as a user sees it.
// Under Wine the platform's own screen DC does not see layered windows, so
// ImageMagick's import (a Unix program, which Wine starts directly) takes the
// shot. Empty when none came within the bound.
CPixels ScreenShot(const RECT& rc, DWORD dwTimeoutMs = 20000);

// A BITMAP resource of the program, read back as pixels.
CPixels LoadResourcePixels(UINT nID);

// A window's rectangle on the screen.
inline RECT WindowRect(HWND hWnd)
{
    RECT rc = {};
    ::GetWindowRect(hWnd, &rc);
    return rc;
}

// A file of the source tree as a Windows path (Wine maps the Linux root to Z:).
std::wstring SourcePath(const std::wstring& strRelative);
// A file of the test corpus unpacked into the build folder (the PNG suite), likewise.
std::wstring SharedPath(const std::wstring& strRelative);

// A 24-bit BMP of one colour: its size follows from its width and height alone.
std::string BmpBytes(int cx, int cy, COLORREF colour);

// Saves a picture as a PNG file through GDI+'s own encoder.
bool SavePng(Gdiplus::Bitmap* pPicture, const std::wstring& strPath);

// The process's committed private memory, in bytes.
size_t ProcessMemory();
// Whether Wine's heap checker watches this process. It keeps freed blocks
// aside for a while, so the process's memory figures say nothing then.
bool HeapChecked();

// A new, empty folder under the temporary folder; it goes, with everything
// in it, when the object does.
class CTempFolder
{
public:
    CTempFolder();
    ~CTempFolder();
    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    std::wstring Path(const std::wstring& strName) const;
    // Writes a file of that name with these bytes; returns its path.
    std::wstring Write(const std::wstring& strName, const std::string& strBytes) const;

    std::wstring m_strPath;
};

// Answers every message box the thread shows while it lives: records its
// caption and text, then presses OK.
class CMessageBoxWatcher
{
public:
    CMessageBoxWatcher();
    ~CMessageBoxWatcher();
    CMessageBoxWatcher(const CMessageBoxWatcher&) = delete;
    CMessageBoxWatcher& operator=(const CMessageBoxWatcher&) = delete;

    struct SBox
    {
        HWND hOwner;
        std::wstring strCaption;
        std::wstring strText;
    };
    std::vector<SBox> m_vecBoxes;
    // Called as each box comes up; the box is answered after m_dwAnswerAfterMs
    // of its own message loop (at once when 0).
    std::function<void()> m_fnShown;
    DWORD m_dwAnswerAfterMs = 0;

private:
    static LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam);
    static void CALLBACK AnswerLater(HWND hDlg, UINT, UINT_PTR nIDEvent, DWORD);
    HHOOK m_hHook;
};

} // namespace TestSupport
