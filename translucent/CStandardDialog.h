#pragma once
// Control layer over a layered background window: a dialog whose background is painted in
// one key colour and made fully transparent by colour keying, so only its controls show.
#include "framework/CDHtmlDialog.h"
#include "framework/Handles.h"

#include <windows.h>

class CStandardDialog : public CDHtmlDialog {
public:
    // pParent: the background window; the companion becomes its owned popup.
    CStandardDialog(UINT nIDTemplate, COLORREF crKey, CWnd* pParent) noexcept;
    ~CStandardDialog() override;

    // Creates the window modeless from the template and parent given at construction, then shows it.
    void CreateAndShow();

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    // CTLCOLOR_DLG: the key brush (null before OnInitDialog); every other kind: the default.
    HBRUSH OnCtlColor(HDC hdc, HWND hWnd, UINT nCtlColor) override;

protected:
    COLORREF m_crKey;
    fw::UniqueBrush m_brushKey;

private:
    // WM_CLOSE, synchronously, to the parent (for the owned popup: the background window).
    void CloseParent();
};
