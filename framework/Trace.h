#pragma once
// A trace of what the program decides, one line per decision, for whoever watches the debug
// output: a debugger, a debug-output viewer, or Wine with WINEDEBUG=warn+seh. Every line starts
// with "Orvane: "; nothing is written anywhere. The lines are few (decisions, not frames), so
// they are sent whether or not anyone listens: a line costs putting its text together once and
// one OutputDebugStringW.
#include <oaidl.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace fw {

// Where trace lines go, each without its line break. The default sends the line with
// OutputDebugStringW; tests replace it.
using TraceSink = void (*)(std::wstring_view line);
// Installs sink (null: the default) and returns the one it replaces (null for the default).
TraceSink SetTraceSink(TraceSink sink) noexcept;

// Longest piece of outside text (a page's argument, an address) a line quotes.
constexpr size_t kTraceQuoteMax = 2048;

// One piece of a line: the program's own words as they are, or outside text quoted (in double
// quotes, control characters written as \xNN, cut at kTraceQuoteMax characters with the full
// length noted).
struct TracePart {
    TracePart(std::wstring_view s) noexcept : text(s) {}
    TracePart(const wchar_t* s) noexcept : text(s ? std::wstring_view(s) : std::wstring_view()) {}
    TracePart(const std::wstring& s) noexcept : text(s) {}
    std::wstring_view text;
    bool quoted = false;
};
inline TracePart Quoted(std::wstring_view s) noexcept {
    TracePart part(s);
    part.quoted = true;
    return part;
}

// Sends "Orvane: " and the parts as one line. Never throws: a line that cannot be put together
// is dropped.
void TraceParts(std::initializer_list<TracePart> parts) noexcept;

template <class... Parts>
void Trace(const Parts&... parts) noexcept {
    TraceParts({TracePart(parts)...});
}

// A status code as a browser event hands it over (a VARIANT, perhaps by reference): an HTTP
// status in decimal, a failure code (HRESULT) in hexadecimal.
std::wstring TraceStatus(const VARIANT* status);

} // namespace fw
