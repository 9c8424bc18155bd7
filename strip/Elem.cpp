#include "strip/Elem.h"

CElem::CElem() : m_hThumb(nullptr), m_rcBox(), m_bDropMark(FALSE), m_nIndex(-1) {}

CElem::~CElem()
{
    if (m_hThumb)
        ::DeleteObject(m_hThumb);
}
