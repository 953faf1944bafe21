// Microphone capture against scripted COM: one fake class plays every audio interface the library asks
// for, and the seam's COM, clock and local time are faked. Every call is logged as "<object> <method>";
// Results scripts what a logged call answers (S_OK otherwise). ctest runs each case in a process of its
// own, so the library's microphone starts as just loaded.
#include "HeapLimit.h"
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
ULONGLONG Now = 1000;
int ComUse = 0; // successful CoInitialize calls not yet paired
WAVEFORMATEX MixFormat{};
// Our own declaration of the meter, and the friendly-name key, written out to be checked.
const GUID MeterId = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};
const GUID FriendlyNameSet = {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}};

struct Fake;
extern Fake Enumerator, List, Store, Client, Meter;

// clang-format off
HRESULT Logged(const std::string& call)
{ Log.push_back(call); return Results.count(call) ? Results[call] : S_OK; }
Calls Take() { return std::exchange(Log, {}); }
// At most 16 characters: logging must not need the memory a test has taken away.
std::string Narrow(const wchar_t* text) { return std::string(text, text + wcsnlen(text, 16)); }

// Hands out fake as an I, unless the call is scripted to fail or there is no fake to hand out.
template <class I, class F> HRESULT Hand(const std::string& call, F* fake, I** out)
{
    const HRESULT result = Logged(call) == S_OK && fake ? S_OK : E_FAIL;
    *out = result == S_OK ? fake : nullptr;
    if (*out)
        ++fake->references;
    return result;
}

