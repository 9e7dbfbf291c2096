#include "framework/MFCButtonProperties.h"

std::vector<MFCButtonProperty> ParseMFCButtonProperties(const char* data, size_t size) {
    std::vector<MFCButtonProperty> out;
    if (!data) return out;
    const std::string_view text(data, size);
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] != '<') break;
        const size_t nameEnd = text.find('>', pos + 1);
        if (nameEnd == std::string_view::npos) break;
        const std::string_view name = text.substr(pos + 1, nameEnd - pos - 1);
        if (name.empty() || name.front() == '/' || name.find('<') != std::string_view::npos) break;
        std::string closing;
        closing.reserve(name.size() + 3);
        closing.append("</").append(name).append(">");
        const size_t valueStart = nameEnd + 1;
        const size_t close = text.find(closing, valueStart);
        if (close == std::string_view::npos) break;
        out.push_back({std::string(name), std::string(text.substr(valueStart, close - valueStart))});
        pos = close + closing.size();
    }
    return out;
}

bool ParseMFCButtonInt(std::string_view s, int& out) noexcept {
    if (s.empty() || s.size() > 9) return false;
    bool negative = false;
    if (s.front() == '-') {
        negative = true;
        s.remove_prefix(1);
        if (s.empty()) return false;
    }
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    out = negative ? -v : v;
    return true;
}

bool ParseMFCButtonBool(std::string_view s, BOOL& out) noexcept {
    auto equalsNoCase = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            char c = a[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            if (c != b[i]) return false;
        }
        return true;
    };
    if (equalsNoCase(s, "TRUE")) {
        out = TRUE;
        return true;
    }
    if (equalsNoCase(s, "FALSE")) {
        out = FALSE;
        return true;
    }
    return false;
}
