#pragma once
// Launcher background: the layered skin window on template 102 with the launcher companion.
#include "translucent/CTranslucentDialog.h"

class CVxTranslucentDlg : public CTranslucentDialog {
public:
    CVxTranslucentDlg(UINT nImageID, LPCWSTR lpszImageType, HMODULE hImageModule, CWnd* pParent) noexcept;
    ~CVxTranslucentDlg() override;

    // A new CVxStandardDlg with this window as its parent.
    CStandardDialog* CreateStandardDialog() override;
    // The launcher has no overlay widgets.
    void OnInitChildrenWnds() override;

    // Lets go of the shared skin in a launcher that has been switched away: its window is closing
    // and is never drawn again, while the object itself stays alive until the process ends.
    void ReleaseSkin() noexcept;
    bool HasSkin() const noexcept { return m_pImage != nullptr; }
};
