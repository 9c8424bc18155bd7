#pragma once

#include "framework/OleDropTarget.h"

class CElem;

// The private clipboard format of a dragged strip entry, 0 until registered.
extern CLIPFORMAT g_cfElemDrag;
// Registers the format the first time it is needed; its id.
CLIPFORMAT ElemDragFormat();

// The payload of a dragged entry, as it travels in the drag data. The entry's
// address means something only in the process that owns hWndSource.
struct SElemDragData
{
    enum
    {
        KIND_ELEM = 1,
    };

    HWND hWndSource;
    CElem* pElem;
    int nKind;
    CElem* pElemCopy; // the same address; no receiver reads it
};
static_assert(sizeof(SElemDragData) == 16, "the payload is four 32-bit fields");

// A movable block holding the payload of a drag of pElem from hWndSource;
// empty when there is no memory.
CGlobalMem MakeElemDragData(HWND hWndSource, CElem* pElem);

// Reads the payload of a drag into *pData: FALSE when the data does not carry
// the format, the block is shorter than the payload, or its kind is not an entry.
BOOL ReadElemDragData(const COleDataObject* pDataObject, SElemDragData* pData);
