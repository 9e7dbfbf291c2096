#include "framework/CWnd.h"

#include "framework/CWinApp.h"
#include "framework/Handles.h"

#include <unordered_map>

namespace {

struct ThreadState {
    std::unordered_map<HWND, CWnd*> map;
    MSG lastSent{};
    CWnd* pWndInit = nullptr;
    fw::UniqueHook hook;
    int hookDepth = 0;
};

ThreadState& State() {
    thread_local ThreadState state;
    return state;
}

LRESULT CALLBACK CbtFilterHook(int code, WPARAM wParam, LPARAM lParam) noexcept {
    ThreadState& st = State();
    if (code == HCBT_CREATEWND && st.pWndInit) {
        CWnd* pWnd = std::exchange(st.pWndInit, nullptr);
        HWND hWnd = reinterpret_cast<HWND>(wParam);
        pWnd->SubclassWindow(hWnd);
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

CWnd::CWnd() noexcept = default;

CWnd::~CWnd() {
    // An object that still owns a live window takes it down with it; the window
    // must not outlive the object that routes its messages.
    if (m_hWnd && ::IsWindow(m_hWnd) && FromHandlePermanent(m_hWnd) == this) {
        ::DestroyWindow(m_hWnd);
    }
    if (m_hWnd) Detach();
    delete std::exchange(m_pCtrlCont, nullptr);
}

BOOL CWnd::Attach(HWND hWnd) noexcept {
    if (!hWnd || m_hWnd) return FALSE;
    auto& map = State().map;
    try {
        // The map may have to grow: without memory the window simply gets no object.
        if (!map.emplace(hWnd, this).second) return FALSE;
    } catch (...) {
        return FALSE;
    }
    m_hWnd = hWnd;
    return TRUE;
}

HWND CWnd::Detach() noexcept {
    HWND hWnd = std::exchange(m_hWnd, nullptr);
    if (hWnd) {
        auto& map = State().map;
        auto it = map.find(hWnd);
        if (it != map.end() && it->second == this) map.erase(it);
    }
    m_pCtrlSite = nullptr;
    return hWnd;
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd) noexcept {
    if (!hWnd) return nullptr;
    auto& map = State().map;
    auto it = map.find(hWnd);
    return it == map.end() ? nullptr : it->second;
}

bool CWnd::SubclassAttach(HWND hWnd) noexcept {
    if (!Attach(hWnd)) return false;
    try {
        PreSubclassWindow();
    } catch (...) {
        // Nothing is routed through us yet: leave the window as it was.
        Detach();
        return false;
    }
    auto old = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::AfxWndProc)));
    if (old != &CWnd::AfxWndProc) m_pfnSuper = old;
    return true;
}

BOOL CWnd::SubclassWindow(HWND hWnd) noexcept {
    if (!hWnd || m_hWnd || FromHandlePermanent(hWnd)) return FALSE;
    return SubclassAttach(hWnd) ? TRUE : FALSE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent) noexcept {
    if (!pParent) return FALSE;
    return SubclassWindow(::GetDlgItem(pParent->m_hWnd, static_cast<int>(nID)));
}

HWND CWnd::UnsubclassWindow() noexcept {
    if (!m_hWnd) return nullptr;
    if (m_pfnSuper) ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    m_pfnSuper = nullptr;
    return Detach();
}

void CWnd::HookWindowCreate(CWnd* pWnd) {
    ThreadState& st = State();
    if (!st.hook) {
        st.hook.reset(::SetWindowsHookExW(WH_CBT, &CbtFilterHook, nullptr, ::GetCurrentThreadId()));
    }
    ++st.hookDepth;
    st.pWndInit = pWnd;
}

bool CWnd::UnhookWindowCreate() {
    ThreadState& st = State();
    const bool consumed = st.pWndInit == nullptr;
    st.pWndInit = nullptr;
    if (st.hookDepth > 0 && --st.hookDepth == 0) st.hook.reset();
    return consumed;
}

BOOL CWnd::CreateEx(DWORD dwExStyle, LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle,
                    const RECT& rect, HWND hWndParent, UINT_PTR nIDorMenu, LPVOID lpParam) {
    if (m_hWnd) return FALSE;
    HookWindowCreate(this);
    HWND hWnd = ::CreateWindowExW(dwExStyle, lpszClassName, lpszWindowName, dwStyle, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, hWndParent,
                                  reinterpret_cast<HMENU>(nIDorMenu), ::GetModuleHandleW(nullptr), lpParam);
    UnhookWindowCreate();
    return FinishCreate(hWnd);
}

