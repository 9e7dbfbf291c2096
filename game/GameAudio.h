#pragma once
// The game's sound switch: mutes this process's default audio session (Core Audio, Windows 7
// on), for the player's own choice and while the game window is hidden to the tray. Only this
// program's sound is touched, nothing is written, and the session is left as it was found.
// User-interface thread only; COM is already initialised there.
#include "framework/ComPtr.h"
#include "framework/Handles.h"

#include <windows.h>
#include <mmdeviceapi.h>
#include <audiopolicy.h>

#include <functional>
#include <string>

// Posted to the component's message-only window when the default render device has changed.
constexpr UINT WM_GAMEAUDIO_DEVICE_CHANGED = WM_APP + 0x41;

class GameAudio {
public:
    // Gives the device enumerator to use; by default Core Audio's own.
    using EnumeratorSource = std::function<HRESULT(fw::ComPtr<IMMDeviceEnumerator>& enumerator)>;

    // The process's one instance, for the game window. It is never destroyed: Shutdown releases
    // everything while COM is still up.
    static GameAudio& Instance();

    GameAudio();
    explicit GameAudio(EnumeratorSource source);
    ~GameAudio();
    GameAudio(const GameAudio&) = delete;
    GameAudio& operator=(const GameAudio&) = delete;

    // A default render device and its default session are held; tries to take them if not.
    bool Available();
    // The player's choice; false until the player mutes.
    bool PlayerMuted() const noexcept { return m_playerMuted; }
    // Applies the player's choice (muted whenever the window is hidden too); false on failure,
    // which leaves the choice as it was.
    bool SetPlayerMuted(bool muted);
    // The game window hidden to the tray: silent while hidden, the player's choice when shown.
    void SetHidden(bool hidden);
    bool Hidden() const noexcept { return m_hidden; }
    // The mute state read back through the session interface held; false when none is held.
    bool SessionMuted();
    // The default device has changed: the old session is left as it was found, the new
    // device's session is taken and given the current state.
    void DefaultDeviceChanged();
    // End of the run: the session left as it was found, the device watch ended, all released.
    // Does nothing when no sound work was ever done.
    void Shutdown();

    // The window the device watch posts WM_GAMEAUDIO_DEVICE_CHANGED to (null until watching).
    HWND NotifyWindow() const noexcept { return m_window.get(); }
    // The session interface held (null when none), for reading it back after Shutdown.
    fw::ComPtr<ISimpleAudioVolume> HeldSession() const { return m_session; }

private:
    class DeviceNotifier;

    // Takes the default device's default session; on failure says why in `why`.
    bool Acquire(std::wstring& why);
    // Starts following default-device changes (the message window and the notification client).
    void Watch();
    // A freshly taken session gets the state the program keeps, if it keeps one: S_OK applied,
    // S_FALSE left as found; a failure lets the session go.
    HRESULT FollowState();
    HRESULT ApplyMute(bool muted);
    // Lets the session go, first putting back the mute it had when it was taken.
    HRESULT Release();
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    EnumeratorSource m_source;
    fw::ComPtr<IMMDeviceEnumerator> m_enumerator;
    fw::ComPtr<DeviceNotifier> m_notifier;
    fw::UniqueWindow m_window;
    fw::ComPtr<IAudioSessionManager> m_manager;
    fw::ComPtr<ISimpleAudioVolume> m_session;
    bool m_foundMuted = false; // the held session's mute when it was taken
    bool m_changed = false;    // the held session's mute was set by us
    bool m_driven = false;     // a mute was set in this run: new sessions follow the state
    bool m_playerMuted = false;
    bool m_hidden = false;
};
