// Clearing the game's files from a large engine cache: 10,000 entries, half of them the game's
// (its host and a subdomain), half of other hosts, each with its cached file as the engine
// leaves it. Prints how long filling took, the clear's time and rate, and whether it finished
// within the budget the game window gives it. The cache is left as it was found.
#include "bench/BenchReport.h"
#include "framework/Handles.h"
#include "framework/Trace.h"
#include "game/CacheCleaner.h"

#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kEntries = 10000;
// Filling stops here if the cache takes far longer per entry than expected; what was made is
// measured all the same.
constexpr double kFillBudgetMs = 25000;
constexpr DWORD kClearBudgetMs = 5000;

bool AddCacheEntry(const std::wstring& url) {
    wchar_t file[MAX_PATH] = {};
    if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"js", file, 0)) return false;
    {
        fw::UniqueKernelHandle out(::CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (out.get() == INVALID_HANDLE_VALUE) {
            fw::Ignore(out.release());
            return false;
        }
        static const char body[] = "window.gameModule = function () { return 42; };";
        DWORD written = 0;
        if (!::WriteFile(out.get(), body, sizeof(body) - 1, &written, nullptr)) return false;
    }
    wchar_t headers[] = L"HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\n\r\n";
    const FILETIME never{};
    return ::CommitUrlCacheEntryW(url.c_str(), file, never, never, NORMAL_CACHE_ENTRY, headers,
                                  static_cast<DWORD>(std::size(headers) - 1), L"js", nullptr) != FALSE;
}

void Quiet(std::wstring_view) {}

} // namespace

int main() {
    fw::SetTraceSink(&Quiet);
    std::printf("Clearing the game's entries from the engine's cache (%d entries, half the game's)\n", kEntries);
    const double fillStart = NowMs();
    int made = 0, game = 0, failed = 0;
    for (int i = 0; i < kEntries; ++i) {
        const bool isGame = i % 2 == 0;
        const std::wstring url = isGame ? (i % 4 == 0 ? L"http://game.example/res/" : L"https://cdn.game.example/res/") +
                                              std::to_wstring(i) + L".js"
                                        : L"http://s" + std::to_wstring(i % 50) + L".other.example/lib/" +
                                              std::to_wstring(i) + L".js";
        if (AddCacheEntry(url)) {
            ++made;
            game += isGame;
        } else {
            ++failed;
        }
        if (NowMs() - fillStart > kFillBudgetMs) break;
    }
    const double fillMs = NowMs() - fillStart;
    std::printf("  filled %d entries (%d the game's, %d failed) in %.0f ms: %.0f entries/s%s\n", made, game, failed, fillMs,
                made / (fillMs / 1000.0), made + failed < kEntries ? " (fill stopped at its time limit)" : "");

    const double clearStart = NowMs();
    const CacheClearResult result = ClearGameCache(L"http://game.example/play", kClearBudgetMs);
    const double clearMs = NowMs() - clearStart;
    std::printf("  ClearGameCache: %zu deleted, %zu not deletable, %s, in %.0f ms\n", result.deleted, result.failed,
                result.timedOut ? "GAVE UP at its budget" : "finished", clearMs);
    std::printf("  %-44s %8.0f entries/s (all %d entries walked)\n", "cache walk and delete:", made / (clearMs / 1000.0),
                made);
    std::printf("  %-44s %8.0f entries/s\n", "game entries deleted:", result.deleted / (clearMs / 1000.0));
    PrintRatio("clear time / 5 s budget", clearMs / kClearBudgetMs, 1.0);

    // Leave the cache as it was found: the other hosts' entries, and any the budget cut off.
    const CacheClearResult others = ClearGameCache(L"http://other.example/", 120000);
    const CacheClearResult rest = ClearGameCache(L"http://game.example/", 120000);
    const bool ok = !result.timedOut ? result.deleted == static_cast<size_t>(game) && result.failed == 0
                                     : result.deleted + rest.deleted == static_cast<size_t>(game);
    if (!ok || others.deleted != static_cast<size_t>(made - game)) {
        std::printf("  ERROR: %zu game entries deleted of %d, %zu other entries cleaned up of %d\n",
                    result.deleted + rest.deleted, game, others.deleted, made - game);
        return 1;
    }
    return 0;
}
