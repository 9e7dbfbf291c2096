#pragma once
// How dispatch-table members take their arguments and give their results: the VTS_ parameter
// lists and the templates that convert a VARIANT argument to a member's parameter type, and its
// result back to a VARIANT, checked against the list at compile time.
//
// Types each VTS_ entry binds to:
//     VTS_VARIANT   const VARIANT&, VARIANT, const VARIANT*   (the argument as it came, unconverted)
//     VTS_PVARIANT  VARIANT*   (a VT_BYREF|VT_VARIANT argument's target, or the plain argument;
//                               never null)
//     VTS_BSTR      const std::wstring&, std::wstring, LPCWSTR (never null), BSTR (may be null)
//     VTS_BOOL      BOOL (TRUE/FALSE), bool, VARIANT_BOOL (as sent: -1/0)
//     VTS_I4        long, int, unsigned; VTS_I2 short, int, long; VTS_UI1 BYTE
//     VTS_R4        float, double; VTS_R8 double
//     VTS_DISPATCH  IDispatch* (null for VT_EMPTY/VT_NULL); VTS_UNKNOWN IUnknown*
//     VTS_PBOOL     VARIANT_BOOL*; VTS_PBSTR BSTR*; VTS_PI4 long*; VTS_PDISPATCH IDispatch**
// Results (dispatch entries): void (VT_EMPTY), bool/BOOL/long/short (VT_BOOL, VT_I4, VT_I2),
// double (VT_R8), std::wstring (VT_BSTR), IDispatch* (VT_DISPATCH, the reference passes on).
// Event handlers return void, or BOOL (ignored).
#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

// Parameter-type lists: one byte per parameter, the VARTYPE, with 0x40 marking a reference.
#define VTS_NONE ""
#define VTS_I2 "\x02"
#define VTS_I4 "\x03"
#define VTS_R4 "\x04"
#define VTS_R8 "\x05"
#define VTS_CY "\x06"
#define VTS_DATE "\x07"
#define VTS_BSTR "\x08"
#define VTS_DISPATCH "\x09"
#define VTS_SCODE "\x0A"
#define VTS_BOOL "\x0B"
#define VTS_VARIANT "\x0C"
#define VTS_UNKNOWN "\x0D"
#define VTS_UI1 "\x11"
#define VTS_PI2 "\x42"
#define VTS_PI4 "\x43"
#define VTS_PR4 "\x44"
#define VTS_PR8 "\x45"
#define VTS_PBSTR "\x48"
#define VTS_PDISPATCH "\x49"
#define VTS_PSCODE "\x4A"
#define VTS_PBOOL "\x4B"
#define VTS_PVARIANT "\x4C"
#define VTS_PUNKNOWN "\x4D"
#define VTS_PUI1 "\x51"

class CCmdTarget;

