// Winsock's header must come before windows.h, which the other headers bring in.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "diag/NetworkProbe.h"

#include "diag/NetErrorNames.h"
#include "framework/Trace.h"

#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// More hops than any real start page takes; a loop that changes its address every time ends here.
constexpr size_t kMaxHops = 10;
// Not in every SDK's wininet.h: the connection's protocol and cipher (Windows 8.1 on; older
// systems refuse it and the protocol is then reported as unknown).
constexpr DWORD kOptionSecurityConnectionInfo = 66;
struct SecurityConnectionInfo {
    DWORD dwSize;
    BOOL fSecure;
    DWORD dwProtocol; // SecPkgContext_ConnectionInfo starts with it
    DWORD rest[6];
    BYTE cipherInfo[1024]; // SecPkgContext_CipherInfo, larger than any version of it
};

struct InternetHandleDeleter {
    void operator()(HINTERNET h) const noexcept { ::InternetCloseHandle(h); }
};
using UniqueInternet = std::unique_ptr<void, InternetHandleDeleter>;

DWORD Since(std::chrono::steady_clock::time_point start) {
    return static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

std::wstring ProtocolName(DWORD protocol) {
    if (protocol & 0x00002000) return L"TLS 1.3"; // SP_PROT_TLS1_3_CLIENT
    if (protocol & 0x00000800) return L"TLS 1.2";
    if (protocol & 0x00000200) return L"TLS 1.1";
    if (protocol & 0x00000080) return L"TLS 1.0";
    if (protocol & 0x00000020) return L"SSL 3.0";
    if (protocol & 0x00000008) return L"SSL 2.0";
    return L"未知 (0x" + [&] {
        wchar_t hex[16];
        std::swprintf(hex, 16, L"%lX", static_cast<unsigned long>(protocol));
        return std::wstring(hex);
    }() + L")";
}

// How WinINet connects for this user: the per-connection settings of the LAN connection.
std::wstring DescribeProxy(bool& proxied) {
    proxied = false;
    INTERNET_PER_CONN_OPTIONW options[3] = {};
    options[0].dwOption = INTERNET_PER_CONN_FLAGS;
    options[1].dwOption = INTERNET_PER_CONN_PROXY_SERVER;
    options[2].dwOption = INTERNET_PER_CONN_AUTOCONFIG_URL;
    INTERNET_PER_CONN_OPTION_LISTW list{};
    list.dwSize = sizeof(list);
    list.dwOptionCount = 3;
    list.pOptions = options;
    DWORD size = sizeof(list);
    if (!::InternetQueryOptionW(nullptr, INTERNET_OPTION_PER_CONNECTION_OPTION, &list, &size)) {
        return L"未知 (系统未给出代理设置, 错误 " + DescribeNetError(::GetLastError()) + L")";
    }
    const DWORD flags = options[0].Value.dwValue;
    const std::wstring server = options[1].Value.pszValue ? options[1].Value.pszValue : L"";
    const std::wstring script = options[2].Value.pszValue ? options[2].Value.pszValue : L"";
    if (options[1].Value.pszValue) ::GlobalFree(options[1].Value.pszValue);
    if (options[2].Value.pszValue) ::GlobalFree(options[2].Value.pszValue);
    std::wstring out;
    const auto add = [&out](const std::wstring& part) { out += (out.empty() ? L"" : L"; ") + part; };
    if ((flags & PROXY_TYPE_PROXY) && !server.empty()) add(L"代理服务器 " + server);
    if ((flags & PROXY_TYPE_AUTO_PROXY_URL) && !script.empty()) add(L"自动配置脚本 " + script);
    if (flags & PROXY_TYPE_AUTO_DETECT) add(L"自动检测设置");
    proxied = !out.empty();
    if (out.empty()) out = L"不使用代理 (直接连接)";
    return out;
}

struct Shared {
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    ProbeResult result;
};

class Worker {
public:
    Worker(ProbeOptions options, std::shared_ptr<Shared> shared)
        : m_options(std::move(options)), m_shared(std::move(shared)) {
        m_result = m_shared->result;
    }

    void Run() {
        try {
            Probe();
        } catch (...) {
            m_result.outcome = ProbeResult::Outcome::Failed;
            m_result.error = ERROR_NOT_ENOUGH_MEMORY;
        }
        m_result.step.clear();
        m_result.elapsedMs = Since(m_start);
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->result = m_result;
        m_shared->done = true;
        m_shared->doneChanged.notify_all();
    }

private:
    void Step(const wchar_t* step) {
        m_result.step = step;
        const std::lock_guard<std::mutex> lock(m_shared->mutex);
        m_shared->result = m_result;
    }

    void Fail(const wchar_t* step, DWORD error) {
        m_result.outcome = ProbeResult::Outcome::Failed;
        m_result.step = step;
        m_result.error = error;
    }

    void Probe() {
        m_result.proxy = DescribeProxy(m_result.proxied);
        Step(L"名称解析");
        m_result.resolveTried = true;
        m_result.resolution = m_options.resolve ? m_options.resolve(m_result.host) : ResolveWithSystem(m_result.host);
        // Through a proxy the proxy resolves the name, so a local failure does not end the check.
        if (!m_result.resolution.resolved && !m_result.proxied) {
            Fail(L"名称解析", ERROR_INTERNET_NAME_NOT_RESOLVED);
            return;
        }
        UniqueInternet session(::InternetOpenW(m_options.userAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                               nullptr, 0));
        if (!session) {
            Fail(L"打开 WinINet", ::GetLastError());
            return;
        }
        std::wstring url = m_result.url;
        for (;;) {
            m_result.hops.push_back(url);
            if (!Request(session.get(), url)) return;
            if (m_result.status < 300 || m_result.status >= 400 || m_location.empty()) break;
            // A redirect: the next address, absolute.
            std::wstring next(INTERNET_MAX_URL_LENGTH, L'\0');
            DWORD length = static_cast<DWORD>(next.size());
            if (!::InternetCombineUrlW(url.c_str(), m_location.c_str(), next.data(), &length, ICU_NO_ENCODE)) {
                Fail(L"重定向", ERROR_HTTP_REDIRECT_FAILED);
                return;
            }
            next.resize(length);
            if (!IsHttpAddress(next)) {
                m_result.hops.push_back(next);
                Fail(L"重定向到非 http(s) 地址", ERROR_HTTP_REDIRECT_FAILED);
                return;
            }
            if (std::find(m_result.hops.begin(), m_result.hops.end(), next) != m_result.hops.end() ||
                m_result.hops.size() >= kMaxHops) {
                m_result.hops.push_back(next);
                m_result.redirectLoop = true;
                Fail(L"重定向", ERROR_HTTP_REDIRECT_FAILED);
                return;
            }
            url = next;
        }
        m_result.finalUrl = url;
        m_result.outcome = ProbeResult::Outcome::Answered;
    }

    // One request without following redirects; false when it failed (the failure recorded).
    bool Request(HINTERNET session, const std::wstring& url) {
        m_location.clear();
        wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
        std::vector<wchar_t> path(url.size() + 2, L'\0');
        std::vector<wchar_t> extra(url.size() + 2, L'\0');
        URL_COMPONENTSW parts{};
        parts.dwStructSize = sizeof(parts);
        parts.lpszHostName = host;
        parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
        parts.lpszUrlPath = path.data();
        parts.dwUrlPathLength = static_cast<DWORD>(path.size());
        parts.lpszExtraInfo = extra.data();
        parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
        if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
            Fail(L"解析地址", ::GetLastError());
            return false;
        }
        const bool https = parts.nScheme == INTERNET_SCHEME_HTTPS;
        m_result.https = https;
        Step(L"连接服务器");
        UniqueInternet connection(::InternetConnectW(session, host, parts.nPort, nullptr, nullptr,
                                                     INTERNET_SERVICE_HTTP, 0, 0));
        if (!connection) {
            Fail(L"连接服务器", ::GetLastError());
            return false;
        }
        std::wstring object = std::wstring(path.data()) + extra.data();
        if (object.empty()) object = L"/";
        // No cache, no cookies, no dialogs, no redirect WinINet would follow on its own.
        const DWORD flags = INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                            INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI |
                            INTERNET_FLAG_NO_AUTH | (https ? INTERNET_FLAG_SECURE : 0);
        UniqueInternet request(::HttpOpenRequestW(connection.get(), L"GET", object.c_str(), nullptr, nullptr,
                                                  nullptr, flags, 0));
        if (!request) {
            Fail(L"连接服务器", ::GetLastError());
            return false;
        }
        Step(L"等待服务器回应");
        const auto sent = std::chrono::steady_clock::now();
        if (!::HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) {
            Fail(L"等待服务器回应", ::GetLastError());
            return false;
        }
        m_result.firstByteMs = Since(sent);
        m_result.connected = true;
        if (https) {
            SecurityConnectionInfo info{};
            info.dwSize = sizeof(info);
            DWORD size = sizeof(info);
            m_result.tlsProtocol = ::InternetQueryOptionW(request.get(), kOptionSecurityConnectionInfo, &info, &size)
                                       ? ProtocolName(info.dwProtocol)
                                       : L"未知 (此系统不提供)";
        }
        DWORD status = 0;
        DWORD size = sizeof(status);
        if (!::HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                              nullptr)) {
            Fail(L"读取回应", ::GetLastError());
            return false;
        }
        m_result.status = status;
        if (status >= 300 && status < 400) {
            std::vector<wchar_t> location(INTERNET_MAX_URL_LENGTH + 1, L'\0');
            DWORD bytes = static_cast<DWORD>(location.size() * sizeof(wchar_t));
            if (::HttpQueryInfoW(request.get(), HTTP_QUERY_LOCATION, location.data(), &bytes, nullptr)) {
                m_location = location.data();
            }
            if (!m_location.empty()) return true;
        }
        Step(L"读取内容");
        // Read and dropped: only its size is reported, and never more than the cap.
        std::vector<char> buffer(8192);
        m_result.bytesRead = 0;
        while (m_result.bytesRead < m_options.maxBytes) {
            const DWORD want = static_cast<DWORD>(std::min(buffer.size(), m_options.maxBytes - m_result.bytesRead));
            DWORD got = 0;
            if (!::InternetReadFile(request.get(), buffer.data(), want, &got)) {
                Fail(L"读取内容", ::GetLastError());
                return false;
            }
            if (got == 0) break;
            m_result.bytesRead += got;
        }
        m_result.capped = m_result.bytesRead >= m_options.maxBytes;
        return true;
    }

    ProbeOptions m_options;
    std::shared_ptr<Shared> m_shared;
    ProbeResult m_result;
    std::wstring m_location;
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
};

} // namespace

