// The game's sound switch: on the real default device (Wine with the PulseAudio null sink that
// the test command starts), and on stand-in devices for the no-device case, device changes
// arriving on another thread, and failures.
#include "TestSupport.h"
#include "framework/ComObject.h"
#include "framework/ComPtr.h"
#include "framework/Trace.h"
#include "game/CoreAudioIds.h"
#include "game/GameAudio.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;
void KeepLine(std::wstring_view line) {
    g_lines.emplace_back(line);
}

// COM on this thread and the trace kept, for one test.
class AudioTestScope {
public:
    AudioTestScope() : m_com(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        g_lines.clear();
        m_old = fw::SetTraceSink(&KeepLine);
    }
    ~AudioTestScope() {
        fw::SetTraceSink(m_old);
        if (m_com) ::CoUninitialize();
    }

private:
    bool m_com;
    fw::TraceSink m_old = nullptr;
};

// Number of trace lines that start with "Orvane: " + start.
size_t Traced(const std::wstring& start) {
    size_t n = 0;
    for (const std::wstring& line : g_lines) n += line.rfind(L"Orvane: " + start, 0) == 0;
    return n;
}

std::wstring AllLines() {
    std::wstring all;
    for (const std::wstring& line : g_lines) all += line + L"\n";
    return all;
}

// A render device with its one session, all in one object.
class FakeEndpoint : public fw::ComObject<FakeEndpoint, IMMDevice, IAudioSessionManager, ISimpleAudioVolume> {
public:
    explicit FakeEndpoint(bool muted) : muted(muted) {}
    void* FindInterface(REFIID riid) {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, coreaudio::kIidMMDevice)) return static_cast<IMMDevice*>(this);
        if (IsEqualIID(riid, coreaudio::kIidAudioSessionManager)) return static_cast<IAudioSessionManager*>(this);
        if (IsEqualIID(riid, coreaudio::kIidSimpleAudioVolume)) return static_cast<ISimpleAudioVolume*>(this);
        return nullptr;
    }
    ULONG Refs() {
        AddRef();
        return Release();
    }
    // IMMDevice
    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** ppv) override {
        ++activations;
        return QueryInterface(iid, ppv);
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD, IPropertyStore**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        *state = DEVICE_STATE_ACTIVE;
        return S_OK;
    }
    // IAudioSessionManager
    HRESULT STDMETHODCALLTYPE GetAudioSessionControl(LPCGUID, DWORD, IAudioSessionControl**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSimpleAudioVolume(LPCGUID id, DWORD crossProcess, ISimpleAudioVolume** out) override {
        if (id || crossProcess) return E_INVALIDARG; // only the process's default session is asked for
        return QueryInterface(coreaudio::kIidSimpleAudioVolume, reinterpret_cast<void**>(out));
    }
    // ISimpleAudioVolume
    HRESULT STDMETHODCALLTYPE SetMasterVolume(float, LPCGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMasterVolume(float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMute(const BOOL mute, LPCGUID) override {
        if (failure) return failure;
        muted = mute != FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        *mute = muted;
        return S_OK;
    }

    bool muted;
    HRESULT failure = S_OK;
    int activations = 0;
};

class FakeEnumerator : public fw::ComObject<FakeEnumerator, IMMDeviceEnumerator> {
public:
    void* FindInterface(REFIID riid) {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, coreaudio::kIidMMDeviceEnumerator)) {
            return static_cast<IMMDeviceEnumerator*>(this);
        }
        return nullptr;
    }
    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) override {
        *out = nullptr;
        if (flow != eRender || role != eConsole) return E_INVALIDARG;
        if (!device) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND); // what Core Audio says with no device
        *out = device.get();
        (*out)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR, IMMDevice**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient* c) override {
        client = fw::ComPtr<IMMNotificationClient>(c);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient* c) override {
        if (client.get() != c) return E_INVALIDARG;
        client = nullptr;
        return S_OK;
    }

    fw::ComPtr<IMMDevice> device;
    fw::ComPtr<IMMNotificationClient> client;
};

