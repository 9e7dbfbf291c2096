#include "game/GameAudio.h"

#include "framework/ComObject.h"
#include "framework/Trace.h"
#include "game/CoreAudioIds.h"

#include <atomic>
#include <cwchar>
#include <iterator>
#include <new>

namespace {

constexpr wchar_t kWindowClass[] = L"OrvaneGameAudio";

std::wstring Hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

const wchar_t* MutedWord(bool muted) {
    return muted ? L"muted" : L"unmuted";
}

HRESULT CreateCoreAudioEnumerator(fw::ComPtr<IMMDeviceEnumerator>& enumerator) {
    return ::CoCreateInstance(coreaudio::kClsidMMDeviceEnumerator, nullptr, CLSCTX_INPROC_SERVER,
                              coreaudio::kIidMMDeviceEnumerator, enumerator.put_void());
}

} // namespace

// Core Audio calls it on a thread of its own: it only posts to the component's window, whose
// handler does the work on the user-interface thread.
class GameAudio::DeviceNotifier : public fw::ComObject<DeviceNotifier, IMMNotificationClient> {
public:
    explicit DeviceNotifier(HWND target) noexcept : m_target(target) {}

    void* FindInterface(REFIID riid) noexcept {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, coreaudio::kIidMMNotificationClient)) {
            return static_cast<IMMNotificationClient*>(this);
        }
        return nullptr;
    }
    // No more posts (a late call may still arrive while the registration is being withdrawn).
    void Detach() noexcept { m_target.store(nullptr); }

    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole role, LPCWSTR) noexcept override {
        // One notice per change: the session is taken from the console role's device.
        if (flow == eRender && role == eConsole) {
            if (HWND target = m_target.load()) fw::Ignore(::PostMessageW(target, WM_GAMEAUDIO_DEVICE_CHANGED, 0, 0));
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) noexcept override { return S_OK; }

private:
    std::atomic<HWND> m_target;
};

GameAudio& GameAudio::Instance() {
    // Deliberately never deleted: a destructor at process exit would release Core Audio
    // objects after OLE is gone.
    static GameAudio* const instance = new GameAudio();
    return *instance;
}

GameAudio::GameAudio() : GameAudio(&CreateCoreAudioEnumerator) {}

GameAudio::GameAudio(EnumeratorSource source) : m_source(std::move(source)) {}

GameAudio::~GameAudio() {
    Shutdown();
}

bool GameAudio::Available() {
    if (m_session) return true;
    std::wstring why;
    if (!Acquire(why)) {
        fw::Trace(L"sound unavailable: ", why);
        return false;
    }
    const HRESULT hr = FollowState();
    if (FAILED(hr)) {
        fw::Trace(L"sound unavailable: the new session not ", MutedWord(m_playerMuted || m_hidden), L" (", Hex(hr), L")");
        return false;
    }
    return true;
}

bool GameAudio::PlayerMuted() {
    return m_hidden ? m_mutedBeforeHiding : SessionMuted();
}

bool GameAudio::SetPlayerMuted(bool muted) {
    const wchar_t* action = muted ? L"mute" : L"unmute";
    std::wstring why;
    if (!m_session && !Acquire(why)) {
        fw::Trace(action, L" failed: ", why);
        return false;
    }
    if (m_hidden) {
        // Silent until shown: showing gives the new choice.
        m_mutedBeforeHiding = muted;
    } else {
        const HRESULT hr = ApplyMute(muted);
        if (FAILED(hr)) {
            fw::Trace(action, L" failed: ", Hex(hr), L"; the session is let go");
            bool outside = false;
            fw::Ignore(Release(outside));
            return false;
        }
    }
    m_playerMuted = muted;
    m_driven = true;
    fw::Trace(L"sound ", MutedWord(muted), m_hidden ? L" (silent while the game window is hidden)" : L"");
    return true;
}

