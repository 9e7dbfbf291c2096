#pragma once
// The game's sound switch: mutes this process's default audio session (Core Audio, Windows 7
// on), for the player's own choice and while the game window is hidden to the tray. Only this
// program's sound is touched and nothing is written. The player's own setting wins: Windows keeps
// a session's mute across runs and the player sets it in the volume mixer, so whatever this
// program puts back (at the end of the run, on a device change, when the window shows again) it
// puts back only while the session still holds what this program last wrote there; a session
// changed from outside meanwhile is left alone, and the trace says so.
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
    // The player's choice as the session holds it, read afresh (GetMute through the interface
    // held: Wine makes a new session object at every request); while hidden, what showing the
    // window gives back. False when no session is held.
    bool PlayerMuted();
    // Applies the player's choice (while hidden: what showing the window gives back); false on
    // failure, which leaves the choice as it was.
    bool SetPlayerMuted(bool muted);
    // The game window hidden to the tray: silent while hidden. Hiding remembers what the session
    // held; showing writes that back, only while the session still holds the silence written here.
    void SetHidden(bool hidden);
    bool Hidden() const noexcept { return m_hidden; }
    // The mute state read back through the session interface held; false when none is held.
    bool SessionMuted();
    // The default device has changed: the old session is left as it was found, the new
    // device's session is taken and given the current state.
    void DefaultDeviceChanged();
    // End of the run (and the end of the Windows session): the hidden silence ended, the session
    // left as it was found, the device watch ended, all released. Does nothing when no sound work
    // was ever done.
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
    // Writes muted only while the session still holds the value this program last wrote: S_OK
    // written, S_FALSE left alone (changed from outside; in `outside` what it holds), else the
    // failure.
    HRESULT PutBack(bool muted, bool& outside);
    // Lets the session go, first putting back the mute it had when it was taken (PutBack).
    HRESULT Release(bool& outside);
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

    EnumeratorSource m_source;
    fw::ComPtr<IMMDeviceEnumerator> m_enumerator;
    fw::ComPtr<DeviceNotifier> m_notifier;
    fw::UniqueWindow m_window;
    fw::ComPtr<IAudioSessionManager> m_manager;
    fw::ComPtr<ISimpleAudioVolume> m_session;
    bool m_foundMuted = false; // the held session's mute when it was taken
    bool m_changed = false;    // the held session's mute was set by us
    bool m_lastWritten = false; // what we last wrote to the held session (while m_changed)
    bool m_driven = false;     // the player chose in this run: new sessions follow the choice
    bool m_playerMuted = false; // the player's last choice in this run (for a new device's session)
    bool m_hidden = false;
    bool m_mutedBeforeHiding = false; // what the session held when hiding silenced it
};
