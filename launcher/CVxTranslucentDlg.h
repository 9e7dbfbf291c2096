#pragma once
// Launcher background window (plain dialog until the skinned window lands).
#include "framework/CDialog.h"

class CVxTranslucentDlg : public CDialog {
public:
    CVxTranslucentDlg(UINT nImageID, LPCWSTR lpszImageType, HMODULE hImageModule, CWnd* pParent) noexcept;
};
