#pragma once
// Helpers for the game window tests: a recording subclass, Wine's tray, stepwise driving of
// the modal loop.
#include "TestSupport.h"
#include "bench/AnswerProbe.h"
#include "framework/CWinApp.h"
#include "game/CVxGameDlg.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace gametest {

constexpr DWORD kCaptionBits = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;

inline DWORD StyleOf(HWND h) {
    return static_cast<DWORD>(::GetWindowLongW(h, GWL_STYLE));
}

// Full screen: popup with none of the frame bits. Windowed after full screen: the whole frame, no popup.
inline bool IsFullScreenStyle(HWND h) {
    const DWORD s = StyleOf(h);
    return (s & WS_POPUP) && !(s & kCaptionBits);
}
inline bool IsFramedStyle(HWND h) {
    return (StyleOf(h) & WS_OVERLAPPEDWINDOW) == WS_OVERLAPPEDWINDOW;
}

// Wine shows tray icons as children of class __winex11_tray_icon of one top-level window of
// class __winex11_standalone_tray (in the explorer process), created with the first icon.
inline std::vector<HWND> WineTrayIcons() {
    std::vector<HWND> icons;
    HWND tray = ::FindWindowW(L"__winex11_standalone_tray", nullptr);
    if (!tray) return icons;
    ::EnumChildWindows(
        tray,
        [](HWND h, LPARAM p) -> BOOL {
            if (test::ClassNameOf(h) == L"__winex11_tray_icon") reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&icons));
    return icons;
}
inline int WineTrayIconCount() {
    return static_cast<int>(WineTrayIcons().size());
}

// A game window that records what reaches its window procedure and every navigation.
class SpyGameDlg : public CVxGameDlg {
public:
    struct Event {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        WINDOWPOS pos{};  // WM_WINDOWPOSCHANGED
        bool visible = false, zoomed = false;
        std::wstring text; // WM_SETTEXT text, navigation address
    };
    struct Navigation {
        std::wstring url;
        DWORD flags = 0;
        bool target = false, headers = false, postData = false;
        DWORD postDataLen = 0;
    };
    // Pseudo message id of a navigation in the event log.
    static constexpr UINT kNavigated = 0x7FFF0001;

    std::vector<Event> events;
    std::vector<Navigation> navigations;
    std::function<void()> onInit;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        Event e;
        e.message = message;
        e.wParam = wParam;
        e.lParam = lParam;
        e.visible = m_hWnd && ::IsWindowVisible(m_hWnd);
        e.zoomed = m_hWnd && ::IsZoomed(m_hWnd);
        if (message == WM_WINDOWPOSCHANGED && lParam) e.pos = *reinterpret_cast<const WINDOWPOS*>(lParam);
        if (message == WM_SETTEXT && lParam) e.text = reinterpret_cast<LPCWSTR>(lParam);
        events.push_back(e);
        const LRESULT r = CVxGameDlg::WindowProc(message, wParam, lParam);
        if (message == WM_INITDIALOG && onInit) onInit();
        return r;
    }
    void NavigateBrowser(LPCWSTR url, DWORD flags, LPCWSTR target, LPCWSTR headers, LPVOID postData,
                         DWORD postDataLen) override {
        navigations.push_back({url ? url : L"", flags, target != nullptr, headers != nullptr, postData != nullptr,
                               postDataLen});
        Event e;
        e.message = kNavigated;
        e.text = url ? url : L"";
        events.push_back(e);
        CVxGameDlg::NavigateBrowser(url, flags, target, headers, postData, postDataLen);
    }
    // The page going somewhere else, as the browser would.
    void NavigateElsewhere(const std::wstring& url) {
        NavigateBrowser(url.c_str(), 0, nullptr, nullptr, nullptr, 0);
    }

    int Count(UINT message) const {
        int n = 0;
        for (const Event& e : events) n += e.message == message;
        return n;
    }
    int CountKey(UINT vk) const {
        int n = 0;
        for (const Event& e : events) n += e.message == WM_KEYDOWN && e.wParam == vk;
        return n;
    }
};

// Runs the steps one after another from whatever message loop runs then (normally the game
// window's modal loop): each step starts from a timer, after the messages the previous step
// posted have been handled by that loop.
inline void RunSteps(std::vector<std::function<void()>> steps, UINT delayMs = 20) {
    if (steps.empty()) return;
    auto first = std::move(steps.front());
    steps.erase(steps.begin());
    test::RunSoon(
        [first = std::move(first), rest = std::move(steps), delayMs]() mutable {
            first();
            RunSteps(std::move(rest), delayMs);
        },
        delayMs);
}

// From the running loop: polls on timers until pred holds or timeoutMs passes, then runs then(ok).
inline void WaitThen(std::function<bool()> pred, std::function<void(bool)> then, DWORD timeoutMs = 3000,
                     DWORD start = ::GetTickCount()) {
    test::RunSoon(
        [=] {
            if (pred()) {
                then(true);
            } else if (::GetTickCount() - start > timeoutMs) {
                then(false);
            } else {
                WaitThen(pred, then, timeoutMs, start);
            }
        },
        10);
}

