#pragma once
// The control manager: hosts the ActiveX items of dialog templates.
#include "framework/DialogTemplate.h"

#include <vector>

class CWnd;
class COleControlSite;

class COccManager {
public:
    virtual ~COccManager() = default;
    // Creates and activates each item at its rectangle (dialog units) with its id and initial state.
    virtual BOOL CreateDlgControls(CWnd* pDialog, const std::vector<DialogControlItem>& items) = 0;
    // The site of a control window hosted in pDialog, or null.
    virtual COleControlSite* FindSite(CWnd* pDialog, HWND hCtrl) = 0;
};