void GameAudio::SetHidden(bool hidden) {
    if (hidden == m_hidden) return;
    m_hidden = hidden;
    const wchar_t* action = hidden ? L"silence while hidden" : L"sound on show";
    std::wstring why;
    if (!m_session && !Acquire(why)) {
        fw::Trace(action, L" failed: ", why);
        return;
    }
    HRESULT hr = S_OK;
    bool outside = false;
    if (hidden) {
        // What showing gives back: the session's own state now, whoever set it.
        BOOL before = FALSE;
        hr = m_session->GetMute(&before);
        if (SUCCEEDED(hr)) {
            m_mutedBeforeHiding = before != FALSE;
            hr = ApplyMute(true);
        }
    } else {
        hr = PutBack(m_mutedBeforeHiding, outside);
    }
    if (FAILED(hr)) {
        fw::Trace(action, L" failed: ", Hex(hr), L"; the session is let go");
        fw::Ignore(Release(outside));
        return;
    }
    if (hidden) {
        fw::Trace(L"sound silenced while the game window is hidden (", MutedWord(m_mutedBeforeHiding), L" before)");
    } else if (outside) {
        fw::Trace(L"game window shown: the session was ", MutedWord(SessionMuted()),
                  L" from outside while hidden: left as it is");
    } else if (hr == S_FALSE) {
        fw::Trace(L"game window shown: the session holds nothing of ours: left as it is");
    } else {
        fw::Trace(m_mutedBeforeHiding ? L"game window shown: sound stays muted (as before hiding)"
                                      : L"game window shown: sound restored");
    }
}

bool GameAudio::SessionMuted() {
    BOOL muted = FALSE;
    return m_session && SUCCEEDED(m_session->GetMute(&muted)) && muted;
}

void GameAudio::DefaultDeviceChanged() {
    bool outside = false;
    const HRESULT restored = Release(outside);
    const std::wstring oldSession =
        FAILED(restored) ? L"; the old session's mute not put back (" + Hex(restored) + L")"
                         : (outside ? std::wstring(L"; the old session was changed from outside: left as it is")
                                    : std::wstring());
    std::wstring why;
    if (!Acquire(why)) {
        fw::Trace(L"default audio device changed: sound unavailable: ", why, oldSession);
        return;
    }
    const bool muted = m_hidden || m_playerMuted;
    const HRESULT hr = FollowState();
    if (FAILED(hr)) {
        fw::Trace(L"default audio device changed: sound unavailable: the new session not ", MutedWord(muted), L" (",
                  Hex(hr), L")", oldSession);
    } else if (hr == S_OK) {
        fw::Trace(L"default audio device changed: the new session ", MutedWord(muted), oldSession);
    } else {
        fw::Trace(L"default audio device changed: the new session kept as found (", MutedWord(m_foundMuted), L")",
                  oldSession);
    }
}

void GameAudio::Shutdown() {
    if (!m_enumerator && !m_session && !m_window) return;
    // The hidden silence ends with the run, as it ends when the window shows again.
    if (m_hidden) SetHidden(false);
    const bool found = m_foundMuted;
    const bool held = static_cast<bool>(m_session);
    const bool heldMuted = SessionMuted();
    bool outside = false;
    const HRESULT restored = Release(outside);
    if (m_notifier) {
        m_notifier->Detach();
        if (m_enumerator) fw::Ignore(m_enumerator->UnregisterEndpointNotificationCallback(m_notifier.get()));
        m_notifier = nullptr;
    }
    m_window.reset();
    m_enumerator = nullptr;
    // Nothing of this run is carried into another (a test's, in one process).
    m_playerMuted = false;
    m_driven = false;
    if (!held) fw::Trace(L"sound released (no session was held)");
    else if (FAILED(restored)) fw::Trace(L"sound released; the session's mute not put back: ", Hex(restored));
    else if (outside) fw::Trace(L"sound released; the session was ", MutedWord(heldMuted),
                                L" from outside: left as it is");
    else fw::Trace(L"sound released; the session left ", MutedWord(restored == S_OK ? found : heldMuted),
                   restored == S_OK ? L" as found" : L" (nothing of ours in it)");
}

