#include "game/Screenshot.h"

#include "framework/ComPtr.h"
#include "framework/GdiPlus.h"
#include "framework/Trace.h"

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

namespace {

constexpr wchar_t kTitleSaved[] = L"截图已保存";
constexpr wchar_t kTitleNotSaved[] = L"截图未保存"; // the clipboard has the picture
constexpr wchar_t kTitleFailed[] = L"截图失败";

// How many names one second may take before the shot gives up ("-2" ... "-999").
constexpr unsigned kMaxNameSuffix = 999;

// Why the file is missing: words for the balloon, words and the platform's code for the trace.
struct FileOutcome {
    bool saved = false;
    std::wstring path;
    ULONGLONG bytes = 0;
    const wchar_t* balloon = L"";
    const wchar_t* trace = L"";
    DWORD error = 0;
};

FileOutcome Failed(const wchar_t* balloon, const wchar_t* trace, DWORD error) {
    FileOutcome out;
    out.balloon = balloon;
    out.trace = trace;
    out.error = error;
    return out;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) return folder + name;
    return folder + L'\\' + name;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attrs = ::GetFileAttributesW(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes folder and whatever parents it lacks; the last error on failure. (SHCreateDirectoryExW
// does the same but stops at MAX_PATH.)
bool MakeFolder(const std::wstring& folder, int depth = 0) {
    if (folder.empty() || depth > 64) {
        ::SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    if (::CreateDirectoryW(folder.c_str(), nullptr)) return true;
    DWORD error = ::GetLastError();
    if (error == ERROR_PATH_NOT_FOUND) {
        const size_t cut = folder.find_last_of(L"\\/");
        if (cut != std::wstring::npos && cut > 0 && MakeFolder(folder.substr(0, cut), depth + 1)) {
            if (::CreateDirectoryW(folder.c_str(), nullptr)) return true;
            error = ::GetLastError();
        }
    }
    if (error == ERROR_ALREADY_EXISTS && IsDirectory(folder)) return true;
    // A file of that name, or a parent that is a file, ends here.
    ::SetLastError(error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error);
    return false;
}

bool FindPngEncoder(CLSID& clsid) {
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// The PNG bytes of image in a memory stream, or null.
fw::ComPtr<IStream> EncodePng(const screenshot::Image& image) {
    CLSID png;
    if (!FindPngEncoder(png)) return {};
    // GDI+ reads the DIB section's bits in place; it does not write to them.
    Gdiplus::Bitmap bitmap(image.width, image.height, image.stride, PixelFormat24bppRGB,
                           const_cast<BYTE*>(image.bits));
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return {};
    fw::ComPtr<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
    if (bitmap.Save(stream.get(), &png, nullptr) != Gdiplus::Ok) return {};
    return stream;
}

// Writes bytes to a new file of a name nobody else uses, in folder; its path, or empty with the
// last error set. A file that cannot be written whole is deleted.
std::wstring WriteTempFile(const std::wstring& folder, const BYTE* bytes, size_t size) {
    static LONG counter = 0;
    fw::UniqueKernelHandle file;
    std::wstring path;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        wchar_t name[80];
        std::swprintf(name, 80, L"~Orvane-%lu-%lu-%ld.tmp", ::GetCurrentProcessId(), ::GetTickCount(),
                      ::InterlockedIncrement(&counter));
        path = Join(folder, name);
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            file.reset(h);
        } else if (::GetLastError() != ERROR_FILE_EXISTS) {
            return {};
        }
    }
    if (!file) return {};
    bool ok = true;
    while (ok && size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        ok = ::WriteFile(file.get(), bytes, chunk, &written, nullptr) && written == chunk;
        bytes += written;
        size -= written;
    }
    // On disk before the rename shows it under its real name.
    ok = ok && ::FlushFileBuffers(file.get());
    const DWORD error = ok ? 0 : ::GetLastError();
    file.reset();
    if (!ok) {
        fw::Ignore(::DeleteFileW(path.c_str()));
        ::SetLastError(error ? error : ERROR_WRITE_FAULT);
        return {};
    }
    return path;
}

FileOutcome WritePng(const screenshot::Image& image, const std::wstring& folder, const SYSTEMTIME& when) {
    if (folder.empty()) return Failed(L"找不到图片文件夹", L"there is no Pictures folder", 0);
    if (!MakeFolder(folder)) return Failed(L"无法创建截图文件夹", L"the folder cannot be made", ::GetLastError());

    fw::ComPtr<IStream> png = EncodePng(image);
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (!png || FAILED(png->Stat(&stat, STATFLAG_NONAME)) || FAILED(::GetHGlobalFromStream(png.get(), &memory)))
        return Failed(L"无法生成 PNG 图片", L"the PNG encoder failed", 0);
    const size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    const void* bytes = ::GlobalLock(memory);
    if (!bytes) return Failed(L"无法生成 PNG 图片", L"the PNG encoder failed", ::GetLastError());
    const std::wstring temp = WriteTempFile(folder, static_cast<const BYTE*>(bytes), size);
    const DWORD writeError = ::GetLastError();
    fw::Ignore(::GlobalUnlock(memory));
    if (temp.empty()) {
        const bool full = writeError == ERROR_DISK_FULL || writeError == ERROR_HANDLE_DISK_FULL;
        return Failed(full ? L"磁盘空间不足，无法写入截图文件" : L"无法写入截图文件",
                      full ? L"the disk is full" : L"the file cannot be written", writeError);
    }

    // The first free name; the rename never replaces a file, so a shot taken meanwhile by someone
    // else keeps its name and this one takes the next.
    for (unsigned n = 1; n <= kMaxNameSuffix; ++n) {
        std::wstring path = Join(folder, screenshot::FileName(when, n));
        if (::MoveFileExW(temp.c_str(), path.c_str(), 0)) {
            FileOutcome out;
            out.saved = true;
            out.path = std::move(path);
            out.bytes = size;
            return out;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) {
            fw::Ignore(::DeleteFileW(temp.c_str()));
            return Failed(L"无法写入截图文件", L"the file cannot be renamed", error);
        }
    }
    fw::Ignore(::DeleteFileW(temp.c_str()));
    return Failed(L"无法写入截图文件", L"every name of this second is taken", ERROR_ALREADY_EXISTS);
}

// The clipboard is held for moments by other programs (viewers, managers): a few tries.
bool OpenClipboardSoon(HWND owner) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (::OpenClipboard(owner)) return true;
        ::Sleep(10);
    }
    return false;
}

// Puts image on the clipboard as a bottom-up CF_DIB; the last error on failure.
bool CopyToClipboard(const screenshot::Image& image, HWND owner) {
    const size_t rowBytes = static_cast<size_t>(image.stride);
    const size_t pixelBytes = rowBytes * static_cast<size_t>(image.height);
    fw::UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, sizeof(BITMAPINFOHEADER) + pixelBytes));
    if (!memory) return false;
    auto* header = static_cast<BITMAPINFOHEADER*>(::GlobalLock(memory.get()));
    if (!header) return false;
    *header = BITMAPINFOHEADER{};
    header->biSize = sizeof(BITMAPINFOHEADER);
    header->biWidth = image.width;
    header->biHeight = image.height; // positive: bottom-up, the layout every reader takes
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    header->biSizeImage = static_cast<DWORD>(pixelBytes);
    BYTE* rows = reinterpret_cast<BYTE*>(header + 1);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(rows + rowBytes * static_cast<size_t>(image.height - 1 - y), image.bits + rowBytes * y, rowBytes);
    fw::Ignore(::GlobalUnlock(memory.get()));

    if (!OpenClipboardSoon(owner)) return false;
    bool copied = false;
    if (::EmptyClipboard() && ::SetClipboardData(CF_DIB, memory.get())) {
        fw::Ignore(memory.release()); // the clipboard owns it now
        copied = true;
    }
    const DWORD error = ::GetLastError();
    fw::Ignore(::CloseClipboard());
    ::SetLastError(error);
    return copied;
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring SizeText(int width, int height) {
    return std::to_wstring(width) + L'x' + std::to_wstring(height);
}

