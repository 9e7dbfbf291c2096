#include "framework/Trace.h"

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

void AppendQuoted(std::wstring& line, std::wstring_view text) {
    const std::wstring_view shown = text.substr(0, kTraceQuoteMax);
    line += L'"';
    for (wchar_t c : shown) {
        if (c < 0x20 || c == 0x7F) {
            // A line break or other control character would break or hide the line.
            line += L"\\x";
            line += kHexDigits[(c >> 4) & 0xF];
            line += kHexDigits[c & 0xF];
        } else {
            line += c;
        }
    }
    line += L'"';
    if (shown.size() < text.size()) {
        line += L"... (";
        line += std::to_wstring(text.size());
        line += L" characters)";
    }
}

} // namespace

TraceSink SetTraceSink(TraceSink sink) noexcept {
    TraceSink old = g_sink;
    g_sink = sink;
    return old;
}

void TraceParts(std::initializer_list<TracePart> parts) noexcept {
    try {
        size_t size = std::size(kPrefix) + 1;
        for (const TracePart& part : parts) size += part.quoted ? std::min(part.text.size(), kTraceQuoteMax) + 32 : part.text.size();
        std::wstring line;
        line.reserve(size);
        line += kPrefix;
        for (const TracePart& part : parts) {
            if (part.quoted) AppendQuoted(line, part.text);
            else line += part.text;
        }
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

std::wstring TraceStatus(const VARIANT* status) {
    for (int depth = 0; status && status->vt == (VT_BYREF | VT_VARIANT) && depth < 8; ++depth) status = status->pvarVal;
    if (status && (status->vt == VT_I4 || status->vt == VT_UI4 || status->vt == VT_INT || status->vt == VT_UINT)) {
        const auto code = static_cast<unsigned long>(status->lVal);
        if (code < 1000) return std::to_wstring(code);
        std::wstring hex = L"0x";
        for (int shift = 28; shift >= 0; shift -= 4) hex += kHexDigits[(code >> shift) & 0xF];
        return hex;
    }
    const std::wstring text = VariantText(status);
    return text.empty() ? L"(none)" : text;
}

} // namespace fw
