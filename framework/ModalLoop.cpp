// The framework's modal loop and message pump: how a modal window runs, how each message meets
// PreTranslateMessage of its window chain before it is dispatched, and how the quit message
// leaves a modal loop.
#include "framework/CWinApp.h"
#include "framework/CWnd.h"

BOOL AfxWalkPreTranslateTree(HWND hWndStop, MSG* pMsg) {
    for (HWND hWnd = pMsg->hwnd; hWnd; hWnd = ::GetParent(hWnd)) {
        if (CWnd* pWnd = CWnd::FromHandlePermanent(hWnd)) {
            if (pWnd->PreTranslateMessage(pMsg)) return TRUE;
        }
        if (hWnd == hWndStop) break;
    }
    return FALSE;
}

BOOL AfxPumpMessage() {
    MSG msg;
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
        if (CWinApp* pApp = AfxGetApp()) pApp->m_nQuitCode = static_cast<int>(msg.wParam);
        return FALSE;
    }
    if (got == -1) return TRUE;
    bool handled = false;
    try {
        if (CWinApp* pApp = AfxGetApp()) {
            handled = pApp->PreTranslateMessage(&msg) != FALSE;
        } else {
            handled = AfxWalkPreTranslateTree(nullptr, &msg) != FALSE;
        }
    } catch (...) {
        handled = true;
    }
    if (!handled) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return TRUE;
}

BOOL CWnd::ContinueModal() {
    return (m_nFlags & WF_CONTINUEMODAL) != 0;
}

void CWnd::EndModalLoop(int nResult) {
    m_nModalResult = nResult;
    if (m_nFlags & WF_CONTINUEMODAL) {
        m_nFlags &= ~WF_CONTINUEMODAL;
        // Wake the loop in case it waits for a message.
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
}

int CWnd::RunModalLoop(DWORD) {
    bool showIdle = !(GetStyle() & WS_VISIBLE);
    m_nFlags |= WF_MODALLOOP | WF_CONTINUEMODAL;
    for (;;) {
        if (!ContinueModal()) break;
        MSG peek;
        // On the first idle moment a dialog that nobody showed becomes visible.
        if (showIdle && !::PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            if (m_hWnd) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                ::UpdateWindow(m_hWnd);
            }
            showIdle = false;
        }
        if (!AfxPumpMessage()) {
            // The quit message belongs to the outer loops as well: post it again.
            ::PostQuitMessage(0);
            m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
            return -1;
        }
        if (showIdle && (GetStyle() & WS_VISIBLE)) showIdle = false;
    }
    m_nFlags &= ~(WF_MODALLOOP | WF_CONTINUEMODAL);
    return m_nModalResult;
}
