#pragma once
// The one command-line option: "/diagnose" (or "-diagnose", any letter case) runs the diagnosis
// window instead of the launcher.
#include <string>

// Whether commandLine (as GetCommandLineW gives it, the program's own path first) asks for it.
bool IsDiagnoseCommandLine(const std::wstring& commandLine);
