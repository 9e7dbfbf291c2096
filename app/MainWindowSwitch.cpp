#include "app/MainWindowSwitch.h"

size_t RemainingStackBytes() noexcept {
    volatile char probe = 0;
    MEMORY_BASIC_INFORMATION mbi{};
    if (!::VirtualQuery(const_cast<char*>(&probe), &mbi, sizeof mbi)) return SIZE_MAX;
    // The stack's reservation starts at AllocationBase and grows down toward it.
    const auto here = reinterpret_cast<uintptr_t>(&probe);
    const auto base = reinterpret_cast<uintptr_t>(mbi.AllocationBase);
    return here > base ? static_cast<size_t>(here - base) : 0;
}