bool IsHttpAddress(const std::wstring& url) {
    const auto starts = [&url](const wchar_t* scheme) {
        const size_t n = wcslen(scheme);
        return url.size() > n && ::CompareStringOrdinal(url.c_str(), static_cast<int>(n), scheme,
                                                        static_cast<int>(n), TRUE) == CSTR_EQUAL;
    };
    return starts(L"http://") || starts(L"https://");
}

NameResolution ResolveWithSystem(const std::wstring& host) {
    NameResolution out;
    WSADATA data{};
    const int started = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (started != 0) {
        out.error = static_cast<DWORD>(started);
        return out;
    }
    ADDRINFOW hints{};
    hints.ai_socktype = SOCK_STREAM;
    ADDRINFOW* found = nullptr;
    const int rc = ::GetAddrInfoW(host.c_str(), nullptr, &hints, &found);
    if (rc != 0) {
        out.error = static_cast<DWORD>(rc);
    } else {
        out.resolved = true;
        for (ADDRINFOW* a = found; a; a = a->ai_next) {
            wchar_t text[64] = {};
            DWORD length = static_cast<DWORD>(std::size(text));
            if (::WSAAddressToStringW(a->ai_addr, static_cast<DWORD>(a->ai_addrlen), nullptr, text, &length) == 0 &&
                out.addresses.find(text) == std::wstring::npos) {
                out.addresses += (out.addresses.empty() ? L"" : L", ") + std::wstring(text);
            }
        }
        ::FreeAddrInfoW(found);
    }
    ::WSACleanup();
    return out;
}

