#include "dnd/ElemDragData.h"

#include "strip/Elem.h"

#include <cstring>

CLIPFORMAT g_cfElemDrag = 0;

CLIPFORMAT ElemDragFormat()
{
    if (!g_cfElemDrag)
        g_cfElemDrag =
            static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"{56CCB294-7307-44dd-ACCB-957141337895}"));
    return g_cfElemDrag;
}

CGlobalMem MakeElemDragData(HWND hWndSource, const CElem* pElem)
{
    CGlobalMem block(::GlobalAlloc(GMEM_MOVEABLE, sizeof(SElemDragData)));
    {
        CGlobalLock lock(block.Get());
        if (!lock.Get())
            return CGlobalMem();
        const SElemDragData data = {static_cast<DWORD>(HandleToLong(hWndSource)), pElem->m_nDragId,
                                    SElemDragData::KIND_ELEM, pElem->m_nDragId};
        std::memcpy(lock.Get(), &data, sizeof(data));
    }
    return block;
}

BOOL ReadElemDragData(const COleDataObject* pDataObject, SElemDragData* pData)
{
    if (!pDataObject)
        return FALSE;
    // The block is ours to free: it goes at the end of this scope.
    const CGlobalMem block = pDataObject->GetGlobalData(ElemDragFormat());
    const CGlobalLock lock(block.Get());
    if (!lock.Get() || lock.GetSize() < sizeof(SElemDragData))
        return FALSE;
    std::memcpy(pData, lock.Get(), sizeof(SElemDragData));
    return pData->nKind == SElemDragData::KIND_ELEM;
}
