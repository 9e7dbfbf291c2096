#pragma once
// The execute option of a page zoom (ExecWB / IOleCommandTarget::Exec with OLECMDID_OPTICAL_ZOOM)
// that the engine applies to this one document without storing it: without the flag it keeps the
// zoom for the user's later browser windows, and for other programs that host the same control.
#include <windows.h>

#include <docobj.h>

class CWnd;

namespace fw {

// OLECMDIDF_OPTICAL_ZOOM_NOPERSIST (Internet Explorer 8 and later), spelt out: older SDK headers
// do not have it.
constexpr WORD kOpticalZoomNoPersist = 0x0001;
#ifdef __MINGW32__
static_assert(kOpticalZoomNoPersist == OLECMDIDF_OPTICAL_ZOOM_NOPERSIST, "documented value");
#endif

// The zoom's flags go in the high word of the execute option, the prompt option in the low word.
constexpr long OpticalZoomExecOpt() noexcept {
    return static_cast<long>(static_cast<DWORD>(OLECMDEXECOPT_DONTPROMPTUSER) |
                             (static_cast<DWORD>(kOpticalZoomNoPersist) << 16));
}

// Zooms the page of a hosted WebBrowser control to percent (ExecWB through the control's own
// IDispatch, with OpticalZoomExecOpt): S_OK, or the failure the control reported (no document
// yet, an engine without zoom).
HRESULT SetOpticalZoom(CWnd& browser, int percent) noexcept;

} // namespace fw
