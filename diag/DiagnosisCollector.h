#pragma once
// Gathers the diagnosis facts from this computer, one group per function, each through the
// seams a test can replace (the registry, name resolution). Only reads: nothing is written,
// and nothing of pages, cookies or the cache is looked at.
#include "diag/DiagnosisFacts.h"

#include <windows.h>

#include <functional>
#include <string>

// Reads one DWORD value; view is 0, KEY_WOW64_32KEY or KEY_WOW64_64KEY.
using RegistryReader =
    std::function<RegistryDword(HKEY root, REGSAM view, const std::wstring& subkey, const std::wstring& name)>;
RegistryDword ReadRegistryDword(HKEY root, REGSAM view, const std::wstring& subkey, const std::wstring& name);

// The built-in defaults the launcher and the game window put in place of a missing value.
std::wstring ConfigDefault(const std::wstring& key);

// Why exePath looks like a temporary or archive folder (tempFolder: the user's temp folder);
// empty when it does not.
std::wstring TemporaryFolderReason(const std::wstring& exePath, const std::wstring& tempFolder);
// Whether files can be made in folder (or, when it does not exist yet, the folder made in its
// nearest existing parent), judged without writing anything; why says why not.
bool FolderWritable(const std::wstring& folder, std::wstring& why);

ProgramFacts CollectProgramFacts(const std::wstring& exePath);
WindowsFacts CollectWindowsFacts();
EngineFacts CollectEngineFacts(const std::wstring& exePath, const RegistryReader& registry);
ConfigFacts CollectConfigFacts(const std::wstring& exePath);
// The start page's check plus, on Windows 7 and 8.0, WinINet's TLS switches.
NetworkFacts CollectNetworkFacts(const ProbeOptions& probe, const WindowsFacts& windows,
                                 const std::wstring& mshtmlVersion, const RegistryReader& registry);
DeviceFacts CollectDeviceFacts(bool audioOutput, const std::wstring& screenshotFolder);

// "1.1.18.1" from a file's version resource; empty when it has none.
std::wstring FileVersion(const std::wstring& path);
