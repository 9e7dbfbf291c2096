#pragma once
// Game window (plain dialog until the HTML game window lands).
#include "framework/CDialog.h"

#include <string>

class CVxGameDlg : public CDialog {
public:
    explicit CVxGameDlg(CWnd* pParent = nullptr) noexcept;
    void SetParams(std::wstring first, std::wstring second);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::wstring m_strGameUrl;
    std::wstring m_strExtraParam;
};
