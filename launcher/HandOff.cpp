#include "launcher/HandOff.h"

#include "framework/COleException.h"
#include "framework/Variant.h"

#include <new>
#include <string_view>
#include <wchar.h>

namespace {

bool HasTextForm(VARTYPE vt) {
    switch (vt & ~VT_BYREF) {
    case VT_BSTR:
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_I8:
    case VT_INT:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UI8:
    case VT_UINT:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_CY:
    case VT_DATE:
    case VT_DECIMAL:
        return (vt & VT_ARRAY) == 0;
    default:
        // VT_EMPTY, VT_NULL, VT_ERROR (a missing argument), objects, arrays, VT_VARIANT by reference...
        return false;
    }
}

} // namespace

std::wstring HandOffArgumentText(const VARIANT& arg) {
    fw::Variant copy;
    const HRESULT hr = ::VariantCopy(copy.get(), const_cast<VARIANT*>(&arg));
    if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
    if (FAILED(hr)) throw COleException(hr);
    VARIANT& v = *copy.get();
    if (!HasTextForm(v.vt)) return {};
    if (FAILED(::VariantChangeType(&v, &v, 0, VT_BSTR)) || v.vt != VT_BSTR || !v.bstrVal) return {};
    // Like "%s": the characters up to the first NUL.
    return std::wstring(v.bstrVal);
}

bool IsGameAddress(const std::wstring& url) {
    return GameAddressRefusal(url) == nullptr;
}

const wchar_t* GameAddressRefusal(const std::wstring& url) noexcept {
    size_t schemeEnd;
    if (_wcsnicmp(url.c_str(), L"http://", 7) == 0) {
        schemeEnd = 7;
    } else if (_wcsnicmp(url.c_str(), L"https://", 8) == 0) {
        schemeEnd = 8;
    } else {
        return L"not an absolute http or https address";
    }
    for (wchar_t c : url) {
        if (c < 0x20 || c == 0x7F || c == L' ' || c == L'\\') return L"a space, backslash or control character";
        // C1 controls, line and paragraph separators, and the bidirectional controls that make an
        // address read otherwise than it goes (".../\u202Egnp.exe" shows as "...exe.png").
        if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x061C || c == 0x200E || c == 0x200F ||
            (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
            return L"a control, separator or bidirectional character";
        }
    }
    // The authority ends at the path, query or fragment; user:password@ goes before the host,
    // and a port after it (an IPv6 host in brackets has colons of its own).
    const size_t hostEnd = url.find_first_of(L"/?#", schemeEnd);
    std::wstring_view host =
        std::wstring_view(url).substr(schemeEnd, hostEnd == std::wstring::npos ? std::wstring::npos : hostEnd - schemeEnd);
    const size_t at = host.rfind(L'@');
    if (at != std::wstring_view::npos) host.remove_prefix(at + 1);
    const size_t colon = host.rfind(L':');
    if (colon != std::wstring_view::npos && host.find(L']') == std::wstring_view::npos) host = host.substr(0, colon);
    return host.empty() ? L"no host" : nullptr;
}
