#pragma once
// Dialogs from resource templates: modeless creation, the framework's own modal loop,
// ActiveX items hosted by the framework, control initial data and data exchange.
#include "framework/CWnd.h"
#include "framework/DialogTemplate.h"

#include <vector>

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_pDlgWnd(pDlgWnd), m_bSaveAndValidate(bSaveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds rControl to the dialog item nIDC (an ordinary control or a hosted ActiveX control).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);

class CDialog : public CWnd {
public:
    CDialog() noexcept = default;
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr) noexcept;
    ~CDialog() override;

    // The window-class creation of every window stays callable beside the template overloads.
    using CWnd::Create;
    // Modeless creation from a template of the resource module.
    virtual BOOL Create(LPCWSTR lpszTemplateName, CWnd* pParentWnd = nullptr);
    BOOL Create(UINT nIDTemplate, CWnd* pParentWnd = nullptr) {
        return Create(MAKEINTRESOURCEW(nIDTemplate), pParentWnd);
    }
    // Creates the dialog and runs the framework's modal loop; returns the EndDialog result,
    // or -1 when the window could not be created or the loop met the quit message.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
    // Sends the WM_MFC_INITCTRL records of the template's control initial data to their controls.
    BOOL ExecuteDlgInit(LPCWSTR lpszResourceName);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    LPCWSTR m_lpszTemplateName = nullptr;
    CWnd* m_pParentWnd = nullptr;

protected:
    // Owner of a modal run: the parent, or the main window's last active popup when the
    // main window object has a window; null otherwise.
    HWND PreModal();
    BOOL CreateIndirect(const BYTE* pTemplate, size_t size, HWND hWndParent);

private:
    BOOL HandleInitDialog();
    static INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM) noexcept;

    std::vector<DialogControlItem> m_controlItems;
};
