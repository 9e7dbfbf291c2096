#pragma once
// Resource data: the bytes of a resource as the module maps them, and a stream over a copy of
// them for decoders that read later.
#include "framework/ComPtr.h"

#include <windows.h>
#include <objidl.h>

#include <cstddef>

struct ResourceBytes {
    const BYTE* data = nullptr;
    size_t size = 0;
};

// The resource's bytes in the module's image (valid while the module is loaded); empty when
// the resource is missing.
ResourceBytes FindResourceBytes(HMODULE hModule, LPCWSTR name, LPCWSTR type);

// A stream over a private copy of size bytes (none: an empty stream). The stream owns the copy,
// so a decoder that keeps the stream (GDI+ keeps it for the life of an image and may decode on
// first use) can outlive the caller's buffer. Null when the copy or the stream cannot be made.
fw::ComPtr<IStream> StreamOnCopy(const void* bytes, size_t size) noexcept;
