#pragma once
// A trace of what the program decides, one line per decision, for whoever watches the debug
// output: a debugger, a debug-output viewer, or Wine with WINEDEBUG=warn+seh. Every line starts
// with "Orvane: " and then the decision, before any outside text, so a viewer that cuts long
// lines still shows what was decided; nothing is written anywhere. The lines are few
// (decisions, not frames), so they are sent whether or not anyone listens: a line costs putting
// its text together once and one OutputDebugStringW.
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

// Most UTF-16 code units of one piece of outside text (a page's argument, an address) a line
// quotes. A debug-output message is one buffer of about 4 KB of ANSI on Windows, and Wine cuts
// far shorter, so a line with two or three quoted texts stays readable.
constexpr size_t kTraceQuoteMax = 512;

// Appends text to line in double quotes, in a form that reads back into exactly the quoted
// units: '"' and '\' as \" and \\; code units below U+0100 that are control characters (C0,
// DEL, C1) as \xNN; the line and paragraph separators, the bidirectional controls (U+061C,
// U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) and unpaired surrogates as \uNNNN (hex
// digits in upper case). So are the characters that would not read the same in the trace's
// ANSI code page (see SetTraceCodePage): a character (one unit or a surrogate pair) that does
// not convert to it and back unchanged without best fit, or whose bytes there hold a '"', a '\'
// or a control byte (a trail byte of a double-byte character can be 0x5C), goes as \xNN for a
// unit below U+0100 and \uNNNN for each unit otherwise. Every other unit goes as it is. Text longer than kTraceQuoteMax units is
// cut there (one unit earlier where the cut would split a surrogate pair) and followed by
// `... (N characters)`, N its full length in units.
void AppendTraceQuoted(std::wstring& line, std::wstring_view text);

// OutputDebugStringW hands debuggers the line as it is, but debug-output viewers that read
// the ANSI form get it converted to the system's ANSI code page, with best fit: U+FF02 and
// U+FF3C would arrive as '"' and '\'. Quoted text is therefore checked against that code page:
// 0 (the default) for the system's (GetACP), or the one given (tests try others). Returns the
// setting it replaces.
UINT SetTraceCodePage(UINT codePage) noexcept;

// One piece of a line: the program's own words as they are, or outside text quoted as
// AppendTraceQuoted does.
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

// A failure code (HRESULT) as a line gives it: 0x and eight hexadecimal digits.
std::wstring TraceHresult(HRESULT hr);

// A status code as a browser event hands it over (a VARIANT, perhaps by reference), ready to
// go into a line as it is: an HTTP status in decimal, a failure code (HRESULT) in hexadecimal,
// any other value's text quoted as AppendTraceQuoted does, "(none)" for no value.
std::wstring TraceStatus(const VARIANT* status);

} // namespace fw
