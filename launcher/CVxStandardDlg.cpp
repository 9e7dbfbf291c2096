#include "launcher/CVxStandardDlg.h"

#include "app/CTranslucentApp.h"
#include "app/ConfigStore.h"
#include "framework/CWinApp.h"
#include "framework/COleDispatchException.h"
#include "framework/COleException.h"
#include "framework/Handles.h"
#include "framework/OpticalZoom.h"
#include "framework/Trace.h"
#include "framework/Variant.h"
#include "launcher/HandOff.h"
#include "resource.h"
#include "translucent/CTranslucentDialog.h"

#include <cwchar>
#include <iterator>
#include <utility>

#ifndef ORVANE_DEFAULT_HOST
#define ORVANE_DEFAULT_HOST L"micro.orvane.com"
#endif

namespace {
constexpr COLORREF kKeyColour = RGB(0, 255, 0);
constexpr wchar_t kDefaultFullScreenKey[] = L"fullscn=1";

// Browser and image buttons: pixel rectangles over the skin at 96 DPI; UiScale::Rect gives
// them on a high-DPI screen.
constexpr RECT kBrowserRect{363, 308, 363 + 658, 308 + 426};
constexpr RECT kCloseRect{1018, 249, 1018 + 58, 249 + 88};
constexpr RECT kMinimizeRect{962, 237, 962 + 62, 237 + 59};

void MoveTo(CWnd& wnd, const RECT& r) {
    fw::Ignore(wnd.MoveWindow(r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE));
}
} // namespace

std::wstring DefaultStartPage() {
    return std::wstring(L"http://") + ORVANE_DEFAULT_HOST + L"/Home/GameServer/micro?name=ov22";
}

std::wstring StartPageFor(const std::wstring& configured) {
    return configured == kConfigMissing ? DefaultStartPage() : configured;
}

