#include "launcher/CVxTranslucentDlg.h"

#include "launcher/CVxStandardDlg.h"
#include "resource.h"

#include <new>

CVxTranslucentDlg::CVxTranslucentDlg(UINT nImageID, LPCWSTR lpszImageType, HMODULE hImageModule,
                                     CWnd* pParent) noexcept
    : CTranslucentDialog(IDD_VXTRANSLUCENT_DIALOG, nImageID, lpszImageType, hImageModule, pParent) {
    // The launcher's skin has its art at 2x for high-DPI screens.
    if (nImageID == IDB_SKIN) m_nHighDpiImageID = IDB_SKIN_2X;
}

CVxTranslucentDlg::~CVxTranslucentDlg() = default;

CStandardDialog* CVxTranslucentDlg::CreateStandardDialog() {
    return new (std::nothrow) CVxStandardDlg(this);
}

void CVxTranslucentDlg::OnInitChildrenWnds() {}

void CVxTranslucentDlg::ReleaseSkin() noexcept {
    m_pImage.reset();
}
