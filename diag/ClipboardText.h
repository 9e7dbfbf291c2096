#pragma once
// Text onto the clipboard as CF_UNICODETEXT.
#include <windows.h>

#include <string>

// Puts text on the clipboard with owner as its owner; false when the clipboard could not be
// opened (another program holds it) or there is no memory.
bool CopyTextToClipboard(HWND owner, const std::wstring& text) noexcept;
