#pragma once

#include "framework/ToolTipCtrl.h"

// The strip's tooltip control: one tool, activated for the identity whose
// text it shows last.
class CRoTooltips : public CToolTipCtrl
{
public:
    CRoTooltips();

    // Makes the window when there is none yet; TRUE when the control has one.
    virtual BOOL CreateTip(CWnd* pParent, int nMaxWidth, int nDelay);

    const void* m_pCurID; // compared only, never followed
    int m_bActive;
    CWnd* m_pParent;
};

// Owns the control, made on demand.
class CRoOwnTTip
{
public:
    CRoOwnTTip();
    virtual ~CRoOwnTTip();
    CRoOwnTTip(const CRoOwnTTip&) = delete;
    CRoOwnTTip& operator=(const CRoOwnTTip&) = delete;

    BOOL EnsureTip();

    CRoTooltips* m_pTip;
};

// Mix-in for a window that shows one tooltip for whatever it hovers. The
// window sets m_pOwnerWnd to itself.
class CKelTooltipBase
{
public:
    CKelTooltipBase();
    virtual ~CKelTooltipBase();
    CKelTooltipBase(const CKelTooltipBase&) = delete;
    CKelTooltipBase& operator=(const CKelTooltipBase&) = delete;

    // pszText null hides the tip of pID; pID null stands for this object.
    void UpdateTooltip(const wchar_t* pszText, const RECT* pRect, const void* pID);
    // pMsg null relays the message being dispatched now.
    void RelayTooltipEvent(MSG* pMsg);
    // Call before pID's object goes away, so no later pointer can pass for it.
    void ForgetTooltipID(const void* pID);

    CRoOwnTTip m_tip;
    CWnd* m_pOwnerWnd;
};
