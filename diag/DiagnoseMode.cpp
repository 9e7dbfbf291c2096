#include "diag/DiagnoseMode.h"

#include <windows.h>
#include <shellapi.h>

bool IsDiagnoseCommandLine(const std::wstring& commandLine) {
    // An empty line would make CommandLineToArgvW describe this process instead.
    if (commandLine.empty()) return false;
    int count = 0;
    LPWSTR* args = ::CommandLineToArgvW(commandLine.c_str(), &count);
    if (!args) return false;
    bool found = false;
    for (int i = 1; i < count && !found; ++i) {
        const wchar_t* arg = args[i];
        if ((arg[0] == L'/' || arg[0] == L'-') &&
            ::CompareStringOrdinal(arg + 1, -1, L"diagnose", -1, TRUE) == CSTR_EQUAL) {
            found = true;
        }
    }
    ::LocalFree(args);
    return found;
}
