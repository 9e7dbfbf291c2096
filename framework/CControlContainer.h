#pragma once
// The container of the ActiveX controls one window hosts: their sites, and the in-place frame
// they see. The window owns it (CWnd::m_pCtrlCont) and it releases every control when the
// window gets WM_DESTROY, or at the latest when the window object is destroyed (a detached
// window is destroyed without any handler of ours running).
#include "framework/COleControlSite.h"
#include "framework/CWnd.h"

#include <vector>

class CInPlaceFrame;

class CControlContainer final : public COleControlContainer {
public:
    explicit CControlContainer(CWnd* pWnd) noexcept;
    ~CControlContainer() override;
    CControlContainer(const CControlContainer&) = delete;
    CControlContainer& operator=(const CControlContainer&) = delete;

    // The container of pWnd's controls; made (and owned by pWnd) on first use when bCreate.
    static CControlContainer* Of(CWnd* pWnd, bool bCreate);

    // Hosts a control (see COleControlSite::CreateControl); null when it could not be made.
    COleControlSite* CreateControl(CWnd* pWndCtrl, REFCLSID clsid, LPCWSTR lpszWindowName, DWORD dwStyle,
                                   const RECT& rect, UINT nID, const std::vector<BYTE>* pInitState,
                                   BSTR bstrLicKey) noexcept;
    COleControlSite* FindSite(HWND hCtrl) const noexcept;
    COleControlSite* FindSiteById(UINT nID) const noexcept;
    size_t GetSiteCount() const noexcept { return m_sites.size(); }

    // Closes every control (COleControlSite::CloseControl) and keeps the sites and our references
    // to the controls until ReleaseAll.
    void CloseAll() noexcept;
    // Releases every control and site.
    void ReleaseAll() noexcept;
    void OnOwnerDestroy() noexcept override;

    CWnd* GetWnd() const noexcept { return m_pWnd; }
    // The owner's window as it was when the container was made (the controls' parent).
    HWND GetHwnd() const noexcept { return m_hWnd; }
    // The frame every site hands its control (made on first use).
    IOleInPlaceFrame* GetFrame() noexcept;

    // The UI-active control (set through the frame by the control itself).
    void SetActiveObject(IOleInPlaceActiveObject* pActiveObject) noexcept;
    // Offers a keyboard message aimed at a hosted control to the UI-active control; TRUE when used.
    BOOL PreTranslateMessage(MSG* pMsg) noexcept;

private:
    CWnd* m_pWnd;
    HWND m_hWnd;
    std::vector<fw::ComPtr<COleControlSite>> m_sites;
    fw::ComPtr<CInPlaceFrame> m_pFrame;
    fw::ComPtr<IOleInPlaceActiveObject> m_pActiveObject;
};
