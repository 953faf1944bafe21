// Microphone capture against scripted COM: one fake class plays every audio interface the library asks
// for, and the seam's COM, clock and local time are faked. Every call is logged as "<object> <method>";
// Results scripts what a logged call answers (S_OK otherwise).
#include "InProcess.h"
#include "HeapLimit.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"
#include "extension/Microphone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <iterator>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using Calls = std::vector<std::string>;
Calls Log;
std::map<std::string, HRESULT> Results;
ULONGLONG Now;
SYSTEMTIME LocalTime;
int ComUse; // successful CoInitialize calls not yet paired
WAVEFORMATEX MixFormat{};

// Our own declaration of the meter, and the friendly-name key, written out to be checked.
const GUID MeterId = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};
const PROPERTYKEY FriendlyName = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};

HRESULT Logged(const std::string& call)
{
    Log.push_back(call);
    const auto scripted = Results.find(call);
    return scripted == Results.end() ? S_OK : scripted->second;
}

Calls Take() { return std::exchange(Log, {}); }

// At most 16 characters: logging must not need the memory a test has taken away.
std::string Narrow(const wchar_t* text) { return std::string(text, text + wcsnlen(text, 16)); }

// Hands out fake as an I, unless the call is scripted to fail or there is no fake to hand out.
template <class I, class F> HRESULT Hand(const std::string& call, F* fake, I** out)
{
    HRESULT result = Logged(call);
    if (SUCCEEDED(result) && !fake)
        result = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    *out = SUCCEEDED(result) ? fake : nullptr;
    if (SUCCEEDED(result))
        ++fake->references;
    return result;
}

struct Fake;
extern Fake Enumerator, List, Store, Client, Meter;

