#include "launcher/CVxTranslucentDlg.h"

#include "resource.h"

CVxTranslucentDlg::CVxTranslucentDlg(UINT, LPCWSTR, HMODULE, CWnd* pParent) noexcept
    : CDialog(IDD_VXTRANSLUCENT_DIALOG, pParent) {}
