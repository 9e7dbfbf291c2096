#include "diag/DiagnosisCollector.h"

#include "app/ConfigStore.h"
#include "diag/NetErrorNames.h"
#include "framework/Handles.h"
#include "framework/UiScale.h"
#include "launcher/CVxStandardDlg.h"

#include <cwchar>
#include <iterator>
#include <vector>

namespace {

constexpr wchar_t kFeatureControl[] = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
constexpr wchar_t kInternetSettings[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr wchar_t kInternetSettingsPolicy[] = L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

bool ContainsNoCase(const std::wstring& text, const std::wstring& part) {
    if (part.empty() || part.size() > text.size()) return false;
    for (size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (::CompareStringOrdinal(text.c_str() + i, static_cast<int>(part.size()), part.c_str(),
                                   static_cast<int>(part.size()), TRUE) == CSTR_EQUAL) {
            return true;
        }
    }
    return false;
}

std::wstring WithSeparator(std::wstring path) {
    if (!path.empty() && path.back() != L'\\') path += L'\\';
    return path;
}

std::wstring LongPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD n = ::GetLongPathNameW(path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
    return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : path;
}

std::wstring FileName(const std::wstring& path) {
    const size_t sep = path.find_last_of(L"\\/");
    return sep == std::wstring::npos ? path : path.substr(sep + 1);
}

bool Is64BitWindows() {
#ifdef _WIN64
    return true;
#else
    BOOL wow = FALSE;
    return ::IsWow64Process(::GetCurrentProcess(), &wow) && wow;
#endif
}

// Whether the process's token may do `access` on the object at path (its security descriptor
// checked with AccessCheck): answers without creating anything.
bool TokenMay(const std::wstring& path, DWORD access, DWORD& error) {
    DWORD needed = 0;
    const SECURITY_INFORMATION info = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    fw::Ignore(::GetFileSecurityW(path.c_str(), info, nullptr, 0, &needed));
    if (needed == 0) {
        error = ::GetLastError();
        // A file system without security (FAT, some network shares) lets everyone in.
        return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION;
    }
    std::vector<BYTE> descriptor(needed);
    if (!::GetFileSecurityW(path.c_str(), info, descriptor.data(), needed, &needed)) {
        error = ::GetLastError();
        return false;
    }
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &rawToken)) {
        error = ::GetLastError();
        return false;
    }
    fw::UniqueKernelHandle processToken(rawToken);
    HANDLE rawImpersonation = nullptr;
    if (!::DuplicateToken(processToken.get(), SecurityImpersonation, &rawImpersonation)) {
        error = ::GetLastError();
        return false;
    }
    fw::UniqueKernelHandle token(rawImpersonation);
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    PRIVILEGE_SET privileges{};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    if (!::AccessCheck(descriptor.data(), token.get(), access, &mapping, &privileges, &privilegesSize, &granted,
                       &allowed)) {
        error = ::GetLastError();
        return false;
    }
    error = allowed ? 0 : ERROR_ACCESS_DENIED;
    return allowed != FALSE;
}

// Value of a FEATURE_* control for exeName at each place the engine may read it; `applies` tells
// whether this process's engine reads that place.
std::vector<FeatureSource> FeatureSources(const RegistryReader& registry, const std::wstring& feature,
                                          const std::wstring& exeName) {
    const std::wstring key = kFeatureControl + feature;
#ifdef _WIN64
    const REGSAM ownView = KEY_WOW64_64KEY, otherView = KEY_WOW64_32KEY;
    const wchar_t* ownName = L"HKLM (64 位视图)";
    const wchar_t* otherName = L"HKLM (32 位视图, 本进程不读)";
#else
    const REGSAM ownView = KEY_WOW64_32KEY, otherView = KEY_WOW64_64KEY;
    const wchar_t* ownName = L"HKLM (32 位视图)";
    const wchar_t* otherName = L"HKLM (64 位视图, 本进程不读)";
#endif
    std::vector<FeatureSource> sources;
    sources.push_back({Is64BitWindows() ? ownName : L"HKLM", registry(HKEY_LOCAL_MACHINE, ownView, key, exeName), true});
    sources.push_back({L"HKCU", registry(HKEY_CURRENT_USER, 0, key, exeName), true});
    if (Is64BitWindows()) sources.push_back({otherName, registry(HKEY_LOCAL_MACHINE, otherView, key, exeName), false});
    return sources;
}

} // namespace

