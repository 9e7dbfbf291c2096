#include "launcher/CVxTranslucentDlg.h"

#include "launcher/CVxStandardDlg.h"
#include "resource.h"

#include <new>

CVxTranslucentDlg::CVxTranslucentDlg(UINT nImageID, LPCWSTR lpszImageType, HMODULE hImageModule,
                                     CWnd* pParent) noexcept
    // The launcher's skin has its art at 2x for high-DPI screens.
    : CTranslucentDialog(IDD_VXTRANSLUCENT_DIALOG, nImageID, lpszImageType, hImageModule, pParent,
                         nImageID == IDB_SKIN ? IDB_SKIN_2X : 0) {}

CVxTranslucentDlg::~CVxTranslucentDlg() = default;

CStandardDialog* CVxTranslucentDlg::CreateStandardDialog() {
    return new (std::nothrow) CVxStandardDlg(this);
}

void CVxTranslucentDlg::OnInitChildrenWnds() {}

void CVxTranslucentDlg::ReleaseSkin() noexcept {
    m_pImage.reset();
}