namespace fw {
namespace disp {

constexpr VARTYPE VtsToVarType(char c) noexcept {
    const unsigned u = static_cast<unsigned char>(c);
    return static_cast<VARTYPE>((u & 0x40u) ? ((u & ~0x40u) | VT_BYREF) : u);
}

constexpr size_t VtsCount(const char* s) noexcept {
    size_t n = 0;
    while (s && s[n]) ++n;
    return n;
}

template <class P>
using Bare = std::remove_cv_t<std::remove_reference_t<P>>;

// How a C++ parameter type takes an argument of a declared VARTYPE.
template <class T>
struct ArgOf {
    static constexpr bool Accepts(VARTYPE) { return false; }
    static T Get(VARIANT*) { return T(); }
};
template <>
struct ArgOf<VARIANT> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_VARIANT; }
    static const VARIANT& Get(VARIANT* v) { return *v; }
};
template <>
struct ArgOf<const VARIANT*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_VARIANT; }
    static const VARIANT* Get(VARIANT* v) { return v; }
};
template <>
struct ArgOf<VARIANT*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_VARIANT); }
    static VARIANT* Get(VARIANT* v) { return v->pvarVal; }
};
template <>
struct ArgOf<IDispatch*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_DISPATCH; }
    static IDispatch* Get(VARIANT* v) { return v->pdispVal; }
};
template <>
struct ArgOf<IUnknown*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_UNKNOWN; }
    static IUnknown* Get(VARIANT* v) { return v->punkVal; }
};
template <>
struct ArgOf<BSTR> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BSTR; }
    static BSTR Get(VARIANT* v) { return v->bstrVal; }
};
template <>
struct ArgOf<const wchar_t*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BSTR; }
    static const wchar_t* Get(VARIANT* v) { return v->bstrVal ? v->bstrVal : L""; }
};
template <>
struct ArgOf<std::wstring> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BSTR; }
    static std::wstring Get(VARIANT* v) {
        return v->bstrVal ? std::wstring(v->bstrVal, ::SysStringLen(v->bstrVal)) : std::wstring();
    }
};
template <>
struct ArgOf<bool> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BOOL; }
    static bool Get(VARIANT* v) { return v->boolVal != VARIANT_FALSE; }
};
template <>
struct ArgOf<short> { // also VARIANT_BOOL
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I2 || vt == VT_BOOL; }
    static short Get(VARIANT* v) { return v->vt == VT_BOOL ? v->boolVal : v->iVal; }
};
template <>
struct ArgOf<int> { // also BOOL
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4 || vt == VT_I2 || vt == VT_BOOL; }
    static int Get(VARIANT* v) {
        if (v->vt == VT_BOOL) return v->boolVal != VARIANT_FALSE ? TRUE : FALSE;
        return v->vt == VT_I2 ? v->iVal : static_cast<int>(v->lVal);
    }
};
template <>
struct ArgOf<long> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4 || vt == VT_I2 || vt == VT_ERROR; }
    static long Get(VARIANT* v) {
        if (v->vt == VT_ERROR) return v->scode;
        return v->vt == VT_I2 ? v->iVal : v->lVal;
    }
};
template <>
struct ArgOf<unsigned int> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4; }
    static unsigned int Get(VARIANT* v) { return static_cast<unsigned int>(v->lVal); }
};
template <>
struct ArgOf<unsigned long> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4; }
    static unsigned long Get(VARIANT* v) { return static_cast<unsigned long>(v->lVal); }
};
template <>
struct ArgOf<BYTE> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_UI1; }
    static BYTE Get(VARIANT* v) { return v->bVal; }
};
template <>
struct ArgOf<float> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_R4; }
    static float Get(VARIANT* v) { return v->fltVal; }
};
template <>
struct ArgOf<double> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_R8 || vt == VT_R4 || vt == VT_DATE; }
    static double Get(VARIANT* v) { return v->vt == VT_R4 ? v->fltVal : v->dblVal; }
};
template <>
struct ArgOf<short*> { // VARIANT_BOOL*
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_BOOL) || vt == (VT_BYREF | VT_I2); }
    static short* Get(VARIANT* v) { return v->piVal; }
};
template <>
struct ArgOf<BSTR*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_BSTR); }
    static BSTR* Get(VARIANT* v) { return v->pbstrVal; }
};
template <>
struct ArgOf<long*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_I4) || vt == (VT_BYREF | VT_ERROR); }
    static long* Get(VARIANT* v) { return v->plVal; }
};
template <>
struct ArgOf<double*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_R8); }
    static double* Get(VARIANT* v) { return v->pdblVal; }
};
template <>
struct ArgOf<IDispatch**> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == (VT_BYREF | VT_DISPATCH); }
    static IDispatch** Get(VARIANT* v) { return v->ppdispVal; }
};

