#pragma once
// Clearing the game's files from the browser engine's cache (WinINet's URL cache) after a game
// update left the page broken. Cookies and history are never touched: the player stays logged in.
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

struct CacheClearResult {
    std::wstring host;      // the game address's host; empty: nothing was done
    size_t deleted = 0;
    size_t failed = 0;
    bool timedOut = false;
    DWORD walkError = 0;    // the cache walk ended on this error (0: it went through)
    DWORD budgetMs = 0;
};

// The safety limit of a clear: far beyond what a real cache takes (the game window clears on a
// worker thread, so the walk may take its time); reached only by a cache that never ends.
constexpr DWORD kCacheClearLimitMs = 60000;

// Deletes from the engine's cache every entry whose address's host is gameUrl's host or one of
// its subdomains ("example.com" takes "cdn.example.com" along, not "badexample.com"); never a
// cookie or history entry. Gives up after budgetMs. A game address without a host deletes
// nothing. Traces nothing: may run on any thread.
CacheClearResult WalkGameCache(const std::wstring& gameUrl, DWORD budgetMs = kCacheClearLimitMs);

// The one trace line about a clear (the count, the give-up, the failed walk).
void TraceCacheClear(const std::wstring& gameUrl, const CacheClearResult& result);

// WalkGameCache, then TraceCacheClear.
CacheClearResult ClearGameCache(const std::wstring& gameUrl, DWORD budgetMs = kCacheClearLimitMs);

// The host of an http or https address, lower case, without user name, port or a final dot;
// empty for any other address (a cookie, a history entry, a relative or broken address).
std::wstring HttpHostOf(std::wstring_view url);

// Whether host (lower case) is gameHost (lower case) or a subdomain of it.
bool IsHostOrSubdomain(std::wstring_view host, std::wstring_view gameHost) noexcept;
