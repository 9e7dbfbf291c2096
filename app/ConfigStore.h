#pragma once
// Settings from config.ini next to the executable, section "mw".
#include <string>

// Sentinel returned when the file, the section or the key is missing.
inline constexpr wchar_t kConfigMissing[] = L"error";
// Longest value returned; longer values are cut.
constexpr size_t kConfigValueMax = 511;

// Reads key from config.ini beside the executable, afresh on every call.
std::wstring ReadConfigValue(std::wstring key);

// Folder part of a module path, up to and including the last separator ("" when none).
std::wstring ModuleFolder(const std::wstring& modulePath);
// Path of config.ini for a module path (the folder keeps its trailing separator, so the
// file name follows a doubled backslash, which the file system reads as one); empty when the
// module path has no folder.
std::wstring ConfigPathForModule(const std::wstring& modulePath);
// Reads [section] key from a profile file at any path length; an empty path is no file.
std::wstring ReadProfileValue(const std::wstring& path, const std::wstring& section, const std::wstring& key);
// Profile semantics on file bytes: UTF-16LE with BOM, UTF-8 with BOM, else the ANSI code page.
std::wstring ParseProfileValue(const std::string& bytes, const std::wstring& section, const std::wstring& key);