// How a member's result becomes a VARIANT (the dispatch core converts it to the declared type).
template <class R>
struct RetOf {
    static constexpr bool Accepts(VARTYPE) { return false; }
};
template <>
struct RetOf<void> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_EMPTY; }
};
template <>
struct RetOf<bool> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BOOL || vt == VT_I4; }
    static void Set(VARIANT* out, bool r) {
        out->vt = VT_BOOL;
        out->boolVal = r ? VARIANT_TRUE : VARIANT_FALSE;
    }
};
template <>
struct RetOf<int> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4 || vt == VT_BOOL; }
    static void Set(VARIANT* out, int r) {
        out->vt = VT_I4;
        out->lVal = r;
    }
};
template <>
struct RetOf<long> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I4 || vt == VT_BOOL; }
    static void Set(VARIANT* out, long r) {
        out->vt = VT_I4;
        out->lVal = r;
    }
};
template <>
struct RetOf<short> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_I2 || vt == VT_BOOL; }
    static void Set(VARIANT* out, short r) {
        out->vt = VT_I2;
        out->iVal = r;
    }
};
template <>
struct RetOf<double> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_R8; }
    static void Set(VARIANT* out, double r) {
        out->vt = VT_R8;
        out->dblVal = r;
    }
};
template <>
struct RetOf<std::wstring> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_BSTR; }
    static void Set(VARIANT* out, const std::wstring& r) {
        out->bstrVal = ::SysAllocStringLen(r.data(), static_cast<UINT>(r.size()));
        if (!out->bstrVal) throw std::bad_alloc();
        out->vt = VT_BSTR;
    }
};
template <>
struct RetOf<IDispatch*> {
    static constexpr bool Accepts(VARTYPE vt) { return vt == VT_DISPATCH; }
    static void Set(VARIANT* out, IDispatch* r) {
        out->vt = VT_DISPATCH;
        out->pdispVal = r;
    }
};

template <class... A>
constexpr bool ParamsFit(const char* params) {
    if (VtsCount(params) != sizeof...(A)) return false;
    size_t i = 0;
    bool ok = true;
    ((ok = ok && ArgOf<Bare<A>>::Accepts(VtsToVarType(params[i++]))), ...);
    return ok;
}

// Decomposes a member function pointer and calls it with converted arguments.
template <class PM>
struct MemberSig;

template <class C, class R, class... A>
struct MemberSigBase {
    using Result = R;
    static constexpr bool ParamsOk(const char* params) { return ParamsFit<A...>(params); }

    template <class T, auto pm, size_t... I>
    static HRESULT Call(T* obj, VARIANT* const* args, VARIANT* pResult, std::index_sequence<I...>) {
        if constexpr (std::is_void_v<R>) {
            (void)pResult;
            (obj->*pm)(ArgOf<Bare<A>>::Get(args[I])...);
        } else {
            R r = (obj->*pm)(ArgOf<Bare<A>>::Get(args[I])...);
            if (pResult) SetResult(pResult, r);
        }
        (void)args;
        return S_OK;
    }

private:
    // Result types without a conversion (an event handler's BOOL aside) never get here: the
    // tables' static_asserts reject them.
    template <class V>
    static void SetResult(VARIANT* out, const V& r) {
        RetOf<Bare<V>>::Set(out, r);
    }
};

template <class C, class R, class... A>
struct MemberSig<R (C::*)(A...)> : MemberSigBase<C, R, A...> {
    static constexpr size_t kArgs = sizeof...(A);
};
template <class C, class R, class... A>
struct MemberSig<R (C::*)(A...) const> : MemberSigBase<C, R, A...> {
    static constexpr size_t kArgs = sizeof...(A);
};
template <class C, class R, class... A>
struct MemberSig<R (C::*)(A...) noexcept> : MemberSigBase<C, R, A...> {
    static constexpr size_t kArgs = sizeof...(A);
};
template <class C, class R, class... A>
struct MemberSig<R (C::*)(A...) const noexcept> : MemberSigBase<C, R, A...> {
    static constexpr size_t kArgs = sizeof...(A);
};

template <class PM>
constexpr bool DispatchSignatureFits(const char* params, VARTYPE vtResult) {
    using Sig = MemberSig<PM>;
    return Sig::ParamsOk(params) && RetOf<Bare<typename Sig::Result>>::Accepts(vtResult);
}

template <class PM>
constexpr bool EventSignatureFits(const char* params) {
    using Sig = MemberSig<PM>;
    using R = Bare<typename Sig::Result>;
    return Sig::ParamsOk(params) && (std::is_void_v<R> || std::is_same_v<R, BOOL> || std::is_same_v<R, bool>);
}

template <class T, auto pm>
struct Thunk {
    static HRESULT Invoke(CCmdTarget* pTarget, VARIANT* const* args, VARIANT* pResult) {
        using Sig = MemberSig<decltype(pm)>;
        return Sig::template Call<T, pm>(static_cast<T*>(pTarget), args, pResult,
                                         std::make_index_sequence<Sig::kArgs>());
    }
};

} // namespace disp
} // namespace fw
