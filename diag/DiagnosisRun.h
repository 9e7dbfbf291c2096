#pragma once
// The diagnosis checks on a worker thread of their own, so the window that shows them keeps
// answering: after each group a message is posted to the window, which then reads a copy of
// the facts so far. The whole run ends within the network check's limit and a little more.
#include "diag/DiagnosisCollector.h"

#include <windows.h>

#include <memory>
#include <mutex>

// What a run posts to its window after each group of checks (wParam and lParam 0).
constexpr UINT WM_DIAGNOSIS_PROGRESS = WM_APP + 0x61;

struct DiagnosisSettings {
    std::wstring exePath;         // the program checked (default: this executable)
    DWORD networkLimitMs = 10000; // the start page's check
    NameResolver resolve;         // null: the system's resolver
    RegistryReader registry;      // null: the registry itself
    std::wstring startPage;       // empty: the one config.ini gives, as the launcher opens it
    // Taken on the user-interface thread before the run starts (the sound component lives there).
    bool audioOutput = false;
    std::wstring screenshotFolder;
};

// The settings for this program: its path, the sound component's answer and the screenshot
// folder. User-interface thread.
DiagnosisSettings CurrentDiagnosisSettings();

class DiagnosisRun {
public:
    // Starts the checks; posts `message` to `notify` after each group and once more at the end.
    static std::shared_ptr<DiagnosisRun> Start(DiagnosisSettings settings, HWND notify, UINT message);

    DiagnosisFacts Facts() const;
    bool Done() const;

    explicit DiagnosisRun(DiagnosisSettings settings) : m_settings(std::move(settings)) {}

private:
    void Run(HWND notify, UINT message);

    const DiagnosisSettings m_settings;
    mutable std::mutex m_mutex;
    DiagnosisFacts m_facts;
    bool m_done = false;
};