// clang-format off
#define COM(method, ...) HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override
#define UNUSED(method, ...) COM(method, __VA_ARGS__) { return E_NOTIMPL; }
struct Fake final : IMMDeviceEnumerator, IMMDeviceCollection, IMMDevice, IPropertyStore, IAudioClient,
                    IAudioMeterInformation {
    Fake(std::string name, std::wstring id = {}, std::wstring friendly = {}) : name(name), id(id), friendly(friendly) {}
    std::string name;
    std::wstring id, friendly;    // a device's: an empty id is handed out as none, an empty name as no value
    std::vector<Fake*> devices;   // the enumerator's (the first is the default) or the list's
    const Fake* opener = nullptr; // the store's device
    float peak = 0.0f;
    int references = 0;

    HRESULT Call(const std::string& method) { return Logged(name + " " + method); }
    COM(QueryInterface, REFIID, void**) { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { Call("Release"); return --references; }
    COM(EnumAudioEndpoints, EDataFlow flow, DWORD states, IMMDeviceCollection** out)
    {
        EXPECT_TRUE(flow == eCapture && states == DEVICE_STATE_ACTIVE) << flow << " " << states;
        return Hand(name + " EnumAudioEndpoints", &List, out);
    }
    COM(GetDefaultAudioEndpoint, EDataFlow flow, ERole role, IMMDevice** out)
    {
        EXPECT_TRUE(flow == eCapture && role == eConsole) << flow << " " << role;
        return Hand(name + " GetDefaultAudioEndpoint", devices.at(0), out);
    }
    COM(GetDevice, LPCWSTR wanted, IMMDevice** out)
    {
        Fake* known = nullptr;
        for (Fake* device : devices) known = device->id == wanted ? device : known;
        return Hand(name + " GetDevice " + Narrow(wanted), known, out);
    }
    COM(GetCount, UINT* count) { *count = static_cast<UINT>(devices.size()); return Call("GetCount"); }
    COM(Item, UINT i, IMMDevice** out) { return Hand(name + " Item " + std::to_string(i), devices.at(i), out); }
    COM(Activate, REFIID iid, DWORD context, PROPVARIANT* parameters, void** out)
    {
        EXPECT_TRUE(context == 0x17u && !parameters) << context;
        if (IsEqualIID(iid, MeterId))
            return Hand(name + " Activate meter", &Meter, reinterpret_cast<IAudioMeterInformation**>(out));
        EXPECT_TRUE(IsEqualIID(iid, __uuidof(IAudioClient)));
        return Hand(name + " Activate client", &Client, reinterpret_cast<IAudioClient**>(out));
    }
    COM(OpenPropertyStore, DWORD access, IPropertyStore** out)
    {
        EXPECT_EQ(access, DWORD{STGM_READ});
        Store.opener = this;
        return Hand(name + " OpenPropertyStore", &Store, out);
    }
    COM(GetId, LPWSTR* out)
    {
        const HRESULT result = Call("GetId");
        *out = SUCCEEDED(result) && !id.empty() ? id.data() : nullptr;
        return result;
    }
    COM(GetValue, REFPROPERTYKEY key, PROPVARIANT* value)
    {
        EXPECT_TRUE(IsEqualPropertyKey(key, FriendlyName));
        const HRESULT result = Call("GetValue");
        const std::size_t bytes = (opener->friendly.size() + 1) * sizeof(wchar_t);
        if (SUCCEEDED(result) && bytes > sizeof(wchar_t)) { // given back with PropVariantClear
            value->vt = VT_LPWSTR;
            value->pwszVal = static_cast<LPWSTR>(std::memcpy(CoTaskMemAlloc(bytes), opener->friendly.c_str(), bytes));
        }
        return result;
    }
    COM(GetMixFormat, WAVEFORMATEX** format) { *format = &MixFormat; return Call("GetMixFormat"); }
    COM(Initialize, AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration, REFERENCE_TIME period,
        const WAVEFORMATEX* format, LPCGUID session)
    {
        EXPECT_TRUE(mode == AUDCLNT_SHAREMODE_SHARED && !flags && duration == 10000000 && !period &&
                    format == &MixFormat && !session);
        return Call("Initialize");
    }
    COM(Start) { return Call("Start"); }
    COM(Stop) { return Call("Stop"); }
    COM(GetPeakValue, float* level) { *level = peak; return Call("GetPeakValue"); }
    UNUSED(RegisterEndpointNotificationCallback, IMMNotificationClient*)
    UNUSED(UnregisterEndpointNotificationCallback, IMMNotificationClient*)
    UNUSED(GetState, DWORD*) UNUSED(GetCount, DWORD*) UNUSED(GetAt, DWORD, PROPERTYKEY*) UNUSED(Commit)
    UNUSED(SetValue, REFPROPERTYKEY, REFPROPVARIANT) UNUSED(GetBufferSize, UINT32*) UNUSED(Reset)
    UNUSED(GetStreamLatency, REFERENCE_TIME*) UNUSED(GetCurrentPadding, UINT32*) UNUSED(SetEventHandle, HANDLE)
    UNUSED(IsFormatSupported, AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**) UNUSED(GetService, REFIID, void**)
    UNUSED(GetDevicePeriod, REFERENCE_TIME*, REFERENCE_TIME*) UNUSED(GetMeteringChannelCount, UINT*)
    UNUSED(GetChannelsPeakValues, UINT32, float*) UNUSED(QueryHardwareSupport, DWORD*)
};

HRESULT WINAPI FakeCoInitialize(LPVOID reserved)
{
    const HRESULT result = Logged("CoInitialize");
    ComUse += SUCCEEDED(result) && !reserved;
    return result;
}
void WINAPI FakeCoUninitialize() { Logged("CoUninitialize"); --ComUse; }
HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    EXPECT_TRUE(IsEqualCLSID(clsid, __uuidof(MMDeviceEnumerator)) && !outer && context == 0x17u &&
                IsEqualIID(iid, __uuidof(IMMDeviceEnumerator)));
    return Hand("CoCreateInstance", &Enumerator, reinterpret_cast<IMMDeviceEnumerator**>(out));
}
void WINAPI FakeCoTaskMemFree(LPVOID block)
{
    if (block)
        Logged("CoTaskMemFree " + (block == &MixFormat ? "format" : Narrow(static_cast<wchar_t*>(block))));
}
ULONGLONG WINAPI FakeGetTickCount64() { return Now; }
void WINAPI FakeGetLocalTime(LPSYSTEMTIME time) { Logged("GetLocalTime"); *time = LocalTime; }
// clang-format on

Fake Enumerator{"enumerator"}, List{"collection"}, Store{"store"}, Client{"client"}, Meter{"meter"};
Fake Desk{"desk", L"{desk}", L"Desk Microphone"}, Headset{"headset", L"{headset}", L"Headset"};

