#pragma once
// The main-window steps of the application controller. Every main window runs modally as a
// local of the call that runs it; a switch nests the new window's modal loop inside the call
// that asked for it, and the one quit message at the end unwinds all loops.
#include "framework/CWinApp.h"
#include "framework/CWnd.h"
#include "framework/Handles.h"

#include <cstddef>

// Stack a switch keeps in reserve: the new modal loop and everything the new window's
// initialisation and handlers run on top of it (browser and GDI+ calls included).
constexpr size_t kSwitchStackReserve = 512 * 1024;

// Bytes of stack left below the caller's frame on this thread.
size_t RemainingStackBytes() noexcept;

// Runs wnd as the application's main window until its modal run ends. A window that could not
// be created leaves m_pMainWnd naming a local that is about to go: the run ends instead of
// keeping outer loops alive with no window.
template <class TWnd>
void RunMainWindow(CWinApp& app, TWnd& wnd) {
    app.m_pMainWnd = &wnd;
    fw::Ignore(wnd.DoModal());
    if (app.m_pMainWnd == &wnd) {
        app.m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
}

// Retires the current main window and runs a new one in its place:
// post WM_CLOSE to the old window, detach its object, construct the new window (make()),
// make it the main window, prepare(newWnd), run it modally, then DestroyWindow on the old
// object (which has no window any more and so does nothing).
template <class Make, class Prepare>
void ReplaceMainWindow(CWinApp& app, Make&& make, Prepare&& prepare) {
    CWnd* pOld = app.m_pMainWnd;
    if (!pOld || !pOld->m_hWnd) return;
    if (RemainingStackBytes() < kSwitchStackReserve) {
        // No room for another nested loop: end the run cleanly rather than overflow the stack.
        ::PostMessageW(pOld->m_hWnd, WM_CLOSE, 0, 0);
        pOld->Detach();
        app.m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
        return;
    }
    ::PostMessageW(pOld->m_hWnd, WM_CLOSE, 0, 0);
    pOld->Detach();
    auto wnd = make();
    app.m_pMainWnd = &wnd;
    prepare(wnd);
    RunMainWindow(app, wnd);
    fw::Ignore(pOld->DestroyWindow());
}
