#include "diag/CDiagnosisDlg.h"

#include "diag/ClipboardText.h"
#include "diag/DiagnosisReport.h"
#include "framework/CWinApp.h"
#include "framework/Handles.h"
#include "framework/Trace.h"
#include "resource.h"

CDiagnosisDlg::CDiagnosisDlg(DiagnosisSettings settings, CWnd* pParent)
    : CDialog(IDD_DIAGNOSE, pParent), m_settings(std::move(settings)) {}

CDiagnosisDlg::~CDiagnosisDlg() = default;

BOOL CDiagnosisDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    HICON icon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDR_MAINFRAME));
    fw::Ignore(::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon)));
    fw::Ignore(::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    // A report can be longer than an edit control takes by default.
    fw::Ignore(::SendDlgItemMessageW(m_hWnd, IDC_DIAG_REPORT, EM_SETLIMITTEXT, 0, 0));
    RECT client{};
    fw::Ignore(::GetClientRect(m_hWnd, &client));
    OnSize(client.right, client.bottom);
    // The window shows at once; the checks fill it in from their own thread.
    m_run = DiagnosisRun::Start(m_settings, m_hWnd, WM_DIAGNOSIS_PROGRESS);
    OnProgress();
    // The focus on "关闭", so Enter or Esc closes and the report is not selected as a whole.
    fw::Ignore(::SetFocus(GetDlgItem(IDCANCEL)));
    return FALSE;
}

void CDiagnosisDlg::OnProgress() {
    if (!m_run) return;
    // Done first: facts read after it are the final ones.
    const bool done = m_run->Done();
    const std::wstring report = BuildDiagnosisReport(m_run->Facts());
    if (report != m_strReport) {
        m_strReport = report;
        fw::Ignore(::SetDlgItemTextW(m_hWnd, IDC_DIAG_REPORT, m_strReport.c_str()));
    }
    if (done && !m_bFinished) {
        m_bFinished = true;
        fw::Trace(L"diagnosis: report complete, ", std::to_wstring(m_strReport.size()), L" characters");
    }
}

bool CDiagnosisDlg::CopyReport() {
    const bool copied = CopyTextToClipboard(m_hWnd, m_strReport);
    fw::Trace(L"diagnosis: report ", copied ? L"copied to the clipboard" : L"not copied: the clipboard is busy");
    return copied;
}

void CDiagnosisDlg::OnSize(int cx, int cy) {
    // Margins and button size in dialog units, as the template has them.
    RECT unit{7, 16, 50, 4};
    fw::Ignore(::MapDialogRect(m_hWnd, &unit));
    const int margin = unit.left, buttonHeight = unit.top, buttonWidth = unit.right, gap = unit.bottom;
    const int buttonTop = cy - margin - buttonHeight;
    const auto place = [&](int id, int x, int y, int w, int h) {
        if (HWND item = GetDlgItem(id)) fw::Ignore(::MoveWindow(item, x, y, w > 0 ? w : 0, h > 0 ? h : 0, TRUE));
    };
    place(IDC_DIAG_REPORT, margin, margin, cx - 2 * margin, buttonTop - gap - margin);
    place(IDCANCEL, cx - margin - buttonWidth, buttonTop, buttonWidth, buttonHeight);
    place(IDC_DIAG_COPY, cx - margin - 2 * buttonWidth - gap, buttonTop, buttonWidth, buttonHeight);
}

void CDiagnosisDlg::OnGetMinMaxInfo(MINMAXINFO* info) {
    RECT least{0, 0, 200, 120};
    fw::Ignore(::MapDialogRect(m_hWnd, &least));
    info->ptMinTrackSize.x = least.right;
    info->ptMinTrackSize.y = least.bottom;
}

LRESULT CDiagnosisDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DIAGNOSIS_PROGRESS:
        OnProgress();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO:
        if (m_hWnd) OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DIAG_COPY && HIWORD(wParam) == BN_CLICKED) {
            fw::Ignore(CopyReport());
            return 0;
        }
        break;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}
