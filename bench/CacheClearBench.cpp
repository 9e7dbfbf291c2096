// Clearing the game's files from a large engine cache: 10,000 entries, half of them the game's
// (its host and a subdomain, each with its cached file, deleted along), half of other hosts
// (index entries only: the clear walks past them). Prints how long filling took, the clear's time and rate, and whether it finished
// within the budget the game window gives it. Under Wine the cache is slow to fill, so filling
// stops after a while and what was made is measured. The cache is left as it was found.
// Also the longest time a window takes to answer (WM_NULL from another thread): during a walk on
// its own thread (as the clear ran before) and during the clear as the game window runs it now
// (on a worker thread), with the time from the command to the result back on the window's thread.
#include "bench/AnswerProbe.h"
#include "bench/BenchReport.h"
#include "framework/Handles.h"
#include "framework/Trace.h"
#include "game/CacheCleaner.h"
#include "game/WorkerQueue.h"

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

namespace {

constexpr int kEntries = 10000;
// Filling stops here if the cache takes far longer per entry than expected; what was made is
// measured all the same.
constexpr double kFillBudgetMs = 12000;
constexpr DWORD kClearBudgetMs = kCacheClearLimitMs;

// withFile: a cached file as the engine leaves one (it is deleted with its entry); without, only
// the index entry (enough for entries the clear only walks past, and quicker to make).
bool AddCacheEntry(const std::wstring& url, bool withFile) {
    wchar_t headers[] = L"HTTP/1.1 200 OK\r\nContent-Type: text/javascript\r\n\r\n";
    const FILETIME never{};
    if (!withFile) {
        return ::CommitUrlCacheEntryW(url.c_str(), nullptr, never, never, NORMAL_CACHE_ENTRY, headers,
                                      static_cast<DWORD>(std::size(headers) - 1), nullptr, nullptr) != FALSE;
    }
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
        if (AddCacheEntry(url, isGame)) {
            ++made;
            game += isGame;
        } else {
            ++failed;
        }
        if (NowMs() - fillStart > kFillBudgetMs) break;
    }
    const double fillMs = NowMs() - fillStart;
    const double fillRate = made / (fillMs / 1000.0);
    std::printf("  filled %d entries (%d the game's, %d failed) in %.0f ms: %.0f entries/s\n", made, game, failed, fillMs,
                fillRate);
    if (made + failed < kEntries) {
        std::printf("  (filling stopped at its time limit: %d entries would take about %.0f s to make here)\n", kEntries,
                    kEntries / fillRate);
    }

    // A window of this thread, as the game window is.
    fw::UniqueWindow window(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                              ::GetModuleHandleW(nullptr), nullptr));
    // A walk that meets none of its host's entries, given all the time it needs: the cost of
    // the walk alone, on the window's thread as every clear was before.
    AnswerProbe walkProbe(window.get());
    ::Sleep(20);
    const double walkStart = NowMs();
    const CacheClearResult none = ClearGameCache(L"http://absent.example/", 120000);
    const double walkMs = NowMs() - walkStart;
    const double walkAnswer = walkProbe.Stop();
    std::printf("  %-44s %8.0f ms (the walk alone on the window's thread, before)\n", "longest answer:", walkAnswer);
    std::printf("  %-44s %8.0f entries/s (%.0f ms%s)\n", "walk alone (no entry of its host):", made / (walkMs / 1000.0),
                walkMs, none.timedOut ? ", GAVE UP at its budget" : "");

    // The clear as the game window runs it now: on a worker thread, the result posted back.
    CacheClearResult result;
    double clearMs = 0, clearAnswer = 0;
    {
        WorkerQueue worker;
        auto done = std::make_shared<std::atomic<bool>>(false);
        auto shared = std::make_shared<CacheClearResult>();
        const HWND target = window.get();
        AnswerProbe probe(window.get());
        ::Sleep(20);
        const double clearStart = NowMs();
        fw::Ignore(worker.Post([shared, done, target] {
            *shared = WalkGameCache(L"http://game.example/play", kClearBudgetMs);
            done->store(true);
            ::PostMessageW(target, WM_NULL, 0, 0);
        }));
        PumpUntil([&] { return done->load(); }, 600000);
        clearMs = NowMs() - clearStart;
        clearAnswer = probe.Stop();
        result = *shared;
    }
    std::printf("  %-44s %8.0f ms (the clear on a worker thread, now; command to result %.0f ms)\n", "longest answer:",
                clearAnswer, clearMs);
    std::printf("  ClearGameCache: %zu deleted, %zu not deletable, %s, in %.0f ms\n", result.deleted, result.failed,
                result.timedOut ? "GAVE UP at its budget" : "finished", clearMs);
    if (!result.timedOut) {
        std::printf("  %-44s %8.0f entries/s\n", "walk and delete, all entries:", made / (clearMs / 1000.0));
    }
    std::printf("  %-44s %8.0f entries/s\n", "game entries deleted:", result.deleted / (clearMs / 1000.0));

    // Leave the cache as it was found: every host the benchmark used is under "example". Timed
    // too: a walk that deletes every entry it meets, with no budget.
    const double cleanStart = NowMs();
    const CacheClearResult rest = ClearGameCache(L"http://example/", 600000);
    const double cleanMs = NowMs() - cleanStart;
    std::printf("  %-44s %8.0f entries/s (%zu deleted in %.0f ms)\n", "clean-up, no budget, deleting all:",
                rest.deleted / (cleanMs / 1000.0), rest.deleted, cleanMs);
    const bool ok = result.failed == 0 && rest.failed == 0 && !rest.timedOut &&
                    (result.timedOut || result.deleted == static_cast<size_t>(game)) &&
                    result.deleted + rest.deleted == static_cast<size_t>(made);
    if (!ok) {
        std::printf("  ERROR: %zu game entries deleted of %d, %zu entries in all of %d\n", result.deleted, game,
                    result.deleted + rest.deleted, made);
        return 1;
    }
    return 0;
}
