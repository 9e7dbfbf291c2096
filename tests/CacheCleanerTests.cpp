// Clearing the game's entries from the engine's URL cache (WinINet under Wine): real entries and a
// real cookie, made the way the engine makes them.
#include "framework/Handles.h"
#include "framework/Trace.h"
#include "game/CacheCleaner.h"

#include <gtest/gtest.h>

#include <wininet.h>

#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;
void KeepLine(std::wstring_view line) {
    g_lines.emplace_back(line);
}

// A cached file for url, as the engine leaves one after a download.
bool AddCacheEntry(const std::wstring& url) {
    wchar_t file[MAX_PATH] = {};
    if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"js", file, 0)) return false;
    {
        fw::UniqueKernelHandle out(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (out.get() == INVALID_HANDLE_VALUE) {
            fw::Ignore(out.release());
            return false;
        }
        DWORD written = 0;
        if (!::WriteFile(out.get(), "var v = 1;", 10, &written, nullptr)) return false;
    }
    wchar_t headers[] = L"HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\n\r\n";
    const FILETIME never{};
    return ::CommitUrlCacheEntryW(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, headers,
                                  static_cast<DWORD>(std::size(headers) - 1), L"js", nullptr) != FALSE;
}

bool InCache(const std::wstring& url) {
    DWORD size = 0;
    return !::GetUrlCacheEntryInfoW(url.c_str(), nullptr, &size) && ::GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

std::wstring CookieOf(const wchar_t* url) {
    wchar_t data[512] = {};
    DWORD size = static_cast<DWORD>(std::size(data));
    return ::InternetGetCookieW(url, nullptr, data, &size) ? std::wstring(data) : std::wstring();
}

// Every entry of the cache and every lasting cookie deleted: the test starts from an empty store
// whatever an earlier run on the same prefix left. What could not be deleted, one line each.
std::wstring EmptyCacheAndCookies() {
    for (const wchar_t* pattern : {static_cast<const wchar_t*>(nullptr), L"cookie:", L"visited:"}) {
        std::vector<ULONGLONG> buffer(4096);
        for (int pass = 0; pass < 3; ++pass) {
            DWORD size = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
            auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
            HANDLE find = ::FindFirstUrlCacheEntryW(pattern, entry, &size);
            if (!find) break;
            std::vector<std::wstring> urls;
            do {
                if (entry->lpszSourceUrlName) urls.emplace_back(entry->lpszSourceUrlName);
                size = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
            } while (::FindNextUrlCacheEntryW(find, entry, &size));
            ::FindCloseUrlCache(find);
            for (const std::wstring& url : urls) ::DeleteUrlCacheEntryW(url.c_str());
            if (urls.empty()) break;
        }
    }
    // Cookies the process already holds in memory (read by an earlier test) go by expiring them.
    for (const wchar_t* url : {L"http://game.example/", L"http://cdn.game.example/"}) {
        wchar_t data[2048] = {};
        DWORD dataSize = static_cast<DWORD>(std::size(data));
        if (!::InternetGetCookieW(url, nullptr, data, &dataSize)) continue;
        std::wstring cookies = data;
        for (size_t start = 0; start < cookies.size();) {
            size_t end = cookies.find(L';', start);
            if (end == std::wstring::npos) end = cookies.size();
            std::wstring pair = cookies.substr(start, end - start);
            while (!pair.empty() && pair.front() == L' ') pair.erase(0, 1);
            const std::wstring name = pair.substr(0, pair.find(L'='));
            if (!name.empty()) ::InternetSetCookieW(url, name.c_str(), L"x; expires=Thu, 01-Jan-1970 00:00:01 GMT");
            start = end + 1;
        }
    }
    std::vector<ULONGLONG> buffer(4096);
    auto* entry = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
    std::wstring left;
    HANDLE find = ::FindFirstUrlCacheEntryW(nullptr, entry, &size);
    if (find) {
        do {
            if (entry->lpszSourceUrlName) left += std::wstring(entry->lpszSourceUrlName) + L"\n";
            size = static_cast<DWORD>(buffer.size() * sizeof(ULONGLONG));
        } while (::FindNextUrlCacheEntryW(find, entry, &size));
        ::FindCloseUrlCache(find);
    }
    return left;
}

TEST(CacheCleaner, DeletesTheGameHostAndItsSubdomainsOnly) {
    const std::wstring left = EmptyCacheAndCookies();
    ASSERT_EQ(left.find(L"example"), std::wstring::npos) << "the cache could not be emptied: " << testing::PrintToString(left);
    ASSERT_EQ(CookieOf(L"http://game.example/"), L"");
    // Hosts as the cache records them: scheme and case as they come, user name, port, a final dot.
    EXPECT_EQ(HttpHostOf(L"HTTPS://User:pw@Game.Example.:8443/a?b#c"), L"game.example");
    EXPECT_EQ(HttpHostOf(L"http://game.example\\evil.test/"), L"game.example");
    EXPECT_EQ(HttpHostOf(L"http://[::1]:8080/x"), L"[::1]");
    for (const wchar_t* none : {L"Cookie:player@game.example/", L"Visited: player@http://game.example/", L"ftp://game.example/",
                                L"http:game.example/", L"http:///x", L"http://@:80/", L"http://a b/", L"http://[::1/", L""}) {
        EXPECT_EQ(HttpHostOf(none), L"") << testing::PrintToString(std::wstring(none));
    }
    EXPECT_FALSE(IsHostOrSubdomain(L"xgame.example", L"game.example"));
    EXPECT_FALSE(IsHostOrSubdomain(L".game.example", L"game.example"));

    const std::wstring gone[] = {
        L"http://game.example/index.html",
        L"https://CDN.Game.Example:8443/app.js",
        L"http://game.example/" + std::wstring(5000, L'p') + L".js", // larger than the first record buffer
    };
    const std::wstring kept[] = {
        L"http://badgame.example/app.js",
        L"http://game.example.other.test/app.js",
        L"http://other.example/game.example/app.js",
    };
    for (const auto& url : gone) ASSERT_TRUE(AddCacheEntry(url)) << ::GetLastError();
    for (const auto& url : kept) ASSERT_TRUE(AddCacheEntry(url)) << ::GetLastError();
    ASSERT_TRUE(::InternetSetCookieW(L"http://game.example/", L"session", L"player7; expires=Fri, 01-Jan-2100 00:00:00 GMT"));
    ASSERT_EQ(CookieOf(L"http://game.example/"), L"session=player7");
    // The engine keeps a lasting cookie in the same cache, as an entry the walk meets.
    wchar_t user[256] = {};
    DWORD userSize = static_cast<DWORD>(std::size(user));
    ASSERT_TRUE(::GetUserNameW(user, &userSize));
    const std::wstring cookieEntry = L"Cookie:" + std::wstring(user) + L"@game.example/";
    ASSERT_TRUE(InCache(cookieEntry)) << testing::PrintToString(cookieEntry);

    g_lines.clear();
    const fw::TraceSink old = fw::SetTraceSink(&KeepLine);
    // Bad game addresses delete nothing; neither does a budget already spent.
    const CacheClearResult noHost = ClearGameCache(L"about:blank");
    const CacheClearResult noTime = ClearGameCache(L"http://game.example/play", 0);
    const CacheClearResult result = ClearGameCache(L"http://Game.Example/play?sid=7");
    fw::SetTraceSink(old);

    EXPECT_EQ(noHost.deleted, 0u);
    EXPECT_TRUE(noTime.timedOut);
    EXPECT_EQ(noTime.deleted, 0u);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.failed, 0u);
    EXPECT_EQ(result.deleted, std::size(gone));
    for (const auto& url : gone) EXPECT_FALSE(InCache(url)) << testing::PrintToString(url.substr(0, 60));
    for (const auto& url : kept) EXPECT_TRUE(InCache(url)) << testing::PrintToString(url);
    EXPECT_TRUE(InCache(cookieEntry));
    EXPECT_EQ(CookieOf(L"http://game.example/"), L"session=player7");
    ASSERT_EQ(g_lines.size(), 3u);
    EXPECT_EQ(g_lines[0], L"Orvane: cache not cleared: the game address has no host: \"about:blank\"");
    EXPECT_EQ(g_lines[1].rfind(L"Orvane: cache of \"game.example\" partly cleared: gave up after 0 ms; 0 entries deleted", 0), 0u)
        << testing::PrintToString(g_lines[1]);
    EXPECT_EQ(g_lines[2], L"Orvane: cache of \"game.example\" cleared: 3 entries deleted, 0 not deletable");

    for (const auto& url : kept) fw::Ignore(::DeleteUrlCacheEntryW(url.c_str()));
}

} // namespace
