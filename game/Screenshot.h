#pragma once
// The game window's screenshot: the page area as the screen shows it, to the clipboard and as a
// PNG file in the player's Pictures folder. The file is the player's: it is the one file the
// program writes.
#include "framework/Handles.h"

#include <windows.h>

#include <string>

struct ScreenshotResult {
    bool saved = false;          // the PNG was written (and renamed into place)
    bool copied = false;         // the picture is on the clipboard (CF_DIB)
    std::wstring path;           // full path of the PNG when saved
    std::wstring balloonTitle;   // what the tray balloon shows: "截图已保存" on success, else a short
    std::wstring balloonText;    //   Chinese title saying it failed; text: the file name, or what failed
};

// Captures the client rectangle of `area` (the browser control's window) as the screen shows it,
// in device pixels; puts it on the clipboard (owner: clipboardOwner) as CF_DIB and writes it as
// PNG into folder (created when missing) as Orvane-YYYYMMDD-HHMMSS.png in local time (-2, -3, ...
// when taken), under a temporary name first, then renamed, so no half-written file is ever left.
// A hidden or minimised window, or an empty rectangle, is refused: nothing is written.
// Traces one line with the result. GDI+ must be started.
ScreenshotResult TakeScreenshot(HWND area, HWND clipboardOwner, const std::wstring& folder) noexcept;

// The player's folder: FOLDERID_Pictures + "\Orvane"; empty when the system has no such folder.
std::wstring ScreenshotFolder() noexcept;

// The two halves of TakeScreenshot, for callers that capture from elsewhere (the benchmark) or
// need a fixed time (tests).
namespace screenshot {

// A bottom-up 24-bit DIB section: the layout CF_DIB readers handle best, and what GDI+ encodes
// without a conversion pass.
struct Image {
    fw::UniqueBitmap dib;
    const BYTE* bits = nullptr; // the bottom row first
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row, a multiple of 4
    explicit operator bool() const noexcept { return bits != nullptr; }
};

// Copies rect (in src's coordinates) of src; an empty image when rect is empty or GDI fails.
Image Capture(HDC src, const RECT& rect) noexcept;

// Puts image on the clipboard and writes it into folder under the name `when` gives. Traces the
// result.
ScreenshotResult Deliver(const Image& image, HWND clipboardOwner, const std::wstring& folder,
                         const SYSTEMTIME& when) noexcept;

// "Orvane-YYYYMMDD-HHMMSS" for when, with "-n" for n > 1, and ".png".
std::wstring FileName(const SYSTEMTIME& when, unsigned n);

} // namespace screenshot
