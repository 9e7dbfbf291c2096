#include "framework/Trace.h"

#include "framework/TraceRing.h"
#include "framework/Variant.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

namespace fw {

namespace {

constexpr wchar_t kPrefix[] = L"Orvane: ";
constexpr wchar_t kHexDigits[] = L"0123456789ABCDEF";

// Lines are traced on the user-interface thread; a test installs its sink there too.
TraceSink g_sink = nullptr;
UINT g_codePage = 0;

bool IsHighSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Units that would end or hide the line, or make its text read in another order than it is
// stored: written as escapes.
bool MustEscape(wchar_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true; // C0, DEL, C1
    switch (c) {
    case 0x061C: // Arabic letter mark
    case 0x200E: // left-to-right and right-to-left marks
    case 0x200F:
    case 0x2028: // line and paragraph separators
    case 0x2029:
        return true;
    default:
        return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069); // embeddings, overrides, isolates
    }
}

// Whether one character (a unit or a surrogate pair) reads the same in the code page: it
// converts without best fit and back unchanged, and its bytes hold no '"', '\\' or control byte.
bool ReadsTheSameIn(UINT codePage, const wchar_t* units, int count) {
    // UTF-8 takes every character; the lone surrogates it cannot take are escaped already.
    if (codePage == CP_UTF8) return true;
    char bytes[16];
    BOOL usedDefault = FALSE;
    const int size = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                           static_cast<int>(sizeof bytes), nullptr, &usedDefault);
    if (size <= 0 || usedDefault) return false;
    for (int i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '"' || b == '\\' || b < 0x20 || b == 0x7F) return false;
    }
    wchar_t back[8];
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes, size, back, static_cast<int>(std::size(back))) ==
               count &&
           std::equal(units, units + count, back);
}

void AppendHex(std::wstring& line, unsigned long value, int digits) {
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) line += kHexDigits[(value >> shift) & 0xF];
}

} // namespace

void AppendTraceQuoted(std::wstring& line, std::wstring_view text) {
    size_t shown = std::min(text.size(), kTraceQuoteMax);
    // Never half a pair: the high surrogate goes with the rest.
    if (shown < text.size() && shown > 0 && IsHighSurrogate(text[shown - 1]) && IsLowSurrogate(text[shown])) --shown;
    // Looked up at the first character outside ASCII (which every ANSI code page takes as it
    // is): most lines hold none and cost no conversion at all.
    UINT codePage = 0;
    const auto escape = [&line](wchar_t c) {
        const bool small = c < 0x100;
        line += small ? L"\\x" : L"\\u";
        AppendHex(line, c, small ? 2 : 4);
    };
    line += L'"';
    for (size_t i = 0; i < shown; ++i) {
        const wchar_t c = text[i];
        if (c == L'"' || c == L'\\') {
            line += L'\\';
            line += c;
        } else if (c < 0x80 && !MustEscape(c)) {
            line += c;
        } else if (IsHighSurrogate(c) && i + 1 < shown && IsLowSurrogate(text[i + 1])) {
            if (codePage == 0) codePage = g_codePage ? g_codePage : ::GetACP();
            if (ReadsTheSameIn(codePage, &text[i], 2)) {
                line += c;
                line += text[i + 1];
            } else {
                escape(c);
                escape(text[i + 1]);
            }
            ++i;
        } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || MustEscape(c)) {
            escape(c);
        } else {
            if (codePage == 0) codePage = g_codePage ? g_codePage : ::GetACP();
            if (ReadsTheSameIn(codePage, &c, 1)) line += c;
            else escape(c);
        }
    }
    line += L'"';
    if (shown < text.size()) {
        line += L"... (";
        line += std::to_wstring(text.size());
        line += L" characters)";
    }
}

UINT SetTraceCodePage(UINT codePage) noexcept {
    const UINT old = g_codePage;
    g_codePage = codePage;
    return old;
}

TraceSink SetTraceSink(TraceSink sink) noexcept {
    TraceSink old = g_sink;
    g_sink = sink;
    return old;
}

void TraceParts(std::initializer_list<TracePart> parts) noexcept {
    try {
        size_t size = std::size(kPrefix) + 1;
        // A quoted unit takes at most six (\uNNNN); the note after a cut text fits in 40.
        for (const TracePart& part : parts) {
            size += part.quoted ? std::min(part.text.size(), kTraceQuoteMax) * 6 + 40 : part.text.size();
        }
        std::wstring line;
        line.reserve(size);
        line += kPrefix;
        for (const TracePart& part : parts) {
            if (part.quoted) AppendTraceQuoted(line, part.text);
            else line += part.text;
        }
        // Kept for the diagnosis whichever sink takes the line.
        RecordTraceLine(line);
        if (g_sink) {
            g_sink(line);
            return;
        }
        line += L'\n';
        ::OutputDebugStringW(line.c_str());
    } catch (...) {
        // No memory for the line: the trace goes without it.
    }
}

std::wstring TraceHresult(HRESULT hr) {
    std::wstring hex = L"0x";
    AppendHex(hex, static_cast<unsigned long>(hr), 8);
    return hex;
}

std::wstring TraceStatus(const VARIANT* status) {
    for (int depth = 0; status && status->vt == (VT_BYREF | VT_VARIANT) && depth < 8; ++depth) status = status->pvarVal;
    if (status && (status->vt == VT_I4 || status->vt == VT_UI4 || status->vt == VT_INT || status->vt == VT_UINT)) {
        const auto code = static_cast<unsigned long>(status->lVal);
        if (code < 1000) return std::to_wstring(code);
        return TraceHresult(static_cast<HRESULT>(code));
    }
    const std::wstring text = VariantText(status);
    if (text.empty()) return L"(none)";
    // Whatever else the event carries is outside text like any other.
    std::wstring quoted;
    AppendTraceQuoted(quoted, text);
    return quoted;
}

} // namespace fw