// Core Audio's way: the notification arrives on a thread of its own.
void NotifyFromAnotherThread(IMMNotificationClient* client, EDataFlow flow, ERole role) {
    std::thread([=] { client->OnDefaultDeviceChanged(flow, role, L"{0.0.0.00000000}.{fake}"); }).join();
}

TEST(GameAudio, DefaultSessionFollowsMuteAndHidingAndIsLeftAsFound) {
    AudioTestScope scope;
    test::Deadline deadline("the default-session steps, the device-change message among them");
    GameAudio audio;
    ASSERT_TRUE(audio.Available()) << "no default audio device (the test command starts PulseAudio with a null sink)\n"
                                   << testing::PrintToString(AllLines());
    fw::ComPtr<ISimpleAudioVolume> first = audio.HeldSession();
    ASSERT_TRUE(first);
    BOOL found = TRUE;
    ASSERT_HRESULT_SUCCEEDED(first->GetMute(&found));
    EXPECT_FALSE(found);
    EXPECT_FALSE(audio.SessionMuted());
    EXPECT_FALSE(audio.PlayerMuted());

    EXPECT_TRUE(audio.SetPlayerMuted(true));
    EXPECT_TRUE(audio.PlayerMuted());
    EXPECT_TRUE(audio.SessionMuted());
    EXPECT_TRUE(audio.SetPlayerMuted(false));
    EXPECT_FALSE(audio.SessionMuted());

    // Hidden: silent; shown: the player's choice again, whichever it is.
    audio.SetHidden(true);
    EXPECT_TRUE(audio.SessionMuted());
    EXPECT_FALSE(audio.PlayerMuted());
    audio.SetHidden(false);
    EXPECT_FALSE(audio.SessionMuted());
    EXPECT_TRUE(audio.SetPlayerMuted(true));
    audio.SetHidden(true);
    EXPECT_TRUE(audio.SetPlayerMuted(false)); // unmuted while hidden: still silent until shown
    EXPECT_TRUE(audio.SessionMuted());
    EXPECT_TRUE(audio.SetPlayerMuted(true));
    audio.SetHidden(false);
    EXPECT_TRUE(audio.SessionMuted());

    // The window's own message, as the device watch posts it: the new default session (under
    // Wine a new one at every request) is taken and muted, the old one put back as found.
    ASSERT_TRUE(audio.NotifyWindow());
    ASSERT_TRUE(::PostMessageW(audio.NotifyWindow(), WM_GAMEAUDIO_DEVICE_CHANGED, 0, 0));
    EXPECT_TRUE(test::PumpUntil([&] { return audio.HeldSession().get() != first.get(); }));
    EXPECT_TRUE(audio.SessionMuted());
    BOOL firstMuted = TRUE;
    ASSERT_HRESULT_SUCCEEDED(first->GetMute(&firstMuted));
    EXPECT_FALSE(firstMuted);

    // The end of the run leaves the session as it was found.
    fw::ComPtr<ISimpleAudioVolume> last = audio.HeldSession();
    ASSERT_TRUE(last);
    audio.Shutdown();
    EXPECT_FALSE(audio.HeldSession());
    EXPECT_FALSE(audio.NotifyWindow());
    BOOL lastMuted = TRUE;
    ASSERT_HRESULT_SUCCEEDED(last->GetMute(&lastMuted));
    EXPECT_FALSE(lastMuted);

    EXPECT_EQ(Traced(L"sound session taken on the default audio device (found unmuted)"), 2u) << AllLines();
    EXPECT_EQ(Traced(L"sound muted"), 3u) << AllLines();
    EXPECT_EQ(Traced(L"sound silenced while the game window is hidden"), 2u) << AllLines();
    EXPECT_EQ(Traced(L"game window shown: sound restored"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"game window shown: sound stays muted"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"default audio device changed: the new session muted"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"sound released; the session left unmuted as found"), 1u) << AllLines();
}

