// Scripted audio devices for the microphone: one fake plays every core audio interface and logs each call as
// "<object> <method>"; Results scripts what a call answers. COM itself, the clock and the local time are
// fakes too. In-process tests put the routines below into the library's seam; host-level tests point the
// built library's imports at them.
#pragma once

#include "extension/Microphone.h" // the meter's interface, which the mingw headers name but do not declare

#include <map>
#include <string>
#include <vector>

namespace TestHost::Audio {

using Calls = std::vector<std::string>;
extern Calls Log;
extern std::map<std::string, HRESULT> Results;
extern ULONGLONG Now; // the clock's tick count
extern WAVEFORMATEX MixFormat;

// The calls logged since the last Take.
Calls Take();

struct Fake;
extern Fake Enumerator, Collection, Store, Client, Meter;

#define COM(method, ...) HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override
#define UNUSED(method, ...)                                                                                  \
    COM(method, __VA_ARGS__) { return E_NOTIMPL; }
struct Endpoints : IMMDeviceEnumerator, IMMDeviceCollection, IMMDevice {};
struct Fake final : Endpoints, IPropertyStore, IAudioClient, IAudioMeterInformation {
    Fake(std::string n, std::wstring i = {}, std::wstring f = {}) : name(n), id(i), friendly(f) {}
    std::string name;
    std::wstring id, friendly;    // a device's; an empty id is handed out as a null text
    std::vector<Fake*> devices;   // the enumerator's, which its collection lists: the first is the default
    const Fake* opener = nullptr; // the store's device
    float peak = 0.0f;
    int references = 0;

    HRESULT Call(const std::string& method);
    // Hands out fake as an I, unless the call is scripted to fail or there is no fake to hand out.
    template <class I> HRESULT Give(const std::string& method, Fake* fake, I** out)
    {
        *out = Call(method) == S_OK ? fake : nullptr;
        if (*out)
            ++fake->references;
        return *out ? S_OK : E_FAIL;
    }
    COM(QueryInterface, REFIID, void**) { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return Call("Release"); }
    COM(GetDefaultAudioEndpoint, EDataFlow flow, ERole role, IMMDevice** out);
    COM(GetDevice, LPCWSTR wanted, IMMDevice** out);
    COM(EnumAudioEndpoints, EDataFlow flow, DWORD states, IMMDeviceCollection** out);
    COM(GetCount, UINT* count);
    COM(Item, UINT index, IMMDevice** out);
    COM(GetId, LPWSTR* out);
    COM(Activate, REFIID iid, DWORD, PROPVARIANT*, void** out);
    COM(OpenPropertyStore, DWORD access, IPropertyStore** out);
    COM(GetValue, REFPROPERTYKEY key, PROPVARIANT* value); // the text is given back with PropVariantClear
    COM(GetMixFormat, WAVEFORMATEX** format) { return *format = &MixFormat, Call("GetMixFormat"); }
    COM(Initialize, AUDCLNT_SHAREMODE mode, DWORD, REFERENCE_TIME duration, REFERENCE_TIME,
        const WAVEFORMATEX* format, LPCGUID);
    COM(Start) { return Call("Start"); }
    COM(Stop) { return Call("Stop"); }
    COM(GetPeakValue, float* level) { return *level = peak, Call("GetPeakValue"); }
    UNUSED(RegisterEndpointNotificationCallback, IMMNotificationClient*);
    UNUSED(UnregisterEndpointNotificationCallback, IMMNotificationClient*);
    UNUSED(GetState, DWORD*);
    UNUSED(GetCount, DWORD*);
    UNUSED(GetAt, DWORD, PROPERTYKEY*);
    UNUSED(SetValue, REFPROPERTYKEY, REFPROPVARIANT);
    UNUSED(Commit);
    UNUSED(GetBufferSize, UINT32*);
    UNUSED(GetStreamLatency, REFERENCE_TIME*);
    UNUSED(GetCurrentPadding, UINT32*);
    UNUSED(IsFormatSupported, AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**);
    UNUSED(Reset);
    UNUSED(GetDevicePeriod, REFERENCE_TIME*, REFERENCE_TIME*);
    UNUSED(SetEventHandle, HANDLE);
    UNUSED(GetService, REFIID, void**);
    UNUSED(GetMeteringChannelCount, UINT*);
    UNUSED(QueryHardwareSupport, DWORD*);
    UNUSED(GetChannelsPeakValues, UINT32, float*);
};
#undef UNUSED
#undef COM

// COM itself, whose uses are counted as references; two capture devices.
extern Fake Com, DeskMic, HeadsetMic;

// COM, the clock and the local time: Friday 7 March 2025, 14:05:09.
HRESULT WINAPI CoInitialize(LPVOID);
void WINAPI CoUninitialize();
HRESULT WINAPI CoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out);
void WINAPI CoTaskMemFree(LPVOID block); // frees what the fakes handed out, but not the mix format
ULONGLONG WINAPI GetTickCount64();
void WINAPI GetLocalTime(LPSYSTEMTIME time);

// The calls of an opening of the desk's microphone, in order.
extern const Calls Opening;
// The local time above as the last-error text stamps it.
extern const std::wstring Stamp;

} // namespace TestHost::Audio
