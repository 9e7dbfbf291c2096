#pragma once
// "复制诊断信息" of the running program: the diagnosis runs on its own thread (the game window
// keeps answering), then the report and the last trace lines go onto the clipboard together.
#include "diag/DiagnosisRun.h"

#include <windows.h>

#include <string>
#include <vector>

// Posted to the window that asked once the copy is done: wParam TRUE when the clipboard took it.
constexpr UINT WM_DIAGNOSIS_COPIED = WM_APP + 0x62;

// Starts a copy for notify; false (and nothing started) while one is still running.
// User-interface thread.
bool StartDiagnosisCopy(HWND notify, DiagnosisSettings settings);
// Whether a copy is running.
bool DiagnosisCopyRunning() noexcept;

// The report followed by a heading and the trace lines, oldest first, each on its own line.
std::wstring ReportWithTrace(const std::wstring& report, const std::vector<std::wstring>& lines);
