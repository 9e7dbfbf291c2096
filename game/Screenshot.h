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
// Traces one line with the result. GDI+ must be started. All on the calling thread: the game
// window runs the two halves below instead, the file on a worker thread.
ScreenshotResult TakeScreenshot(HWND area, HWND clipboardOwner, const std::wstring& folder) noexcept;

// The player's folder: FOLDERID_Pictures + "\Orvane", with Pictures made again when the player
// deleted it; empty when the system has no such folder.
std::wstring ScreenshotFolder() noexcept;

namespace screenshot {

// A top-down 24-bit DIB section (the top row first): GDI+ reads it in place with a positive
// stride. The clipboard copy turns it bottom-up, the layout CF_DIB readers handle best.
struct Image {
    fw::UniqueBitmap dib;
    const BYTE* bits = nullptr; // the top row first
    int width = 0;
    int height = 0;
    int stride = 0; // bytes per row, a multiple of 4
    explicit operator bool() const noexcept { return bits != nullptr; }
};

// Copies rect (in src's coordinates) of src; an empty image when rect is empty or GDI fails.
Image Capture(HDC src, const RECT& rect) noexcept;

// The half that must happen at once, on the window's thread: the picture of the page area as the
// screen shows it now, its local time, and the clipboard copy. When the shot is refused (hidden,
// minimised, nothing on screen) the image is empty and `refused` carries the balloon; the refusal
// is traced.
struct Shot {
    Image image;
    SYSTEMTIME when{};
    bool copied = false;
    DWORD clipboardError = 0;
    ScreenshotResult refused;
};
Shot Take(HWND area, HWND clipboardOwner) noexcept;

// What became of the file, and why it is missing: words for the balloon, words and the
// platform's code for the trace.
struct Written {
    bool saved = false;
    std::wstring path;
    ULONGLONG bytes = 0;
    const wchar_t* balloon = L"";
    const wchar_t* trace = L"";
    DWORD error = 0;
};

// The half that may run on any thread: writes the file of a taken shot into folder. Never leaves
// a temporary file behind, whatever fails; traces nothing.
Written Write(const Shot& shot, const std::wstring& folder) noexcept;

// Back on the window's thread: the balloon texts for a shot and its file, and the trace line.
ScreenshotResult Announce(const Shot& shot, const std::wstring& folder, const Written& file) noexcept;

// Write, then Announce.
ScreenshotResult Save(const Shot& shot, const std::wstring& folder) noexcept;

// Puts image on the clipboard and writes it into folder under the name `when` gives, on the
// calling thread. Traces the result.
ScreenshotResult Deliver(const Image& image, HWND clipboardOwner, const std::wstring& folder,
                         const SYSTEMTIME& when) noexcept;

// "Orvane-YYYYMMDD-HHMMSS" for when, with "-n" for n > 1, and ".png".
std::wstring FileName(const SYSTEMTIME& when, unsigned n);

} // namespace screenshot