BEGIN_DISPATCH_MAP(CVxStandardDlg, CStandardDialog)
    DISP_FUNCTION(CVxStandardDlg, "outLink", outLink, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_EVENTSINK_MAP(CVxStandardDlg, CStandardDialog)
    ON_EVENT(CVxStandardDlg, IDC_BROWSER, 252 /* NavigateComplete2 */, OnNavigateComplete2, VTS_DISPATCH VTS_PVARIANT)
    ON_EVENT(CVxStandardDlg, IDC_BROWSER, 259 /* DocumentComplete */, OnBrowserDocumentComplete,
             VTS_DISPATCH VTS_PVARIANT)
    ON_EVENT(CVxStandardDlg, IDC_BROWSER, 271 /* NavigateError */, OnNavigateError,
             VTS_DISPATCH VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PBOOL)
END_EVENTSINK_MAP()

CVxStandardDlg::CVxStandardDlg(CWnd* pParent) : CStandardDialog(IDD_VXSTANDARD_DIALOG, kKeyColour, pParent) {
    // Above 96 DPI the engine's own high-DPI behaviour, in which an optical zoom is the page's
    // exact scale (without the flag it is divided by the system's scale). The engine then also
    // scales a page nobody zooms, so ZoomPage zooms every page to the launcher's scale, 100 %
    // included.
    if (SystemDpi() > 96) m_dwHostFlags |= DOCHOSTUIFLAG_DPI_AWARE;
    EnableAutomation();
}

CVxStandardDlg::~CVxStandardDlg() {
    // The page may still hold the external object: cut it off before the members go.
    ExternalDisconnect();
}

void CVxStandardDlg::DoDataExchange(CDataExchange* pDX) {
    DDX_Control(pDX, IDC_BTN_SITE, m_btnSite);
    DDX_Control(pDX, IDC_BROWSER, m_browser);
    DDX_Control(pDX, IDC_BTN_MINIMIZE, m_btnMinimize);
    DDX_Control(pDX, IDC_BTN_CLOSE, m_btnClose);
}

BOOL CVxStandardDlg::OnInitDialog() {
    CStandardDialog::OnInitDialog();

    const std::wstring startPage = StartPageFor(ReadConfigValue(L"client_web"));
    // The dialog's own automation object is the page's window.external.
    SetExternalDispatch(GetIDispatch(FALSE));

    const UiScale scale = LauncherScale();
    MoveTo(m_browser, scale.Rect(kBrowserRect));
    fw::Trace(L"launcher navigates to its start page ", fw::Quoted(startPage));
    m_browser.Navigate(startPage, nullptr, nullptr, nullptr, nullptr);
    // After the request: the first load is under way before silent mode is set.
    m_browser.SetSilent(TRUE);
    ZoomPage();

    // Above 96 DPI the images come from the art drawn at 2x, scaled down to the launcher's scale.
    const double imageScale = scale.Value() / 2.0;
    m_btnClose.SetImage(scale.IsOne() ? IDB_CLOSE : IDB_CLOSE_2X, scale.IsOne() ? IDB_CLOSE_HOT : IDB_CLOSE_HOT_2X, 0,
                        scale.IsOne() ? 1.0 : imageScale);
    m_btnClose.m_bTransparent = TRUE;
    MoveTo(m_btnClose, scale.Rect(kCloseRect));

    m_btnMinimize.SetImage(scale.IsOne() ? IDB_MIN : IDB_MIN_2X, scale.IsOne() ? IDB_MIN_HOT : IDB_MIN_HOT_2X, 0,
                           scale.IsOne() ? 1.0 : imageScale);
    m_btnMinimize.m_bTransparent = TRUE;
    MoveTo(m_btnMinimize, scale.Rect(kMinimizeRect));
    return TRUE;
}

UiScale CVxStandardDlg::LauncherScale() const noexcept {
    // The background this companion lies over decides it when its window is created.
    const auto* pBackground = dynamic_cast<const CTranslucentDialog*>(m_pParentWnd);
    return pBackground ? pBackground->Scale() : UiScale();
}

void CVxStandardDlg::ZoomPage() {
    // At 96 DPI the page is left exactly as it is.
    if (!(m_dwHostFlags & DOCHOSTUIFLAG_DPI_AWARE) || !m_browser.m_hWnd) return;
    // Operators make the page for 658 x 426 CSS pixels: zoomed by the launcher's own scale (not
    // the system's, which the fit to the screen may have lowered), it lays out in exactly that.
    const int percent = LauncherScale().Percent();
    const HRESULT refused = fw::SetOpticalZoom(m_browser, percent);
    // No document yet, or an engine without zoom: the page shows at the engine's own scale.
    if (FAILED(refused)) {
        fw::Trace(L"launcher page zoom to ", std::to_wstring(percent), L" % refused: ", fw::TraceHresult(refused));
    }
}

void CVxStandardDlg::OnOK() {}

BOOL CVxStandardDlg::IsExternalDispatchSafe() {
    return TRUE;
}

LRESULT CVxStandardDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) {
            switch (LOWORD(wParam)) {
            case IDC_BTN_SITE:
                OnBtnSite();
                return 0;
            case IDC_BTN_CLOSE:
                OnBtnClose();
                return 0;
            case IDC_BTN_MINIMIZE:
                OnBtnMinimize();
                return 0;
            default:
                break;
            }
        }
        break;
    case WM_DESTROY:
        // The HTML dialog's destroy handling only.
        OnDestroy();
        return 0;
    case WM_CLOSE:
        // For a dialog, default processing turns the close request into the cancel command.
        return Default();
    default:
        break;
    }
    return CStandardDialog::WindowProc(message, wParam, lParam);
}

void CVxStandardDlg::OnBtnSite() {}

void CVxStandardDlg::OnBtnClose() {
    // One confirmation at a time: a click that arrives while the box is up is dropped.
    if (!m_exitConfirmation.Ask(m_hWnd)) return;
    if (CWnd* pMain = AfxGetMainWnd(); pMain && pMain->m_hWnd) {
        fw::Ignore(::SendMessageW(pMain->m_hWnd, WM_CLOSE, 0, 0));
    }
}

void CVxStandardDlg::OnBtnMinimize() {
    fw::Ignore(ShowWindow(SW_MINIMIZE));
    if (CWnd* pMain = AfxGetMainWnd(); pMain && pMain->m_hWnd) fw::Ignore(pMain->ShowWindow(SW_MINIMIZE));
}

void CVxStandardDlg::outLink(const VARIANT& a, const VARIANT& b) {
    // Both conversions come first: a failure reaches the script before anything has changed.
    std::wstring textA = HandOffArgumentText(a);
    std::wstring textB = HandOffArgumentText(b);
    const wchar_t* refusal = m_bHandedOff ? kRefusedAlreadyHandedOver : GameAddressRefusal(textB);
    // The decision first, then the address (the second argument), then the first argument.
    if (refusal) {
        fw::Trace(L"outLink refused: ", refusal, L": address ", fw::Quoted(textB), L", first argument ",
                  fw::Quoted(textA));
        return;
    }
    fw::Trace(L"outLink handed over: address ", fw::Quoted(textB), L", first argument ", fw::Quoted(textA));
    HandOff(std::move(textB), std::move(textA));
}