ProbeResult ProbeStartPage(const ProbeOptions& options) {
    ProbeResult result;
    result.url = options.url;
    if (!IsHttpAddress(options.url)) {
        result.notRequestedWhy = L"不是 http 或 https 地址, 未发出请求";
        return result;
    }
    wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    if (!::InternetCrackUrlW(options.url.c_str(), static_cast<DWORD>(options.url.size()), 0, &parts) || !*host) {
        result.notRequestedWhy = L"地址无法解析 (" + DescribeNetError(::GetLastError()) + L"), 未发出请求";
        return result;
    }
    result.host = host;
    auto shared = std::make_shared<Shared>();
    shared->result = result;
    fw::Trace(L"diagnosis: request ", fw::Quoted(options.url));
    try {
        // Detached: past the limit nobody waits for it, and it ends whenever WinINet lets it.
        std::thread([worker = Worker(options, shared)]() mutable { worker.Run(); }).detach();
    } catch (...) {
        result.outcome = ProbeResult::Outcome::Failed;
        result.error = ERROR_NOT_ENOUGH_MEMORY;
        return result;
    }
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->doneChanged.wait_for(lock, std::chrono::milliseconds(options.limitMs), [&] { return shared->done; })) {
        result = shared->result;
        result.outcome = ProbeResult::Outcome::TimedOut;
        result.error = ERROR_INTERNET_TIMEOUT;
        result.elapsedMs = options.limitMs;
        fw::Trace(L"diagnosis: no answer within ", std::to_wstring(options.limitMs), L" ms");
        return result;
    }
    result = shared->result;
    fw::Trace(L"diagnosis: request ended, status ", std::to_wstring(result.status), L", error ",
              std::to_wstring(result.error));
    return result;
}
