#pragma once
// Window objects: one static window procedure, a per-thread map from handle to object,
// message routing through the virtual WindowProc of each class.
#include "framework/CCmdTarget.h"

#include <windows.h>
#include <string>
#include <vector>

class CWinApp;
class COleControlSite;

// Owned by a window that hosts ActiveX controls; the concrete container lives with the hosting code.
class COleControlContainer {
public:
    virtual ~COleControlContainer() = default;
    // The owner's window gets WM_DESTROY (its children still exist): release the controls.
    virtual void OnOwnerDestroy() noexcept {}
};

class CWnd : public CCmdTarget {
public:
    CWnd() noexcept;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const noexcept { return m_hWnd; }

    // Handle map.
    BOOL Attach(HWND hWnd) noexcept;
    HWND Detach() noexcept;
    static CWnd* FromHandlePermanent(HWND hWnd) noexcept;
    // Objects exist only for windows the framework attached; other handles give null.
    static CWnd* FromHandle(HWND hWnd) noexcept { return FromHandlePermanent(hWnd); }

    // Routes an existing window (a dialog item, for instance) through this object. FALSE, with
    // the window left alone, when it cannot (already routed, no memory, PreSubclassWindow threw).
    BOOL SubclassWindow(HWND hWnd) noexcept;
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent) noexcept;
    HWND UnsubclassWindow() noexcept;

    BOOL CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                  const RECT& rect, HWND hWndParent, UINT_PTR nIDorMenu, LPVOID lpParam = nullptr);
    virtual BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                        CWnd* pParentWnd, UINT nID, void* pContext = nullptr);
    virtual BOOL DestroyWindow();

    // Routing: each class handles its messages and passes the rest to its base.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled now.
    LRESULT Default();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void PreSubclassWindow() {}
    virtual void PostNcDestroy() {}
    // The combined control-colour request (nCtlColor is one of the CTLCOLOR_* kinds).
    virtual HBRUSH OnCtlColor(HDC hdc, HWND hWnd, UINT nCtlColor);

    // Modal loop.
    int RunModalLoop(DWORD dwFlags = 0);
    virtual BOOL ContinueModal();
    virtual void EndModalLoop(int nResult);

    // Thin wrappers.
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(m_hWnd, msg, wParam, lParam);
    }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_STYLE)); }
    DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongW(m_hWnd, GWL_EXSTYLE)); }
    // Writes the style only when it changes; nFlags other than 0 adds a SetWindowPos with them.
    BOOL ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags = 0);
    BOOL MoveWindow(int x, int y, int cx, int cy, BOOL bRepaint = TRUE) {
        return ::MoveWindow(m_hWnd, x, y, cx, cy, bRepaint);
    }
    BOOL SetWindowPos(HWND hWndInsertAfter, int x, int y, int cx, int cy, UINT nFlags) {
        return ::SetWindowPos(m_hWnd, hWndInsertAfter, x, y, cx, cy, nFlags);
    }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL BringWindowToTop() { return ::BringWindowToTop(m_hWnd); }
    void GetWindowRect(LPRECT r) const { ::GetWindowRect(m_hWnd, r); }
    void GetClientRect(LPRECT r) const { ::GetClientRect(m_hWnd, r); }
    void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    CWnd* GetParent() const { return FromHandle(::GetParent(m_hWnd)); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
        return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL,
                                                   reinterpret_cast<LPARAM>(hIcon)));
    }
    int MessageBox(LPCWSTR lpszText, LPCWSTR lpszCaption = nullptr, UINT nType = MB_OK) {
        return ::MessageBoxW(m_hWnd, lpszText, lpszCaption, nType);
    }

    // ActiveX hosting: the site of the control this window stands for (null when none).
    COleControlSite* m_pCtrlSite = nullptr;
    // The container of the controls this window hosts (null when none); owned, deleted with the object.
    COleControlContainer* m_pCtrlCont = nullptr;

    // Hosts an ActiveX control as a child of pParentWnd and attaches this object to its window.
    // pPersist: the control's initial state record (see BrowserInitState.h), or null.
    BOOL CreateControl(REFCLSID clsid, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                       CWnd* pParentWnd, UINT nID, const std::vector<BYTE>* pPersist = nullptr,
                       BOOL bStorage = FALSE, BSTR bstrLicKey = nullptr);
    // Late-bound call on the hosted control's IDispatch; pbParamInfo is a VTS_ list followed by the
    // arguments (VTS_BSTR: LPCWSTR, VTS_BOOL: BOOL, VTS_VARIANT: const VARIANT*, VTS_Pxxx: pointers).
    // Results: VT_BSTR into std::wstring*, VT_BOOL into BOOL*, VT_I4 into long*, VT_VARIANT into
    // VARIANT* (caller clears). Does nothing without a control site; failures throw
    // COleDispatchException (DISP_E_EXCEPTION) or COleException.
    void InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet, const BYTE* pbParamInfo, ...);

    // The one window procedure of every framework window.
    static LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    // Window creation hook: the next window created on this thread is attached to pWnd
    // and routed through AfxWndProc from its very first message on.
    static void HookWindowCreate(CWnd* pWnd);
    static bool UnhookWindowCreate();

    enum : UINT { WF_CONTINUEMODAL = 0x0080, WF_MODALLOOP = 0x0100 };

protected:
    WNDPROC m_pfnSuper = nullptr;
    UINT m_nFlags = 0;
    int m_nModalResult = -1;

    // The end of a creation through the hook: TRUE when hWnd exists and is routed through this
    // object. A window the hook could not attach (no memory, PreSubclassWindow threw) would run
    // with nothing to handle or end it: it is destroyed and the creation fails.
    BOOL FinishCreate(HWND hWnd) noexcept;

private:
    void OnNcDestroy();
    // Attach, PreSubclassWindow, then our window procedure; false (and nothing changed) on failure.
    bool SubclassAttach(HWND hWnd) noexcept;
};

// Current message of the innermost AfxWndProc call on this thread.
const MSG* AfxGetCurrentMessage() noexcept;
// Fetches and routes one message; FALSE when it was the quit message (its code is kept).
BOOL AfxPumpMessage();
// Runs PreTranslateMessage of the window chain from pMsg->hwnd up to hWndStop.
BOOL AfxWalkPreTranslateTree(HWND hWndStop, MSG* pMsg);
