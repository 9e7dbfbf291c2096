#pragma once
// Committed private memory of the process, summed over its address space with VirtualQuery
// (Wine reports no PrivateUsage in GetProcessMemoryInfo). Shared by benchmarks and tests.
#include <windows.h>

inline SIZE_T CommittedPrivateBytes() {
    SIZE_T total = 0;
    const BYTE* p = nullptr;
    MEMORY_BASIC_INFORMATION mbi;
    while (::VirtualQuery(p, &mbi, sizeof mbi) == sizeof mbi) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE) total += mbi.RegionSize;
        const BYTE* next = static_cast<const BYTE*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= p) break;
        p = next;
    }
    return total;
}
