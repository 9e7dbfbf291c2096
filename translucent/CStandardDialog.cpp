#include "translucent/CStandardDialog.h"

#include "translucent/LayeredWindowApi.h"

CStandardDialog::CStandardDialog(UINT nIDTemplate, COLORREF crKey, CWnd* pParent) noexcept
    : CDHtmlDialog(nIDTemplate, 0, pParent), m_crKey(crKey) {}

CStandardDialog::~CStandardDialog() = default;

void CStandardDialog::CreateAndShow() {
    // A failed creation leaves nothing to show; ShowWindow on no window does nothing.
    fw::Ignore(Create(m_lpszTemplateName, m_pParentWnd));
    ShowWindow(SW_SHOW);
}

BOOL CStandardDialog::OnInitDialog() {
    // The dialog part only: this dialog shows no page of its own, so no browser view is made.
    fw::Ignore(CDialog::OnInitDialog());
    m_brushKey.reset(::CreateSolidBrush(m_crKey));
    ::SetWindowLongW(m_hWnd, GWL_EXSTYLE, static_cast<LONG>(GetExStyle() | WS_EX_LAYERED));
    fw::UniqueModule user32(::LoadLibraryW(kUser32Module));
    if (auto setAttributes = GetProcAs<SetLayeredWindowAttributesProc>(user32.get(), "SetLayeredWindowAttributes")) {
        fw::Ignore(setAttributes(m_hWnd, m_crKey, 0, LWA_COLORKEY));
    }
    return TRUE;
}

void CStandardDialog::CloseParent() {
    // Any parent or owner window, framework object or not.
    if (HWND hParent = ::GetParent(m_hWnd)) ::SendMessageW(hParent, WM_CLOSE, 0, 0);
}

void CStandardDialog::OnOK() {
    CloseParent();
    CDialog::OnOK();
}

void CStandardDialog::OnCancel() {
    CloseParent();
    CDialog::OnCancel();
}

LRESULT CStandardDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Past CDHtmlDialog's routing: with no browser view of its own, its size and destroy
    // handling has nothing to do here. The control-colour requests reach OnCtlColor through CWnd.
    return CDialog::WindowProc(message, wParam, lParam);
}

HBRUSH CStandardDialog::OnCtlColor(HDC hdc, HWND hWnd, UINT nCtlColor) {
    if (nCtlColor == CTLCOLOR_DLG) return m_brushKey.get();
    return CWnd::OnCtlColor(hdc, hWnd, nCtlColor);
}
