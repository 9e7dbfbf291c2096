#include "app/ConfigStore.h"

#include "framework/Handles.h"
#include "framework/ModulePath.h"
#include "framework/TextConvert.h"
#include "framework/Trace.h"

#include <windows.h>

#include <string_view>
#include <vector>

namespace {

constexpr DWORD kValueBuffer = 512;

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

std::wstring Trim(const std::wstring& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

std::wstring Decode(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        std::wstring out((n - 2) / 2, L'\0');
        for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<wchar_t>(p[2 + 2 * i] | (p[3 + 2 * i] << 8));
        return out;
    }
    UINT codePage = CP_ACP;
    size_t skip = 0;
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        codePage = CP_UTF8;
        skip = 3;
    }
    return fw::Widen(std::string_view(bytes).substr(skip), codePage);
}

std::wstring Unquote(const std::wstring& v) {
    if (v.size() >= 2 && (v.front() == L'"' || v.front() == L'\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// The form of path the file functions open: paths beyond MAX_PATH need the extended-length form.
std::wstring OpenablePath(const std::wstring& path) {
    std::wstring open = path;
    if (open.size() >= MAX_PATH && open.rfind(L"\\\\?\\", 0) != 0) {
        open = (open.rfind(L"\\\\", 0) == 0) ? L"\\\\?\\UNC\\" + open.substr(2) : L"\\\\?\\" + open;
        // Extended-length paths are taken literally: fold doubled separators.
        std::wstring folded;
        for (size_t i = 0; i < open.size(); ++i) {
            if (i > 4 && open[i] == L'\\' && folded.back() == L'\\') continue;
            folded.push_back(open[i] == L'/' ? L'\\' : open[i]);
        }
        open = folded;
    }
    return open;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes) {
    fw::UniqueKernelHandle file(::CreateFileW(OpenablePath(path).c_str(), GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart > (16 << 20)) return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        return false;
    }
    bytes.resize(got);
    return true;
}

} // namespace

std::wstring ParseProfileValue(const std::string& bytes, const std::wstring& section, const std::wstring& key) {
    const std::wstring text = Decode(bytes);
    bool inSection = false;
    bool sectionSeen = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line.front() == L'[') {
            const size_t close = line.find(L']');
            const std::wstring name = Trim(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            // Only the first section of that name counts.
            if (inSection) break;
            inSection = !sectionSeen && EqualNoCase(name, section);
            sectionSeen = sectionSeen || inSection;
            continue;
        }
        if (!inSection) continue;
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos) continue;
        if (!EqualNoCase(Trim(line.substr(0, eq)), key)) continue;
        std::wstring value = Unquote(Trim(line.substr(eq + 1)));
        if (value.size() > kConfigValueMax) value.resize(kConfigValueMax);
        return value;
    }
    return kConfigMissing;
}

std::wstring ReadProfileValue(const std::wstring& path, const std::wstring& section, const std::wstring& key) {
    if (path.empty()) return kConfigMissing;
    if (path.size() < MAX_PATH) {
        std::vector<wchar_t> value(kValueBuffer, L'\0');
        fw::Ignore(::GetPrivateProfileStringW(section.c_str(), key.c_str(), kConfigMissing, value.data(),
                                              kValueBuffer, path.c_str()));
        value.back() = L'\0';
        return value.data();
    }
    // The profile functions cannot open paths this long: read the file ourselves.
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) return kConfigMissing;
    return ParseProfileValue(bytes, section, key);
}

std::wstring ModuleFolder(const std::wstring& modulePath) {
    const size_t sep = modulePath.find_last_of(L"\\/");
    if (sep == std::wstring::npos) {
        // "C:name" keeps its drive; a bare name has no folder.
        return (modulePath.size() >= 2 && modulePath[1] == L':') ? modulePath.substr(0, 2) : std::wstring();
    }
    return modulePath.substr(0, sep + 1);
}

std::wstring ConfigPathForModule(const std::wstring& modulePath) {
    const std::wstring folder = ModuleFolder(modulePath);
    // No folder (the module path could not be read): no file, rather than \config.ini at the
    // root of the current drive or a name the profile functions look for in the Windows folder.
    if (folder.empty()) return {};
    return folder + L"\\config.ini";
}

std::wstring ReadConfigValue(std::wstring key) {
    const std::wstring path = ConfigPathForModule(fw::ModuleFileName(nullptr));
    std::wstring value = ReadProfileValue(path, L"mw", key);
    // Every caller puts its own default in place of the sentinel. The line says the outcome
    // first (the value, or that the default is used), then where it came from.
    if (path.empty()) {
        fw::Trace(L"config.ini: ", key, L" default used: the program's own path could not be read");
    } else if (::GetFileAttributesW(OpenablePath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
        fw::Trace(L"config.ini: ", key, L" default used: no file at ", fw::Quoted(path));
    } else if (value == kConfigMissing) {
        fw::Trace(L"config.ini: ", key, L" default used: not set (or \"error\") in ", fw::Quoted(path));
    } else {
        fw::Trace(L"config.ini: ", key, L" = ", fw::Quoted(value), L" from ", fw::Quoted(path));
    }
    return value;
}
