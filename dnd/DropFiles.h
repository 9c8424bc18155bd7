#pragma once

#include "framework/OleDropTarget.h"

#include <shellapi.h>

#include <string>
#include <vector>

// A shell file list (a DROPFILES block of wide names), as WM_DROPFILES and
// the clipboard's CF_HDROP carry it; empty without memory.
CGlobalMem CreateDropFiles(const std::vector<std::wstring>& vecPaths);
