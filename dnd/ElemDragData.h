#pragma once

#include "framework/OleDropTarget.h"

class CElem;

// The private clipboard format of a dragged strip entry, 0 until registered.
extern CLIPFORMAT g_cfElemDrag;
// Registers the format the first time it is needed; its id.
CLIPFORMAT ElemDragFormat();

// The payload of a dragged entry, as it travels in the drag data: four 32-bit
// little-endian fields in 32-bit and 64-bit processes alike, so that the two
// builds read each other's drags. The window handle travels as the platform's
// 32-bit form of it; the entry id (CElem::m_nDragId) means something only in
// the process that owns hWndSource.
struct SElemDragData
{
    enum
    {
        KIND_ELEM = 1,
    };

    // Unqualified: the 32-bit headers make LongToHandle and HandleToLong macros.
    HWND SourceWnd() const { return static_cast<HWND>(LongToHandle(static_cast<LONG>(hWndSource))); }

    DWORD hWndSource;
    DWORD nElemId;
    INT32 nKind;
    DWORD nElemIdCopy; // the same id; no receiver reads it
};
static_assert(sizeof(SElemDragData) == 16, "the payload is four 32-bit fields");

// A movable block holding the payload of a drag of pElem from hWndSource;
// empty when there is no memory.
CGlobalMem MakeElemDragData(HWND hWndSource, const CElem* pElem);

// Reads the payload of a drag into *pData: FALSE when the data does not carry
// the format, the block is shorter than the payload, or its kind is not an entry.
BOOL ReadElemDragData(const COleDataObject* pDataObject, SElemDragData* pData);
