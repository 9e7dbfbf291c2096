#pragma once
// One request for the start page through WinINet, the engine's own network stack, so the
// player's proxy and TLS settings apply: what a support person needs to tell "no network" from
// "no name", "no connection", "bad certificate" or "wrong page". Redirects are followed one hop
// at a time (each hop is reported, and a loop is caught). Nothing of the player's cookies or
// cache is read or written, and at most maxBytes of the answer are read and then dropped.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// What looking up a host name gave.
struct NameResolution {
    bool resolved = false;
    DWORD error = 0;         // the system's code when not resolved
    std::wstring addresses; // "1.2.3.4, ::1" when resolved
};
using NameResolver = std::function<NameResolution(const std::wstring& host)>;
// The system's resolver (GetAddrInfoW).
NameResolution ResolveWithSystem(const std::wstring& host);

struct ProbeOptions {
    std::wstring url;
    // The whole check, kept outside WinINet: its own time-outs are not honoured everywhere, and
    // a blocked call cannot be ended from outside, so a late result is dropped.
    DWORD limitMs = 10000;
    size_t maxBytes = 64 * 1024;
    std::wstring userAgent;
    NameResolver resolve; // null: ResolveWithSystem
};

struct ProbeResult {
    enum class Outcome { NotRequested, Failed, TimedOut, Answered };
    Outcome outcome = Outcome::NotRequested;
    std::wstring url;
    std::wstring notRequestedWhy; // why no request was made (an address that is not http(s))
    std::wstring proxy;           // how WinINet reaches the server, as the player's settings say
    bool proxied = false;         // a proxy or an automatic configuration is set
    std::wstring host;
    bool resolveTried = false;
    NameResolution resolution;
    bool https = false;
    bool connected = false;      // the server sent an answer (TLS included for https)
    std::wstring step;           // the step that failed or was running at the time limit
    DWORD error = 0;             // WinINet or Windows code of the failure
    std::wstring tlsProtocol;    // "TLS 1.2" when https and the system says
    DWORD status = 0;            // HTTP status of the last answer
    std::vector<std::wstring> hops; // every address asked, the first one included
    bool redirectLoop = false;   // an address came back, or too many redirects
    std::wstring finalUrl;       // the address that gave the last answer
    DWORD firstByteMs = 0;       // from sending the last request to its answer's headers
    DWORD elapsedMs = 0;
    size_t bytesRead = 0;
    bool capped = false;         // maxBytes read: the rest was left unread
};

// Runs the check; returns within about limitMs whatever the network does.
ProbeResult ProbeStartPage(const ProbeOptions& options);

// Whether url is an http or https address (the only kind the check requests).
bool IsHttpAddress(const std::wstring& url);