BOOL CWnd::FinishCreate(HWND hWnd) noexcept {
    if (!hWnd) {
        // A window that failed during creation was attached by the hook and is gone now.
        if (m_hWnd) Detach();
        return FALSE;
    }
    if (m_hWnd != hWnd) {
        if (!FromHandlePermanent(hWnd)) fw::Ignore(::DestroyWindow(hWnd));
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::Create(LPCWSTR lpszClassName, LPCWSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, void*) {
    return CreateEx(0, lpszClassName, lpszWindowName, dwStyle | WS_CHILD, rect,
                    pParentWnd ? pParentWnd->m_hWnd : nullptr, nID);
}

BOOL CWnd::DestroyWindow() {
    if (!m_hWnd) return FALSE;
    HWND hWnd = m_hWnd;
    const bool permanent = FromHandlePermanent(hWnd) == this;
    BOOL ok = ::DestroyWindow(hWnd);
    // A window that never went through this object's WM_NCDESTROY is detached here.
    if (!permanent || m_hWnd == hWnd) {
        if (!ok && ::IsWindow(hWnd)) return ok;
        Detach();
    }
    return ok;
}

LRESULT CALLBACK CWnd::AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    CWnd* pWnd = FromHandlePermanent(hWnd);
    if (!pWnd) {
        // No object routes this window (never attached, or detached): plain default processing.
        return ::DefWindowProcW(hWnd, message, wParam, lParam);
    }
    ThreadState& st = State();
    const MSG saved = st.lastSent;
    st.lastSent = MSG{hWnd, message, wParam, lParam, 0, {}};
    LRESULT result = 0;
    try {
        if (message == WM_NCDESTROY) {
            pWnd->OnNcDestroy();
        } else {
            result = pWnd->WindowProc(message, wParam, lParam);
            // Hosted controls go while the window and its children still exist.
            if (message == WM_DESTROY && pWnd->m_pCtrlCont) pWnd->m_pCtrlCont->OnOwnerDestroy();
        }
    } catch (...) {
        // No C++ exception may cross the window procedure.
        result = 0;
    }
    st.lastSent = saved;
    return result;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        return reinterpret_cast<LRESULT>(OnCtlColor(reinterpret_cast<HDC>(wParam),
                                                    reinterpret_cast<HWND>(lParam),
                                                    message - WM_CTLCOLORMSGBOX));
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (m_pfnSuper) return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    const MSG& m = State().lastSent;
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

HBRUSH CWnd::OnCtlColor(HDC, HWND, UINT) {
    return reinterpret_cast<HBRUSH>(Default());
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

void CWnd::OnNcDestroy() {
    // The end of the main window ends the application: post the quit message once.
    if (CWinApp* pApp = AfxGetApp(); pApp && pApp->m_pMainWnd == this) {
        ::PostQuitMessage(0);
        pApp->m_pMainWnd = nullptr;
    }
    // A modal loop whose window died through its own object has nothing left to run.
    if (m_nFlags & WF_CONTINUEMODAL) EndModalLoop(-1);
    HWND hWnd = m_hWnd;
    auto current = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC));
    Default();
    if (m_pfnSuper && reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hWnd, GWLP_WNDPROC)) == current) {
        ::SetWindowLongPtrW(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    }
    m_pfnSuper = nullptr;
    Detach();
    PostNcDestroy();
}

std::wstring CWnd::GetWindowText() const {
    const int len = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(len > 0 ? len : 0) + 1, L'\0');
    const int got = ::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}

namespace {
BOOL ModifyStyleImpl(HWND hWnd, int index, DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    const DWORD style = static_cast<DWORD>(::GetWindowLongW(hWnd, index));
    const DWORD newStyle = (style & ~dwRemove) | dwAdd;
    if (style == newStyle) return FALSE;
    ::SetWindowLongW(hWnd, index, static_cast<LONG>(newStyle));
    if (nFlags != 0) {
        ::SetWindowPos(hWnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | nFlags);
    }
    return TRUE;
}
} // namespace

BOOL CWnd::ModifyStyle(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    return ModifyStyleImpl(m_hWnd, GWL_STYLE, dwRemove, dwAdd, nFlags);
}

BOOL CWnd::ModifyStyleEx(DWORD dwRemove, DWORD dwAdd, UINT nFlags) {
    return ModifyStyleImpl(m_hWnd, GWL_EXSTYLE, dwRemove, dwAdd, nFlags);
}

const MSG* AfxGetCurrentMessage() noexcept {
    return &State().lastSent;
}
