#pragma once
// The one reference-counting base of the framework's COM objects: reference count, QueryInterface
// through the derived class's FindInterface(riid) (the interface pointer, or null), and deletion
// when the last reference goes. Objects start with one reference, which their creator owns
// (fw::ComPtr<T>::Attach(new T(...))).
#include <windows.h>
#include <unknwn.h>

namespace fw {

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = static_cast<Derived*>(this)->FindInterface(riid);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&m_ref)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG ref = ::InterlockedDecrement(&m_ref);
        if (ref == 0) delete this;
        return static_cast<ULONG>(ref);
    }

protected:
    ComObject() noexcept = default;
    virtual ~ComObject() = default;

private:
    LONG m_ref = 1;
};

} // namespace fw
