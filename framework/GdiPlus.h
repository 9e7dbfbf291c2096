#pragma once
// The one way into GDI+. The program is built with NOMINMAX, and the Windows SDK's GDI+ headers
// call an unqualified min and max inside namespace Gdiplus: they find std::min and std::max here.
#include <windows.h>

#include <algorithm>

namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus

#include <objidl.h>
#include <gdiplus.h>