#define COM(method, ...) HRESULT STDMETHODCALLTYPE method(__VA_ARGS__) override
#define UNUSED(method, ...) COM(method, __VA_ARGS__) { return E_NOTIMPL; }
struct Fake final : IMMDeviceEnumerator, IMMDeviceCollection, IMMDevice, IPropertyStore, IAudioClient,
                    IAudioMeterInformation {
    Fake(std::string name, std::wstring id = {}, std::wstring friendly = {})
        : name(name), id(id), friendly(friendly) {}
    std::string name;
    std::wstring id, friendly;    // a device's: an empty id is handed out as none, an empty name as no value
    std::vector<Fake*> devices;   // the enumerator's (the first is the default) or the list's
    const Fake* opener = nullptr; // the store's device
    float peak = 0.0f;
    int references = 0;

    HRESULT Call(const std::string& method) { return Logged(name + " " + method); }
    template <class I> HRESULT Give(const std::string& method, Fake* fake, I** out)
    { return Hand(name + " " + method, fake, out); }
    COM(QueryInterface, REFIID, void**) { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { Call("Release"); return --references; }
    COM(EnumAudioEndpoints, EDataFlow flow, DWORD states, IMMDeviceCollection** out)
    {
        EXPECT_TRUE(flow == eCapture && states == DEVICE_STATE_ACTIVE);
        return Give("EnumAudioEndpoints", &List, out);
    }
    COM(GetDefaultAudioEndpoint, EDataFlow flow, ERole role, IMMDevice** out)
    {
        EXPECT_TRUE(flow == eCapture && role == eConsole);
        return Give("GetDefaultAudioEndpoint", devices.at(0), out);
    }
    COM(GetDevice, LPCWSTR wanted, IMMDevice** out)
    {
        Fake* known = nullptr;
        for (Fake* device : devices)
            known = device->id == wanted ? device : known;
        return Give("GetDevice " + Narrow(wanted), known, out);
    }
    COM(GetCount, UINT* count) { *count = static_cast<UINT>(devices.size()); return Call("GetCount"); }
    COM(Item, UINT i, IMMDevice** out) { return Give("Item " + std::to_string(i), devices.at(i), out); }
    COM(Activate, REFIID iid, DWORD context, PROPVARIANT* parameters, void** out)
    {
        EXPECT_TRUE(context == 0x17u && !parameters && (iid == MeterId || iid == __uuidof(IAudioClient)));
        if (iid == MeterId)
            return Give("Activate meter", &Meter, reinterpret_cast<IAudioMeterInformation**>(out));
        return Give("Activate client", &Client, reinterpret_cast<IAudioClient**>(out));
    }
    COM(OpenPropertyStore, DWORD access, IPropertyStore** out)
    {
        EXPECT_EQ(access, DWORD{STGM_READ});
        Store.opener = this;
        return Give("OpenPropertyStore", &Store, out);
    }
    COM(GetId, LPWSTR* out)
    {
        const HRESULT result = Call("GetId");
        *out = result == S_OK && !id.empty() ? id.data() : nullptr;
        return result;
    }
    COM(GetValue, REFPROPERTYKEY key, PROPVARIANT* value) // the text is given back with PropVariantClear
    {
        EXPECT_TRUE(key.fmtid == FriendlyNameSet && key.pid == 14);
        const std::size_t bytes = (opener->friendly.size() + 1) * sizeof(wchar_t);
        const HRESULT result = Call("GetValue");
        if (result == S_OK && bytes > 2) {
            value->vt = VT_LPWSTR;
            value->pwszVal = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
            std::memcpy(value->pwszVal, opener->friendly.c_str(), bytes);
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
    UNUSED(RegisterEndpointNotificationCallback, IMMNotificationClient*) UNUSED(GetState, DWORD*)
    UNUSED(UnregisterEndpointNotificationCallback, IMMNotificationClient*) UNUSED(GetCount, DWORD*)
    UNUSED(GetAt, DWORD, PROPERTYKEY*) UNUSED(SetValue, REFPROPERTYKEY, REFPROPVARIANT) UNUSED(Commit)
    UNUSED(GetBufferSize, UINT32*) UNUSED(GetStreamLatency, REFERENCE_TIME*)
    UNUSED(GetCurrentPadding, UINT32*)
    UNUSED(IsFormatSupported, AUDCLNT_SHAREMODE, const WAVEFORMATEX*, WAVEFORMATEX**) UNUSED(Reset)
    UNUSED(GetDevicePeriod, REFERENCE_TIME*, REFERENCE_TIME*) UNUSED(SetEventHandle, HANDLE)
    UNUSED(GetService, REFIID, void**) UNUSED(GetMeteringChannelCount, UINT*)
    UNUSED(QueryHardwareSupport, DWORD*)
    UNUSED(GetChannelsPeakValues, UINT32, float*)
};

Fake Enumerator{"enumerator"}, List{"collection"}, Store{"store"}, Client{"client"}, Meter{"meter"};
Fake Desk{"desk", L"{desk}", L"Desk Microphone"}, Headset{"headset", L"{headset}", L"Headset"};

HRESULT WINAPI FakeCoInitialize(LPVOID reserved)
{ const HRESULT result = Logged("CoInitialize"); ComUse += SUCCEEDED(result) && !reserved; return result; }
void WINAPI FakeCoUninitialize() { Logged("CoUninitialize"); --ComUse; }
HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    EXPECT_TRUE(clsid == __uuidof(MMDeviceEnumerator) && !outer && context == 0x17u &&
                iid == __uuidof(IMMDeviceEnumerator));
    return Hand("CoCreateInstance", &Enumerator, reinterpret_cast<IMMDeviceEnumerator**>(out));
}
void WINAPI FakeCoTaskMemFree(LPVOID block)
{
    if (block)
        Logged("CoTaskMemFree " + (block == &MixFormat ? "format" : Narrow(static_cast<wchar_t*>(block))));
}
ULONGLONG WINAPI FakeGetTickCount64() { return Now; }
void WINAPI FakeGetLocalTime(LPSYSTEMTIME time)
{ Logged("GetLocalTime"); *time = {2025, 3, 5, 7, 14, 5, 9, 0}; } // Friday 7 March 2025, 14:05:09

const Calls Opening = {"CoInitialize", "CoCreateInstance", "enumerator GetDefaultAudioEndpoint",
    "desk OpenPropertyStore", "store GetValue", "store Release", "desk Activate client",
    "client GetMixFormat", "client Initialize", "CoTaskMemFree format", "client Start",
    "desk Activate meter"};
const Calls Closing = {"meter Release", "client Stop", "client Release", "desk Release", "enumerator Release",
    "CoUninitialize"};
// clang-format on
const std::wstring Stamp = L"[2025-03-07 14:05:09] ";

// The members on an object created as the host creates it, and a machine whose default capture device
// is the desk microphone.
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
        // A definition without the members' entries: the link reports it makes are not tested here.
        InProcess::BuildState(R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n", "Author": "a"}, )"
                              R"("Actions": [], "Conditions": [], "Expressions": []}})");
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
    void ExpectNothingHeld(const std::string& label)
    {
        for (const Fake* fake : {&Enumerator, &List, &Store, &Client, &Meter, &Desk, &Headset})
            EXPECT_EQ(fake->references, 0) << label << ": " << fake->name;
        EXPECT_TRUE(ComUse == 0 && !MicEnumerator && !MicDevice && !MicAudioClient && !MicMeter) << label;
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
    Capture(0.5f);
    EXPECT_EQ(Take(), Opening);
    EXPECT_TRUE(ext->DVMicActiveCheq() && ext->DVMicVol() == 0.0f) << "no sample within the delay";
    EXPECT_STREQ(ext->DVMicCNameStr(), L"Desk Microphone");
    const std::pair<int, bool> steps[] = {{1099, 0}, {1100, 1}, {1199, 0}, {1200, 1}, {1200, 0}, {5000, 1}};
    for (auto [now, samples] : steps) {
        Now = now;
        Capture(0.25f);
        EXPECT_EQ(Take(), samples ? Calls{"meter GetPeakValue"} : Calls{}) << now;
    }
    ext->SetCurrentMicrophone(L"{headset}"); // closes, and the next capture opens the chosen device
    ext->RefreshMicrophone();                // while closed: nothing
    EXPECT_EQ(Take(), Closing);
    ExpectNothingHeld("closed");
    ext->SetMicrophoneCaptureDelay(-5);
    Capture(0.75f);
    EXPECT_TRUE(ext->DVMicDelay() == 0 && ext->DVMicVol() == 0.75f) << "with no delay the opening samples";
    EXPECT_EQ(Take().at(2), "enumerator GetDevice {headset}");
    EXPECT_EQ(std::wstring(ext->DVMicCNameStr()) + ext->DVMicCIDStr(), L"Headset{headset}");
    ext->SetCurrentMicrophone(L"{unplugged}");
    Capture(0.0f);
    EXPECT_EQ(ext->Error(), Stamp + L"(-203) - Failed to get default microphone.");
    ExpectNothingHeld("unplugged");
}

TEST_F(Microphone, EachFailingOpeningStepIsUndoneInReverseOrderAndRecorded)
{
    const std::string device = "desk Release", enumerator = "enumerator Release", com = "CoUninitialize";
    // clang-format off
    const std::tuple<const char*, const wchar_t*, Calls> steps[] = {
        {"CoInitialize", L"(-201) - COM: Failed to initialize.", {}},
        {"CoCreateInstance", L"(-202) - Failed to create MMDeviceEnumerator instance.", {com}},
        {"enumerator GetDefaultAudioEndpoint", L"(-203) - Failed to get default microphone.",
         {enumerator, com}},
        {"desk Activate client", L"(-204) - Failed to activate IAudioClient.", {device, enumerator, com}},
        {"client GetMixFormat", L"(-205) - Failed to get audio mixing format.",
         {"client Release", device, enumerator, com}},
        {"client Initialize", L"(-206) - Failed to initialize iAudioClient.",
         {"CoTaskMemFree format", "client Release", device, enumerator, com}},
        {"client Start", L"(-207) - Failed to launch audio client.",
         {"client Release", device, enumerator, com}},
        {"desk Activate meter", L"(-208) - Failed to activate IAudioMeterInformation for volume reading.",
         {"client Stop", "client Release", device, enumerator, com}}};
    // clang-format on
    for (const auto& [step, error, undone] : steps) {
        Results = {{step, E_FAIL}};
        Capture(0.5f);
        Calls expected(Opening.begin(), std::find(Opening.begin(), Opening.end(), step) + 1);
        expected.insert(expected.end(), undone.begin(), undone.end());
        expected.push_back("GetLocalTime");
        EXPECT_EQ(Take(), expected) << step;
        EXPECT_EQ(ext->Error(), Stamp + error) << step;
        EXPECT_EQ(ext->DVMicActiveCheq(), 0) << step;
        ExpectNothingHeld(step);
        Results.clear();
        Capture(0.5f);
        EXPECT_EQ(Take(), Opening) << step << ": the next capture starts again";
        ext->RefreshMicrophone();
        Take();
    }
}

TEST_F(Microphone, WindowMeasuresFollowCompleteWindowsOnceAMeasureWasRead)
{
    ext->SetMicrophoneCaptureDelay(0);
    ext->SetMicrophoneFrequencySamples(3);
    for (float peak : {0.2f, 0.6f, 0.4f})
        Capture(peak);
    EXPECT_TRUE(ext->DVMicVoldB() != 0.0f && ext->DVMicFreqCheck() == 0) << "the level is no window measure";
    EXPECT_EQ(ext->DVMicFraqHigh(), 0.0f) << "a window completed before a measure was read is not measured";
    EXPECT_EQ(ext->DVMicFreqCheck(), 1);
    for (float peak : {1.0f, 0.01f})
        Capture(peak);
    EXPECT_EQ(ext->DVMicFraqHigh(), 0.0f) << "the window is not complete yet";
    Capture(0.1f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 1.0f && ext->DVMicFraqLow() == 0.01f && ext->DVMicVoldB() == -20.0f);
    EXPECT_TRUE(ext->DVMicVolHighdB() == 0.0f && ext->DVMicVolLowdB() == -40.0f);
    EXPECT_FLOAT_EQ(ext->DVMicFraqAvg(), 0.37f);
    EXPECT_FLOAT_EQ(ext->DVMicVolAvgdB(), -8.635966f);
    // A failed read takes part as -209, and the mean is given as an absolute value.
    Capture(0.0f);
    EXPECT_EQ(ext->DVMicVoldB(), 0.0f);
    Results = {{"meter GetPeakValue", E_FAIL}};
    Capture(0.5f);
    EXPECT_EQ(ext->Error(), Stamp + L"(-209) - Failed to retrieve peak value from microphone.");
    EXPECT_TRUE(ext->DVMicVol() == -209.0f && ext->DVMicVoldB() == -209.0f) << ext->DVMicVol();
    Results.clear();
    Capture(0.2f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.2f && ext->DVMicVolLowdB() == -209.0f);
    EXPECT_FLOAT_EQ(ext->DVMicFraqAvg(), 69.6f);
    ext->SetMicrophoneFrequencySamples(1);
    Capture(0.7f);
    EXPECT_TRUE(ext->DVMicFraqHigh() == 0.7f && ext->DVMicFraqLow() == 0.7f && ext->DVMicFraqAvg() == 0.7f);
}

TEST_F(Microphone, WindowSizesBeyondTheLargestAreRefusedAndRecorded)
{
    const std::wstring refused =
        Stamp + L"(-210) - Failed to set the sample window: at most 1048576 samples.";
    const int largest = 1048576, none = 0; // the size kept, or none when refused
    const std::pair<int, int> cases[] = {{0, 1},
                                         {-7, 1},
                                         {INT_MIN, 1},
                                         {largest, largest},
                                         {largest + 1, none},
                                         {507560658, none},
                                         {1073741823, none},
                                         {INT_MAX, none},
                                         {3, 3}};
    for (auto [requested, size] : cases) {
        LastError.clear();
        ext->SetMicrophoneFrequencySamples(requested);
        EXPECT_EQ(ext->DVMicSampleSize(), size ? size : largest) << requested;
        EXPECT_EQ(MicSamples.size(), static_cast<std::size_t>(ext->DVMicSampleSize())) << requested;
        EXPECT_EQ(ext->Error(), size ? L"" : refused) << requested;
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
    // Listed nameless: a device without a property store, one without a name, one whose name is too long
    // for the memory left. Not listed: one that cannot be had, two without an id, and one whose id is too
    // long for the memory left.
    Fake alpha{"alpha", L"{a}", L"Alpha"}, lost{"lost", L"{l}"}, anonymous{"anonymous", L"{x}"},
        blank{"blank"}, unnamed{"unnamed", L"{u}"}, plain{"plain", L"{p}"},
        wordy{"wordy", std::wstring(1 << 20, L'w')},
        talkative{"talkative", L"{t}", std::wstring(1 << 20, L't')};
    const std::vector<Fake*> devices = {&alpha, &lost,  &anonymous, &unnamed,
                                        &plain, &wordy, &talkative, &blank};
    List.devices = devices;
    Results = {
        {"collection Item 1", E_FAIL}, {"anonymous GetId", E_FAIL}, {"unnamed OpenPropertyStore", E_FAIL}};
    MicDevices = {{L"{old}", L"Old"}};
    Take();
    {
        const TestHost::HeapLimit full(GetModuleHandleW(nullptr), 1 << 20);
        ext->RefreshMicrophoneList();
    }
    EXPECT_EQ(MicDevices,
              (decltype(MicDevices){{L"{a}", L"Alpha"}, {L"{u}", L""}, {L"{p}", L""}, {L"{t}", L""}}));
    EXPECT_EQ(std::wstring(ext->DVMicIDStr(3)) + ext->DVMicNameStr(0) + ext->DVMicIDStr(4) +
                  ext->DVMicNameStr(-1),
              L"{t}Alpha");
    EXPECT_TRUE(ext->DVMicCount() == 4 && !*ext->DVMicIDStr(-1) && !*ext->DVMicNameStr(4));
    Calls freed; // every id handed out is given back; then the list, the enumerator and COM in that order
    std::copy_if(Log.begin(), Log.end(), std::back_inserter(freed),
                 [](const std::string& call) { return call.rfind("CoTaskMemFree", 0) == 0; });
    freed.insert(freed.end(), Log.end() - 4, Log.end());
    EXPECT_EQ(freed, (Calls{"CoTaskMemFree {a}", "CoTaskMemFree {u}", "CoTaskMemFree {p}",
                            "CoTaskMemFree wwwwwwwwwwwwwwww", "CoTaskMemFree {t}", "blank Release",
                            "collection Release", "enumerator Release", "CoUninitialize"}));
    for (const Fake* device : devices)
        EXPECT_EQ(device->references, 0) << device->name;
    // Any COM failure while listing leaves the list empty, and is not recorded.
    for (const char* failing :
         {"CoInitialize", "CoCreateInstance", "enumerator EnumAudioEndpoints", "collection GetCount"}) {
        Results = {{failing, E_FAIL}};
        ext->RefreshMicrophoneList();
        EXPECT_TRUE(ext->DVMicCount() == 0 && List.references == 0) << failing;
    }
    EXPECT_TRUE(ext->DVMicActiveCheq() && Enumerator.references == 1 && Desk.references == 1 && ComUse == 1);
    EXPECT_STREQ(ext->Error(), L"");
}

} // namespace