const Calls Opening = {"CoInitialize",           "CoCreateInstance",    "enumerator GetDefaultAudioEndpoint",
                       "desk OpenPropertyStore", "store GetValue",      "store Release",
                       "desk Activate client",   "client GetMixFormat", "client Initialize",
                       "CoTaskMemFree format",   "client Start",        "desk Activate meter"};
const Calls Closing = {"meter Release", "client Stop",        "client Release",
                       "desk Release",  "enumerator Release", "CoUninitialize"};

// The members on an object created as the host creates it, the microphone as in a fresh process, and a
// machine whose default capture device is the desk microphone.
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
        MicActive = MicStatsEnabled = false;
        MicDelay = 100;
        MicSampleSize = 10;
        MicSamples.assign(10, 0.0f);
        MicSampleIndex = 0;
        MicDevices.clear();
        MicVolume = MicVolumeAvg = MicVolumeHigh = MicVolumeLow = 0.0f;
        MicDeviceName = MicDeviceId = LastError = L"";
        for (Fake* fake : {&Enumerator, &List, &Store, &Client, &Meter, &Desk, &Headset})
            fake->references = 0;
        Enumerator.devices = {&Desk, &Headset};
        Now = 50000;
        LocalTime = {2025, 3, 5, 7, 14, 5, 9, 0}; // Friday 7 March 2025, 14:05:09
        // A definition without the members' entries: the link reports it makes are not tested here.
        InProcess::BuildState(R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n", "Author": "a"}, )"
                              R"("Actions": [], "Conditions": [], "Expressions": []}})");
        CreateRunObject(object, nullptr, nullptr);
        ext = GetExtension(object);
        Log.clear();
        Results.clear();
        ComUse = 0;
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
    void ExpectNothingHeld(const std::string& label)
    {
        for (const Fake* fake : {&Enumerator, &List, &Store, &Client, &Meter, &Desk, &Headset})
            EXPECT_EQ(fake->references, 0) << label << ": " << fake->name;
        EXPECT_EQ(ComUse, 0) << label;
        EXPECT_TRUE(!MicEnumerator && !MicDevice && !MicAudioClient && !MicMeter) << label;
    }

    const Host::SeamTable saved = Host::Seam;
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* object = host.NewObject();
    Extension* ext = nullptr;
};

TEST_F(Microphone, OpensOnFirstCaptureSamplesAtMostOncePerDelayAndClosesInOrder)
{
    Results = {{"CoInitialize", S_FALSE}}; // COM already in use on this thread: still a use to pair
    Now = 1000;
    Capture(0.5f);
    EXPECT_EQ(Take(), Opening);
    EXPECT_EQ(ext->DVMicActiveCheq(), 1);
    EXPECT_STREQ(ext->DVMicCNameStr(), L"Desk Microphone");
    EXPECT_EQ(ext->DVMicVol(), 0.0f) << "no sample within the delay from the opening";
    const std::pair<ULONGLONG, bool> steps[] = {{1099, false}, {1100, true},  {1199, false},
                                                {1200, true},  {1200, false}, {5000, true}};
    for (auto [now, samples] : steps) {
        Now = now;
        Capture(0.25f);
        EXPECT_EQ(Take(), samples ? Calls{"meter GetPeakValue"} : Calls{}) << now;
    }
    EXPECT_EQ(ext->DVMicVol(), 0.25f);
    ext->RefreshMicrophone();
    ext->RefreshMicrophone();
    EXPECT_EQ(Take(), Closing) << "closing while closed does nothing";
    ExpectNothingHeld("closed");
    ext->SetMicrophoneCaptureDelay(-5);
    EXPECT_EQ(ext->DVMicDelay(), 0);
    Capture(0.75f);
    EXPECT_EQ(ext->DVMicVol(), 0.75f) << "with no delay the opening capture samples too";
    EXPECT_STREQ(ext->Error(), L"");
}

