#include "game/CacheCleaner.h"

#include "framework/Handles.h"
#include "framework/Trace.h"

#include <wininet.h>

#include <vector>

namespace {

// Room for one cache entry record; grown when an entry needs more (a very long address or
// header block).
constexpr DWORD kFirstEntryBufferBytes = 4096;

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) noexcept {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        wchar_t c = text[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// Records of FindFirst/NextUrlCacheEntryW, in a buffer aligned for them.
class EntryBuffer {
public:
    EntryBuffer() : m_storage(kFirstEntryBufferBytes / sizeof(ULONGLONG)) {}
    INTERNET_CACHE_ENTRY_INFOW* get() noexcept { return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(m_storage.data()); }
    DWORD bytes() const noexcept { return static_cast<DWORD>(m_storage.size() * sizeof(ULONGLONG)); }
    void Grow(DWORD needed) { m_storage.resize(needed / sizeof(ULONGLONG) + 1); }

private:
    std::vector<ULONGLONG> m_storage;
};

// Whether the record is a cached file of the game: never a cookie or a history entry.
bool IsGameEntry(const INTERNET_CACHE_ENTRY_INFOW& entry, std::wstring_view gameHost) {
    if (entry.CacheEntryType & (COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY)) return false;
    if (!entry.lpszSourceUrlName) return false;
    const std::wstring_view url(entry.lpszSourceUrlName);
    if (StartsWithNoCase(url, L"cookie:") || StartsWithNoCase(url, L"visited:")) return false;
    return IsHostOrSubdomain(HttpHostOf(url), gameHost);
}

struct FindCloser {
    void operator()(HANDLE h) const noexcept { fw::Ignore(::FindCloseUrlCache(h)); }
};

} // namespace

std::wstring HttpHostOf(std::wstring_view url) {
    const size_t colon = url.find(L':');
    if (colon == std::wstring_view::npos) return {};
    const std::wstring_view scheme = url.substr(0, colon);
    if (!(scheme.size() == 4 && StartsWithNoCase(scheme, L"http")) &&
        !(scheme.size() == 5 && StartsWithNoCase(scheme, L"https"))) {
        return {};
    }
    std::wstring_view rest = url.substr(colon + 1);
    if (rest.size() < 2 || rest[0] != L'/' || rest[1] != L'/') return {};
    rest.remove_prefix(2);
    // The authority ends at the path, query or fragment (a backslash counts as a slash in an
    // http address).
    std::wstring_view authority = rest.substr(0, rest.find_first_of(L"/?#\\"));
    if (const size_t at = authority.rfind(L'@'); at != std::wstring_view::npos) authority.remove_prefix(at + 1);
    std::wstring_view host;
    if (!authority.empty() && authority[0] == L'[') {
        const size_t close = authority.find(L']');
        if (close == std::wstring_view::npos) return {};
        host = authority.substr(0, close + 1);
        if (close + 1 < authority.size() && authority[close + 1] != L':') return {};
    } else {
        host = authority.substr(0, authority.find(L':'));
    }
    if (!host.empty() && host.back() == L'.') host.remove_suffix(1);
    if (host.empty()) return {};
    std::wstring lower;
    lower.reserve(host.size());
    for (wchar_t c : host) {
        if (c <= L' ' || c == 0x7F || c == L'%' || c == L'<' || c == L'>' || c == L'"') return {};
        lower += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    }
    return lower;
}

bool IsHostOrSubdomain(std::wstring_view host, std::wstring_view gameHost) noexcept {
    if (host.empty() || gameHost.empty()) return false;
    if (host == gameHost) return true;
    return host.size() > gameHost.size() + 1 && host.substr(host.size() - gameHost.size()) == gameHost &&
           host[host.size() - gameHost.size() - 1] == L'.';
}

CacheClearResult WalkGameCache(const std::wstring& gameUrl, DWORD budgetMs) {
    CacheClearResult result;
    result.budgetMs = budgetMs;
    result.host = HttpHostOf(gameUrl);
    const std::wstring& gameHost = result.host;
    if (gameHost.empty()) return result;
    const ULONGLONG deadline = ::GetTickCount64() + budgetMs;

    // Each game entry is deleted as the walk meets it, the way Microsoft's own cache-clearing
    // sample does, so that a walk cut short by the budget has still done its part.
    EntryBuffer buffer;
    DWORD size = buffer.bytes();
    fw::UniqueHandle<HANDLE, FindCloser> find(::FindFirstUrlCacheEntryW(nullptr, buffer.get(), &size));
    if (!find && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        buffer.Grow(size);
        size = buffer.bytes();
        find.reset(::FindFirstUrlCacheEntryW(nullptr, buffer.get(), &size));
    }
    DWORD error = find ? ERROR_SUCCESS : ::GetLastError();
    while (find) {
        if (::GetTickCount64() >= deadline) {
            result.timedOut = true;
            break;
        }
        if (IsGameEntry(*buffer.get(), gameHost)) {
            if (::DeleteUrlCacheEntryW(buffer.get()->lpszSourceUrlName)) ++result.deleted;
            else if (::GetLastError() != ERROR_FILE_NOT_FOUND) ++result.failed; // gone already: not a failure
        }
        size = buffer.bytes();
        if (::FindNextUrlCacheEntryW(find.get(), buffer.get(), &size)) continue;
        error = ::GetLastError();
        if (error != ERROR_INSUFFICIENT_BUFFER) break;
        buffer.Grow(size);
        size = buffer.bytes();
        if (!::FindNextUrlCacheEntryW(find.get(), buffer.get(), &size)) {
            error = ::GetLastError();
            break;
        }
    }
    find.reset();
    if (error != ERROR_SUCCESS && error != ERROR_NO_MORE_ITEMS) result.walkError = error;
    return result;
}

void TraceCacheClear(const std::wstring& gameUrl, const CacheClearResult& result) {
    const std::wstring& gameHost = result.host;
    if (gameHost.empty()) {
        fw::Trace(L"cache not cleared: the game address has no host: ", fw::Quoted(gameUrl));
        return;
    }
    const std::wstring counts = std::to_wstring(result.deleted) + L" entries deleted, " +
                                std::to_wstring(result.failed) + L" not deletable";
    if (result.timedOut) {
        fw::Trace(L"cache of ", fw::Quoted(gameHost), L" partly cleared: gave up after ",
                  std::to_wstring(result.budgetMs), L" ms; ", counts);
    } else if (result.walkError) {
        fw::Trace(L"cache of ", fw::Quoted(gameHost), L" partly cleared: the cache walk failed (error ",
                  std::to_wstring(result.walkError), L"); ", counts);
    } else {
        fw::Trace(L"cache of ", fw::Quoted(gameHost), L" cleared: ", counts);
    }
}

CacheClearResult ClearGameCache(const std::wstring& gameUrl, DWORD budgetMs) {
    CacheClearResult result = WalkGameCache(gameUrl, budgetMs);
    TraceCacheClear(gameUrl, result);
    return result;
}
