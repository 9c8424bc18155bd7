#include "strip/Elem.h"

namespace
{
DWORD NextDragId(const CElem* pElem)
{
#ifdef _WIN64
    // 0 is never an id; the serial would have to wrap past 4 billion entries
    // made in one run to meet a live one again.
    static DWORD s_nLastId = 0;
    (void)pElem;
    if (++s_nLastId == 0)
        ++s_nLastId;
    return s_nLastId;
#else
    return static_cast<DWORD>(reinterpret_cast<UINT_PTR>(pElem));
#endif
}
} // namespace

CElem::CElem() : m_hThumb(nullptr), m_rcBox(), m_bDropMark(FALSE), m_nIndex(-1), m_nDragId(NextDragId(this)) {}

CElem::~CElem()
{
    if (m_hThumb)
        ::DeleteObject(m_hThumb);
}
