#pragma once
// Owners for automation values: a BSTR freed and a VARIANT cleared by their destructors.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace fw {

class Bstr {
public:
    Bstr() noexcept = default;
    // A null pointer stays a null BSTR (which automation reads as empty text).
    explicit Bstr(const wchar_t* s) : m_b(s ? ::SysAllocString(s) : nullptr) {}
    explicit Bstr(const std::wstring& s) : m_b(::SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& o) noexcept : m_b(o.release()) {}
    Bstr& operator=(Bstr&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    ~Bstr() { reset(); }

    // Adopts a BSTR the caller owns.
    static Bstr Attach(BSTR b) noexcept {
        Bstr r;
        r.m_b = b;
        return r;
    }
    BSTR get() const noexcept { return m_b; }
    BSTR release() noexcept { return std::exchange(m_b, nullptr); }
    void reset(BSTR b = nullptr) noexcept {
        if (BSTR old = std::exchange(m_b, b)) ::SysFreeString(old);
    }
    BSTR* put() noexcept {
        reset();
        return &m_b;
    }
    // All characters, embedded NULs included.
    std::wstring str() const { return m_b ? std::wstring(m_b, ::SysStringLen(m_b)) : std::wstring(); }

private:
    BSTR m_b = nullptr;
};

class Variant {
public:
    Variant() noexcept { ::VariantInit(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& o) noexcept : m_v(o.Detach()) {}
    Variant& operator=(Variant&& o) noexcept {
        if (this != &o) {
            reset();
            m_v = o.Detach();
        }
        return *this;
    }
    ~Variant() { reset(); }

    // Adopts a VARIANT whose contents the caller owns.
    static Variant Attach(const VARIANT& v) noexcept {
        Variant r;
        r.m_v = v;
        return r;
    }
    VARIANT Detach() noexcept {
        VARIANT v = m_v;
        ::VariantInit(&m_v);
        return v;
    }
    void reset() noexcept { (void)::VariantClear(&m_v); }
    VARIANT* get() noexcept { return &m_v; }
    const VARIANT* get() const noexcept { return &m_v; }
    VARIANT* put() noexcept {
        reset();
        return &m_v;
    }
    VARTYPE vt() const noexcept { return m_v.vt; }

private:
    VARIANT m_v;
};

// Text of a value as scripts and events hand it over: a BSTR (also by reference, or inside a
// VARIANT reference) as it is, anything else converted with VariantChangeType; empty text when
// the value cannot be converted (null, arrays, objects without a value).
std::wstring VariantText(const VARIANT* pv);

} // namespace fw
