#pragma once
// The control site: one implementation for every hosted ActiveX control, the HTML dialog's own
// browser and the controls of dialog templates alike. It is the control's client site and
// in-place site, its document host UI handler (delegating to the hosting window when that is a
// CDHtmlDialog), and it connects the control's events to the hosting window's event-sink table.
#include "framework/ComObject.h"
#include "framework/ComPtr.h"

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <mshtmhst.h>

#include <string>
#include <vector>

class CWnd;
class CDHtmlDialog;
class CControlContainer;
class COleEventSink;
struct BrowserInitState;

class COleControlSite final
    : public fw::ComObject<COleControlSite, IOleClientSite, IOleInPlaceSite, IDocHostUIHandler> {
public:
    explicit COleControlSite(CControlContainer* pContainer) noexcept;

    // Creates the control, gives it its initial state (InitNew, then the record's extent, flags
    // and location when it is a WebBrowser record), connects its events, activates it in place at
    // rect (client coordinates of the container's window) and gives its window the id nID and the
    // visibility, tab stop and disabled state of dwStyle. pWndCtrl, when given, is attached to the
    // control's window. On failure nothing of the control is left.
    HRESULT CreateControl(CWnd* pWndCtrl, REFCLSID clsid, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                          UINT nID, const std::vector<BYTE>* pInitState, BSTR bstrLicKey) noexcept;
    // Ends the control while keeping our reference to it: the events are cut, a browser stops
    // loading, the control is closed (OLECLOSE_NOSAVE) and loses its client site, and the window
    // object bound to it loses its site. Once only; safe when the windows are already gone.
    // The object itself stays referenced until ReleaseControl, so that a control whose own
    // window procedure is still on the stack below the caller is never freed under it.
    void CloseControl() noexcept;
    // CloseControl, then lets the control go. Every path that ends a control comes here.
    void ReleaseControl() noexcept;
    // Whether the control is closed but still referenced.
    bool IsClosed() const noexcept { return m_bClosed; }

    // Controls of this thread's sites that are still referenced, and how many of them are open.
    struct Census {
        int live = 0;
        int open = 0;
    };
    static Census GetCensus() noexcept;

    // Moves the control: tells the control (SetObjectRects), which moves its window.
    void MoveWindow(const RECT& rect) noexcept;

    // Accessors.
    HWND m_hWnd = nullptr; // the control's window
    UINT GetID() const noexcept { return m_nID; }
    REFCLSID GetClassID() const noexcept { return m_clsid; }
    IUnknown* GetControlUnknown() const noexcept { return m_pObject.get(); }
    IDispatch* GetControlDispatch() const noexcept { return m_pDispatch.get(); }
    // The IDispatch the control fires its events into (null when not connected).
    IDispatch* GetEventSink() const noexcept;
    // The event interface the sink is connected to (IID_NULL when none).
    REFIID GetEventIID() const noexcept { return m_iidEvents; }
    CWnd* GetContainerWnd() const noexcept;

    // The control fired an event: run the hosting window's entry for this control.
    HRESULT FireEvent(DISPID dispid, DISPPARAMS* pParams, EXCEPINFO* pExcepInfo, UINT* puArgErr) noexcept;

    void* FindInterface(REFIID riid) noexcept;

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** ppContainer) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL fShow) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

    // IOleWindow / IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL fEnterMode) override;
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                               LPRECT lprcPosRect, LPRECT lprcClipRect,
                                               LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE scrollExtant) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL fUndoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT lprcPosRect) override;

    // IDocHostUIHandler
    HRESULT STDMETHODCALLTYPE ShowContextMenu(DWORD dwID, POINT* ppt, IUnknown* pcmdtReserved,
                                              IDispatch* pdispReserved) override;
    HRESULT STDMETHODCALLTYPE GetHostInfo(DOCHOSTUIINFO* pInfo) override;
    HRESULT STDMETHODCALLTYPE ShowUI(DWORD dwID, IOleInPlaceActiveObject* pActiveObject,
                                     IOleCommandTarget* pCommandTarget, IOleInPlaceFrame* pFrame,
                                     IOleInPlaceUIWindow* pDoc) override;
    HRESULT STDMETHODCALLTYPE HideUI() override;
    HRESULT STDMETHODCALLTYPE UpdateUI() override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL fEnable) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL fActivate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                                           BOOL fRameWindow) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG lpMsg, const GUID* pguidCmdGroup, DWORD nCmdID) override;
    HRESULT STDMETHODCALLTYPE GetOptionKeyPath(LPOLESTR* pchKey, DWORD dw) override;
    HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget* pDropTarget, IDropTarget** ppDropTarget) override;
    HRESULT STDMETHODCALLTYPE GetExternal(IDispatch** ppDispatch) override;
    HRESULT STDMETHODCALLTYPE TranslateUrl(DWORD dwTranslate, LPWSTR pchURLIn, LPWSTR* ppchURLOut) override;
    HRESULT STDMETHODCALLTYPE FilterDataObject(IDataObject* pDO, IDataObject** ppDORet) override;

private:
    CDHtmlDialog* HtmlHost() const noexcept;
    HWND ContainerHwnd() const noexcept;
    RECT CurrentPosRect() const noexcept;
    void ConnectEvents() noexcept;
    void DisconnectEvents() noexcept;
    void ApplyBrowserState(const BrowserInitState& state) noexcept;

    CControlContainer* m_pContainer;
    UINT m_nID = 0;
    CLSID m_clsid{};
    RECT m_rect{};
    bool m_bInPlaceActive = false;
    bool m_bClosed = false;
    fw::ComPtr<IOleObject> m_pObject;
    fw::ComPtr<IOleInPlaceObject> m_pInPlaceObject;
    fw::ComPtr<IDispatch> m_pDispatch;
    fw::ComPtr<COleEventSink> m_pSink;
    fw::ComPtr<IConnectionPoint> m_pConnPoint;
    DWORD m_dwCookie = 0;
    IID m_iidEvents = IID_NULL;

    // Every control lives on the user-interface thread: plain counters.
    static inline int s_nLive = 0;
    static inline int s_nOpen = 0;
};