RegistryDword ReadRegistryDword(HKEY root, REGSAM view, const std::wstring& subkey, const std::wstring& name) {
    RegistryDword out;
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return out;
    const LSTATUS rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    ::RegCloseKey(key);
    if (rc == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value)) {
        out.present = true;
        out.value = value;
    }
    return out;
}

std::wstring ConfigDefault(const std::wstring& key) {
    if (key == L"client_web") return DefaultStartPage();
    if (key == L"fullscn_key") return L"fullscn=1";
    if (key == L"service_key") return L"server";
    return {};
}

std::wstring FileVersion(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO)) {
        return {};
    }
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

std::wstring TemporaryFolderReason(const std::wstring& exePath, const std::wstring& tempFolder) {
    const std::wstring path = LongPath(exePath);
    const std::wstring temp = WithSeparator(LongPath(tempFolder));
    // Where archive tools put what they open: Explorer's "Temp1_x.zip", WinRAR's "Rar$EX", 7-Zip's "7z".
    static const wchar_t* const kArchiveMarks[] = {L".zip\\", L".rar\\", L".7z\\", L"\\Rar$", L"\\7z", L"\\Temp1_"};
    for (const wchar_t* mark : kArchiveMarks) {
        if (ContainsNoCase(path, mark)) return L"像是从压缩包中直接打开";
    }
    if (temp.size() > 3 && path.size() > temp.size() &&
        ::CompareStringOrdinal(path.c_str(), static_cast<int>(temp.size()), temp.c_str(), static_cast<int>(temp.size()),
                               TRUE) == CSTR_EQUAL) {
        return L"在临时文件夹中";
    }
    if (ContainsNoCase(path, L"\\Temporary Internet Files\\") || ContainsNoCase(path, L"\\INetCache\\")) {
        return L"在浏览器的临时文件夹中";
    }
    return {};
}

bool FolderWritable(const std::wstring& folder, std::wstring& why) {
    if (folder.empty()) {
        why = L"系统没有图片文件夹";
        return false;
    }
    // The folder is made when the first screenshot is saved: a missing one needs a parent that takes it.
    std::wstring at = folder;
    while (!at.empty()) {
        const DWORD attributes = ::GetFileAttributesW(at.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                why = L"路径上的 " + at + L" 是文件, 不是文件夹";
                return false;
            }
            break;
        }
        const size_t sep = at.find_last_of(L"\\/");
        if (sep == std::wstring::npos || sep + 1 >= at.size()) {
            at.clear(); // a root that is not there
        } else {
            at.resize(sep <= 2 ? sep + 1 : sep); // "C:\" keeps its separator
        }
    }
    const bool exists = at == folder;
    if (at.empty()) {
        why = L"文件夹及其上级都不存在";
        return false;
    }
    DWORD error = 0;
    if (!TokenMay(at, exists ? FILE_ADD_FILE : FILE_ADD_SUBDIRECTORY, error)) {
        why = (exists ? L"没有在此文件夹中创建文件的权限: " : L"无法在 " + at + L" 中创建文件夹: ") + DescribeNetError(error);
        return false;
    }
    return true;
}

ProgramFacts CollectProgramFacts(const std::wstring& exePath) {
    ProgramFacts p;
    p.exePath = exePath;
    p.version = FileVersion(exePath);
    p.bits = static_cast<int>(sizeof(void*) * 8);
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    p.temporary = TemporaryFolderReason(exePath, n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring());
    p.known = true;
    return p;
}

WindowsFacts CollectWindowsFacts() {
    WindowsFacts w;
    // RtlGetVersion tells the truth where GetVersionEx is shimmed to an older version.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        if (auto rtl = reinterpret_cast<RtlGetVersionFn>(
                reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))) {
            w.fromRtl = rtl(reinterpret_cast<OSVERSIONINFOW*>(&info)) == 0;
        }
    }
    w.major = info.dwMajorVersion;
    w.minor = info.dwMinorVersion;
    w.build = info.dwBuildNumber;
    w.servicePack = info.szCSDVersion;
    w.ansiCodePage = ::GetACP();
    w.uiLanguage = ::GetUserDefaultUILanguage();
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    if (::LCIDToLocaleName(MAKELCID(w.uiLanguage, SORT_DEFAULT), name, LOCALE_NAME_MAX_LENGTH, 0) > 0) {
        w.uiLanguageName = name;
    }
    w.dpi = SystemDpi();
    w.screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
    w.screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
    w.known = true;
    return w;
}