TEST_F(Microphone, EachFailingOpeningStepIsUndoneInReverseOrderAndRecorded)
{
    const std::string device = "desk Release", enumerator = "enumerator Release", com = "CoUninitialize";
    const struct {
        const char* step;
        const wchar_t* error;
        Calls undone;
    } steps[] = {
        {"CoInitialize", L"(-201) - COM: Failed to initialize.", {}},
        {"CoCreateInstance", L"(-202) - Failed to create MMDeviceEnumerator instance.", {com}},
        {"enumerator GetDefaultAudioEndpoint",
         L"(-203) - Failed to get default microphone.",
         {enumerator, com}},
        {"desk Activate client", L"(-204) - Failed to activate IAudioClient.", {device, enumerator, com}},
        {"client GetMixFormat",
         L"(-205) - Failed to get audio mixing format.",
         {"client Release", device, enumerator, com}},
        {"client Initialize",
         L"(-206) - Failed to initialize iAudioClient.",
         {"CoTaskMemFree format", "client Release", device, enumerator, com}},
        {"client Start",
         L"(-207) - Failed to launch audio client.",
         {"client Release", device, enumerator, com}},
        {"desk Activate meter",
         L"(-208) - Failed to activate IAudioMeterInformation for volume reading.",
         {"client Stop", "client Release", device, enumerator, com}},
    };
    for (const auto& step : steps) {
        Results = {{step.step, E_FAIL}};
        Capture(0.5f);
        Calls expected(Opening.begin(), std::find(Opening.begin(), Opening.end(), step.step) + 1);
        expected.insert(expected.end(), step.undone.begin(), step.undone.end());
        expected.push_back("GetLocalTime");
        EXPECT_EQ(Take(), expected) << step.step;
        EXPECT_EQ(ext->Error(), L"[2025-03-07 14:05:09] " + std::wstring(step.error)) << step.step;
        EXPECT_EQ(ext->DVMicActiveCheq(), 0) << step.step;
        ExpectNothingHeld(step.step);
        Results.clear();
        Capture(0.5f);
        EXPECT_EQ(Take(), Opening) << step.step << ": the next capture starts again";
        ext->RefreshMicrophone();
        Take();
    }
}

TEST_F(Microphone, ADeviceWhoseNameCannotBeReadOpensNameless)
{
    Fake nameless{"nameless"}, wordy{"wordy", L"{w}", std::wstring(1 << 20, L'w')};
    const std::pair<Fake*, const char*> cases[] = {
        {&Desk, "desk OpenPropertyStore"}, {&Desk, "store GetValue"}, {&nameless, ""}, {&wordy, ""}};
    for (auto [device, failing] : cases) {
        Enumerator.devices = {device};
        Results = {{failing, E_FAIL}};
        MicDeviceName = L"from an earlier opening";
        {
            // Too long for the memory left: the device's copy of its name fits, ours does not.
            const TestHost::HeapLimit full(GetModuleHandleW(nullptr), 1 << 20);
            Capture(0.0f);
        }
        EXPECT_EQ(ext->DVMicActiveCheq(), 1) << device->name << failing;
        EXPECT_STREQ(ext->DVMicCNameStr(), L"") << device->name << failing;
        ext->RefreshMicrophone();
        EXPECT_EQ(device->references, 0) << device->name << failing;
    }
    ExpectNothingHeld("nameless");
    EXPECT_STREQ(ext->Error(), L"") << "a missing name is not an error";
}

TEST_F(Microphone, ChoosingADeviceClosesTheCaptureAndTheNextOpensItById)
{
    Capture(0.0f);
    Take();
    ext->SetCurrentMicrophone(L"{headset}");
    EXPECT_EQ(Take(), Closing);
    EXPECT_STREQ(ext->DVMicCIDStr(), L"{headset}");
    Capture(0.0f);
    EXPECT_EQ(Take().at(2), "enumerator GetDevice {headset}");
    EXPECT_STREQ(ext->DVMicCNameStr(), L"Headset");
    ext->SetCurrentMicrophone(L"{unplugged}");
    Capture(0.0f);
    EXPECT_STREQ(ext->Error(), L"[2025-03-07 14:05:09] (-203) - Failed to get default microphone.");
    ext->SetCurrentMicrophone(L"");
    Capture(0.0f);
    EXPECT_STREQ(ext->DVMicCNameStr(), L"Desk Microphone");
    ext->RefreshMicrophone();
    ExpectNothingHeld("chosen");
}

