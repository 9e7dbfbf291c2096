#include "app/UserAgent.h"

#include "diag/DiagnosisCollector.h"
#include "framework/ModulePath.h"
#include "framework/Trace.h"

#include <windows.h>
#include <urlmon.h>

#include <vector>

namespace {

// The engine's agent as it stands, or a plain one when the engine gives none.
std::string EngineUserAgent() {
    std::vector<char> agent(512, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        DWORD size = static_cast<DWORD>(agent.size());
        const HRESULT hr = ::ObtainUserAgentString(0, agent.data(), &size);
        if (SUCCEEDED(hr)) {
            agent.back() = '\0';
            if (agent[0]) return agent.data();
            break;
        }
        // Too small: size now holds what it needs (within reason).
        if (hr != E_OUTOFMEMORY || size <= agent.size() || size > 64 * 1024) break;
        agent.assign(size + 1, '\0');
    }
    return "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT)";
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (const wchar_t c : text) out += c > 0x20 && c < 0x7F ? static_cast<char>(c) : '_';
    return out;
}

} // namespace

std::string OrvaneUserAgent(const std::wstring& version) {
    const std::string suffix = " Orvane/" + (version.empty() ? std::string("0") : Narrow(version));
    std::string agent = EngineUserAgent();
    const bool already =
        agent.size() >= suffix.size() && agent.compare(agent.size() - suffix.size(), suffix.size(), suffix) == 0;
    if (!already) agent += suffix;
    return agent;
}

bool SetProcessUserAgent() {
    const std::string agent = OrvaneUserAgent(FileVersion(fw::ModuleFileName(nullptr)));
    // URLMON_OPTION_USERAGENT takes the ANSI string and its length without the terminator.
    const HRESULT hr = ::UrlMkSetSessionOption(URLMON_OPTION_USERAGENT, const_cast<char*>(agent.c_str()),
                                               static_cast<DWORD>(agent.size()), 0);
    const std::wstring wide(agent.begin(), agent.end());
    if (FAILED(hr)) {
        fw::Trace(L"user agent not set (", fw::TraceHresult(hr), L"): requests carry the engine's own");
        return false;
    }
    fw::Trace(L"user agent ", fw::Quoted(wide));
    return true;
}