ScreenshotResult Refused(const wchar_t* balloon, const wchar_t* why) {
    ScreenshotResult result;
    result.balloonTitle = kTitleFailed;
    result.balloonText = balloon;
    fw::Trace(L"screenshot refused: ", why);
    return result;
}

struct CoTaskMemDeleter {
    void operator()(wchar_t* p) const noexcept { ::CoTaskMemFree(p); }
};

} // namespace

namespace screenshot {

std::wstring FileName(const SYSTEMTIME& when, unsigned n) {
    wchar_t name[64];
    if (n > 1) {
        std::swprintf(name, 64, L"Orvane-%04u%02u%02u-%02u%02u%02u-%u.png", when.wYear, when.wMonth, when.wDay,
                      when.wHour, when.wMinute, when.wSecond, n);
    } else {
        std::swprintf(name, 64, L"Orvane-%04u%02u%02u-%02u%02u%02u.png", when.wYear, when.wMonth, when.wDay,
                      when.wHour, when.wMinute, when.wSecond);
    }
    return name;
}

Image Capture(HDC src, const RECT& rect) noexcept {
    const LONG width = rect.right - rect.left;
    const LONG height = rect.bottom - rect.top;
    // Beyond GDI's coordinate range the sizes would overflow; no screen is that large.
    if (width <= 0 || height <= 0 || width > 32767 || height > 32767) return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down, as GDI+ reads a scan0 with a positive stride
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    fw::UniqueBitmap dib(::CreateDIBSection(src, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    fw::UniqueDc memory(::CreateCompatibleDC(src));
    if (!dib || !bits || !memory) return {};
    {
        fw::SelectObjectGuard select(memory.get(), dib.get());
        if (!select.selected()) return {};
        // CAPTUREBLT: layered windows above the page are part of what the screen shows.
        if (!::BitBlt(memory.get(), 0, 0, width, height, src, rect.left, rect.top, SRCCOPY | CAPTUREBLT))
            return {};
    }
    ::GdiFlush();
    Image image;
    image.dib = std::move(dib);
    image.bits = static_cast<const BYTE*>(bits);
    image.width = width;
    image.height = height;
    image.stride = (width * 3 + 3) & ~3;
    return image;
}

ScreenshotResult Deliver(const Image& image, HWND clipboardOwner, const std::wstring& folder,
                         const SYSTEMTIME& when) noexcept {
    ScreenshotResult result;
    try {
        const FileOutcome file = WritePng(image, folder, when);
        const DWORD fileError = file.error;
        result.copied = CopyToClipboard(image, clipboardOwner);
        const DWORD clipboardError = result.copied ? 0 : ::GetLastError();
        result.saved = file.saved;
        result.path = file.path;

        std::wstring clipboardTrace = result.copied ? L"copied to the clipboard"
                                                    : L"not copied to the clipboard (error " +
                                                          std::to_wstring(clipboardError) + L")";
        if (file.saved) {
            result.balloonTitle = kTitleSaved;
            result.balloonText = FileNameOf(file.path);
            if (!result.copied) result.balloonText += L"（未能复制到剪贴板）";
            fw::Trace(L"screenshot ", SizeText(image.width, image.height), L": saved ", fw::Quoted(file.path), L" (",
                      std::to_wstring(file.bytes), L" bytes), ", clipboardTrace);
        } else {
            result.balloonTitle = result.copied ? kTitleNotSaved : kTitleFailed;
            result.balloonText = file.balloon;
            result.balloonText += result.copied ? L"；图片已复制到剪贴板" : L"；也未能复制到剪贴板";
            fw::Trace(L"screenshot ", SizeText(image.width, image.height), L": not saved in ", fw::Quoted(folder),
                      L": ", file.trace, L" (error ", std::to_wstring(fileError), L"); ", clipboardTrace);
        }
    } catch (...) {
        // Out of memory while putting texts together: what was done stays done, said or not.
    }
    return result;
}

} // namespace screenshot

namespace {

ScreenshotResult Take(HWND area, HWND clipboardOwner, const std::wstring& folder) {
    if (!::IsWindow(area)) return Refused(L"没有可截取的游戏画面", L"no page window");
    const HWND root = ::GetAncestor(area, GA_ROOT);
    if (!::IsWindowVisible(area) || ::IsIconic(root ? root : area))
        return Refused(L"游戏窗口未显示，无法截图", L"the game window is hidden or minimised");
    RECT client{};
    if (!::GetClientRect(area, &client) || ::IsRectEmpty(&client))
        return Refused(L"游戏窗口未显示，无法截图", L"the page area is empty");
    // Client coordinates to screen coordinates; the process is DPI-aware, so these are device
    // pixels.
    ::SetLastError(0);
    if (::MapWindowPoints(area, nullptr, reinterpret_cast<POINT*>(&client), 2) == 0 && ::GetLastError() != 0)
        return Refused(L"无法读取屏幕画面", L"the page area has no place on the screen");

    SYSTEMTIME when;
    ::GetLocalTime(&when);
    screenshot::Image image;
    {
        fw::WindowDc screen(nullptr);
        if (screen.get()) image = screenshot::Capture(screen.get(), client);
    }
    if (!image) return Refused(L"无法读取屏幕画面", L"the screen cannot be read");
    return screenshot::Deliver(image, clipboardOwner, folder, when);
}

} // namespace

ScreenshotResult TakeScreenshot(HWND area, HWND clipboardOwner, const std::wstring& folder) noexcept {
    try {
        return Take(area, clipboardOwner, folder);
    } catch (...) {
        return {}; // out of memory before anything was written
    }
}

std::wstring ScreenshotFolder() noexcept {
    try {
        wchar_t* raw = nullptr;
    const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &raw);
        std::unique_ptr<wchar_t, CoTaskMemDeleter> pictures(raw);
        if (FAILED(hr) || !pictures || !*pictures) {
            fw::Trace(L"screenshot folder: the system has no Pictures folder");
            return {};
        }
        return Join(pictures.get(), L"Orvane");
    } catch (...) {
        return {};
    }
}
