// The control manager the framework uses unless told otherwise: hosts the ActiveX items of a
// dialog template in the dialog's control container.
#include "framework/CControlContainer.h"
#include "framework/OccManager.h"

namespace {

class DefaultOccManager final : public COccManager {
public:
    BOOL CreateDlgControls(CWnd* pDialog, const std::vector<DialogControlItem>& items) override {
        if (!pDialog || !pDialog->m_hWnd) return FALSE;
        CControlContainer* pCont = CControlContainer::Of(pDialog, true);
        if (!pCont) return FALSE;
        BOOL all = TRUE;
        for (const DialogControlItem& item : items) {
            RECT rect = item.dluRect;
            ::MapDialogRect(pDialog->m_hWnd, &rect);
            const std::vector<BYTE>* pInit = item.initState.empty() ? nullptr : &item.initState;
            if (!pCont->CreateControl(nullptr, item.clsid, item.title.c_str(), item.style, rect, item.id, pInit,
                                      nullptr)) {
                all = FALSE;
            }
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
