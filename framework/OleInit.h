#pragma once
// OLE on the user-interface thread: initialised once when control hosting is enabled,
// uninitialised when the entry routine ends.
#include <windows.h>

class COccManager;

// Enables hosting of ActiveX controls in dialogs (initialises OLE on this thread).
void AfxEnableControlContainer(COccManager* pManager = nullptr);
COccManager* AfxGetOccManager() noexcept;
bool AfxOleInit();
// Uninitialises OLE and ends control hosting (AfxGetOccManager() is null until it is enabled again).
void AfxOleTerm();
