#pragma once
// What the launcher page hands over: argument text and the game address check.
#include <windows.h>
#include <oaidl.h>

#include <string>

// Text of a script argument: numbers and strings converted as VariantChangeType does, a string
// cut at its first NUL. Values with no text form (null, objects, arrays, missing arguments,
// failed conversions) give empty text; nothing else is ever formatted. Throws COleException
// when the argument cannot even be copied (out of memory).
std::wstring HandOffArgumentText(const VARIANT& arg);

// A game address must be an absolute http or https URL with a host and no space, backslash or
// control character: the game window never opens local files, resources or script URLs.
bool IsGameAddress(const std::wstring& url);
// Why url is not a game address, in the words the trace gives operators; null when it is one.
const wchar_t* GameAddressRefusal(const std::wstring& url) noexcept;

// The refusal of a launcher that has handed over already (it does so at most once).
inline constexpr wchar_t kRefusedAlreadyHandedOver[] = L"already handed over";
