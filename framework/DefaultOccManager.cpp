// Placeholder control manager until browser hosting lands: hosts nothing.
#include "framework/OccManager.h"

namespace {
class NullOccManager final : public COccManager {
public:
    BOOL CreateDlgControls(CWnd*, const std::vector<DialogControlItem>&) override { return FALSE; }
    COleControlSite* FindSite(CWnd*, HWND) override { return nullptr; }
};
} // namespace

COccManager* AfxGetDefaultOccManager() {
    static NullOccManager manager;
    return &manager;
}
