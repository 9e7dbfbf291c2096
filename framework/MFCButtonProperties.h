#pragma once
// The property text of an image button's initial data: a run of "<Name>value</Name>" entries
// ("MFCButton_Style", "MFCButton_Tooltip", ...), and the number and truth values they hold.
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// One "<Name>value</Name>" entry of a button's initial data.
struct MFCButtonProperty {
    std::string name;
    std::string value;
};
// Splits a property run (no separators, no terminator). Parsing stops at the first entry that is
// malformed or cut short; what came before it is kept.
std::vector<MFCButtonProperty> ParseMFCButtonProperties(const char* data, size_t size);

// A decimal value of at most 9 characters, '-' allowed in front; false (out untouched) otherwise.
bool ParseMFCButtonInt(std::string_view s, int& out) noexcept;
// "TRUE" or "FALSE" in any case; false (out untouched) otherwise.
bool ParseMFCButtonBool(std::string_view s, BOOL& out) noexcept;
