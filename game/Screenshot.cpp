#include "game/Screenshot.h"

#include "framework/ComObject.h"
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

using FileOutcome = screenshot::Written;

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
        if (cut != std::wstring::npos && cut > 0) {
            if (MakeFolder(folder.substr(0, cut), depth + 1) && ::CreateDirectoryW(folder.c_str(), nullptr))
                return true;
            error = ::GetLastError(); // the parent's reason, or this folder's
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

// The encoder's output, written straight to a file: a memory stream grows by copying, which made
// a 3840 x 2160 shot take tens of seconds. Keeps the first failed write's error, which the encoder
// reports only as a failure of its own.
class FileStream final : public fw::ComObject<FileStream, IStream> {
public:
    explicit FileStream(HANDLE file) noexcept : m_file(file) {}
    void* FindInterface(REFIID riid) noexcept {
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream)
            return static_cast<IStream*>(this);
        return nullptr;
    }
    DWORD error() const noexcept { return m_error; }

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) noexcept override {
        if (read) *read = 0;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) noexcept override {
        DWORD done = 0;
        const bool ok = ::WriteFile(m_file, data, size, &done, nullptr) && done == size;
        if (written) *written = done;
        if (ok) return S_OK;
        if (!m_error) m_error = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
        return HRESULT_FROM_WIN32(m_error);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) noexcept override {
        // STREAM_SEEK_SET, _CUR and _END have the values of FILE_BEGIN, _CURRENT and _END.
        LARGE_INTEGER now{};
        if (origin > STREAM_SEEK_END || !::SetFilePointerEx(m_file, move, &now, origin))
            return STG_E_INVALIDFUNCTION;
        if (position) position->QuadPart = static_cast<ULONGLONG>(now.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) noexcept override { return S_OK; } // grows by writing
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) noexcept override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() noexcept override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) noexcept override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) noexcept override {
        if (!stat) return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(m_file, &size)) return STG_E_ACCESSDENIED;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) noexcept override {
        if (clone) *clone = nullptr;
        return E_NOTIMPL;
    }

private:
    HANDLE m_file;
    DWORD m_error = 0;
};

// A new file of a name nobody else uses, deleted when the object goes unless it was renamed into
// place: no half-written file is left, whatever fails.
class TempFile {
public:
    // The last error tells why when file() is null.
    explicit TempFile(const std::wstring& folder) {
        static LONG counter = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            wchar_t name[80];
            std::swprintf(name, 80, L"~Orvane-%lu-%lu-%ld.tmp", ::GetCurrentProcessId(), ::GetTickCount(),
                          ::InterlockedIncrement(&counter));
            m_path = Join(folder, name);
            HANDLE h = ::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                m_file.reset(h);
                return;
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) break;
        }
        m_path.clear();
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        m_file.reset();
        if (!m_path.empty()) fw::Ignore(::DeleteFileW(m_path.c_str()));
    }
    HANDLE file() const noexcept { return m_file.get(); }
    // Closes the file; the last error on failure.
    bool Close() noexcept {
        HANDLE h = m_file.release();
        return h && ::CloseHandle(h);
    }
    // Renames the closed file to path unless a file of that name exists; the last error on failure.
    bool MoveTo(const std::wstring& path) noexcept {
        if (!::MoveFileExW(m_path.c_str(), path.c_str(), 0)) return false;
        m_path.clear();
        return true;
    }

private:
    std::wstring m_path;
    fw::UniqueKernelHandle m_file;
};

FileOutcome WritePng(const screenshot::Image& image, const std::wstring& folder, const SYSTEMTIME& when) {
    if (folder.empty()) return Failed(L"找不到图片文件夹", L"there is no Pictures folder", 0);
    if (!MakeFolder(folder)) return Failed(L"无法创建截图文件夹", L"the folder cannot be made", ::GetLastError());
    CLSID png;
    if (!FindPngEncoder(png)) return Failed(L"无法生成 PNG 图片", L"there is no PNG encoder", 0);

    TempFile temp(folder);
    if (!temp.file()) return Failed(L"无法写入截图文件", L"the file cannot be made", ::GetLastError());
    fw::ComPtr<FileStream> stream = fw::ComPtr<FileStream>::Attach(new FileStream(temp.file()));
    {
        // GDI+ reads the DIB section's bits in place; it does not write to them.
        Gdiplus::Bitmap bitmap(image.width, image.height, image.stride, PixelFormat24bppRGB,
                               const_cast<BYTE*>(image.bits));
        const Gdiplus::Status status = bitmap.GetLastStatus() == Gdiplus::Ok
                                           ? bitmap.Save(stream.get(), &png, nullptr)
                                           : bitmap.GetLastStatus();
        if (status != Gdiplus::Ok && stream->error() == 0)
            return Failed(L"无法生成 PNG 图片", L"the PNG encoder failed", static_cast<DWORD>(status));
    }
    DWORD error = stream->error();
    LARGE_INTEGER size{};
    // On disk before the rename shows it under its real name.
    if (!error && (!::GetFileSizeEx(temp.file(), &size) || !::FlushFileBuffers(temp.file()))) error = ::GetLastError();
    stream.reset();
    if (!temp.Close() && !error) error = ::GetLastError();
    if (error) {
        const bool full = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
        return Failed(full ? L"磁盘空间不足，无法写入截图文件" : L"无法写入截图文件",
                      full ? L"the disk is full" : L"the file cannot be written", error);
    }

    // The first free name; the rename never replaces a file, so a shot taken meanwhile by someone
    // else keeps its name and this one takes the next.
    for (unsigned n = 1; n <= kMaxNameSuffix; ++n) {
        std::wstring path = Join(folder, screenshot::FileName(when, n));
        if (temp.MoveTo(path)) {
            FileOutcome out;
            out.saved = true;
            out.path = std::move(path);
            out.bytes = static_cast<ULONGLONG>(size.QuadPart);
            return out;
        }
        const DWORD moveError = ::GetLastError();
        if (moveError != ERROR_ALREADY_EXISTS && moveError != ERROR_FILE_EXISTS)
            return Failed(L"无法写入截图文件", L"the file cannot be renamed", moveError);
    }
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

namespace {

ScreenshotResult AnnounceImage(const Image& image, bool copied, DWORD clipboardError, const std::wstring& folder,
                               const Written& file) noexcept {
    ScreenshotResult result;
    try {
        result.copied = copied;
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
                      L": ", file.trace, L" (error ", std::to_wstring(file.error), L"); ", clipboardTrace);
        }
    } catch (...) {
        // Out of memory while putting texts together: what was done stays done, said or not.
    }
    return result;
}

