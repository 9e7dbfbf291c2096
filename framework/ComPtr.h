#pragma once
// A small owning COM pointer in the manner of CComPtr.
#include <windows.h>
#include <unknwn.h>
#include <utility>

namespace fw {

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes a new reference.
    explicit ComPtr(T* p) noexcept : m_p(p) {
        if (m_p) m_p->AddRef();
    }
    ComPtr(const ComPtr& o) noexcept : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ComPtr& operator=(const ComPtr& o) noexcept {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }
    ComPtr& operator=(std::nullptr_t) noexcept {
        reset();
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already holds.
    static ComPtr Attach(T* p) noexcept {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    T* Detach() noexcept { return std::exchange(m_p, nullptr); }

    void reset() noexcept {
        if (T* p = std::exchange(m_p, nullptr)) p->Release();
    }
    T* get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }
    T** put() noexcept {
        reset();
        return &m_p;
    }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    void swap(ComPtr& o) noexcept { std::swap(m_p, o.m_p); }

    template <class U>
    HRESULT As(REFIID iid, ComPtr<U>& out) const noexcept {
        if (!m_p) return E_POINTER;
        return m_p->QueryInterface(iid, out.put_void());
    }

private:
    T* m_p = nullptr;
};

// Queries p for iid; null result on failure.
template <class U, class T>
ComPtr<U> QueryAs(T* p, REFIID iid) noexcept {
    ComPtr<U> r;
    if (p) p->QueryInterface(iid, r.put_void());
    return r;
}

} // namespace fw
