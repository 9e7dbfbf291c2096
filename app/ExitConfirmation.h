#pragma once
// The question the launcher and the game window ask before the player leaves: one text, one
// caption, Yes and No, in a message box owned by the asking window.
#include <windows.h>

class ExitConfirmation {
public:
    // Shows the box and waits for the answer. True only for Yes. A request that arrives while
    // this window's box is open (a second click, a WM_CLOSE posted meanwhile) is dropped and
    // answers false, so one box at a time stands for the window.
    bool Ask(HWND owner);

private:
    bool m_open = false;
};