TEST_F(Microphone, WindowMeasuresFollowCompleteWindowsOnceAMeasureWasRead)
{
    ext->SetMicrophoneCaptureDelay(0);
    ext->SetMicrophoneFrequencySamples(3);
    for (float peak : {0.2f, 0.6f, 0.4f})
        Capture(peak);
    EXPECT_EQ(ext->DVMicFreqCheck(), 0);
    EXPECT_EQ(ext->DVMicFraqHigh(), 0.0f) << "a window completed before a measure was read is not measured";
    EXPECT_EQ(ext->DVMicFreqCheck(), 1);
    Capture(1.0f);
    Capture(0.01f);
    EXPECT_EQ(ext->DVMicFraqHigh(), 0.0f) << "the window is not complete yet";
    Capture(0.1f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 1.0f && ext->DVMicFraqLow() == 0.01f);
    EXPECT_TRUE(ext->DVMicVolHighdB() == 0.0f && ext->DVMicVolLowdB() == -40.0f);
    EXPECT_FLOAT_EQ(ext->DVMicFraqAvg(), 0.37f);
    EXPECT_FLOAT_EQ(ext->DVMicVolAvgdB(), -8.635966f);
    // A failed read takes part as -209, and the mean is given as an absolute value.
    Capture(0.5f);
    Results = {{"meter GetPeakValue", E_FAIL}};
    Capture(0.5f);
    EXPECT_STREQ(ext->Error(),
                 L"[2025-03-07 14:05:09] (-209) - Failed to retrieve peak value from microphone.");
    EXPECT_TRUE(ext->DVMicVol() == -209.0f && ext->DVMicVoldB() == -209.0f) << ext->DVMicVol();
    Results.clear();
    Capture(0.2f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.5f && ext->DVMicVolLowdB() == -209.0f);
    EXPECT_FLOAT_EQ(ext->DVMicFraqAvg(), 69.433334f);
    ext->SetMicrophoneFrequencySamples(1);
    Capture(0.7f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.7f && ext->DVMicFraqLow() == 0.7f && ext->DVMicFraqAvg() == 0.7f);
    // Each of the six measure reads asks for the statistics; the level itself does not.
    float (Extension::*const reads[])() = {&Extension::DVMicFraqAvg,
                                           &Extension::DVMicFraqHigh,
                                           &Extension::DVMicFraqLow,
                                           &Extension::DVMicVolAvgdB,
                                           &Extension::DVMicVolHighdB,
                                           &Extension::DVMicVolLowdB,
                                           nullptr};
    for (auto read : reads) {
        MicStatsEnabled = false;
        ext->DVMicVol();
        ext->DVMicVoldB();
        if (read)
            (ext->*read)();
        EXPECT_EQ(ext->DVMicFreqCheck(), read ? 1 : 0);
    }
    for (auto [level, decibels] :
         {std::pair{1.0f, 0.0f}, {0.1f, -20.0f}, {0.01f, -40.0f}, {0.0f, 0.0f}, {-0.5f, -0.5f}}) {
        MicVolume = level;
        EXPECT_EQ(ext->DVMicVoldB(), decibels) << level;
    }
    MicVolume = NAN;
    EXPECT_TRUE(std::isnan(ext->DVMicVoldB()));
}

TEST_F(Microphone, WindowSizesBeyondTheLargestAreRefusedAndRecorded)
{
    const std::wstring refused = L"(-210) - Failed to set the sample window: at most 1048576 samples.";
    const struct {
        int requested, size;
        bool refused;
    } cases[] = {{0, 1, false},
                 {-7, 1, false},
                 {INT_MIN, 1, false},
                 {1048576, 1048576, false},
                 {1048577, 1048576, true},
                 {507560658, 1048576, true},
                 {1073741823, 1048576, true},
                 {INT_MAX, 1048576, true},
                 {3, 3, false}};
    for (const auto& c : cases) {
        LastError.clear();
        ext->SetMicrophoneFrequencySamples(c.requested);
        EXPECT_EQ(ext->DVMicSampleSize(), c.size) << c.requested;
        EXPECT_EQ(MicSamples.size(), static_cast<std::size_t>(c.size)) << c.requested;
        EXPECT_EQ(ext->Error(), c.refused ? L"[2025-03-07 14:05:09] " + refused : L"") << c.requested;
    }
    // A refusal in the middle of a window leaves it to complete and be measured.
    ext->SetMicrophoneCaptureDelay(0);
    ext->DVMicFraqAvg();
    Capture(0.25f);
    Capture(0.5f);
    ext->SetMicrophoneFrequencySamples(INT_MAX);
    Capture(0.75f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.75f && ext->DVMicFraqLow() == 0.25f && ext->DVMicFraqAvg() == 0.5f);
}

