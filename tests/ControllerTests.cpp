// Switching the main window: the controller's steps with plain dialogs standing in for
// the launcher and the game window.
#include "TestSupport.h"
#include "app/MainWindowSwitch.h"
#include "framework/CDialog.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Journal {
    std::vector<std::string> events;
    int liveObjects = 0;
    int maxObjects = 0;
    void Add(const std::string& e) { events.push_back(e); }
};

class StandIn : public CDialog {
public:
    StandIn(UINT templateId, const char* kind, int serial, Journal& j)
        : CDialog(templateId), m_name(std::string(kind) + std::to_string(serial)), m_journal(j) {
        j.Add(m_name + " constructed");
        j.maxObjects = std::max(j.maxObjects, ++j.liveObjects);
    }
    ~StandIn() override {
        m_journal.Add(m_name + " destroyed");
        --m_journal.liveObjects;
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ::ShowWindow(m_hWnd, SW_SHOW);
        m_journal.Add(m_name + " shown");
        if (onInit) onInit();
        if (onShown) {
            auto fn = onShown;
            test::RunSoon([fn] { fn(); });
        }
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CLOSE) {
            ++closeHandled;
            m_journal.Add(m_name + " close handler");
            if (onClose) {
                onClose();
                return Default();
            }
        }
        if (message == WM_DESTROY) m_journal.Add(m_name + " destroy handler");
        return CDialog::WindowProc(message, wParam, lParam);
    }
    std::string m_name;
    Journal& m_journal;
    std::function<void()> onInit; // runs inside initialisation, once the window shows
    std::function<void()> onShown; // runs from the window's own loop
    std::function<void()> onClose;
    int closeHandled = 0;
    std::wstring first, second;
};

// An application object that runs the controller's steps with the stand-ins.
class StandInApp : public CWinApp {
public:
    explicit StandInApp(Journal& j) : m_journal(j) {}
    BOOL InitInstance() override {
        {
            StandIn launcher(IDD_VXTRANSLUCENT_DIALOG, "L", ++m_serial, m_journal);
            Prepare(launcher, true);
            RunMainWindow(*this, launcher);
        }
        return FALSE;
    }
    int ExitInstance() override {
        m_journal.Add("ExitInstance, live objects " + std::to_string(m_journal.liveObjects));
        return CWinApp::ExitInstance();
    }
    void SwitchToGame(std::wstring first, std::wstring second) {
        const int serial = ++m_serial;
        ReplaceMainWindow(
            *this, [&] { return StandIn(IDD_VXGAME_DIALOG, "G", serial, m_journal); },
            [&](StandIn& game) {
                game.first = std::move(first);
                game.second = std::move(second);
                Prepare(game, false);
            });
    }
    void SwitchToLauncher() {
        const int serial = ++m_serial;
        ReplaceMainWindow(
            *this, [&] { return StandIn(IDD_VXTRANSLUCENT_DIALOG, "L", serial, m_journal); },
            [&](StandIn& launcher) { Prepare(launcher, true); });
    }
    void Prepare(StandIn& wnd, bool launcher) {
        if (launcher) {
            wnd.onShown = [this, &wnd] { if (onLauncher) onLauncher(wnd); };
        } else {
            wnd.onInit = [this, &wnd] { if (onGameInit) onGameInit(wnd); };
            wnd.onShown = [this, &wnd] { if (onGame) onGame(wnd); };
            // The game window's close switches back to a launcher, like the real one after a Yes.
            wnd.onClose = [this] { SwitchToLauncher(); };
        }
    }
    std::function<void(StandIn&)> onLauncher, onGame, onGameInit;
    int m_serial = 0;
    Journal& m_journal;
};

bool NoWindowDisabled() {
    for (HWND h : test::ThreadTopWindows()) {
        if (::IsWindowVisible(h) && !::IsWindowEnabled(h)) return false;
    }
    return true;
}

TEST(Controller, ClosingTheFirstLauncherEndsTheRunWithOneQuit) {
    Journal j;
    StandInApp app(j);
    app.onLauncher = [&](StandIn& l) { ::PostMessageW(l.m_hWnd, WM_CLOSE, 0, 0); };
    test::Deadline deadline("the first launcher's close to end the run");
    AfxWinMain(::GetModuleHandleW(nullptr));
    EXPECT_EQ(j.events, (std::vector<std::string>{"L1 constructed", "L1 shown", "L1 close handler",
                                                  "L1 destroy handler", "L1 destroyed",
                                                  "ExitInstance, live objects 0"}));
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_TRUE(test::TakeQuitMessage());
    EXPECT_FALSE(test::TakeQuitMessage());
}

