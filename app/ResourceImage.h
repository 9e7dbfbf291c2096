#pragma once
// Images from the resources as GDI+ image objects.
#include <windows.h>
#include <gdiplus.h>

// A "PNG" (or other encoded) resource, or an RT_BITMAP, as a new image owned by the caller.
// module null means the application's resource module. A missing or undecodable resource
// still gives an object, whose size queries fail.
Gdiplus::Image* LoadResourceImage(UINT id, LPCWSTR type, HMODULE module);
