#include "framework/OleInit.h"

#include "framework/OccManager.h"

#include <ole2.h>

namespace {
COccManager* g_pOccManager = nullptr;
bool g_oleInitialised = false;
} // namespace

COccManager* AfxGetDefaultOccManager();

bool AfxOleInit() {
    if (g_oleInitialised) return true;
    const HRESULT hr = ::OleInitialize(nullptr);
    // S_FALSE: already initialised on this thread; the call still needs its balancing uninitialise.
    g_oleInitialised = SUCCEEDED(hr);
    return g_oleInitialised;
}

void AfxOleTerm() {
    // Control hosting ends with OLE: whatever hosts controls next enables it afresh.
    g_pOccManager = nullptr;
    if (g_oleInitialised) {
        g_oleInitialised = false;
        ::OleUninitialize();
    }
}

void AfxEnableControlContainer(COccManager* pManager) {
    AfxOleInit();
    g_pOccManager = pManager ? pManager : AfxGetDefaultOccManager();
}

COccManager* AfxGetOccManager() noexcept {
    return g_pOccManager;
}