TEST(Controller, LauncherGameLauncherExitUnwindsInnermostFirst) {
    Journal j;
    StandInApp app(j);
    HWND launcher1 = nullptr, game = nullptr;
    bool oldVisibleWhenNewShown = false, oldGoneSoonAfter = false;
    HWND gameOwner = reinterpret_cast<HWND>(1), launcher2Owner = reinterpret_cast<HWND>(1);
    bool nothingDisabled = true;
    StandIn* pLauncher1 = nullptr;
    StandIn* pGame = nullptr;
    app.onLauncher = [&](StandIn& l) {
        if (!launcher1) {
            launcher1 = l.m_hWnd;
            pLauncher1 = &l;
            app.SwitchToGame(L"http://game.example/play", L"extra");
        } else {
            launcher2Owner = ::GetWindow(l.m_hWnd, GW_OWNER);
            nothingDisabled = nothingDisabled && NoWindowDisabled();
            EXPECT_TRUE(test::PumpUntil([&] { return !::IsWindow(game); }, 2000));
            ::PostMessageW(l.m_hWnd, WM_CLOSE, 0, 0);
        }
    };
    app.onGameInit = [&](StandIn& g) {
        // The new window is up before the old one goes.
        oldVisibleWhenNewShown = ::IsWindow(launcher1) && ::IsWindowVisible(launcher1) && ::IsWindowVisible(g.m_hWnd);
    };
    app.onGame = [&](StandIn& g) {
        game = g.m_hWnd;
        pGame = &g;
        EXPECT_EQ(g.first, L"http://game.example/play");
        EXPECT_EQ(g.second, L"extra");
        EXPECT_EQ(app.m_pMainWnd, &g);
        gameOwner = ::GetWindow(g.m_hWnd, GW_OWNER);
        oldGoneSoonAfter = test::PumpUntil([&] { return !::IsWindow(launcher1); }, 2000);
        nothingDisabled = nothingDisabled && NoWindowDisabled();
        EXPECT_EQ(pLauncher1->m_hWnd, nullptr) << "the old object is detached";
        ::PostMessageW(g.m_hWnd, WM_CLOSE, 0, 0); // the user's close, confirmed
    };
    test::Deadline deadline("launcher, game, launcher and the last launcher's close to end the run");
    AfxWinMain(::GetModuleHandleW(nullptr));

    EXPECT_TRUE(oldVisibleWhenNewShown);
    EXPECT_TRUE(oldGoneSoonAfter);
    EXPECT_EQ(gameOwner, nullptr);
    EXPECT_EQ(launcher2Owner, nullptr);
    EXPECT_TRUE(nothingDisabled);
    EXPECT_EQ(j.events, (std::vector<std::string>{
                            "L1 constructed", "L1 shown",
                            "G2 constructed", "G2 shown",
                            "G2 close handler", // the user's close; the posted one goes to the default procedure
                            "L3 constructed", "L3 shown",
                            "L3 close handler", "L3 destroy handler", "L3 destroyed",
                            "G2 destroyed", "L1 destroyed", "ExitInstance, live objects 0"}));
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    (void)pGame;
}

TEST(Controller, ThousandNestedSwitchesUnwindCleanly) {
    constexpr int kSwitches = 1000;
    Journal j;
    StandInApp app(j);
    int switches = 0;
    size_t stackAtFirst = 0, stackAtLast = 0;
    // Each step gets its own time: the whole run takes half a minute under Wine.
    test::Deadline deadline("the first launcher to show");
    app.onLauncher = [&](StandIn& l) {
        if (switches == 0) stackAtFirst = RemainingStackBytes();
        if (switches >= kSwitches) {
            stackAtLast = RemainingStackBytes();
            deadline.Restart("the last launcher's close to unwind " + std::to_string(kSwitches) + " nested runs");
            ::PostMessageW(l.m_hWnd, WM_CLOSE, 0, 0);
            return;
        }
        ++switches;
        deadline.Restart("switch " + std::to_string(switches) + " to show a game window");
        app.SwitchToGame(L"http://game.example/" + std::to_wstring(switches), L"");
    };
    app.onGame = [&](StandIn& g) {
        ++switches;
        deadline.Restart("the close of the game window of switch " + std::to_string(switches - 1) +
                         " to bring back a launcher");
        ::PostMessageW(g.m_hWnd, WM_CLOSE, 0, 0);
    };
    AfxWinMain(::GetModuleHandleW(nullptr));
    EXPECT_EQ(switches, kSwitches);
    EXPECT_EQ(j.liveObjects, 0);
    EXPECT_EQ(j.maxObjects, kSwitches + 1);
    EXPECT_EQ(j.events.back(), "ExitInstance, live objects 0");
    ASSERT_GT(stackAtFirst, stackAtLast);
    const double perSwitch = double(stackAtFirst - stackAtLast) / kSwitches;
    std::printf("[ figure ] stack per switch: %.0f bytes; %zu bytes left after %d switches\n", perSwitch,
                stackAtLast, kSwitches);
    EXPECT_GT(stackAtLast, kSwitchStackReserve);
}

TEST(Controller, SwitchWithTooLittleStackEndsTheRunInsteadOfOverflowing) {
    Journal j;
    StandInApp app(j);
    bool switched = false;
    app.onLauncher = [&](StandIn&) {
        // Burn the stack down to just below the reserve, then ask for a switch.
        std::function<void(int)> burn = [&](int) {
            volatile char pad[16 * 1024];
            pad[0] = 0;
            if (RemainingStackBytes() > kSwitchStackReserve - 32 * 1024) {
                burn(pad[0]);
                return;
            }
            app.SwitchToGame(L"http://game.example/", L"");
            switched = app.m_pMainWnd != nullptr;
        };
        burn(0);
    };
    test::Deadline deadline("a switch with too little stack to end the run");
    AfxWinMain(::GetModuleHandleW(nullptr));
    EXPECT_FALSE(switched);
    EXPECT_EQ(j.events, (std::vector<std::string>{"L1 constructed", "L1 shown", "L1 destroyed",
                                                  "ExitInstance, live objects 0"}));
}

} // namespace
