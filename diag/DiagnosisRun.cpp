#include "diag/DiagnosisRun.h"

#include "app/UserAgent.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"
#include "game/GameAudio.h"
#include "game/Screenshot.h"

#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace {

// The screenshot folder may lie on a network share that does not answer: its check gets a limit
// of its own, so the report still ends in time.
constexpr DWORD kDeviceLimitMs = 3000;

// fn() on a thread of its own, or fallback once limitMs have passed (the thread is then left to
// end whenever it can, and its result is dropped).
template <class T, class Fn>
T WithLimit(Fn fn, DWORD limitMs, T fallback) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable ready;
        bool done = false;
        T value;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, fn]() mutable {
        T value = fn();
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->value = std::move(value);
        shared->done = true;
        shared->ready.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    if (!shared->ready.wait_for(lock, std::chrono::milliseconds(limitMs), [&] { return shared->done; })) return fallback;
    return shared->value;
}

std::wstring EnvironmentValue(const wchar_t* name) {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD n = ::GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
    return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : std::wstring();
}

} // namespace

DiagnosisSettings CurrentDiagnosisSettings() {
    DiagnosisSettings s;
    s.exePath = fw::ModuleFileName(nullptr);
    s.audioOutput = GameAudio::Instance().Available();
    s.screenshotFolder = ScreenshotFolder();
    return s;
}

std::shared_ptr<DiagnosisRun> DiagnosisRun::Start(DiagnosisSettings settings, HWND notify, UINT message) {
    auto run = std::make_shared<DiagnosisRun>(std::move(settings));
    fw::Trace(L"diagnosis: checks started");
    try {
        // Detached: a window closed early leaves it to finish on its own, holding its own reference.
        std::thread([run, notify, message] { run->Run(notify, message); }).detach();
    } catch (...) {
        fw::Trace(L"diagnosis: no thread for the checks");
        const std::lock_guard<std::mutex> lock(run->m_mutex);
        run->m_done = true;
    }
    return run;
}

DiagnosisFacts DiagnosisRun::Facts() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_facts;
}

bool DiagnosisRun::Done() const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_done;
}

void DiagnosisRun::Run(HWND notify, UINT message) {
    const auto publish = [&](auto&& update) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            update(m_facts);
        }
        if (notify) fw::Ignore(::PostMessageW(notify, message, 0, 0));
    };
    try {
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const RegistryReader registry = m_settings.registry ? m_settings.registry : RegistryReader(&ReadRegistryDword);
        const std::wstring exePath = m_settings.exePath.empty() ? fw::ModuleFileName(nullptr) : m_settings.exePath;
        publish([&](DiagnosisFacts& f) {
            ::GetLocalTime(&f.generatedAt);
            f.userProfile = EnvironmentValue(L"USERPROFILE");
            f.userName = EnvironmentValue(L"USERNAME");
            std::vector<wchar_t> shortPath(32768, L'\0');
            const DWORD n = ::GetShortPathNameW(f.userProfile.c_str(), shortPath.data(),
                                                static_cast<DWORD>(shortPath.size()));
            if (n > 0 && n < shortPath.size()) f.userProfileShort.assign(shortPath.data(), n);
        });
        const ProgramFacts program = CollectProgramFacts(exePath);
        publish([&](DiagnosisFacts& f) { f.program = program; });
        const WindowsFacts windows = CollectWindowsFacts();
        publish([&](DiagnosisFacts& f) { f.windows = windows; });
        const EngineFacts engine = CollectEngineFacts(exePath, registry);
        publish([&](DiagnosisFacts& f) { f.engine = engine; });
        const ConfigFacts config = CollectConfigFacts(exePath);
        publish([&](DiagnosisFacts& f) { f.config = config; });
        DeviceFacts late;
        late.known = true;
        late.audioOutput = m_settings.audioOutput;
        late.screenshotFolder = m_settings.screenshotFolder;
        late.screenshotWhy = L"检查超过 " + std::to_wstring(kDeviceLimitMs / 1000) + L" 秒没有结果 (文件夹可能在无法访问的网络位置)";
        const DeviceFacts devices = WithLimit(
            [audio = m_settings.audioOutput, folder = m_settings.screenshotFolder] {
                return CollectDeviceFacts(audio, folder);
            },
            kDeviceLimitMs, late);
        publish([&](DiagnosisFacts& f) { f.devices = devices; });
        ProbeOptions probe;
        probe.url = m_settings.startPage.empty() ? config.startPage : m_settings.startPage;
        probe.limitMs = m_settings.networkLimitMs;
        probe.resolve = m_settings.resolve;
        // The agent the browsers send (the same function set it at the start): the engine's own
        // with " Orvane/<version>" after it.
        const std::string agent = OrvaneUserAgent(program.version);
        probe.userAgent.assign(agent.begin(), agent.end());
        const NetworkFacts network = CollectNetworkFacts(probe, windows, engine.mshtmlVersion, registry);
        publish([&](DiagnosisFacts& f) { f.network = network; });
        if (SUCCEEDED(com)) ::CoUninitialize();
    } catch (...) {
        fw::Trace(L"diagnosis: a check failed for want of memory");
    }
    publish([&](DiagnosisFacts&) { m_done = true; });
    fw::Trace(L"diagnosis: checks done");
}
