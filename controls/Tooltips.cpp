#include "controls/Tooltips.h"

#include <commctrl.h>

#include <new>

namespace
{
const UINT_PTR kToolID = 1;
const int kMaxTipWidth = 500;
const int kInitialDelay = 500; // ms; the control derives the other delays from it
} // namespace

CRoTooltips::CRoTooltips() : m_pCurID(nullptr), m_bActive(0), m_pParent(nullptr) {}

BOOL CRoTooltips::CreateTip(CWnd* pParent, int nMaxWidth, int nDelay)
{
    if (m_hWnd)
        return TRUE;
    m_pParent = pParent;
    Create(pParent, TTS_ALWAYSTIP | TTS_NOPREFIX);
    if (nMaxWidth > 0)
        SetMaxTipWidth(nMaxWidth);
    if (nDelay > 0)
        SetDelayTime(TTDT_AUTOMATIC, nDelay);
    if (!m_hWnd)
        return FALSE;
    m_bActive = 0;
    m_pCurID = nullptr;
    Activate(FALSE);
    return TRUE;
}

CRoOwnTTip::CRoOwnTTip() : m_pTip(nullptr) {}

CRoOwnTTip::~CRoOwnTTip()
{
    delete m_pTip; // destroys the window with the object
    m_pTip = nullptr;
}

BOOL CRoOwnTTip::EnsureTip()
{
    if (!m_pTip)
        m_pTip = new (std::nothrow) CRoTooltips;
    return m_pTip != nullptr;
}

CKelTooltipBase::CKelTooltipBase() : m_pOwnerWnd(nullptr) {}

CKelTooltipBase::~CKelTooltipBase() = default;

void CKelTooltipBase::UpdateTooltip(const wchar_t* pszText, const RECT* pRect, const void* pID)
{
    if (!m_tip.m_pTip && (!pszText || !m_tip.EnsureTip()))
        return;
    CRoTooltips* pTip = m_tip.m_pTip;
    if (!pTip->m_hWnd)
        pTip->CreateTip(m_pOwnerWnd, kMaxTipWidth, kInitialDelay);

    if (pTip->GetToolCount() == 0 && pszText)
    {
        const RECT rcEmpty = {0, 0, 0, 0};
        pTip->AddTool(m_pOwnerWnd, pszText, &rcEmpty, kToolID);
    }
    if (pRect)
        pTip->SetToolRect(m_pOwnerWnd, kToolID, pRect);
    if (!pID)
        pID = this;

    const bool bWindow = pTip->m_hWnd != nullptr;
    if (pszText)
    {
        std::wstring strCurrent;
        pTip->GetText(strCurrent, m_pOwnerWnd, kToolID);
        // A new text restarts the delay: deactivating hides a tip that is up.
        if (strCurrent != pszText && bWindow)
        {
            pTip->m_bActive = 0;
            pTip->m_pCurID = pID;
            pTip->Activate(FALSE);
        }
        if (!bWindow || pTip->m_pCurID != pID || !pTip->m_bActive)
        {
            pTip->UpdateTipText(pszText, m_pOwnerWnd, kToolID);
            if (bWindow)
            {
                pTip->m_bActive = 1;
                pTip->m_pCurID = pID;
                pTip->Activate(TRUE);
            }
        }
    }
    else if (bWindow && pTip->m_pCurID == pID && pTip->m_bActive)
    {
        pTip->UpdateTipText(L"", m_pOwnerWnd, kToolID);
        pTip->m_bActive = 0;
        pTip->m_pCurID = pID;
        pTip->Activate(FALSE);
    }
}

void CKelTooltipBase::RelayTooltipEvent(MSG* pMsg)
{
    if (m_tip.m_pTip && m_tip.m_pTip->m_hWnd)
        m_tip.m_pTip->RelayEvent(pMsg ? pMsg : CWnd::GetCurrentMessage());
}

void CKelTooltipBase::ForgetTooltipID(const void* pID)
{
    if (m_tip.m_pTip && m_tip.m_pTip->m_pCurID == pID)
        m_tip.m_pTip->m_pCurID = nullptr;
}
