// Microphone capture against scripted COM, clock and local time through the seam: one fake plays every
// audio interface and logs each call as "<object> <method>"; Results scripts what a call answers.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"
#include "extension/Microphone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>

namespace {

using Calls = std::vector<std::string>;
Calls Log;
std::map<std::string, HRESULT> Results;
ULONGLONG Now = 1000;
WAVEFORMATEX MixFormat{};
// The meter's id and the friendly-name key, written out here to check the library's own.
const GUID MeterId = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};
const GUID FriendlyNameSet = {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}};

Calls Take() { return std::exchange(Log, {}); }
std::string Narrow(const std::wstring& text) { return {text.begin(), text.end()}; }

struct Fake;
extern Fake Enumerator, Store, Client, Meter;

#define COM(method, ...) HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override
#define UNUSED(method, ...)                                                                                  \
    COM(method, __VA_ARGS__) { return E_NOTIMPL; }
struct Endpoints : IMMDeviceEnumerator, IMMDeviceCollection, IMMDevice {};
struct Fake final : Endpoints, IPropertyStore, IAudioClient, IAudioMeterInformation {
    Fake(std::string n, std::wstring i = {}, std::wstring f = {}) : name(n), id(i), friendly(f) {}
    std::string name;
    std::wstring id, friendly;    // a device's
    std::vector<Fake*> devices;   // the enumerator's: the first is the default
    const Fake* opener = nullptr; // the store's device
    float peak = 0.0f;
    int references = 0;

    HRESULT Call(const std::string& method)
    {
        references -= method == "Release" || method == "Uninitialize";
        Log.push_back(name + " " + method);
        return Results.count(Log.back()) ? Results[Log.back()] : S_OK;
    }
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
    COM(GetDefaultAudioEndpoint, EDataFlow flow, ERole role, IMMDevice** out)
    {
        return Give(__func__, flow == eCapture && role == eConsole ? devices.at(0) : nullptr, out);
    }
    COM(GetDevice, LPCWSTR wanted, IMMDevice** out)
    {
        const auto known =
            std::find_if(devices.begin(), devices.end(), [&](Fake* d) { return d->id == wanted; });
        return Give("GetDevice " + Narrow(wanted), known == devices.end() ? nullptr : *known, out);
    }
    COM(Activate, REFIID iid, DWORD, PROPVARIANT*, void** out)
    {
        if (iid == MeterId)
            return Give("Activate meter", &Meter, reinterpret_cast<IAudioMeterInformation**>(out));
        return Give("Activate client", &Client, reinterpret_cast<IAudioClient**>(out));
    }
    COM(OpenPropertyStore, DWORD access, IPropertyStore** out)
    {
        Store.opener = this;
        return Give("OpenPropertyStore", access == STGM_READ ? &Store : nullptr, out);
    }
    COM(GetValue, REFPROPERTYKEY key, PROPVARIANT* value) // the text is given back with PropVariantClear
    {
        const std::size_t bytes = (opener->friendly.size() + 1) * sizeof(wchar_t);
        if (key.fmtid == FriendlyNameSet && key.pid == 14) {
            value->vt = VT_LPWSTR;
            value->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
            std::memcpy(value->pwszVal, opener->friendly.c_str(), bytes);
        }
        return Call("GetValue");
    }
    COM(GetMixFormat, WAVEFORMATEX** format) { return *format = &MixFormat, Call("GetMixFormat"); }
    COM(Initialize, AUDCLNT_SHAREMODE mode, DWORD, REFERENCE_TIME duration, REFERENCE_TIME,
        const WAVEFORMATEX* format, LPCGUID)
    {
        const bool shared = mode == AUDCLNT_SHAREMODE_SHARED && duration == 10000000 && format == &MixFormat;
        return Call(shared ? "Initialize" : "Initialize otherwise");
    }
    COM(Start) { return Call("Start"); }
    COM(Stop) { return Call("Stop"); }
    COM(GetPeakValue, float* level) { return *level = peak, Call("GetPeakValue"); }
    UNUSED(EnumAudioEndpoints, EDataFlow, DWORD, IMMDeviceCollection**);
    UNUSED(RegisterEndpointNotificationCallback, IMMNotificationClient*);
    UNUSED(UnregisterEndpointNotificationCallback, IMMNotificationClient*);
    UNUSED(GetCount, UINT*);
    UNUSED(Item, UINT, IMMDevice**);
    UNUSED(GetId, LPWSTR*);
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

// COM itself, whose uses are counted as references.
Fake Com{"Co"}, Enumerator{"enumerator"}, Store{"store"}, Client{"client"}, Meter{"meter"};
Fake Desk{"desk", L"{desk}", L"Desk Microphone"}, Headset{"headset", L"{headset}", L"Headset"};

HRESULT WINAPI FakeCoInitialize(LPVOID)
{
    const HRESULT result = Com.Call("Initialize");
    Com.references += SUCCEEDED(result);
    return result;
}
void WINAPI FakeCoUninitialize() { Com.Call("Uninitialize"); }
HRESULT WINAPI FakeCoCreateInstance(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID* out)
{
    return Com.Give("CreateInstance", &Enumerator, reinterpret_cast<IMMDeviceEnumerator**>(out));
}
void WINAPI FakeCoTaskMemFree(LPVOID block)
{
    Com.Call(block == &MixFormat ? "TaskMemFree format" : "TaskMemFree");
}
ULONGLONG WINAPI FakeGetTickCount64() { return Now; }
void WINAPI FakeGetLocalTime(LPSYSTEMTIME time) { *time = {2025, 3, 5, 7, 14, 5, 9, 0}; }

const Calls Opening = {"Co Initialize",          "Co CreateInstance",   "enumerator GetDefaultAudioEndpoint",
                       "desk OpenPropertyStore", "store GetValue",      "store Release",
                       "desk Activate client",   "client GetMixFormat", "client Initialize",
                       "Co TaskMemFree format",  "client Start",        "desk Activate meter"};
const std::wstring Stamp = L"[2025-03-07 14:05:09] "; // Friday 7 March 2025, as the local time above

// The members on an object created as the host creates it; the default capture device is the desk's.
class Microphone : public testing::Test {
protected:
    void SetUp() override
    {
        Host::Seam.CoInitialize = FakeCoInitialize;
        Host::Seam.CoUninitialize = FakeCoUninitialize;
        Host::Seam.CoCreateInstance = FakeCoCreateInstance;
        Host::Seam.CoTaskMemFree = FakeCoTaskMemFree;
        Host::Seam.GetTickCount64 = FakeGetTickCount64;
        Host::Seam.GetLocalTime = FakeGetLocalTime;
        Enumerator.devices = {&Desk, &Headset};
        InProcess::BuildState(R"({"L": {"About": {"Name": "n"}}})");
        CreateRunObject(object, nullptr, nullptr);
        ext = GetExtension(object);
    }
    void TearDown() override
    {
        DestroyRunObject(object, 0);
        Host::Seam = saved;
    }

