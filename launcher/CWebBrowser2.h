#pragma once
// Window object for one hosted WebBrowser control: no state of its own, a few late-bound calls
// through the control's IDispatch. Bound to a template control by DDX_Control; once detached
// (or never bound) every call does nothing and GetLocationURL gives empty text.
#include "framework/CWnd.h"

#include <string>

class CWebBrowser2 : public CWnd {
public:
    CWebBrowser2() noexcept = default;
    ~CWebBrowser2() override = default;

    // Ignores the class name and the context: creates a hosted WebBrowser control.
    BOOL Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect, CWnd* pParentWnd,
                UINT nID, void* pContext = nullptr) override;

    // Navigate (dispatch id 104): URL, then Flags, TargetFrameName, PostData, Headers (may be null).
    void Navigate(LPCWSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData, VARIANT* Headers);
    void Navigate(const std::wstring& URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                  VARIANT* Headers) {
        Navigate(URL.c_str(), Flags, TargetFrameName, PostData, Headers);
    }
    // LocationURL (dispatch id 211): the address of the top-level document.
    std::wstring GetLocationURL();
    // Silent (dispatch id 551): the control shows no dialog boxes of its own; any non-zero BOOL
    // reaches it as VARIANT_TRUE.
    void SetSilent(BOOL bNewValue);
    // Stop (dispatch id 106): ends the page's downloads, background sounds and animations.
    void Stop();
    // Whether pDisp, the window or frame an event of this control names, is the control itself
    // (its top-level document) rather than one of its frames; compared as COM identities.
    bool IsTopLevel(IDispatch* pDisp) const noexcept;
};
