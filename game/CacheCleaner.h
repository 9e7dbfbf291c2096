#pragma once
// Clearing the game's files from the browser engine's cache (WinINet's URL cache) after a game
// update left the page broken. Cookies and history are never touched: the player stays logged in.
#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

struct CacheClearResult {
    size_t deleted = 0;
    size_t failed = 0;
    bool timedOut = false;
};

// Deletes from the engine's cache every entry whose address's host is gameUrl's host or one of
// its subdomains ("example.com" takes "cdn.example.com" along, not "badexample.com"); never a
// cookie or history entry. Gives up after budgetMs. A game address without a host deletes
// nothing. Traces one line with the count (and the give-up).
CacheClearResult ClearGameCache(const std::wstring& gameUrl, DWORD budgetMs = 5000);

// The host of an http or https address, lower case, without user name, port or a final dot;
// empty for any other address (a cookie, a history entry, a relative or broken address).
std::wstring HttpHostOf(std::wstring_view url);

// Whether host (lower case) is gameHost (lower case) or a subdomain of it.
bool IsHostOrSubdomain(std::wstring_view host, std::wstring_view gameHost) noexcept;
