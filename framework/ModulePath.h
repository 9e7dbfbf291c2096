#pragma once
// The file name of a loaded module, whatever its length: the one place the program asks for it.
#include <windows.h>

#include <string>

namespace fw {

// Full path of hModule (null: the executable); empty when the system cannot give it.
std::wstring ModuleFileName(HMODULE hModule);

} // namespace fw