TEST(GameAudio, NoDeviceThenDeviceChangesOnAnotherThreadAndFailures) {
    AudioTestScope scope;
    // Also ends a notification thread that would wait on this one.
    test::Deadline deadline("the stand-in devices' steps, the notices from another thread among them");
    auto enumerator = fw::ComPtr<FakeEnumerator>::Attach(new FakeEnumerator);
    auto a = fw::ComPtr<FakeEndpoint>::Attach(new FakeEndpoint(true)); // muted in the mixer before the run
    auto b = fw::ComPtr<FakeEndpoint>::Attach(new FakeEndpoint(false));
    int sources = 0;
    GameAudio audio([&](fw::ComPtr<IMMDeviceEnumerator>& out) {
        ++sources;
        out = fw::ComPtr<IMMDeviceEnumerator>(enumerator.get());
        return S_OK;
    });

    // No device: unavailable, the player's choice unchanged, the reason traced.
    EXPECT_FALSE(audio.Available());
    EXPECT_FALSE(audio.SetPlayerMuted(true));
    EXPECT_FALSE(audio.PlayerMuted());
    EXPECT_FALSE(audio.SessionMuted());
    audio.SetHidden(true); // the game window goes to the tray all the same
    EXPECT_EQ(Traced(L"sound unavailable: no default audio device (0x80070490)"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"mute failed: no default audio device (0x80070490)"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"silence while hidden failed: no default audio device"), 1u) << AllLines();
    ASSERT_TRUE(enumerator->client);
    EXPECT_EQ(sources, 1);

    // A device arrives while the window is hidden. Only the render device of the console role
    // counts; the notice is handled on this thread, not on the one it came from.
    enumerator->device = fw::ComPtr<IMMDevice>(a.get());
    NotifyFromAnotherThread(enumerator->client.get(), eCapture, eConsole);
    NotifyFromAnotherThread(enumerator->client.get(), eRender, eMultimedia);
    NotifyFromAnotherThread(enumerator->client.get(), eRender, eConsole);
    EXPECT_FALSE(audio.HeldSession());
    EXPECT_TRUE(test::PumpUntil([&] { return static_cast<bool>(audio.HeldSession()); }));
    test::PumpFor(50);
    EXPECT_EQ(a->activations, 1);
    EXPECT_TRUE(a->muted);
    EXPECT_TRUE(audio.Available());

    // Shown: the mixer's mute, which the new session was found with, stays.
    audio.SetHidden(false);
    EXPECT_TRUE(a->muted);
    EXPECT_TRUE(audio.SetPlayerMuted(false));
    EXPECT_FALSE(a->muted);
    EXPECT_TRUE(audio.SetPlayerMuted(true));
    EXPECT_TRUE(a->muted);
    EXPECT_TRUE(audio.SetPlayerMuted(false));

    // Headphones: the old session is put back as found (muted), the new one follows the player.
    b->muted = true;
    enumerator->device = fw::ComPtr<IMMDevice>(b.get());
    NotifyFromAnotherThread(enumerator->client.get(), eRender, eConsole);
    EXPECT_TRUE(test::PumpUntil([&] { return b->activations == 1; }));
    EXPECT_TRUE(a->muted);
    EXPECT_FALSE(b->muted);
    EXPECT_TRUE(audio.SetPlayerMuted(true));
    EXPECT_TRUE(b->muted);

    // A failing session: the session as it was, the item greys while the failure lasts.
    b->failure = AUDCLNT_E_DEVICE_INVALIDATED;
    EXPECT_FALSE(audio.SetPlayerMuted(false));
    EXPECT_TRUE(b->muted);
    EXPECT_FALSE(audio.Available());
    EXPECT_EQ(Traced(L"unmute failed: 0x88890004"), 1u) << AllLines();
    EXPECT_EQ(Traced(L"sound unavailable: the new session not muted (0x88890004)"), 1u) << AllLines();
    b->failure = S_OK;

    // The device goes: nothing held, nothing else changes.
    enumerator->device = nullptr;
    ASSERT_TRUE(::PostMessageW(audio.NotifyWindow(), WM_GAMEAUDIO_DEVICE_CHANGED, 0, 0));
    test::PumpFor(50);
    EXPECT_FALSE(audio.HeldSession());
    EXPECT_FALSE(audio.PlayerMuted()) << "nothing held, nothing to show as muted";
    EXPECT_EQ(Traced(L"default audio device changed: sound unavailable: no default audio device"), 1u) << AllLines();

    // The end: the watch withdrawn, its window gone, every reference to the devices returned.
    audio.Shutdown();
    EXPECT_FALSE(enumerator->client);
    EXPECT_FALSE(audio.NotifyWindow());
    enumerator->device = nullptr;
    EXPECT_EQ(a->Refs(), 1u);
    EXPECT_EQ(b->Refs(), 1u);
    EXPECT_EQ(sources, 1);
}