    void Capture(float peak)
    {
        Meter.peak = peak;
        ext->CaptureMicrophone();
    }
    // The fakes still held, COM's uses among them, and whether the capture is kept: "" once closed.
    std::string Held()
    {
        const bool kept = ext->DVMicActiveCheq() || MicEnumerator || MicDevice || MicAudioClient || MicMeter;
        std::string held = kept ? "capture" : "";
        for (const Fake* fake : {&Com, &Enumerator, &Store, &Client, &Meter, &Desk, &Headset})
            held += fake->references ? " " + fake->name + "=" + std::to_string(fake->references) : "";
        return held;
    }
    // The level, then the window's high, low and mean, as they are and in decibels.
    std::string Measures()
    {
        char text[128];
        std::snprintf(text, sizeof text, "%.7g %.7g | %.7g %.7g %.7g | %.7g %.7g %.7g", ext->DVMicVol(),
                      ext->DVMicVoldB(), ext->DVMicFraqHigh(), ext->DVMicFraqLow(), ext->DVMicFraqAvg(),
                      ext->DVMicVolHighdB(), ext->DVMicVolLowdB(), ext->DVMicVolAvgdB());
        return text;
    }

    const Host::SeamTable saved = Host::Seam;
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* object = host.NewObject();
    Extension* ext = nullptr;
};

// Each opening step that fails undoes the steps before it in reverse order and records its message, with
// the codes -201, -202, ... in table order: the step, how many calls of the opening are made, and how many
// of the undoing calls follow. The next capture opens in full, and closing undoes it all.
TEST_F(Microphone, OpensOnCaptureUndoesAFailedOpeningAndClosesInOrder)
{
    const Calls closing = {"meter Release", "client Stop",        "client Release",
                           "desk Release",  "enumerator Release", "Co Uninitialize"};
    const std::tuple<const char*, int, int, const wchar_t*> steps[] = {
        {"Co Initialize", 1, 0, L"COM: Failed to initialize."},
        {"Co CreateInstance", 2, 1, L"Failed to create MMDeviceEnumerator instance."},
        {"enumerator GetDefaultAudioEndpoint", 3, 2, L"Failed to get default microphone."},
        {"desk Activate client", 7, 3, L"Failed to activate IAudioClient."},
        {"client GetMixFormat", 8, 4, L"Failed to get audio mixing format."},
        {"client Initialize", 10, 4, L"Failed to initialize iAudioClient."},
        {"client Start", 11, 4, L"Failed to launch audio client."},
        {"desk Activate meter", 12, 5, L"Failed to activate IAudioMeterInformation for volume reading."}};
    int code = -201;
    for (const auto& [step, made, undone, error] : steps) {
        Results = {{step, E_FAIL}};
        Capture(0.5f);
        Calls expected(Opening.begin(), Opening.begin() + made);
        expected.insert(expected.end(), closing.end() - undone, closing.end());
        EXPECT_EQ(Take(), expected) << step;
        EXPECT_EQ(ext->Error(), Stamp + L"(" + std::to_wstring(code--) + L") - " + error) << step;
        EXPECT_EQ(Held(), "") << step;
        Results = {{"Co Initialize", S_FALSE}}; // COM already in use on this thread: still a use to pair
        Capture(0.5f);
        EXPECT_EQ(Take(), Opening) << step;
        EXPECT_EQ(Held(), "capture Co=1 enumerator=1 client=1 meter=1 desk=1") << step;
        ext->RefreshMicrophone();
        ext->RefreshMicrophone(); // while closed: nothing
        EXPECT_EQ(Take(), closing) << step;
        EXPECT_EQ(Held(), "") << step;
    }
    ext->SetCurrentMicrophone(L"{headset}"); // the next capture opens the chosen device
    Capture(0.75f);
    EXPECT_EQ(Take().at(2), "enumerator GetDevice {headset}");
    EXPECT_EQ(std::wstring(ext->DVMicCNameStr()) + ext->DVMicCIDStr(), L"Headset{headset}");
    ext->SetCurrentMicrophone(L"{unplugged}"); // closes
    Capture(0.0f);
    EXPECT_EQ(ext->Error(), Stamp + L"(-203) - Failed to get default microphone.");
}

// A capture samples at most once per delay, counted from the opening. A window is measured when it
// completes after a measure was read; a refused size leaves it as it was.
TEST_F(Microphone, SamplesOncePerDelayAndMeasuresCompleteWindows)
{
    Capture(0.5f);
    EXPECT_EQ(Take(), Opening) << "no sample within the delay";
    for (auto [now, samples] : {std::pair{1099, 0}, {1100, 1}, {1199, 0}, {1200, 1}, {1200, 0}, {5000, 1}}) {
        Now = now;
        Capture(0.25f);
        EXPECT_EQ(Take(), samples ? Calls{"meter GetPeakValue"} : Calls{}) << now;
    }
    ext->SetMicrophoneCaptureDelay(-5);
    ext->SetMicrophoneFrequencySamples(3);
    ext->RefreshMicrophone();
    for (float peak : {0.2f, 0.6f, 0.4f}) // the first capture opens, and with no delay samples at once
        Capture(peak);
    EXPECT_TRUE(ext->DVMicDelay() == 0 && ext->DVMicVoldB() != 0.0f && ext->DVMicFreqCheck() == 0)
        << "the level is no window measure";
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.0f && ext->DVMicFreqCheck() == 1)
        << "a window completed before a measure was read is not measured";
    for (float peak : {1.0f, 0.01f})
        Capture(peak);
    EXPECT_EQ(ext->DVMicFraqHigh(), 0.0f) << "the window is not complete yet";
    ext->SetMicrophoneFrequencySamples(INT_MAX);
    Capture(0.1f);
    EXPECT_EQ(Measures(), "0.1 -20 | 1 0.01 0.37 | 0 -40 -8.635965");
    // A zero level is 0 dB. A failed read takes part as -209, and the mean is given as an absolute value.
    Capture(0.0f);
    EXPECT_EQ(Measures(), "0 0 | 1 0.01 0.37 | 0 -40 -8.635965");
    Results = {{"meter GetPeakValue", E_FAIL}};
    Capture(0.5f);
    EXPECT_EQ(ext->Error(), Stamp + L"(-209) - Failed to retrieve peak value from microphone.");
    EXPECT_EQ(Measures(), "-209 -209 | 1 0.01 0.37 | 0 -40 -8.635965");
    Results.clear();
    Capture(0.2f);
    EXPECT_EQ(Measures(), "0.2 -13.9794 | 0.2 -209 69.6 | -13.9794 -209 36.85218");
    ext->SetMicrophoneFrequencySamples(1);
    Capture(0.7f);
    EXPECT_EQ(Measures(), "0.7 -3.098039 | 0.7 0.7 0.7 | -3.098039 -3.098039 -3.098039");
}

} // namespace
