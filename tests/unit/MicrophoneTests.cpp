// Microphone capture against scripted COM objects. The library reaches COM creation, the clock and the
// local time only through the seam, and everything else through the interfaces it is handed, so the
// fakes below see, log and script every call.
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
#include <cmath>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

// Written out here rather than taken from headers, so that a wrong id in our own declarations shows.
const GUID EnumeratorClass = {0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
const GUID EnumeratorInterface = {
    0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
const GUID AudioClientInterface = {
    0x1cb9ad4c, 0xdbfa, 0x4c32, {0xb1, 0x78, 0xc2, 0xf5, 0x68, 0xa7, 0x03, 0xb2}};
const GUID MeterInterface = {0xc02216f6, 0x8c67, 0x4b5b, {0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00, 0x64}};
const PROPERTYKEY FriendlyNameKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 14};
constexpr HRESULT NotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
constexpr DWORD AllContexts = 0x17;

// Every call into the seam and the fakes, in order.
std::vector<std::string> Calls;

// The case of a table being run. The fakes of the seam add it to their failure messages: the library
// calls them, so it cannot be passed to them.
std::string RunningCase;

class NamedCase {
public:
    explicit NamedCase(std::string name) { RunningCase = std::move(name); }
    ~NamedCase() { RunningCase.clear(); }
    NamedCase(const NamedCase&) = delete;
    NamedCase& operator=(const NamedCase&) = delete;
};

std::vector<std::string> TakeCalls()
{
    std::vector<std::string> taken;
    taken.swap(Calls);
    return taken;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

wchar_t* TaskText(const std::wstring& text)
{
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
    return copy;
}

// Blocks given back with CoTaskMemFree, in order. The heap reuses addresses, so a block counts as
// freed only when it shows up after the moment it was handed out.
std::vector<void*> Frees;

struct Handed {
    void* block;
    std::size_t mark; // Frees.size() when the block was handed out
};

Handed HandedNow(void* block) { return {block, Frees.size()}; }

bool FreedSince(const Handed& handed)
{
    return std::find(Frees.begin() + static_cast<std::ptrdiff_t>(handed.mark), Frees.end(), handed.block) !=
           Frees.end();
}

class FreeSpy final : public IMallocSpy {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    SIZE_T STDMETHODCALLTYPE PreAlloc(SIZE_T size) override { return size; }
    void* STDMETHODCALLTYPE PostAlloc(void* actual) override { return actual; }
    void* STDMETHODCALLTYPE PreFree(void* request, BOOL) override
    {
        Frees.push_back(request);
        return request;
    }
    void STDMETHODCALLTYPE PostFree(BOOL) override {}
    SIZE_T STDMETHODCALLTYPE PreRealloc(void* request, SIZE_T size, void** newRequest, BOOL) override
    {
        *newRequest = request;
        return size;
    }
    void* STDMETHODCALLTYPE PostRealloc(void* actual, BOOL) override { return actual; }
    void* STDMETHODCALLTYPE PreGetSize(void* request, BOOL) override { return request; }
    SIZE_T STDMETHODCALLTYPE PostGetSize(SIZE_T size, BOOL) override { return size; }
    void* STDMETHODCALLTYPE PreDidAlloc(void* request, BOOL) override { return request; }
    int STDMETHODCALLTYPE PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    void STDMETHODCALLTYPE PreHeapMinimize() override {}
    void STDMETHODCALLTYPE PostHeapMinimize() override {}
};

// The fakes belong to the test: Release only counts and logs. References counts what the library holds.
template <class Interface> class Counted : public Interface {
public:
    explicit Counted(std::string name) : Name(std::move(name)) {}
    const std::string Name;
    int References = 0;

    template <class Out> HRESULT HandOut(Out** out)
    {
        ++References;
        *out = this;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++References; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        Calls.push_back("Release " + Name);
        return --References;
    }
};

class FakeMeter final : public Counted<IAudioMeterInformation> {
public:
    FakeMeter() : Counted("meter") {}
    float Peak = 0.0f;
    HRESULT PeakResult = S_OK;

    HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) override
    {
        Calls.push_back("GetPeakValue");
        if (FAILED(PeakResult))
            return PeakResult;
        *peak = Peak;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT32, float*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD*) override { return E_NOTIMPL; }
};

class FakeClient final : public Counted<IAudioClient> {
public:
    FakeClient() : Counted("client") {}
    HRESULT MixFormatResult = S_OK;
    HRESULT InitializeResult = S_OK;
    HRESULT StartResult = S_OK;
    WAVEFORMATEX* MixFormat = nullptr; // the format handed out last
    Handed MixFormatHanded{};
    // What Initialize was given.
    AUDCLNT_SHAREMODE Mode = AUDCLNT_SHAREMODE_EXCLUSIVE;
    DWORD Flags = ~0u;
    REFERENCE_TIME Duration = -1;
    REFERENCE_TIME Periodicity = -1;
    const WAVEFORMATEX* Format = nullptr;
    LPCGUID Session = &GUID_NULL;

    HRESULT STDMETHODCALLTYPE Initialize(AUDCLNT_SHAREMODE mode, DWORD flags, REFERENCE_TIME duration,
                                         REFERENCE_TIME periodicity, const WAVEFORMATEX* format,
                                         LPCGUID session) override
    {
        Calls.push_back("Initialize");
        Mode = mode;
        Flags = flags;
        Duration = duration;
        Periodicity = periodicity;
        Format = format;
        Session = session;
        return InitializeResult;
    }
    HRESULT STDMETHODCALLTYPE GetMixFormat(WAVEFORMATEX** format) override
    {
        Calls.push_back("GetMixFormat");
        if (FAILED(MixFormatResult)) {
            *format = nullptr;
            return MixFormatResult;
        }
        MixFormat = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
        *MixFormat = {WAVE_FORMAT_IEEE_FLOAT, 2, 48000, 48000 * 8, 8, 32, 0};
        *format = MixFormat;
        MixFormatHanded = HandedNow(MixFormat);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Start() override
    {
        Calls.push_back("Start");
        return StartResult;
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        Calls.push_back("Stop");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferSize(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamLatency(REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentPadding(UINT32*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(AUDCLNT_SHAREMODE, const WAVEFORMATEX*,
                                                WAVEFORMATEX**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDevicePeriod(REFERENCE_TIME*, REFERENCE_TIME*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetEventHandle(HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetService(REFIID, void**) override { return E_NOTIMPL; }
};

class FakeStore final : public Counted<IPropertyStore> {
public:
    explicit FakeStore(std::wstring name) : Counted("store"), Name(std::move(name)) {}
    std::wstring Name;
    HRESULT ValueResult = S_OK;
    VARTYPE Type = VT_LPWSTR; // anything else hands out a number
    std::vector<Handed> NameTexts;

    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        Calls.push_back("GetValue");
        if (!IsEqualPropertyKey(key, FriendlyNameKey))
            return E_INVALIDARG;
        if (FAILED(ValueResult))
            return ValueResult;
        if (Type == VT_LPWSTR) {
            value->vt = VT_LPWSTR;
            value->pwszVal = TaskText(Name);
            NameTexts.push_back(HandedNow(value->pwszVal));
        } else {
            value->vt = VT_UI4;
            value->ulVal = 7;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit() override { return E_NOTIMPL; }
};

class FakeDevice final : public Counted<IMMDevice> {
public:
    FakeDevice(std::wstring id, std::wstring name) : Counted("device " + Narrow(id)), Id(id), Store(name) {}
    std::wstring Id;
    HRESULT IdResult = S_OK;
    bool NullId = false; // GetId succeeds but gives no text
    bool HasStore = true;
    HRESULT ClientResult = S_OK;
    HRESULT MeterResult = S_OK;
    FakeStore Store;
    FakeClient Client;
    FakeMeter Meter;
    DWORD StoreAccess = ~0u;
    std::vector<DWORD> ActivateContexts;
    std::vector<PROPVARIANT*> ActivateParameters;
    std::vector<Handed> IdTexts;

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT* parameters,
                                       void** out) override
    {
        ActivateContexts.push_back(context);
        ActivateParameters.push_back(parameters);
        *out = nullptr;
        if (IsEqualIID(iid, AudioClientInterface)) {
            Calls.push_back("Activate IAudioClient");
            if (FAILED(ClientResult))
                return ClientResult;
            ++Client.References;
            *out = static_cast<IAudioClient*>(&Client);
            return S_OK;
        }
        if (IsEqualIID(iid, MeterInterface)) {
            Calls.push_back("Activate IAudioMeterInformation");
            if (FAILED(MeterResult))
                return MeterResult;
            ++Meter.References;
            *out = static_cast<IAudioMeterInformation*>(&Meter);
            return S_OK;
        }
        Calls.push_back("Activate unknown interface");
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override
    {
        Calls.push_back("OpenPropertyStore");
        StoreAccess = access;
        if (!HasStore) {
            *store = nullptr;
            return E_ACCESSDENIED;
        }
        return Store.HandOut(store);
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override
    {
        Calls.push_back("GetId");
        if (FAILED(IdResult)) {
            *id = nullptr;
            return IdResult;
        }
        *id = NullId ? nullptr : TaskText(Id);
        if (*id)
            IdTexts.push_back(HandedNow(*id));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD*) override { return E_NOTIMPL; }

    bool NothingHeld() const
    {
        return References == 0 && Store.References == 0 && Client.References == 0 && Meter.References == 0;
    }
};

class FakeCollection final : public Counted<IMMDeviceCollection> {
public:
    FakeCollection() : Counted("collection") {}
    std::vector<FakeDevice*> Devices;
    std::set<UINT> FailingItems;
    HRESULT CountResult = S_OK;

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override
    {
        Calls.push_back("GetCount");
        if (FAILED(CountResult))
            return CountResult;
        *count = static_cast<UINT>(Devices.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override
    {
        Calls.push_back("Item " + std::to_string(index));
        if (index >= Devices.size() || FailingItems.count(index)) {
            *device = nullptr;
            return E_INVALIDARG;
        }
        return Devices[index]->HandOut(device);
    }
};

class FakeEnumerator final : public Counted<IMMDeviceEnumerator> {
public:
    FakeEnumerator() : Counted("enumerator") {}
    FakeDevice* Default = nullptr;
    std::vector<FakeDevice*> Known; // reachable through GetDevice
    FakeCollection Collection;
    HRESULT EnumResult = S_OK;
    EDataFlow DefaultFlow = eAll;
    ERole DefaultRole = eCommunications;
    EDataFlow ListFlow = eAll;
    DWORD ListStates = 0;

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD states,
                                                 IMMDeviceCollection** out) override
    {
        Calls.push_back("EnumAudioEndpoints");
        ListFlow = flow;
        ListStates = states;
        if (FAILED(EnumResult)) {
            *out = nullptr;
            return EnumResult;
        }
        return Collection.HandOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice** out) override
    {
        Calls.push_back("GetDefaultAudioEndpoint");
        DefaultFlow = flow;
        DefaultRole = role;
        if (!Default) {
            *out = nullptr;
            return NotFound;
        }
        return Default->HandOut(out);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** out) override
    {
        Calls.push_back("GetDevice " + Narrow(id));
        for (FakeDevice* device : Known)
            if (device->Id == id)
                return device->HandOut(out);
        *out = nullptr;
        return NotFound;
    }
    HRESULT STDMETHODCALLTYPE RegisterEndpointNotificationCallback(IMMNotificationClient*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnregisterEndpointNotificationCallback(IMMNotificationClient*) override
    {
        return E_NOTIMPL;
    }
};

// The machine the seam pretends to be.
struct Machine {
    FakeEnumerator Enumerator;
    FakeDevice Desk{L"{0.0.1.00000000}.{desk}", L"Desk Microphone"};
    FakeDevice Headset{L"{0.0.1.00000000}.{headset}", L"Headset"};
    HRESULT CoInitializeResult = S_OK;
    HRESULT CreateResult = S_OK;
    int Initialized = 0; // successful CoInitialize calls
    int Uninitialized = 0;
    ULONGLONG Now = 50000;
    SYSTEMTIME LocalTime = {2025, 3, 5, 7, 14, 5, 9, 0}; // Friday 7 March 2025, 14:05:09
};
Machine* TheMachine = nullptr;

HRESULT WINAPI FakeCoInitialize(LPVOID reserved)
{
    Calls.push_back("CoInitialize");
    EXPECT_EQ(reserved, nullptr) << RunningCase;
    if (SUCCEEDED(TheMachine->CoInitializeResult))
        ++TheMachine->Initialized;
    return TheMachine->CoInitializeResult;
}

void WINAPI FakeCoUninitialize()
{
    Calls.push_back("CoUninitialize");
    ++TheMachine->Uninitialized;
}

HRESULT WINAPI FakeCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* out)
{
    Calls.push_back("CoCreateInstance");
    EXPECT_TRUE(IsEqualCLSID(clsid, EnumeratorClass)) << RunningCase;
    EXPECT_EQ(outer, nullptr) << RunningCase;
    EXPECT_EQ(context, AllContexts) << RunningCase;
    EXPECT_TRUE(IsEqualIID(iid, EnumeratorInterface)) << RunningCase;
    *out = nullptr;
    if (FAILED(TheMachine->CreateResult))
        return TheMachine->CreateResult;
    ++TheMachine->Enumerator.References;
    *out = static_cast<IMMDeviceEnumerator*>(&TheMachine->Enumerator);
    return S_OK;
}

ULONGLONG WINAPI FakeGetTickCount64() { return TheMachine->Now; }

void WINAPI FakeGetLocalTime(LPSYSTEMTIME time)
{
    Calls.push_back("GetLocalTime");
    *time = TheMachine->LocalTime;
}

// Back to the state the library starts in. A fresh process has it already; this keeps a run of several
// cases in one process honest.
void ResetMicrophoneGlobals()
{
    MicEnumerator = nullptr;
    MicDevice = nullptr;
    MicAudioClient = nullptr;
    MicMeter = nullptr;
    MicActive = false;
    MicDeviceId.clear();
    MicDeviceName.clear();
    MicDevices.clear();
    MicDelay = 100;
    MicSampleSize = 10;
    MicSamples.clear();
    MicSampleIndex = 0;
    MicLastSampleTime = 0;
    MicStatsEnabled = false;
    MicVolume = 0.0f;
    MicVolumeAvg = 0.0f;
    MicVolumeHigh = 0.0f;
    MicVolumeLow = 0.0f;
    LastError.clear();
}

const std::vector<std::string> OpeningCalls = {
    "CoInitialize",         "CoCreateInstance", "GetDefaultAudioEndpoint", "OpenPropertyStore",
    "GetValue",             "Release store",    "Activate IAudioClient",   "GetMixFormat",
    "Initialize",           "Start",            "Activate IAudioMeterInformation",
};
const std::vector<std::string> ClosingCalls = {
    "Release meter", "Stop", "Release client", "Release device {0.0.1.00000000}.{desk}",
    "Release enumerator", "CoUninitialize",
};

std::vector<std::string> Join(std::vector<std::string> first, const std::vector<std::string>& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class MicrophoneCapture : public testing::Test {
protected:
    void SetUp() override
    {
        Saved = Host::Seam;
        Host::Seam.CoInitialize = FakeCoInitialize;
        Host::Seam.CoUninitialize = FakeCoUninitialize;
        Host::Seam.CoCreateInstance = FakeCoCreateInstance;
        Host::Seam.GetTickCount64 = FakeGetTickCount64;
        Host::Seam.GetLocalTime = FakeGetLocalTime;
        Fresh();
        // Registered once for the process and never revoked: revoking fails while a spied block is
        // still allocated, which would spoil every later case of a run in one process.
        static FreeSpy spy;
        static const HRESULT registered = CoRegisterMallocSpy(&spy);
        ASSERT_EQ(registered, S_OK);
    }
    void TearDown() override
    {
        Host::Seam = Saved;
        TheMachine = nullptr;
    }

    // A new machine with the desk microphone as default, and the library as after loading.
    void Fresh()
    {
        Rig = std::make_unique<Machine>();
        TheMachine = Rig.get();
        Rig->Enumerator.Default = &Rig->Desk;
        Rig->Enumerator.Known = {&Rig->Desk, &Rig->Headset};
        ResetMicrophoneGlobals();
        Calls.clear();
        Frees.clear();
    }

    // The label names the case of a table, for the failure messages.
    void ExpectNothingHeld(const std::string& label = {})
    {
        EXPECT_EQ(Rig->Enumerator.References, 0) << label;
        EXPECT_EQ(Rig->Enumerator.Collection.References, 0) << label;
        EXPECT_TRUE(Rig->Desk.NothingHeld()) << label;
        EXPECT_TRUE(Rig->Headset.NothingHeld()) << label;
        EXPECT_EQ(Rig->Uninitialized, Rig->Initialized) << label;
        EXPECT_EQ(MicEnumerator, nullptr) << label;
        EXPECT_EQ(MicDevice, nullptr) << label;
        EXPECT_EQ(MicAudioClient, nullptr) << label;
        EXPECT_EQ(MicMeter, nullptr) << label;
    }

    // Opens the capture on the desk microphone with no sample taken (default delay).
    void Open(const std::string& label = {})
    {
        Mic::Capture();
        ASSERT_TRUE(MicActive) << label;
        Calls.clear();
    }

    // One capture a full delay after the last, which always samples.
    void SampleAfterDelay(float peak)
    {
        Rig->Now += static_cast<ULONGLONG>(MicDelay);
        Rig->Desk.Meter.Peak = peak;
        Mic::Capture();
    }

    std::unique_ptr<Machine> Rig;
    Host::SeamTable Saved{};
};

TEST_F(MicrophoneCapture, FirstCaptureOpensTheDefaultDeviceAndTakesNoSampleWithinTheDefaultDelay)
{
    Rig->Now = 7000;
    Rig->Desk.Meter.Peak = 0.5f;
    Mic::Capture();

    EXPECT_EQ(TakeCalls(), OpeningCalls);
    EXPECT_TRUE(MicActive);
    EXPECT_EQ(MicEnumerator, static_cast<IMMDeviceEnumerator*>(&Rig->Enumerator));
    EXPECT_EQ(MicDevice, static_cast<IMMDevice*>(&Rig->Desk));
    EXPECT_EQ(MicAudioClient, static_cast<IAudioClient*>(&Rig->Desk.Client));
    EXPECT_EQ(MicMeter, static_cast<IAudioMeterInformation*>(&Rig->Desk.Meter));
    EXPECT_EQ(Rig->Enumerator.DefaultFlow, eCapture);
    EXPECT_EQ(Rig->Enumerator.DefaultRole, eConsole);
    EXPECT_EQ(Rig->Desk.StoreAccess, static_cast<DWORD>(STGM_READ));
    EXPECT_EQ(Rig->Desk.ActivateContexts, (std::vector<DWORD>{AllContexts, AllContexts}));
    EXPECT_EQ(Rig->Desk.ActivateParameters, (std::vector<PROPVARIANT*>{nullptr, nullptr}));

    const FakeClient& client = Rig->Desk.Client;
    EXPECT_EQ(client.Mode, AUDCLNT_SHAREMODE_SHARED);
    EXPECT_EQ(client.Flags, 0u);
    EXPECT_EQ(client.Duration, 10000000);
    EXPECT_EQ(client.Periodicity, 0);
    EXPECT_EQ(client.Format, client.MixFormat);
    EXPECT_EQ(client.Session, nullptr);
    EXPECT_TRUE(FreedSince(client.MixFormatHanded));
    EXPECT_TRUE(FreedSince(Rig->Desk.Store.NameTexts.at(0)));

    EXPECT_EQ(MicDeviceName, L"Desk Microphone");
    EXPECT_EQ(MicSamples, std::vector<float>(10, 0.0f));
    EXPECT_EQ(MicLastSampleTime, 7000u);
    EXPECT_EQ(MicVolume, 0.0f);
    EXPECT_EQ(LastError, L"");
    EXPECT_EQ(Rig->Initialized, 1);
    EXPECT_EQ(Rig->Uninitialized, 0);
}

TEST_F(MicrophoneCapture, WithNoDelayTheFirstCaptureAlsoTakesOneSample)
{
    Mic::SetDelay(0);
    Rig->Desk.Meter.Peak = 0.25f;
    Mic::Capture();

    EXPECT_EQ(TakeCalls(), Join(OpeningCalls, {"GetPeakValue"}));
    EXPECT_EQ(MicVolume, 0.25f);
    EXPECT_EQ(MicSamples[0], 0.25f);
    EXPECT_EQ(MicSampleIndex, 1u);
}

TEST_F(MicrophoneCapture, SamplesAtMostOncePerDelayCountedFromTheLastSample)
{
    Rig->Now = 1000;
    Open();
    struct Step {
        ULONGLONG now;
        bool samples;
    };
    const Step steps[] = {{1000, false}, {1099, false}, {1100, true}, {1150, false},
                          {1199, false}, {1200, true},  {1200, false}, {5000, true}};
    for (const Step& step : steps) {
        const std::string label = "now " + std::to_string(step.now);
        const NamedCase named(label);
        Rig->Now = step.now;
        Mic::Capture();
        const std::vector<std::string> expected =
            step.samples ? std::vector<std::string>{"GetPeakValue"} : std::vector<std::string>{};
        EXPECT_EQ(TakeCalls(), expected) << label;
    }
    EXPECT_EQ(MicLastSampleTime, 5000u);
}

TEST_F(MicrophoneCapture, EachFailedOpeningStepIsUndoneAndRecorded)
{
    struct Case {
        const char* step;
        void (*fail)(Machine&);
        const wchar_t* error;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"CoInitialize", [](Machine& m) { m.CoInitializeResult = RPC_E_CHANGED_MODE; },
         L"[2025-03-07 14:05:09] (-201) - COM: Failed to initialize.", {"CoInitialize", "GetLocalTime"}},
        {"CoCreateInstance", [](Machine& m) { m.CreateResult = REGDB_E_CLASSNOTREG; },
         L"[2025-03-07 14:05:09] (-202) - Failed to create MMDeviceEnumerator instance.",
         {"CoInitialize", "CoCreateInstance", "CoUninitialize", "GetLocalTime"}},
        {"GetDefaultAudioEndpoint", [](Machine& m) { m.Enumerator.Default = nullptr; },
         L"[2025-03-07 14:05:09] (-203) - Failed to get default microphone.",
         {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint", "Release enumerator",
          "CoUninitialize", "GetLocalTime"}},
        {"GetDevice", [](Machine&) { MicDeviceId = L"{no such device}"; },
         L"[2025-03-07 14:05:09] (-203) - Failed to get default microphone.",
         {"CoInitialize", "CoCreateInstance", "GetDevice {no such device}", "Release enumerator",
          "CoUninitialize", "GetLocalTime"}},
        {"Activate IAudioClient", [](Machine& m) { m.Desk.ClientResult = E_OUTOFMEMORY; },
         L"[2025-03-07 14:05:09] (-204) - Failed to activate IAudioClient.",
         {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint", "OpenPropertyStore", "GetValue",
          "Release store", "Activate IAudioClient", "Release device {0.0.1.00000000}.{desk}",
          "Release enumerator", "CoUninitialize", "GetLocalTime"}},
        {"GetMixFormat", [](Machine& m) { m.Desk.Client.MixFormatResult = AUDCLNT_E_DEVICE_INVALIDATED; },
         L"[2025-03-07 14:05:09] (-205) - Failed to get audio mixing format.",
         {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint", "OpenPropertyStore", "GetValue",
          "Release store", "Activate IAudioClient", "GetMixFormat", "Release client",
          "Release device {0.0.1.00000000}.{desk}", "Release enumerator", "CoUninitialize", "GetLocalTime"}},
        {"Initialize", [](Machine& m) { m.Desk.Client.InitializeResult = AUDCLNT_E_UNSUPPORTED_FORMAT; },
         L"[2025-03-07 14:05:09] (-206) - Failed to initialize iAudioClient.",
         {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint", "OpenPropertyStore", "GetValue",
          "Release store", "Activate IAudioClient", "GetMixFormat", "Initialize", "Release client",
          "Release device {0.0.1.00000000}.{desk}", "Release enumerator", "CoUninitialize", "GetLocalTime"}},
        {"Start", [](Machine& m) { m.Desk.Client.StartResult = AUDCLNT_E_NOT_INITIALIZED; },
         L"[2025-03-07 14:05:09] (-207) - Failed to launch audio client.",
         {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint", "OpenPropertyStore", "GetValue",
          "Release store", "Activate IAudioClient", "GetMixFormat", "Initialize", "Start", "Release client",
          "Release device {0.0.1.00000000}.{desk}", "Release enumerator", "CoUninitialize", "GetLocalTime"}},
        {"Activate IAudioMeterInformation", [](Machine& m) { m.Desk.MeterResult = E_NOINTERFACE; },
         L"[2025-03-07 14:05:09] (-208) - Failed to activate IAudioMeterInformation for volume reading.",
         Join(OpeningCalls, {"Stop", "Release client", "Release device {0.0.1.00000000}.{desk}",
                             "Release enumerator", "CoUninitialize", "GetLocalTime"})},
    };
    for (const Case& c : cases) {
        const NamedCase named(c.step);
        Fresh();
        c.fail(*Rig);
        Mic::SetDelay(0);
        Mic::Capture();

        EXPECT_EQ(TakeCalls(), c.calls) << c.step;
        EXPECT_EQ(LastError, c.error) << c.step;
        EXPECT_FALSE(MicActive) << c.step;
        ExpectNothingHeld(c.step);
        EXPECT_EQ(MicVolume, 0.0f) << c.step;

        // The next capture starts again from the beginning.
        Rig->CoInitializeResult = S_OK;
        Rig->CreateResult = S_OK;
        Rig->Enumerator.Default = &Rig->Desk;
        Rig->Desk.ClientResult = S_OK;
        Rig->Desk.MeterResult = S_OK;
        Rig->Desk.Client.MixFormatResult = S_OK;
        Rig->Desk.Client.InitializeResult = S_OK;
        Rig->Desk.Client.StartResult = S_OK;
        MicDeviceId.clear();
        Rig->Desk.Meter.Peak = 0.5f;
        Mic::Capture();
        EXPECT_EQ(TakeCalls(), Join(OpeningCalls, {"GetPeakValue"})) << c.step;
        EXPECT_TRUE(MicActive) << c.step;
        EXPECT_EQ(MicVolume, 0.5f) << c.step;
    }
}

TEST_F(MicrophoneCapture, MixFormatIsFreedWhenInitializeFails)
{
    Rig->Desk.Client.InitializeResult = E_INVALIDARG;
    Mic::Capture();
    ASSERT_NE(Rig->Desk.Client.MixFormat, nullptr);
    EXPECT_TRUE(FreedSince(Rig->Desk.Client.MixFormatHanded));
}

// S_FALSE says COM was already initialised on this thread: still a success that needs its pair.
TEST_F(MicrophoneCapture, AnAlreadyInitialisedThreadStillGetsItsCoUninitialize)
{
    Rig->CoInitializeResult = S_FALSE;
    Mic::Capture();
    EXPECT_TRUE(MicActive);
    Calls.clear();
    Mic::Close();
    EXPECT_EQ(TakeCalls(), ClosingCalls);
    ExpectNothingHeld();
}

TEST_F(MicrophoneCapture, FailedPeakReadRecordsMinus209AndKeepsTheCaptureOpen)
{
    Open();
    Rig->Desk.Meter.PeakResult = E_FAIL;
    SampleAfterDelay(0.5f);

    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{"GetPeakValue", "GetLocalTime"}));
    EXPECT_EQ(LastError, L"[2025-03-07 14:05:09] (-209) - Failed to retrieve peak value from microphone.");
    EXPECT_EQ(MicVolume, -209.0f);
    EXPECT_EQ(Mic::Decibels(MicVolume), -209.0f);
    EXPECT_EQ(MicSamples[0], -209.0f);
    EXPECT_TRUE(MicActive);

    // A later good read replaces the level; the error line stays.
    Rig->Desk.Meter.PeakResult = S_OK;
    SampleAfterDelay(0.75f);
    EXPECT_EQ(MicVolume, 0.75f);
    EXPECT_EQ(LastError, L"[2025-03-07 14:05:09] (-209) - Failed to retrieve peak value from microphone.");
}

TEST_F(MicrophoneCapture, WindowMeasuresChangeOnlyWhenAWindowCompletesAfterAStatisticWasRead)
{
    Mic::SetWindowSize(3);
    Open();

    // Not wanted yet: a complete window leaves the measures alone.
    for (float peak : {0.2f, 0.6f, 0.4f})
        SampleAfterDelay(peak);
    EXPECT_EQ(MicSampleIndex, 0u);
    EXPECT_EQ(MicVolumeHigh, 0.0f);
    EXPECT_EQ(MicVolumeLow, 0.0f);
    EXPECT_EQ(MicVolumeAvg, 0.0f);

    EXPECT_EQ(Mic::ReadStatistic(MicVolumeAvg), 0.0f);
    EXPECT_TRUE(MicStatsEnabled);

    SampleAfterDelay(0.5f);
    SampleAfterDelay(0.1f);
    EXPECT_EQ(MicVolumeHigh, 0.0f) << "the window is not complete yet";
    SampleAfterDelay(0.3f);
    EXPECT_EQ(MicVolumeHigh, 0.5f);
    EXPECT_EQ(MicVolumeLow, 0.1f);
    EXPECT_FLOAT_EQ(MicVolumeAvg, 0.3f);
    EXPECT_EQ(MicSampleIndex, 0u);

    // A failed read takes part as -209; the mean is given as an absolute value.
    SampleAfterDelay(0.5f);
    Rig->Desk.Meter.PeakResult = E_FAIL;
    SampleAfterDelay(0.0f);
    Rig->Desk.Meter.PeakResult = S_OK;
    SampleAfterDelay(0.2f);
    EXPECT_EQ(MicVolumeHigh, 0.5f);
    EXPECT_EQ(MicVolumeLow, -209.0f);
    EXPECT_FLOAT_EQ(MicVolumeAvg, 69.433334f);
}

TEST_F(MicrophoneCapture, WindowOfOneMeasuresEverySample)
{
    Mic::SetWindowSize(1);
    Mic::ReadStatistic(0.0f);
    Open();
    SampleAfterDelay(0.7f);
    EXPECT_EQ(MicVolumeHigh, 0.7f);
    EXPECT_EQ(MicVolumeLow, 0.7f);
    EXPECT_EQ(MicVolumeAvg, 0.7f);

    Rig->Desk.Meter.PeakResult = E_FAIL;
    SampleAfterDelay(0.0f);
    EXPECT_EQ(MicVolumeHigh, -209.0f);
    EXPECT_EQ(MicVolumeLow, -209.0f);
    EXPECT_EQ(MicVolumeAvg, 209.0f);
}

TEST_F(MicrophoneCapture, ClosingReleasesInOrderAndKeepsTheMeasures)
{
    Mic::Close();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{}) << "closing while closed does nothing";

    Mic::SetWindowSize(1);
    Mic::ReadStatistic(0.0f);
    Open();
    SampleAfterDelay(0.4f);
    Calls.clear();

    Mic::Close();
    EXPECT_EQ(TakeCalls(), ClosingCalls);
    EXPECT_FALSE(MicActive);
    ExpectNothingHeld();
    EXPECT_EQ(MicVolume, 0.4f);
    EXPECT_EQ(MicVolumeHigh, 0.4f);
    EXPECT_EQ(MicVolumeLow, 0.4f);
    EXPECT_EQ(MicVolumeAvg, 0.4f);
    EXPECT_EQ(MicSamples, std::vector<float>{0.4f});
    EXPECT_EQ(MicDeviceName, L"Desk Microphone");

    Mic::Close();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{}) << "a second close does nothing";

    // Reopening goes through every step again and restarts the delay.
    Rig->Now += 10;
    Mic::Capture();
    EXPECT_EQ(TakeCalls(), OpeningCalls);
    EXPECT_TRUE(MicActive);
    EXPECT_EQ(MicLastSampleTime, Rig->Now);
    Mic::Close();
    EXPECT_EQ(TakeCalls(), ClosingCalls);
    ExpectNothingHeld();
}

TEST_F(MicrophoneCapture, ChoosingADeviceClosesAndTheNextCaptureOpensItById)
{
    Open();
    Mic::Choose(L"{0.0.1.00000000}.{headset}");
    EXPECT_EQ(TakeCalls(), ClosingCalls);
    EXPECT_FALSE(MicActive);
    EXPECT_EQ(MicDeviceId, L"{0.0.1.00000000}.{headset}");

    Mic::Capture();
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{
                               "CoInitialize", "CoCreateInstance", "GetDevice {0.0.1.00000000}.{headset}",
                               "OpenPropertyStore", "GetValue", "Release store", "Activate IAudioClient",
                               "GetMixFormat", "Initialize", "Start", "Activate IAudioMeterInformation"}));
    EXPECT_EQ(MicDevice, static_cast<IMMDevice*>(&Rig->Headset));
    EXPECT_EQ(MicMeter, static_cast<IAudioMeterInformation*>(&Rig->Headset.Meter));
    EXPECT_EQ(MicDeviceName, L"Headset");

    // Choosing while open on the chosen device, then back to the default with an empty id.
    Mic::Choose(L"");
    EXPECT_FALSE(MicActive);
    EXPECT_TRUE(Rig->Headset.NothingHeld());
    Calls.clear();
    Mic::Capture();
    EXPECT_EQ(TakeCalls(), OpeningCalls);
    EXPECT_EQ(MicDeviceName, L"Desk Microphone");

    // Choosing while closed only stores the id.
    Mic::Close();
    Calls.clear();
    Mic::Choose(L"{0.0.1.00000000}.{headset}");
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{});
    EXPECT_EQ(MicDeviceId, L"{0.0.1.00000000}.{headset}");
    ExpectNothingHeld();
}

TEST_F(MicrophoneCapture, DeviceWithoutAReadableNameOpensWithAnEmptyName)
{
    struct Case {
        const char* what;
        void (*spoil)(FakeDevice&);
        std::vector<std::string> nameCalls;
    };
    const Case cases[] = {
        {"no property store", [](FakeDevice& d) { d.HasStore = false; }, {"OpenPropertyStore"}},
        {"value fails", [](FakeDevice& d) { d.Store.ValueResult = E_FAIL; },
         {"OpenPropertyStore", "GetValue", "Release store"}},
        {"value is not a wide text", [](FakeDevice& d) { d.Store.Type = VT_UI4; },
         {"OpenPropertyStore", "GetValue", "Release store"}},
    };
    for (const Case& c : cases) {
        const NamedCase named(c.what);
        Fresh();
        // A name from an earlier opening must not survive into this one.
        Open(c.what);
        Mic::Close();
        ASSERT_EQ(MicDeviceName, L"Desk Microphone") << c.what;
        Calls.clear();

        c.spoil(Rig->Desk);
        Mic::Capture();
        std::vector<std::string> expected = {"CoInitialize", "CoCreateInstance", "GetDefaultAudioEndpoint"};
        expected = Join(Join(expected, c.nameCalls), {"Activate IAudioClient", "GetMixFormat", "Initialize",
                                                      "Start", "Activate IAudioMeterInformation"});
        EXPECT_EQ(TakeCalls(), expected) << c.what;
        EXPECT_TRUE(MicActive) << c.what;
        EXPECT_EQ(MicDeviceName, L"") << c.what;
        EXPECT_EQ(LastError, L"") << c.what << ": a missing name is not an error";
    }
}

TEST_F(MicrophoneCapture, WindowSizeKeepsTheSamplesThatFitAndRestarts)
{
    Mic::SetDelay(0);
    Mic::SetWindowSize(3);
    Mic::Capture();
    SampleAfterDelay(0.2f);
    EXPECT_EQ(MicSampleIndex, 2u);

    struct Case {
        int requested;
        std::vector<float> samples;
    };
    const Case cases[] = {
        {2, {0.0f, 0.2f}},
        {4, {0.0f, 0.2f, 0.0f, 0.0f}},
        {0, {0.0f}},
        {-7, {0.0f}},
        {INT_MIN, {0.0f}},
    };
    for (const Case& c : cases) {
        MicSampleIndex = 1;
        Mic::SetWindowSize(c.requested);
        EXPECT_EQ(MicSampleSize, static_cast<std::int32_t>(c.samples.size())) << "requested " << c.requested;
        EXPECT_EQ(MicSamples, c.samples) << "requested " << c.requested;
        EXPECT_EQ(MicSampleIndex, 0u) << "requested " << c.requested;
    }

    // The ring restarts at its first slot.
    Mic::SetWindowSize(2);
    SampleAfterDelay(0.9f);
    EXPECT_EQ(MicSamples, (std::vector<float>{0.9f, 0.0f}));
}

TEST_F(MicrophoneCapture, DelayIsNeverNegative)
{
    const std::pair<int, std::int32_t> cases[] = {
        {-5, 0}, {0, 0}, {1, 1}, {250, 250}, {INT_MIN, 0}, {INT_MAX, INT_MAX},
    };
    for (const auto& [requested, stored] : cases) {
        Mic::SetDelay(requested);
        EXPECT_EQ(MicDelay, stored) << requested;
    }
}

class MicrophoneList : public MicrophoneCapture {};

TEST_F(MicrophoneList, ListsActiveCaptureDevicesAndSkipsThoseThatCannotBeRead)
{
    FakeDevice alpha(L"{a}", L"Alpha");
    FakeDevice lost(L"{lost}", L"Lost");
    FakeDevice anonymous(L"{no-id}", L"No Id");
    FakeDevice blank(L"{blank}", L"Blank");
    blank.NullId = true;
    FakeDevice unnamed(L"{d}", L"ignored");
    unnamed.HasStore = false;
    FakeDevice echo(L"{e}", L"Echo");
    anonymous.IdResult = E_OUTOFMEMORY;
    Rig->Enumerator.Collection.Devices = {&alpha, &lost, &anonymous, &unnamed, &echo, &blank};
    Rig->Enumerator.Collection.FailingItems = {1};
    MicDevices = {{L"{old}", L"Old"}};

    Mic::RefreshList();

    EXPECT_EQ(MicDevices, (std::vector<std::pair<std::wstring, std::wstring>>{
                              {L"{a}", L"Alpha"}, {L"{d}", L""}, {L"{e}", L"Echo"}}));
    EXPECT_EQ(TakeCalls(), (std::vector<std::string>{
                               "CoInitialize", "CoCreateInstance", "EnumAudioEndpoints", "GetCount",
                               "Item 0", "GetId", "OpenPropertyStore", "GetValue", "Release store",
                               "Release device {a}",
                               "Item 1",
                               "Item 2", "GetId", "Release device {no-id}",
                               "Item 3", "GetId", "OpenPropertyStore", "Release device {d}",
                               "Item 4", "GetId", "OpenPropertyStore", "GetValue", "Release store",
                               "Release device {e}",
                               "Item 5", "GetId", "Release device {blank}",
                               "Release collection", "Release enumerator", "CoUninitialize"}));
    EXPECT_EQ(Rig->Enumerator.ListFlow, eCapture);
    EXPECT_EQ(Rig->Enumerator.ListStates, static_cast<DWORD>(DEVICE_STATE_ACTIVE));
    for (FakeDevice* device : {&alpha, &lost, &anonymous, &unnamed, &echo, &blank}) {
        EXPECT_TRUE(device->NothingHeld()) << device->Name;
        for (const Handed& id : device->IdTexts)
            EXPECT_TRUE(FreedSince(id)) << device->Name;
        for (const Handed& name : device->Store.NameTexts)
            EXPECT_TRUE(FreedSince(name)) << device->Name;
    }
    ExpectNothingHeld();

    EXPECT_STREQ(Mic::ListedId(0), L"{a}");
    EXPECT_STREQ(Mic::ListedName(0), L"Alpha");
    EXPECT_STREQ(Mic::ListedId(1), L"{d}");
    EXPECT_STREQ(Mic::ListedName(1), L"");
    EXPECT_STREQ(Mic::ListedId(2), L"{e}");
    EXPECT_STREQ(Mic::ListedName(2), L"Echo");
    for (int outside : {-1, 3, INT_MIN, INT_MAX}) {
        EXPECT_STREQ(Mic::ListedId(outside), L"") << outside;
        EXPECT_STREQ(Mic::ListedName(outside), L"") << outside;
    }
    EXPECT_EQ(LastError, L"");
}

TEST_F(MicrophoneList, AnyCOMFailureLeavesTheListEmptyAndReportsNothing)
{
    struct Case {
        const char* what;
        void (*fail)(Machine&);
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"CoInitialize", [](Machine& m) { m.CoInitializeResult = RPC_E_CHANGED_MODE; }, {"CoInitialize"}},
        {"CoCreateInstance", [](Machine& m) { m.CreateResult = E_OUTOFMEMORY; },
         {"CoInitialize", "CoCreateInstance", "CoUninitialize"}},
        {"EnumAudioEndpoints", [](Machine& m) { m.Enumerator.EnumResult = E_FAIL; },
         {"CoInitialize", "CoCreateInstance", "EnumAudioEndpoints", "Release enumerator", "CoUninitialize"}},
        {"GetCount", [](Machine& m) { m.Enumerator.Collection.CountResult = E_FAIL; },
         {"CoInitialize", "CoCreateInstance", "EnumAudioEndpoints", "GetCount", "Release collection",
          "Release enumerator", "CoUninitialize"}},
    };
    for (const Case& c : cases) {
        const NamedCase named(c.what);
        Fresh();
        Rig->Enumerator.Collection.Devices = {&Rig->Desk};
        Mic::RefreshList();
        ASSERT_EQ(MicDevices.size(), 1u) << c.what;
        Calls.clear();

        c.fail(*Rig);
        Mic::RefreshList();
        EXPECT_EQ(TakeCalls(), c.calls) << c.what;
        EXPECT_TRUE(MicDevices.empty()) << c.what;
        EXPECT_STREQ(Mic::ListedId(0), L"") << c.what;
        EXPECT_EQ(LastError, L"") << c.what;
        ExpectNothingHeld(c.what);
    }
}

TEST_F(MicrophoneList, ListingLeavesTheOpenCaptureAlone)
{
    Open();
    Rig->Enumerator.Collection.Devices = {&Rig->Desk, &Rig->Headset};
    Mic::RefreshList();

    EXPECT_EQ(MicDevices.size(), 2u);
    EXPECT_TRUE(MicActive);
    // The capture still holds exactly what it held: one reference to each of its objects.
    EXPECT_EQ(Rig->Enumerator.References, 1);
    EXPECT_EQ(Rig->Desk.References, 1);
    EXPECT_EQ(Rig->Desk.Client.References, 1);
    EXPECT_EQ(Rig->Desk.Meter.References, 1);
    EXPECT_EQ(Rig->Initialized - Rig->Uninitialized, 1);
    const std::vector<std::string> calls = TakeCalls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Stop"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Release meter"), 0);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Release client"), 0);

    Mic::Close();
    ExpectNothingHeld();
}

class MicrophoneError : public MicrophoneCapture {};

TEST_F(MicrophoneError, LineHasTheStampTheCodeAndTheMessage)
{
    struct Case {
        SYSTEMTIME time;
        std::int32_t code;
        const wchar_t* message;
        const wchar_t* line;
    };
    const Case cases[] = {
        {{2025, 3, 5, 7, 14, 5, 9, 0}, -203, L"Failed to get default microphone.",
         L"[2025-03-07 14:05:09] (-203) - Failed to get default microphone."},
        {{999, 1, 0, 2, 3, 4, 5, 678}, 0, L"", L"[0999-01-02 03:04:05] (0) - "},
        {{2024, 12, 2, 31, 23, 59, 59, 999}, INT_MAX, L"x", L"[2024-12-31 23:59:59] (2147483647) - x"},
        {{2000, 2, 2, 29, 0, 0, 0, 0}, INT_MIN, L"min", L"[2000-02-29 00:00:00] (-2147483648) - min"},
        {{12345, 10, 0, 10, 10, 10, 10, 0}, 12345, L"wide year",
         L"[12345-10-10 10:10:10] (12345) - wide year"},
    };
    for (const Case& c : cases) {
        Rig->LocalTime = c.time;
        SetError(c.code, c.message);
        EXPECT_EQ(LastError, c.line) << "code " << c.code;
    }
}

TEST(MicrophoneDecibels, PositiveLevelsInDecibelsOthersUnchanged)
{
    const std::pair<float, float> cases[] = {
        {1.0f, 0.0f}, {0.1f, -20.0f}, {0.01f, -40.0f}, {0.0f, 0.0f}, {-209.0f, -209.0f}, {-0.5f, -0.5f},
    };
    for (const auto& [level, decibels] : cases)
        EXPECT_EQ(Mic::Decibels(level), decibels) << level;
    EXPECT_FLOAT_EQ(Mic::Decibels(0.5f), -6.0206f);
    EXPECT_FLOAT_EQ(Mic::Decibels(2.0f), 6.0206f);
    EXPECT_TRUE(std::isnan(Mic::Decibels(std::nanf(""))));
}

// The members as the host reaches them: on real objects, created as the host creates them.
class MicrophoneMembers : public MicrophoneCapture {
protected:
    void SetUp() override
    {
        MicrophoneCapture::SetUp();
        // A definition without the members' entries: the link reports it makes are not tested here.
        InProcess::BuildState(
            R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n", "Author": "a"}, "Actions": [], )"
            R"("Conditions": [], "Expressions": []}})");
        first = host.NewObject();
        second = host.NewObject();
        CreateRunObject(first, nullptr, nullptr);
        CreateRunObject(second, nullptr, nullptr);
        ext = GetExtension(first);
        other = GetExtension(second);
        Calls.clear();
    }
    void TearDown() override
    {
        DestroyRunObject(first, 0);
        DestroyRunObject(second, 0);
        MicrophoneCapture::TearDown();
    }

    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* first = nullptr;
    RUNDATA* second = nullptr;
    Extension* ext = nullptr;
    Extension* other = nullptr;
};

TEST_F(MicrophoneMembers, ActionsDriveTheCaptureThatEveryObjectSees)
{
    EXPECT_STREQ(ext->Error(), L"");
    EXPECT_EQ(ext->DVMicDelay(), 100);
    EXPECT_EQ(ext->DVMicSampleSize(), 10);
    EXPECT_EQ(ext->DVMicActiveCheq(), 0);

    ext->SetMicrophoneCaptureDelay(-5);
    EXPECT_EQ(other->DVMicDelay(), 0);
    ext->SetMicrophoneFrequencySamples(0);
    EXPECT_EQ(other->DVMicSampleSize(), 1);

    Rig->Desk.Meter.Peak = 0.1f;
    ext->CaptureMicrophone();
    EXPECT_EQ(TakeCalls(), Join(OpeningCalls, {"GetPeakValue"}));
    EXPECT_EQ(other->DVMicActiveCheq(), 1);
    EXPECT_EQ(other->DVMicVol(), 0.1f);
    EXPECT_EQ(other->DVMicVoldB(), -20.0f);
    EXPECT_STREQ(other->DVMicCNameStr(), L"Desk Microphone");
    EXPECT_STREQ(other->DVMicCIDStr(), L"");

    // Destroying an object leaves the capture open.
    DestroyRunObject(first, 0);
    first = host.NewObject();
    CreateRunObject(first, nullptr, nullptr);
    ext = GetExtension(first);
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{});
    EXPECT_EQ(ext->DVMicActiveCheq(), 1);

    other->RefreshMicrophone();
    EXPECT_EQ(TakeCalls(), ClosingCalls);
    EXPECT_EQ(ext->DVMicActiveCheq(), 0);

    ext->SetCurrentMicrophone(L"{0.0.1.00000000}.{headset}");
    EXPECT_STREQ(other->DVMicCIDStr(), L"{0.0.1.00000000}.{headset}");
    other->CaptureMicrophone();
    EXPECT_STREQ(ext->DVMicCNameStr(), L"Headset");
    ext->SetCurrentMicrophone(L"{no such device}");
    EXPECT_EQ(ext->DVMicActiveCheq(), 0);
    EXPECT_TRUE(Rig->Headset.NothingHeld());
    other->CaptureMicrophone();
    EXPECT_STREQ(ext->Error(), L"[2025-03-07 14:05:09] (-203) - Failed to get default microphone.");
    EXPECT_EQ(ext->DVMicActiveCheq(), 0);
    ExpectNothingHeld();
}

TEST_F(MicrophoneMembers, DeviceListThroughTheMembers)
{
    Rig->Enumerator.Collection.Devices = {&Rig->Desk, &Rig->Headset};
    ext->RefreshMicrophoneList();
    EXPECT_EQ(other->DVMicCount(), 2);
    EXPECT_STREQ(other->DVMicIDStr(0), L"{0.0.1.00000000}.{desk}");
    EXPECT_STREQ(other->DVMicNameStr(0), L"Desk Microphone");
    EXPECT_STREQ(other->DVMicIDStr(1), L"{0.0.1.00000000}.{headset}");
    EXPECT_STREQ(other->DVMicNameStr(1), L"Headset");
    for (int outside : {-1, 2}) {
        EXPECT_STREQ(other->DVMicIDStr(outside), L"") << outside;
        EXPECT_STREQ(other->DVMicNameStr(outside), L"") << outside;
    }
    ExpectNothingHeld();
}

TEST_F(MicrophoneMembers, TextResultsAreTheGlobalsOwnTexts)
{
    Rig->Enumerator.Collection.Devices = {&Rig->Desk};
    ext->RefreshMicrophoneList();
    ext->SetCurrentMicrophone(L"{0.0.1.00000000}.{desk}");
    ext->CaptureMicrophone();
    SetError(-1, L"x");
    EXPECT_EQ(ext->DVMicCNameStr(), MicDeviceName.c_str());
    EXPECT_EQ(ext->DVMicCIDStr(), MicDeviceId.c_str());
    EXPECT_EQ(ext->DVMicIDStr(0), MicDevices[0].first.c_str());
    EXPECT_EQ(ext->DVMicNameStr(0), MicDevices[0].second.c_str());
    EXPECT_EQ(ext->Error(), LastError.c_str());
    ext->RefreshMicrophone();
}

TEST_F(MicrophoneMembers, EachWindowMeasureReadEnablesTheStatistics)
{
    struct Case {
        const char* member;
        float (Extension::*read)();
        float expected;
    };
    const Case cases[] = {
        {"DVMicFraqAvg", &Extension::DVMicFraqAvg, 0.1f},
        {"DVMicFraqHigh", &Extension::DVMicFraqHigh, 1.0f},
        {"DVMicFraqLow", &Extension::DVMicFraqLow, 0.01f},
        {"DVMicVolAvgdB", &Extension::DVMicVolAvgdB, -20.0f},
        {"DVMicVolHighdB", &Extension::DVMicVolHighdB, 0.0f},
        {"DVMicVolLowdB", &Extension::DVMicVolLowdB, -40.0f},
    };
    for (const Case& c : cases) {
        ResetMicrophoneGlobals();
        MicVolume = 0.5f;
        MicVolumeAvg = 0.1f;
        MicVolumeHigh = 1.0f;
        MicVolumeLow = 0.01f;
        // The level itself is not a window measure.
        ext->DVMicVol();
        ext->DVMicVoldB();
        EXPECT_EQ(other->DVMicFreqCheck(), 0) << c.member;
        EXPECT_EQ((ext->*c.read)(), c.expected) << c.member;
        EXPECT_EQ(other->DVMicFreqCheck(), 1) << c.member;
    }
}

// What the real Wine here does: no capture device, so the opening stops at the default endpoint.
TEST(MicrophoneWine, WithoutACaptureDeviceOpeningFailsAtTheDefaultEndpoint)
{
    ResetMicrophoneGlobals();
    Mic::Capture();

    EXPECT_FALSE(MicActive);
    EXPECT_EQ(MicEnumerator, nullptr);
    EXPECT_EQ(MicDevice, nullptr);
    const std::string line = Narrow(LastError);
    const std::regex expected(
        R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] \(-203\) - Failed to get default microphone\.)");
    EXPECT_TRUE(std::regex_match(line, expected)) << line;

    // The opening ended its COM use: this thread is not initialised any more.
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();

    Mic::RefreshList();
    EXPECT_TRUE(MicDevices.empty());
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    CoUninitialize();
}

} // namespace