// The player's own setting in the volume mixer wins over what this program would put back: at
// the end of the run, on a device change, and when the window shows after F12.
TEST(GameAudio, TheMixersSettingWinsOverWhatTheProgramWouldPutBack) {
    AudioTestScope scope;
    test::Deadline deadline("the mixer's changes on stand-in devices");
    auto enumerator = fw::ComPtr<FakeEnumerator>::Attach(new FakeEnumerator);
    auto a = fw::ComPtr<FakeEndpoint>::Attach(new FakeEndpoint(true)); // muted in the mixer before the run
    auto b = fw::ComPtr<FakeEndpoint>::Attach(new FakeEndpoint(false));
    enumerator->device = fw::ComPtr<IMMDevice>(a.get());
    GameAudio audio([&](fw::ComPtr<IMMDeviceEnumerator>& out) {
        out = fw::ComPtr<IMMDeviceEnumerator>(enumerator.get());
        return S_OK;
    });

    // Found muted: traced, and the menu's "静音" reads it from the session.
    ASSERT_TRUE(audio.Available());
    EXPECT_EQ(Traced(L"sound session taken on the default audio device (found muted)"), 1u) << AllLines();
    EXPECT_TRUE(audio.PlayerMuted());
    a->muted = false; // the mixer
    EXPECT_FALSE(audio.PlayerMuted()) << "read afresh, not remembered";

    // F12 over a mixer mute: showing gives back the mute, not the program's idea of the sound.
    a->muted = true;
    audio.SetHidden(true);
    EXPECT_TRUE(a->muted);
    audio.SetHidden(false);
    EXPECT_TRUE(a->muted);
    // The mixer unmutes while the window is hidden: showing leaves it unmuted.
    audio.SetHidden(true);
    a->muted = false;
    audio.SetHidden(false);
    EXPECT_FALSE(a->muted);
    EXPECT_EQ(Traced(L"game window shown: the session was unmuted from outside while hidden: left as it is"), 1u)
        << AllLines();

    // The last write here is "unmuted"; the mixer then mutes: a device change leaves the old
    // session muted instead of putting back what it was found with.
    audio.SetHidden(true);
    audio.SetHidden(false);
    ASSERT_FALSE(a->muted);
    a->muted = true;
    enumerator->device = fw::ComPtr<IMMDevice>(b.get());
    ASSERT_TRUE(::PostMessageW(audio.NotifyWindow(), WM_GAMEAUDIO_DEVICE_CHANGED, 0, 0));
    EXPECT_TRUE(test::PumpUntil([&] { return b->activations == 1; }));
    EXPECT_TRUE(a->muted);
    EXPECT_EQ(Traced(L"default audio device changed: the new session kept as found (unmuted); the old session was "
                     L"changed from outside: left as it is"),
              1u)
        << AllLines();

    // The same at the end of the run: the player's mute, set in the mixer after this program's
    // last write, stays for this run and the next.
    audio.SetHidden(true);
    audio.SetHidden(false);
    ASSERT_FALSE(b->muted);
    b->muted = true;
    audio.Shutdown();
    EXPECT_TRUE(b->muted);
    EXPECT_EQ(Traced(L"sound released; the session was muted from outside: left as it is"), 1u) << AllLines();
}

} // namespace