bool GameAudio::Acquire(std::wstring& why) {
    HRESULT hr = S_OK;
    if (!m_enumerator) {
        fw::ComPtr<IMMDeviceEnumerator> enumerator;
        hr = m_source ? m_source(enumerator) : E_UNEXPECTED;
        if (FAILED(hr) || !enumerator) {
            why = L"no device enumerator (" + Hex(FAILED(hr) ? hr : E_POINTER) + L")";
            return false;
        }
        m_enumerator = std::move(enumerator);
        Watch();
    }
    fw::ComPtr<IMMDevice> device;
    hr = m_enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.put());
    if (FAILED(hr) || !device) {
        why = L"no default audio device (" + Hex(FAILED(hr) ? hr : E_POINTER) + L")";
        return false;
    }
    fw::ComPtr<IAudioSessionManager> manager;
    hr = device->Activate(coreaudio::kIidAudioSessionManager, CLSCTX_INPROC_SERVER, nullptr, manager.put_void());
    if (FAILED(hr) || !manager) {
        why = L"the device's session manager not activated (" + Hex(FAILED(hr) ? hr : E_POINTER) + L")";
        return false;
    }
    fw::ComPtr<ISimpleAudioVolume> session;
    // Null id, not cross-process: the process's default session, the one its sound plays in.
    hr = manager->GetSimpleAudioVolume(nullptr, FALSE, session.put());
    if (FAILED(hr) || !session) {
        why = L"no default session (" + Hex(FAILED(hr) ? hr : E_POINTER) + L")";
        return false;
    }
    BOOL muted = FALSE;
    hr = session->GetMute(&muted);
    if (FAILED(hr)) {
        why = L"the session's mute not readable (" + Hex(hr) + L")";
        return false;
    }
    m_manager = std::move(manager);
    m_session = std::move(session);
    m_foundMuted = muted != FALSE;
    m_changed = false;
    fw::Trace(L"sound session taken on the default audio device (found ", MutedWord(m_foundMuted), L")");
    return true;
}

void GameAudio::Watch() {
    if (m_notifier) return;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &GameAudio::WindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        fw::Trace(L"sound: default-device changes not followed: no window class (", Hex(HRESULT_FROM_WIN32(::GetLastError())), L")");
        return;
    }
    m_window.reset(::CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, nullptr));
    if (!m_window) {
        fw::Trace(L"sound: default-device changes not followed: no window (", Hex(HRESULT_FROM_WIN32(::GetLastError())), L")");
        return;
    }
    fw::Ignore(::SetWindowLongPtrW(m_window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this)));
    auto notifier = fw::ComPtr<DeviceNotifier>::Attach(new (std::nothrow) DeviceNotifier(m_window.get()));
    if (!notifier) return;
    const HRESULT hr = m_enumerator->RegisterEndpointNotificationCallback(notifier.get());
    if (FAILED(hr)) {
        fw::Trace(L"sound: default-device changes not followed (", Hex(hr), L")");
        m_window.reset();
        return;
    }
    m_notifier = std::move(notifier);
}

HRESULT GameAudio::FollowState() {
    if (!m_session) return S_FALSE;
    // Hidden: silent, and showing gives back the player's choice of this run or else what this
    // session was found with.
    if (m_hidden && !m_driven) m_mutedBeforeHiding = m_foundMuted;
    // Until the player has chosen in this run, a new session keeps what it was found with (a mute
    // set in the system's volume mixer stays).
    if (!m_hidden && !m_driven) return S_FALSE;
    const HRESULT hr = ApplyMute(m_hidden || m_playerMuted);
    if (FAILED(hr)) {
        bool outside = false;
        fw::Ignore(Release(outside));
    }
    return hr;
}

HRESULT GameAudio::ApplyMute(bool muted) {
    const HRESULT hr = m_session->SetMute(muted ? TRUE : FALSE, nullptr);
    if (SUCCEEDED(hr)) {
        m_changed = true;
        m_lastWritten = muted;
    }
    return hr;
}

HRESULT GameAudio::PutBack(bool muted, bool& outside) {
    outside = false;
    if (!m_session || !m_changed) return S_FALSE;
    BOOL now = FALSE;
    const HRESULT hr = m_session->GetMute(&now);
    if (FAILED(hr)) return hr;
    if ((now != FALSE) != m_lastWritten) {
        outside = true;
        return S_FALSE;
    }
    return ApplyMute(muted);
}

HRESULT GameAudio::Release(bool& outside) {
    outside = false;
    HRESULT hr = S_FALSE;
    if (m_session && m_changed) hr = PutBack(m_foundMuted, outside);
    m_session = nullptr;
    m_manager = nullptr;
    m_changed = false;
    return hr;
}

LRESULT CALLBACK GameAudio::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_GAMEAUDIO_DEVICE_CHANGED) {
        if (auto* self = reinterpret_cast<GameAudio*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA))) {
            try {
                self->DefaultDeviceChanged();
            } catch (...) {
                // No memory for a trace line: the device change is left for the next one.
            }
        }
        return 0;
    }
    return ::DefWindowProcW(hWnd, message, wParam, lParam);
}
