#pragma once
// The application object and the framework's entry routine.
#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp() noexcept;
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    // Result becomes the process exit code: the code of the last quit message fetched.
    virtual int ExitInstance();
    // Runs PreTranslateMessage along the window chain up to the main window.
    virtual BOOL PreTranslateMessage(MSG* pMsg);

    // The window object whose modal loop is current; null once the main window ended.
    CWnd* m_pMainWnd = nullptr;
    // Wire code of the last quit message a loop fetched.
    int m_nQuitCode = 0;
    HINSTANCE m_hInstance = nullptr;

    HICON LoadIcon(UINT nIDResource) const;
};

CWinApp* AfxGetApp() noexcept;
CWnd* AfxGetMainWnd() noexcept;
HINSTANCE AfxGetInstanceHandle() noexcept;
// Module the framework loads templates, images and pages from.
HINSTANCE AfxGetResourceHandle() noexcept;
void AfxSetResourceHandle(HINSTANCE hInst) noexcept;

// Entry routine: InitInstance; on FALSE, DestroyWindow on a remaining main window, then
// ExitInstance, whose result is returned. A TRUE result runs a plain message pump first.
int AfxWinMain(HINSTANCE hInstance);
