#include "framework/CWinApp.h"

#include "framework/CWnd.h"
#include "framework/OleInit.h"

namespace {
CWinApp* g_pApp = nullptr;
HINSTANCE g_hResource = nullptr;
} // namespace

CWinApp::CWinApp() noexcept {
    g_pApp = this;
    m_hInstance = ::GetModuleHandleW(nullptr);
}

CWinApp::~CWinApp() {
    if (g_pApp == this) g_pApp = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return m_nQuitCode;
}

BOOL CWinApp::PreTranslateMessage(MSG* pMsg) {
    HWND hWndStop = m_pMainWnd ? m_pMainWnd->m_hWnd : nullptr;
    return AfxWalkPreTranslateTree(hWndStop, pMsg);
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    return ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(nIDResource));
}

CWinApp* AfxGetApp() noexcept {
    return g_pApp;
}

CWnd* AfxGetMainWnd() noexcept {
    return g_pApp ? g_pApp->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() noexcept {
    return g_pApp && g_pApp->m_hInstance ? g_pApp->m_hInstance : ::GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() noexcept {
    return g_hResource ? g_hResource : AfxGetInstanceHandle();
}

void AfxSetResourceHandle(HINSTANCE hInst) noexcept {
    g_hResource = hInst;
}

int AfxWinMain(HINSTANCE hInstance) {
    CWinApp* pApp = AfxGetApp();
    if (!pApp) return -1;
    pApp->m_hInstance = hInstance;
    int code;
    if (!pApp->InitInstance()) {
        if (pApp->m_pMainWnd) pApp->m_pMainWnd->DestroyWindow();
        code = pApp->ExitInstance();
    } else {
        while (AfxPumpMessage()) {
        }
        code = pApp->ExitInstance();
    }
    AfxOleTerm();
    return code;
}