EngineFacts CollectEngineFacts(const std::wstring& exePath, const RegistryReader& registry) {
    EngineFacts e;
    e.exeName = FileName(exePath);
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) e.mshtmlVersion = FileVersion(std::wstring(system, n) + L"\\mshtml.dll");
    e.emulation = FeatureSources(registry, L"FEATURE_BROWSER_EMULATION", e.exeName);
    e.gpu = FeatureSources(registry, L"FEATURE_GPU_RENDERING", e.exeName);
    e.known = true;
    return e;
}

ConfigFacts CollectConfigFacts(const std::wstring& exePath) {
    ConfigFacts c;
    c.path = ConfigPathForModule(exePath);
    if (!c.path.empty()) {
        // The doubled separator the path keeps is shown as the file system reads it.
        std::wstring shown = c.path;
        const size_t doubled = shown.rfind(L"\\\\config.ini");
        if (doubled != std::wstring::npos && doubled > 1) shown.erase(doubled, 1);
        c.path = shown;
        fw::UniqueKernelHandle file(::CreateFileW(c.path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            const DWORD error = ::GetLastError();
            c.found = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
            if (c.found) c.readError = error;
        } else {
            c.found = true;
            unsigned char head[3] = {};
            DWORD got = 0;
            if (!::ReadFile(file.get(), head, sizeof(head), &got, nullptr)) {
                c.readError = ::GetLastError();
            } else if (got >= 2 && head[0] == 0xFF && head[1] == 0xFE) {
                c.encoding = L"UTF-16 (带 BOM)";
            } else if (got >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
                c.encoding = L"UTF-8 (带 BOM; Windows 按 ANSI 代码页 " + std::to_wstring(::GetACP()) + L" 读取)";
                c.utf8Bom = true;
            } else {
                c.encoding = L"ANSI (代码页 " + std::to_wstring(::GetACP()) + L")";
            }
        }
    }
    for (const wchar_t* key : {L"client_web", L"fullscn_key", L"service_key"}) {
        ConfigKeyFacts k;
        k.key = key;
        // The same reader and the same sentinel rule as the program itself.
        const std::wstring value = ReadProfileValue(ConfigPathForModule(exePath), L"mw", key);
        k.fromFile = value != kConfigMissing;
        k.value = k.fromFile ? value : ConfigDefault(key);
        c.keys.push_back(k);
    }
    c.startPage = c.keys.front().value;
    c.known = true;
    return c;
}

NetworkFacts CollectNetworkFacts(const ProbeOptions& probe, const WindowsFacts& windows,
                                 const std::wstring& mshtmlVersion, const RegistryReader& registry) {
    NetworkFacts n;
    n.secureProtocolsApply = windows.major == 6 && (windows.minor == 1 || windows.minor == 2);
    if (n.secureProtocolsApply) {
        // Policy first, then the user's setting, then the machine's, as Internet Options applies them.
        const struct {
            HKEY root;
            const wchar_t* key;
            const wchar_t* name;
        } places[] = {{HKEY_LOCAL_MACHINE, kInternetSettingsPolicy, L"HKLM 组策略"},
                      {HKEY_CURRENT_USER, kInternetSettingsPolicy, L"HKCU 组策略"},
                      {HKEY_CURRENT_USER, kInternetSettings, L"HKCU"},
                      {HKEY_LOCAL_MACHINE, kInternetSettings, L"HKLM"}};
        for (const auto& place : places) {
            n.secureProtocols = registry(place.root, 0, place.key, L"SecureProtocols");
            if (n.secureProtocols.present) {
                n.secureProtocolsFrom = place.name;
                break;
            }
        }
        if (!n.secureProtocols.present) {
            // Not set: Internet Explorer 11 turns TLS 1.1 and 1.2 on by default, older ones do not.
            const bool ie11 = _wtoi(mshtmlVersion.c_str()) >= 11;
            n.secureProtocols = {true, ie11 ? 0xA80u : 0xA0u};
            n.secureProtocolsFrom = ie11 ? L"未设置, IE 11 的默认值" : L"未设置, 旧版 IE 的默认值";
        }
    }
    n.probe = ProbeStartPage(probe);
    n.known = true;
    return n;
}

DeviceFacts CollectDeviceFacts(bool audioOutput, const std::wstring& screenshotFolder) {
    DeviceFacts d;
    d.audioOutput = audioOutput;
    d.screenshotFolder = screenshotFolder;
    d.screenshotWritable = FolderWritable(screenshotFolder, d.screenshotWhy);
    d.known = true;
    return d;
}
