#pragma once
// The application object: runs the launcher as main window and switches between the
// launcher and the game window.
#include "framework/CWinApp.h"

#include <windows.h>

#include <string>

class CTranslucentApp : public CWinApp {
public:
    CTranslucentApp() noexcept;
    ~CTranslucentApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // Replaces the launcher by the game window on address first; second is stored by the game window.
    void SwitchToGame(std::wstring first, std::wstring second);
    // Replaces the game window by a new launcher.
    void SwitchToLauncher();

private:
    ULONG_PTR m_gdiplusToken = 0;
    bool m_gdiplusStarted = false;
};

// The running application object, or null when the current application is of another type.
CTranslucentApp* AfxGetTranslucentApp() noexcept;
