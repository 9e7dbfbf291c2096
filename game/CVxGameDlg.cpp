#include "game/CVxGameDlg.h"

#include "app/CTranslucentApp.h"
#include "resource.h"

CVxGameDlg::CVxGameDlg(CWnd* pParent) noexcept : CDialog(IDD_VXGAME_DIALOG, pParent) {}

void CVxGameDlg::SetParams(std::wstring first, std::wstring second) {
    m_strGameUrl = std::move(first);
    m_strExtraParam = std::move(second);
}

LRESULT CVxGameDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        if (CTranslucentApp* pApp = AfxGetTranslucentApp()) pApp->SwitchToLauncher();
        return Default();
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
