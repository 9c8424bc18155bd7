#pragma once

#include <windows.h>

// Registers (once) a window class with the default window procedure and the
// given style, cursor, background brush and icon, and returns its name. The
// name stays valid until the next call. Returns null when registration fails.
LPCWSTR AfxRegisterWndClass(UINT nClassStyle, HCURSOR hCursor = nullptr,
                            HBRUSH hbrBackground = nullptr, HICON hIcon = nullptr);
