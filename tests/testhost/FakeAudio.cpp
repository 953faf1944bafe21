#include "FakeAudio.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace TestHost::Audio {

Calls Log;
std::map<std::string, HRESULT> Results;
ULONGLONG Now = 1000;
WAVEFORMATEX MixFormat{};

Fake Com{"Co"}, Enumerator{"enumerator"}, Collection{"collection"}, Store{"store"}, Client{"client"},
    Meter{"meter"};
Fake DeskMic{"desk", L"{desk}", L"Desk Microphone"}, HeadsetMic{"headset", L"{headset}", L"Headset"};

const Calls Opening = {"Co Initialize",          "Co CreateInstance",   "enumerator GetDefaultAudioEndpoint",
                       "desk OpenPropertyStore", "store GetValue",      "store Release",
                       "desk Activate client",   "client GetMixFormat", "client Initialize",
                       "Co TaskMemFree format",  "client Start",        "desk Activate meter"};
const std::wstring Stamp = L"[2025-03-07 14:05:09] ";

namespace {

// The meter's id and the friendly-name key, written out here to check the library's own.
const GUID MeterId = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};
const GUID FriendlyNameSet = {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}};

std::string Narrow(const std::wstring& text) { return {text.begin(), text.end()}; }

// A copy of text in memory of COM's task allocator, as the audio interfaces hand texts out.
LPWSTR TaskText(const std::wstring& text)
{
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    return static_cast<LPWSTR>(std::memcpy(CoTaskMemAlloc(bytes), text.c_str(), bytes));
}

} // namespace

Calls Take() { return std::exchange(Log, {}); }

HRESULT Fake::Call(const std::string& method)
{
    references -= method == "Release" || method == "Uninitialize";
    Log.push_back(name + " " + method);
    return Results.count(Log.back()) ? Results[Log.back()] : S_OK;
}

HRESULT Fake::GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out)
{
    return Give(__func__, flow == eCapture && role == eConsole ? devices.at(0) : nullptr, out);
}

HRESULT Fake::GetDevice(LPCWSTR wanted, IMMDevice** out)
{
    const auto known = std::find_if(devices.begin(), devices.end(), [&](Fake* d) { return d->id == wanted; });
    return Give("GetDevice " + Narrow(wanted), known == devices.end() ? nullptr : *known, out);
}

HRESULT Fake::EnumAudioEndpoints(EDataFlow flow, DWORD states, IMMDeviceCollection** out)
{
    return Give(__func__, flow == eCapture && states == DEVICE_STATE_ACTIVE ? &Collection : nullptr, out);
}

HRESULT Fake::GetCount(UINT* count) { return *count = UINT(Enumerator.devices.size()), Call("GetCount"); }

HRESULT Fake::Item(UINT index, IMMDevice** out)
{
    Fake* device = index < Enumerator.devices.size() ? Enumerator.devices[index] : nullptr;
    return Give("Item " + std::to_string(index), device, out);
}

HRESULT Fake::GetId(LPWSTR* out)
{
    const HRESULT result = Call("GetId");
    *out = result == S_OK && !id.empty() ? TaskText(id) : nullptr;
    return result;
}

HRESULT Fake::Activate(REFIID iid, DWORD, PROPVARIANT*, void** out)
{
    if (iid == MeterId)
        return Give("Activate meter", &Meter, reinterpret_cast<IAudioMeterInformation**>(out));
    return Give("Activate client", &Client, reinterpret_cast<IAudioClient**>(out));
}

HRESULT Fake::OpenPropertyStore(DWORD access, IPropertyStore** out)
{
    Store.opener = this;
    return Give("OpenPropertyStore", access == STGM_READ ? &Store : nullptr, out);
}

HRESULT Fake::GetValue(REFPROPERTYKEY key, PROPVARIANT* value)
{
    if (key.fmtid == FriendlyNameSet && key.pid == 14) {
        value->vt = VT_LPWSTR;
        value->pwszVal = TaskText(opener->friendly);
    }
    return Call("GetValue");
}

HRESULT Fake::Initialize(AUDCLNT_SHAREMODE mode, DWORD, REFERENCE_TIME duration, REFERENCE_TIME,
                         const WAVEFORMATEX* format, LPCGUID)
{
    const bool shared = mode == AUDCLNT_SHAREMODE_SHARED && duration == 10000000 && format == &MixFormat;
    return Call(shared ? "Initialize" : "Initialize otherwise");
}

HRESULT WINAPI CoInitialize(LPVOID)
{
    const HRESULT result = Com.Call("Initialize");
    Com.references += SUCCEEDED(result);
    return result;
}
void WINAPI CoUninitialize() { Com.Call("Uninitialize"); }
HRESULT WINAPI CoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out)
{
    return Com.Give("CreateInstance", &Enumerator, reinterpret_cast<IMMDeviceEnumerator**>(out));
}
void WINAPI CoTaskMemFree(LPVOID block)
{
    Com.Call(block == &MixFormat ? "TaskMemFree format" : "TaskMemFree");
    if (block != &MixFormat)
        ::CoTaskMemFree(block);
}
ULONGLONG WINAPI GetTickCount64() { return Now; }
void WINAPI GetLocalTime(LPSYSTEMTIME time) { *time = {2025, 3, 5, 7, 14, 5, 9, 0}; }

} // namespace TestHost::Audio
