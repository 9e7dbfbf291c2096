// The control manager the framework uses unless told otherwise: hosts the ActiveX items of a
// dialog template in the dialog's control container.
#include "framework/CControlContainer.h"
#include "framework/CDialog.h"
#include "framework/CWinApp.h"
#include "framework/OccManager.h"

namespace {

// A hosted control takes its template place in the z-order (and so in the tab order): right
// after the item that precedes it in the template, as if the dialog manager had made it.
void PlaceInTemplateOrder(const DialogTemplateInfo& info, HWND hDlg, HWND hCtrl, UINT id) {
    HWND after = HWND_TOP;
    for (const DialogTemplateItem& item : info.items) {
        if (item.id == id) {
            ::SetWindowPos(hCtrl, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return;
        }
        if (HWND h = ::GetDlgItem(hDlg, static_cast<int>(item.id)); h && h != hCtrl) after = h;
    }
}

class DefaultOccManager final : public COccManager {
public:
    BOOL CreateDlgControls(CWnd* pDialog, const std::vector<DialogControlItem>& items) override {
        if (!pDialog || !pDialog->m_hWnd) return FALSE;
        CControlContainer* pCont = CControlContainer::Of(pDialog, true);
        if (!pCont) return FALSE;
        DialogTemplateInfo info;
        if (auto* pDlg = dynamic_cast<CDialog*>(pDialog); pDlg && pDlg->m_lpszTemplateName) {
            const ResourceBytes tmpl = FindResourceBytes(AfxGetResourceHandle(), pDlg->m_lpszTemplateName, RT_DIALOG);
            if (!ParseDialogTemplate(tmpl.data, tmpl.size, info)) info.items.clear();
        }
        BOOL all = TRUE;
        for (const DialogControlItem& item : items) {
            RECT rect = item.dluRect;
            ::MapDialogRect(pDialog->m_hWnd, &rect);
            const std::vector<BYTE>* pInit = item.initState.empty() ? nullptr : &item.initState;
            COleControlSite* pSite = pCont->CreateControl(nullptr, item.clsid, item.title.c_str(), item.style, rect,
                                                          item.id, pInit, nullptr);
            if (!pSite) {
                all = FALSE;
                continue;
            }
            PlaceInTemplateOrder(info, pDialog->m_hWnd, pSite->m_hWnd, item.id);
        }
        return all;
    }

    COleControlSite* FindSite(CWnd* pDialog, HWND hCtrl) override {
        CControlContainer* pCont = CControlContainer::Of(pDialog, false);
        return pCont ? pCont->FindSite(hCtrl) : nullptr;
    }
};

} // namespace

COccManager* AfxGetDefaultOccManager() {
    static DefaultOccManager manager;
    return &manager;
}
