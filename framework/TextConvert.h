#pragma once
// Narrow text to UTF-16: the one place the framework and the application convert bytes in a
// code page.
#include <windows.h>

#include <string>
#include <string_view>

namespace fw {

// text in codePage (CP_ACP: the system's ANSI code page) as UTF-16, all of it (a NUL included);
// empty when it is empty or cannot be converted.
std::wstring Widen(std::string_view text, UINT codePage = CP_ACP);

} // namespace fw
