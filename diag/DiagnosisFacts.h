#pragma once
// What the diagnosis found, group by group, as plain data: the collector fills it, the report
// turns it into text, and tests feed it directly. A group whose `known` is false is still being
// checked.
#include "diag/NetworkProbe.h"

#include <windows.h>

#include <string>
#include <vector>

struct RegistryDword {
    bool present = false;
    DWORD value = 0;
};

struct ProgramFacts {
    bool known = false;
    std::wstring version;   // from the version resource; empty when it has none
    std::wstring exePath;   // full path of the executable
    int bits = 0;           // 32 or 64
    std::wstring temporary; // why the folder looks temporary or inside an archive; empty: it does not
};

struct WindowsFacts {
    bool known = false;
    DWORD major = 0, minor = 0, build = 0;
    std::wstring servicePack;
    bool fromRtl = false; // RtlGetVersion answered (else the version is unknown)
    UINT ansiCodePage = 0;
    LANGID uiLanguage = 0;
    std::wstring uiLanguageName; // "zh-CN"
    UINT dpi = 96;
    int screenWidth = 0, screenHeight = 0;
};

// One registry place of a feature value.
struct FeatureSource {
    std::wstring where; // "HKCU", "HKLM (32 位视图)", ...
    RegistryDword value;
    bool applies = true; // this process's engine reads this place
};

struct EngineFacts {
    bool known = false;
    std::wstring exeName;       // the value name the engine looks for
    std::wstring mshtmlVersion; // empty when mshtml.dll has no version (or is missing)
    std::vector<FeatureSource> emulation; // FEATURE_BROWSER_EMULATION, in the engine's order
    std::vector<FeatureSource> gpu;       // FEATURE_GPU_RENDERING
};

struct ConfigKeyFacts {
    std::wstring key;
    std::wstring value;    // what the program uses
    bool fromFile = false; // false: the built-in default (named in value)
};

struct ConfigFacts {
    bool known = false;
    std::wstring path;
    bool found = false;
    DWORD readError = 0;   // the file is there but could not be read
    std::wstring encoding; // "UTF-16 (带 BOM)", "ANSI (代码页 936)", ...
    bool utf8Bom = false;  // saved as UTF-8 with a byte-order mark, which Windows reads as ANSI
    std::vector<ConfigKeyFacts> keys; // client_web, fullscn_key, service_key
    std::wstring startPage;           // the address the launcher opens
};

struct NetworkFacts {
    bool known = false;
    ProbeResult probe;
    bool secureProtocolsApply = false; // Windows 7 or 8.0: TLS 1.1 and 1.2 may be off
    RegistryDword secureProtocols;     // the value WinINet uses (HKCU, else HKLM, else the default)
    std::wstring secureProtocolsFrom;  // where it came from
};

struct DeviceFacts {
    bool known = false;
    bool audioOutput = false;
    std::wstring screenshotFolder;
    bool screenshotWritable = false;
    std::wstring screenshotWhy; // why not writable
};

struct DiagnosisFacts {
    SYSTEMTIME generatedAt{};  // local time the check began
    std::wstring userProfile;  // %USERPROFILE%, to mask the player's name in paths
    std::wstring userProfileShort; // its 8.3 form, which some paths come in
    std::wstring userName;     // masked wherever it appears as a path part
    ProgramFacts program;
    WindowsFacts windows;
    EngineFacts engine;
    ConfigFacts config;
    NetworkFacts network;
    DeviceFacts devices;
};
