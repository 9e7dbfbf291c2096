#pragma once
// The diagnosis window: the report in a read-only edit control, filled in as each check ends,
// with "复制" (the whole report onto the clipboard) and "关闭".
#include "diag/DiagnosisRun.h"
#include "framework/CDialog.h"

#include <memory>
#include <string>

class CDiagnosisDlg : public CDialog {
public:
    explicit CDiagnosisDlg(DiagnosisSettings settings, CWnd* pParent = nullptr);
    ~CDiagnosisDlg() override;

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    // The report as the window shows it now.
    const std::wstring& ReportText() const noexcept { return m_strReport; }
    // All checks have ended.
    bool Finished() const noexcept { return m_bFinished; }
    // "复制": the report onto the clipboard; false when the clipboard refused.
    bool CopyReport();

private:
    void OnProgress();
    void OnSize(int cx, int cy);
    void OnGetMinMaxInfo(MINMAXINFO* info);

    DiagnosisSettings m_settings;
    std::shared_ptr<DiagnosisRun> m_run;
    std::wstring m_strReport;
    bool m_bFinished = false;
};
