#include "framework/ResourceBytes.h"

#include "framework/Handles.h"

#include <cstring>

ResourceBytes FindResourceBytes(HMODULE hModule, LPCWSTR name, LPCWSTR type) {
    ResourceBytes out;
    HRSRC hRes = ::FindResourceW(hModule, name, type);
    if (!hRes) return out;
    HGLOBAL hData = ::LoadResource(hModule, hRes);
    if (!hData) return out;
    out.data = static_cast<const BYTE*>(::LockResource(hData));
    out.size = out.data ? ::SizeofResource(hModule, hRes) : 0;
    return out;
}

fw::ComPtr<IStream> StreamOnCopy(const void* bytes, size_t size) noexcept {
    fw::ComPtr<IStream> stream;
    if (size > 0 && !bytes) return stream;
    // CreateStreamOnHGlobal asks for a moveable block.
    fw::UniqueGlobal block(::GlobalAlloc(GMEM_MOVEABLE, size));
    if (!block) return stream;
    if (size > 0) {
        void* dst = ::GlobalLock(block.get());
        if (!dst) return stream;
        std::memcpy(dst, bytes, size);
        ::GlobalUnlock(block.get());
    }
    if (SUCCEEDED(::CreateStreamOnHGlobal(block.get(), TRUE, stream.put())) && stream) {
        fw::Ignore(block.release()); // the stream frees it (fDeleteOnRelease)
    }
    return stream;
}