void CVxStandardDlg::OnNavigateComplete2(IDispatch*, VARIANT* URL) {
    // The URL arrives as a string; anything else is not an address.
    std::wstring url;
    if (URL && URL->vt == VT_BSTR && URL->bstrVal) url = URL->bstrVal;
    else if (URL && URL->vt == (VT_BYREF | VT_BSTR) && URL->pbstrVal && *URL->pbstrVal) url = *URL->pbstrVal;
    else {
        fw::Trace(L"launcher navigation ignored: the event carries no address");
        return;
    }
    if (m_bHandedOff) {
        fw::Trace(L"launcher navigation refused: ", kRefusedAlreadyHandedOver, L": completed ", fw::Quoted(url));
        return;
    }
    // Each new document starts at the engine's own zoom.
    ZoomPage();

    std::wstring key = ReadConfigValue(L"fullscn_key");
    if (key == kConfigMissing) key = kDefaultFullScreenKey;
    if (url.find(key) == std::wstring::npos) {
        fw::Trace(L"launcher navigation stays: without the key: completed ", fw::Quoted(url), L", key ",
                  fw::Quoted(key));
        return;
    }

    std::wstring location = m_browser.GetLocationURL();
    if (const wchar_t* refusal = GameAddressRefusal(location)) {
        fw::Trace(L"launcher navigation refused: ", refusal, L": top-level address ", fw::Quoted(location),
                  L", completed with the key ", fw::Quoted(url), L", key ", fw::Quoted(key));
        return;
    }
    fw::Trace(L"launcher navigation handed over: top-level address ", fw::Quoted(location),
              L", completed with the key ", fw::Quoted(url), L", key ", fw::Quoted(key));
    HandOff(std::move(location), std::move(url));
}

void CVxStandardDlg::OnBrowserDocumentComplete(IDispatch* pDisp, VARIANT*) {
    if (m_bHandedOff || !m_browser.IsTopLevel(pDisp)) return;
    ZoomPage();
}

void CVxStandardDlg::OnNavigateError(IDispatch*, VARIANT* URL, VARIANT*, VARIANT* StatusCode, VARIANT_BOOL*) {
    // For the trace only: what the browser does about the error stays its own.
    fw::Trace(L"launcher page: navigation error ", fw::TraceStatus(StatusCode), L" at ", fw::Quoted(fw::VariantText(URL)));
}

void CVxStandardDlg::HandOff(std::wstring first, std::wstring second) {
    // Set first: whatever the browser fires from here on (Stop below may fire events) finds this
    // launcher retired.
    m_bHandedOff = true;
    StopPage();
    // Post, then detach: the windows are destroyed by the next loop's default processing and
    // none of this dialog's handlers runs for them again.
    if (HWND hBrowser = m_browser.m_hWnd) {
        fw::Ignore(::PostMessageW(hBrowser, WM_CLOSE, 0, 0));
        m_browser.Detach();
    }
    if (HWND hDlg = m_hWnd) {
        fw::Ignore(::PostMessageW(hDlg, WM_CLOSE, 0, 0));
        Detach();
    }
    if (CTranslucentApp* pApp = AfxGetTranslucentApp()) pApp->SwitchToGame(std::move(first), std::move(second));
    // The objects of this launcher are not touched again.
}

void CVxStandardDlg::StopPage() noexcept {
    // The page's call or event that hands over is still on the stack and stays there while the
    // game runs, so the control cannot be closed yet; stopping it ends its downloads, sounds and
    // animations, which would otherwise go on unseen under the game.
    try {
        m_browser.Stop();
        fw::Trace(L"launcher page stopped for the hand-off");
    } catch (const COleDispatchException& e) {
        fw::Trace(L"launcher page not stopped: Stop refused ", fw::TraceHresult(e.m_scError), L" ",
                  fw::Quoted(e.m_strDescription));
    } catch (const COleException& e) {
        fw::Trace(L"launcher page not stopped: Stop failed ", fw::TraceHresult(e.m_sc));
    } catch (...) {
        // No memory for the call's arguments: the hand-off goes on without it.
    }
}
