#pragma once
// Turns an image resource into a GDI+ image object.
#include <windows.h>

#include "framework/GdiPlus.h"

// id: only the low 16 bits are used, as an integer resource name.
// type RT_BITMAP: LoadBitmapW(module, id) with module as given; a null module selects the
// platform's predefined bitmaps, not this executable's. Any other type: the resource's bytes
// are decoded (PNG and the other formats GDI+ reads); a null module means
// AfxGetResourceHandle().
// The result is allocated through GDI+ and owned by the caller (delete it). It is null only
// when that allocation fails; a missing or undecodable resource gives an image whose
// GetLastStatus() is an error (so does GDI+ not started, on Windows; Wine decodes anyway).
Gdiplus::Image* LoadResourceImage(UINT id, LPCWSTR type, HMODULE module);
