#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CWnd;

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

// A BITMAP resource of the program, read back as pixels.
CPixels LoadResourcePixels(UINT nID);

// A file of the source tree as a Windows path (Wine maps the Linux root to Z:).
std::wstring SourcePath(const std::wstring& strRelative);

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

private:
    static LRESULT CALLBACK CbtHook(int nCode, WPARAM wParam, LPARAM lParam);
    HHOOK m_hHook;
};

} // namespace TestSupport
