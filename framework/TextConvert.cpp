#include "framework/TextConvert.h"

namespace fw {

std::wstring Widen(std::string_view text, UINT codePage) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int len = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (len <= 0) return {};
    std::wstring out(static_cast<size_t>(len), L'\0');
    const int got = ::MultiByteToWideChar(codePage, 0, text.data(), size, out.data(), len);
    out.resize(static_cast<size_t>(got > 0 ? got : 0));
    return out;
}

} // namespace fw