// A child window that stands for the page's focused window: counts the key-downs it receives.
class KeyTarget {
public:
    explicit KeyTarget(HWND parent) {
        static const ATOM atom = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = &KeyTarget::Proc;
            wc.hInstance = ::GetModuleHandleW(nullptr);
            wc.lpszClassName = L"OrvaneTestKeyTarget";
            return ::RegisterClassW(&wc);
        }();
        (void)atom;
        m_hWnd = ::CreateWindowExW(0, L"OrvaneTestKeyTarget", L"", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(4242)), ::GetModuleHandleW(nullptr),
                                   nullptr);
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~KeyTarget() {
        if (::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
    }
    KeyTarget(const KeyTarget&) = delete;
    KeyTarget& operator=(const KeyTarget&) = delete;
    HWND m_hWnd = nullptr;
    std::vector<WPARAM> keyDowns;

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        if (m == WM_KEYDOWN) {
            if (auto* self = reinterpret_cast<KeyTarget*>(::GetWindowLongPtrW(h, GWLP_USERDATA))) {
                self->keyDowns.push_back(w);
            }
        }
        return ::DefWindowProcW(h, m, w, l);
    }
};

// How long a window takes to answer, seen from a thread of its own (the benchmarks' probe).
using AnswerTimeProbe = ::AnswerProbe;

// Names in folder (files and folders), without "." and "..".
inline std::vector<std::wstring> FolderListing(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// Deletes the files named prefix* in folder, then the folder if it is then empty. Never recursive:
// under Wine a folder may be a link into the developer's home.
inline void RemoveFilesAndFolder(const std::wstring& folder, const std::wstring& prefix) {
    for (const std::wstring& name : FolderListing(folder)) {
        if (name.rfind(prefix, 0) == 0) ::DeleteFileW((folder + L"\\" + name).c_str());
    }
    ::RemoveDirectoryW(folder.c_str());
}

// The player's Pictures folder moved, for one test, to a new, empty folder of the test's own
// (whatever the prefix links Pictures to): the screenshots start from nothing and go nowhere else.
// Moved as the system's folder redirection does it, in the user's "User Shell Folders" key (Wine
// has no SHSetKnownFolderPath). The folder is made here as a real folder: Wine makes a missing
// Pictures folder asked for with KF_FLAG_CREATE as a link into $HOME. Put back at the end, and
// only the files the program writes there removed.
class PrivatePictures {
public:
    PrivatePictures() {
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &m_key) != ERROR_SUCCESS) {
            m_key = nullptr;
            return;
        }
        DWORD size = sizeof(m_old);
        m_hadOld = ::RegQueryValueExW(m_key, kValue, nullptr, &m_oldType, reinterpret_cast<BYTE*>(m_old), &size) ==
                   ERROR_SUCCESS;
        m_oldSize = size;
        wchar_t temp[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, temp);
        m_folder = std::wstring(temp) + L"orvane-pictures-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                   std::to_wstring(::GetTickCount());
        m_ok = ::CreateDirectoryW(m_folder.c_str(), nullptr) &&
               ::RegSetValueExW(m_key, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(m_folder.c_str()),
                                static_cast<DWORD>((m_folder.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    ~PrivatePictures() {
        if (m_key) {
            if (m_hadOld) ::RegSetValueExW(m_key, kValue, 0, m_oldType, reinterpret_cast<const BYTE*>(m_old), m_oldSize);
            else ::RegDeleteValueW(m_key, kValue);
            ::RegCloseKey(m_key);
        }
        RemoveFilesAndFolder(m_folder + L"\\Orvane", L"Orvane-");
        RemoveFilesAndFolder(m_folder + L"\\Orvane", L"~Orvane-");
        ::RemoveDirectoryW(m_folder.c_str());
    }
    PrivatePictures(const PrivatePictures&) = delete;
    PrivatePictures& operator=(const PrivatePictures&) = delete;
    bool ok() const { return m_ok; }
    const std::wstring& folder() const { return m_folder; }

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
    static constexpr wchar_t kValue[] = L"My Pictures";
    HKEY m_key = nullptr;
    wchar_t m_old[MAX_PATH * 2] = {};
    DWORD m_oldType = REG_EXPAND_SZ, m_oldSize = 0;
    bool m_hadOld = false;
    std::wstring m_folder;
    bool m_ok = false;
};

// A game window run modally as the main window of a plain application object.
class ModalGameTest : public testing::Test {
protected:
    static constexpr INT_PTR kEndedByTest = 77;
    void SetUp() override {
        dlg.SetParams(L"http://game.example/play?sid=3", L"x");
        app.m_pMainWnd = &dlg;
    }
    // Runs the steps in the window's modal loop; the last step ends the run.
    void Run(std::vector<std::function<void()>> steps) {
        steps.push_back([this] { dlg.EndDialog(static_cast<int>(kEndedByTest)); });
        test::Deadline deadline("the steps to run in the game window's modal loop and end it");
        RunSteps(std::move(steps));
        EXPECT_EQ(dlg.DoModal(), kEndedByTest) << "only the test ends the game window";
    }
    CWinApp app;
    SpyGameDlg dlg;
};

} // namespace gametest