TEST_F(Microphone, TheListHasTheActiveCaptureDevicesThatCanBeRead)
{
    Capture(0.0f); // an open capture, which listing leaves alone
    Fake alpha{"alpha", L"{a}", L"Alpha"}, lost{"lost", L"{l}"}, anonymous{"anonymous", L"{x}"},
        unnamed{"unnamed", L"{u}"}, wordy{"wordy", std::wstring(1 << 20, L'w')},
        echo{"echo", L"{e}", L"Echo"}, blank{"blank"};
    List.devices = {&alpha, &lost, &anonymous, &unnamed, &wordy, &echo, &blank};
    Results = {
        {"collection Item 1", E_FAIL}, {"anonymous GetId", E_FAIL}, {"unnamed OpenPropertyStore", E_FAIL}};
    MicDevices = {{L"{old}", L"Old"}};
    Log.clear();
    {
        // The id of wordy is too long for the memory left, so it cannot be listed.
        const TestHost::HeapLimit full(GetModuleHandleW(nullptr), 1 << 20);
        ext->RefreshMicrophoneList();
    }
    EXPECT_EQ(MicDevices, (decltype(MicDevices){{L"{a}", L"Alpha"}, {L"{u}", L""}, {L"{e}", L"Echo"}}));
    EXPECT_EQ(ext->DVMicCount(), 3);
    EXPECT_TRUE(!std::wcscmp(ext->DVMicIDStr(2), L"{e}") && !std::wcscmp(ext->DVMicNameStr(2), L"Echo"));
    for (int outside : {-1, 3, INT_MIN})
        EXPECT_TRUE(!*ext->DVMicIDStr(outside) && !*ext->DVMicNameStr(outside)) << outside;
    Calls freed;
    std::copy_if(Log.begin(), Log.end(), std::back_inserter(freed),
                 [](const std::string& call) { return call.rfind("CoTaskMemFree", 0) == 0; });
    EXPECT_EQ(freed, (Calls{"CoTaskMemFree {a}", "CoTaskMemFree {u}", "CoTaskMemFree wwwwwwwwwwwwwwww",
                            "CoTaskMemFree {e}"}));
    EXPECT_EQ(Calls(Log.end() - 4, Log.end()),
              (Calls{"blank Release", "collection Release", "enumerator Release", "CoUninitialize"}));
    for (const Fake* device : {&alpha, &lost, &anonymous, &unnamed, &wordy, &echo, &blank, &List})
        EXPECT_EQ(device->references, 0) << device->name;
    EXPECT_TRUE(Enumerator.references == 1 && Desk.references == 1 && Meter.references == 1 && ComUse == 1);
    // Any COM failure while listing leaves the list empty, and is not recorded.
    for (const char* failing :
         {"CoInitialize", "CoCreateInstance", "enumerator EnumAudioEndpoints", "collection GetCount"}) {
        Results = {{failing, E_FAIL}};
        ext->RefreshMicrophoneList();
        EXPECT_EQ(ext->DVMicCount(), 0) << failing;
        EXPECT_TRUE(List.references == 0 && Enumerator.references == 1 && ComUse == 1) << failing;
    }
    EXPECT_STREQ(ext->Error(), L"");
}

TEST_F(Microphone, TheLastErrorLineHasTheLocalTimeTheCodeAndTheMessage)
{
    const std::tuple<SYSTEMTIME, std::int32_t, const wchar_t*, const wchar_t*> cases[] = {
        {{999, 1, 0, 2, 3, 4, 5, 678}, INT_MIN, L"", L"[0999-01-02 03:04:05] (-2147483648) - "},
        {{12345, 10, 0, 10, 23, 59, 59, 0}, INT_MAX, L"x", L"[12345-10-10 23:59:59] (2147483647) - x"},
    };
    for (const auto& [time, code, message, line] : cases) {
        LocalTime = time;
        SetError(code, message);
        EXPECT_STREQ(ext->Error(), line);
        EXPECT_EQ(ext->Error(), LastError.c_str()) << "the global's own text, not a copy";
    }
}

} // namespace
