#include "framework/CDialog.h"

#include "framework/CMFCButton.h"
#include "framework/CWinApp.h"
#include "framework/OccManager.h"
#include "framework/OleInit.h"

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (!pDX || !pDX->m_pDlgWnd || rControl.m_hWnd) return;
    HWND hCtrl = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC);
    if (!hCtrl) return;
    if (!rControl.SubclassWindow(hCtrl)) return;
    if (COccManager* pManager = AfxGetOccManager()) {
        rControl.m_pCtrlSite = pManager->FindSite(pDX->m_pDlgWnd, hCtrl);
    }
}

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) noexcept
    : m_lpszTemplateName(MAKEINTRESOURCEW(nIDTemplate)), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CALLBACK CDialog::AfxDlgProc(HWND, UINT, WPARAM, LPARAM) noexcept {
    // Every message is routed through AfxWndProc first; the dialog manager's own
    // defaults apply to whatever the objects pass on.
    return FALSE;
}

BOOL CDialog::CreateIndirect(const BYTE* pTemplate, size_t size, HWND hWndParent) {
    if (m_hWnd || !pTemplate || size == 0) return FALSE;
    // Template items may use the framework's own control classes.
    AfxRegisterMFCCtrlClasses();
    std::vector<BYTE> stripped = StripActiveXItems(pTemplate, size, m_controlItems);
    if (!m_controlItems.empty()) {
        // The hosted controls take their initial state from the control initial data.
        const ResourceBytes init = FindResourceBytes(AfxGetResourceHandle(), m_lpszTemplateName,
                                                     MAKEINTRESOURCEW(240));
        for (const DlgInitRecord& rec : ParseDlgInit(init.data, init.size)) {
            if (rec.message != WM_OCC_LOADFROMSTREAM) continue;
            for (DialogControlItem& item : m_controlItems) {
                if (item.id == rec.id) item.initState = rec.data;
            }
        }
    }
    HookWindowCreate(this);
    HWND hWnd = ::CreateDialogIndirectParamW(AfxGetResourceHandle(),
                                             reinterpret_cast<LPCDLGTEMPLATEW>(stripped.data()), hWndParent,
                                             &CDialog::AfxDlgProc, 0);
    UnhookWindowCreate();
    m_controlItems.clear();
    return FinishCreate(hWnd);
}

BOOL CDialog::Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd) {
    if (lpszTemplateName) m_lpszTemplateName = lpszTemplateName;
    if (pParentWnd) m_pParentWnd = pParentWnd;
    const ResourceBytes tmpl = FindResourceBytes(AfxGetResourceHandle(), m_lpszTemplateName, RT_DIALOG);
    HWND hParent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    return CreateIndirect(tmpl.data, tmpl.size, hParent);
}

HWND CDialog::PreModal() {
    HWND hWnd = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    const bool explicitParent = hWnd != nullptr;
    if (!explicitParent) {
        CWnd* pMain = AfxGetMainWnd();
        hWnd = pMain ? pMain->m_hWnd : nullptr;
    }
    // A popup cannot be owned by a child window.
    while (hWnd && (::GetWindowLongW(hWnd, GWL_STYLE) & WS_CHILD)) hWnd = ::GetParent(hWnd);
    if (!explicitParent && hWnd) hWnd = ::GetLastActivePopup(hWnd);
    return hWnd;
}

INT_PTR CDialog::DoModal() {
    const ResourceBytes tmpl = FindResourceBytes(AfxGetResourceHandle(), m_lpszTemplateName, RT_DIALOG);
    if (!tmpl.data) return -1;
    HWND hWndParent = PreModal();
    bool enableParent = false;
    if (hWndParent && hWndParent != ::GetDesktopWindow() && ::IsWindowEnabled(hWndParent)) {
        ::EnableWindow(hWndParent, FALSE);
        enableParent = true;
    }
    m_nModalResult = -1;
    m_nFlags |= WF_CONTINUEMODAL;
    if (CreateIndirect(tmpl.data, tmpl.size, hWndParent) && (m_nFlags & WF_CONTINUEMODAL)) {
        RunModalLoop();
    }
    m_nFlags &= ~(WF_CONTINUEMODAL | WF_MODALLOOP);
    if (m_hWnd) {
        ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    if (enableParent) ::EnableWindow(hWndParent, TRUE);
    if (hWndParent && m_hWnd && ::GetActiveWindow() == m_hWnd) ::SetActiveWindow(hWndParent);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult) {
    if (m_nFlags & (WF_MODALLOOP | WF_CONTINUEMODAL)) EndModalLoop(nResult);
    if (m_hWnd) ::EndDialog(m_hWnd, nResult);
}

BOOL CDialog::HandleInitDialog() {
    if (!m_controlItems.empty()) {
        if (COccManager* pManager = AfxGetOccManager()) pManager->CreateDlgControls(this, m_controlItems);
    }
    return OnInitDialog();
}

BOOL CDialog::OnInitDialog() {
    ExecuteDlgInit(m_lpszTemplateName);
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDialog::ExecuteDlgInit(LPCWSTR lpszResourceName) {
    if (!lpszResourceName) return TRUE;
    const ResourceBytes init = FindResourceBytes(AfxGetResourceHandle(), lpszResourceName, MAKEINTRESOURCEW(240));
    for (const DlgInitRecord& rec : ParseDlgInit(init.data, init.size)) {
        if (rec.message != WM_MFC_INITCTRL) continue;
        if (HWND hCtrl = ::GetDlgItem(m_hWnd, rec.id)) {
            ::SendMessageW(hCtrl, rec.message, static_cast<WPARAM>(rec.data.size()),
                           reinterpret_cast<LPARAM>(rec.data.data()));
        }
    }
    return TRUE;
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) {
    if (CWnd::PreTranslateMessage(pMsg)) return TRUE;
    const bool key = pMsg->message >= WM_KEYFIRST && pMsg->message <= WM_KEYLAST;
    const bool mouse = pMsg->message >= WM_MOUSEFIRST && pMsg->message <= WM_MOUSELAST;
    if (!key && !mouse) return FALSE;
    return ::IsDialogMessageW(m_hWnd, pMsg);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return HandleInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            if (LOWORD(wParam) == IDOK) {
                OnOK();
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                OnCancel();
                return 0;
            }
        }
        break;
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