Written WriteImage(const Image& image, const SYSTEMTIME& when, const std::wstring& folder) noexcept {
    try {
        return WritePng(image, folder, when);
    } catch (...) {
        // Out of memory for a name: the temporary file, if any, went with the unwinding.
        return Failed(L"无法写入截图文件", L"no memory for the file", ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace

ScreenshotResult Deliver(const Image& image, HWND clipboardOwner, const std::wstring& folder,
                         const SYSTEMTIME& when) noexcept {
    const bool copied = CopyToClipboard(image, clipboardOwner);
    const DWORD clipboardError = copied ? 0 : ::GetLastError();
    return AnnounceImage(image, copied, clipboardError, folder, WriteImage(image, when, folder));
}

Written Write(const Shot& shot, const std::wstring& folder) noexcept {
    if (!shot.image) return Failed(L"", L"nothing was taken", 0);
    return WriteImage(shot.image, shot.when, folder);
}

ScreenshotResult Announce(const Shot& shot, const std::wstring& folder, const Written& file) noexcept {
    if (!shot.image) return shot.refused;
    return AnnounceImage(shot.image, shot.copied, shot.clipboardError, folder, file);
}

ScreenshotResult Save(const Shot& shot, const std::wstring& folder) noexcept {
    return Announce(shot, folder, Write(shot, folder));
}

Shot Take(HWND area, HWND clipboardOwner) noexcept {
    Shot shot;
    try {
        if (!::IsWindow(area)) {
            shot.refused = Refused(L"没有可截取的游戏画面", L"no page window");
            return shot;
        }
        const HWND root = ::GetAncestor(area, GA_ROOT);
        if (!::IsWindowVisible(area) || ::IsIconic(root ? root : area)) {
            shot.refused = Refused(L"游戏窗口未显示，无法截图", L"the game window is hidden or minimised");
            return shot;
        }
        RECT client{};
        if (!::GetClientRect(area, &client) || ::IsRectEmpty(&client)) {
            shot.refused = Refused(L"游戏窗口未显示，无法截图", L"the page area is empty");
            return shot;
        }
        // Client coordinates to screen coordinates; the process is DPI-aware, so these are device
        // pixels.
        ::SetLastError(0);
        if (::MapWindowPoints(area, nullptr, reinterpret_cast<POINT*>(&client), 2) == 0 && ::GetLastError() != 0) {
            shot.refused = Refused(L"无法读取屏幕画面", L"the page area has no place on the screen");
            return shot;
        }
        ::GetLocalTime(&shot.when);
        {
            fw::WindowDc screen(nullptr);
            if (screen.get()) shot.image = Capture(screen.get(), client);
        }
        if (!shot.image) {
            shot.refused = Refused(L"无法读取屏幕画面", L"the screen cannot be read");
            return shot;
        }
        shot.copied = CopyToClipboard(shot.image, clipboardOwner);
        shot.clipboardError = shot.copied ? 0 : ::GetLastError();
    } catch (...) {
        // Out of memory for a refusal's texts: nothing was taken.
        shot.image = Image{};
    }
    return shot;
}

} // namespace screenshot

ScreenshotResult TakeScreenshot(HWND area, HWND clipboardOwner, const std::wstring& folder) noexcept {
    const screenshot::Shot shot = screenshot::Take(area, clipboardOwner);
    return screenshot::Save(shot, folder);
}

std::wstring ScreenshotFolder() noexcept {
    try {
        wchar_t* raw = nullptr;
        // KF_FLAG_CREATE: a Pictures folder the player deleted is made again (at its usual place, or
        // wherever the player moved it).
        const HRESULT hr = ::SHGetKnownFolderPath(FOLDERID_Pictures, KF_FLAG_CREATE, nullptr, &raw);
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
