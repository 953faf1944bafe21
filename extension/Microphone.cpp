#include "Microphone.h"

#include "../Lib/Shared/Host/Seam.h"
#include "Extension.h"

// The friendly-name key is declared by the headers but defined by no import library: define it here.
#include <initguid.h>

#include <functiondiscoverykeys_devpkey.h>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <new>

// The capture objects are plain pointers on purpose: COM must not be called while the library unloads,
// so a capture still open then is left unreleased rather than released from a global destructor.
IMMDeviceEnumerator* MicEnumerator = nullptr;
IMMDevice* MicDevice = nullptr;
IAudioClient* MicAudioClient = nullptr;
IAudioMeterInformation* MicMeter = nullptr;
bool MicActive = false;

std::wstring MicDeviceId;
std::wstring MicDeviceName;
std::vector<std::pair<std::wstring, std::wstring>> MicDevices;

std::int32_t MicDelay = 100;
std::int32_t MicSampleSize = 10;
// Sized with the window from the start, and resized only before a new size takes effect, so that no
// sample is ever written or read past the ring.
std::vector<float> MicSamples(static_cast<std::size_t>(MicSampleSize), 0.0f);
std::uint32_t MicSampleIndex = 0;
ULONGLONG MicLastSampleTime = 0;
bool MicStatsEnabled = false;

float MicVolume = 0.0f;
float MicVolumeAvg = 0.0f;
float MicVolumeHigh = 0.0f;
float MicVolumeLow = 0.0f;

std::wstring LastError;

void SetError(std::int32_t code, const wchar_t* message)
{
    SYSTEMTIME time;
    Host::Seam.GetLocalTime(&time);
    wchar_t stamp[32];
    std::swprintf(stamp, 32, L"%04d-%02d-%02d %02d:%02d:%02d", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    LastError = L"[" + std::wstring(stamp) + L"] (" + std::to_wstring(code) + L") - " + message;
}

namespace {

constexpr REFERENCE_TIME BufferDuration = 10000000; // one second, in 100-nanosecond units

// The largest statistics window: 4 MiB of samples, more than a day of them at the default delay.
constexpr std::int32_t MaxSampleSize = 1048576;

const wchar_t* const Empty = L"";

template <class Interface> void Release(Interface*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

HRESULT CreateEnumerator(IMMDeviceEnumerator** enumerator)
{
    return Host::Seam.CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                       __uuidof(IMMDeviceEnumerator), reinterpret_cast<void**>(enumerator));
}

// The device's friendly name, or empty when it has none that can be read; never reports or throws, so
// that the interfaces held around it are always given back.
std::wstring ReadFriendlyName(IMMDevice* device)
{
    std::wstring name;
    IPropertyStore* store = nullptr;
    if (FAILED(device->OpenPropertyStore(STGM_READ, &store)))
        return name;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) && value.vt == VT_LPWSTR &&
        value.pwszVal) {
        try {
            name = value.pwszVal;
        } catch (const std::bad_alloc&) {
            // A name too long for the memory left is a name that cannot be read.
        }
    }
    PropVariantClear(&value);
    store->Release();
    return name;
}

// Ends a failed opening: what was acquired is already released; COM use ends, then the error is kept.
void FailOpening(std::int32_t code, const wchar_t* message)
{
    Host::Seam.CoUninitialize();
    SetError(code, message);
}

void ReleaseClientDeviceEnumerator()
{
    Release(MicAudioClient);
    Release(MicDevice);
    Release(MicEnumerator);
}

bool Open()
{
    if (FAILED(Host::Seam.CoInitialize(nullptr))) {
        SetError(-201, L"COM: Failed to initialize.");
        return false;
    }
    if (FAILED(CreateEnumerator(&MicEnumerator))) {
        MicEnumerator = nullptr;
        FailOpening(-202, L"Failed to create MMDeviceEnumerator instance.");
        return false;
    }
    const HRESULT found = MicDeviceId.empty()
                              ? MicEnumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &MicDevice)
                              : MicEnumerator->GetDevice(MicDeviceId.c_str(), &MicDevice);
    if (FAILED(found)) {
        MicDevice = nullptr;
        Release(MicEnumerator);
        FailOpening(-203, L"Failed to get default microphone.");
        return false;
    }
    MicDeviceName = ReadFriendlyName(MicDevice);
    if (FAILED(MicDevice->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&MicAudioClient)))) {
        MicAudioClient = nullptr;
        Release(MicDevice);
        Release(MicEnumerator);
        FailOpening(-204, L"Failed to activate IAudioClient.");
        return false;
    }
    WAVEFORMATEX* format = nullptr;
    if (FAILED(MicAudioClient->GetMixFormat(&format))) {
        ReleaseClientDeviceEnumerator();
        FailOpening(-205, L"Failed to get audio mixing format.");
        return false;
    }
    const HRESULT initialized =
        MicAudioClient->Initialize(AUDCLNT_SHAREMODE_SHARED, 0, BufferDuration, 0, format, nullptr);
    Host::Seam.CoTaskMemFree(format);
    if (FAILED(initialized)) {
        ReleaseClientDeviceEnumerator();
        FailOpening(-206, L"Failed to initialize iAudioClient.");
        return false;
    }
    if (FAILED(MicAudioClient->Start())) {
        ReleaseClientDeviceEnumerator();
        FailOpening(-207, L"Failed to launch audio client.");
        return false;
    }
    if (FAILED(MicDevice->Activate(__uuidof(IAudioMeterInformation), CLSCTX_ALL, nullptr,
                                   reinterpret_cast<void**>(&MicMeter)))) {
        MicMeter = nullptr;
        MicAudioClient->Stop();
        ReleaseClientDeviceEnumerator();
        FailOpening(-208, L"Failed to activate IAudioMeterInformation for volume reading.");
        return false;
    }
    MicActive = true;
    MicLastSampleTime = Host::Seam.GetTickCount64();
    return true;
}

void Sample()
{
    const ULONGLONG now = Host::Seam.GetTickCount64();
    const std::int64_t elapsed = static_cast<std::int64_t>(now - MicLastSampleTime);
    if (MicDelay > elapsed)
        return;

    float level = 0.0f;
    if (FAILED(MicMeter->GetPeakValue(&level))) {
        SetError(-209, L"Failed to retrieve peak value from microphone.");
        level = -209.0f;
    }
    MicVolume = level;

    if (MicSampleIndex >= MicSamples.size())
        MicSampleIndex = 0;
    MicSamples[MicSampleIndex] = level;
    ++MicSampleIndex;

    // The window is complete: restart it, and measure it only when someone reads the measures.
    if (MicSampleIndex >= MicSamples.size()) {
        MicSampleIndex = 0;
        if (MicStatsEnabled) {
            float high = MicSamples[0];
            float low = MicSamples[0];
            float sum = 0.0f;
            for (float sample : MicSamples) {
                sum += sample;
                high = std::fmax(sample, high);
                low = std::fmin(sample, low);
            }
            MicVolumeHigh = high;
            MicVolumeLow = low;
            MicVolumeAvg = std::fabs(sum / static_cast<float>(MicSampleSize));
        }
    }
    MicLastSampleTime = now;
}

// A device whose entry does not fit in the memory left is skipped, like one that cannot be read.
void AddToList(const wchar_t* id, IMMDevice* device)
{
    try {
        MicDevices.emplace_back(id, ReadFriendlyName(device));
    } catch (const std::bad_alloc&) {
    }
}

// Marks the statistics as wanted and gives value back.
float ReadStatistic(float value)
{
    MicStatsEnabled = true;
    return value;
}

// 20 log10(level) for a positive level; the level itself otherwise, so -209 stays -209.
float Decibels(float level)
{
    if (!(level > 0.0f))
        return level;
    return 20.0f * static_cast<float>(std::log10(static_cast<double>(level)));
}

// The entry of MicDevices at index, or null outside the list.
const std::pair<std::wstring, std::wstring>* Listed(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= MicDevices.size())
        return nullptr;
    return &MicDevices[static_cast<std::size_t>(index)];
}

} // namespace

// Actions 36 to 41.

void Extension::CaptureMicrophone()
{
    if (!MicActive && !Open())
        return;
    Sample();
}

void Extension::SetMicrophoneCaptureDelay(int milliseconds) { MicDelay = std::max(milliseconds, 0); }

// The new size takes effect only once its ring is had; a size beyond the largest window is refused and
// recorded, and the window stays as it was.
void Extension::SetMicrophoneFrequencySamples(int samples)
{
    const std::int32_t size = std::max(samples, 1);
    if (size > MaxSampleSize) {
        SetError(-210, L"Failed to set the sample window: at most 1048576 samples.");
        return;
    }
    MicSamples.resize(static_cast<std::size_t>(size), 0.0f);
    MicSampleSize = size;
    MicSampleIndex = 0;
}

void Extension::RefreshMicrophone()
{
    if (!MicActive)
        return;
    Release(MicMeter);
    if (MicAudioClient)
        MicAudioClient->Stop();
    ReleaseClientDeviceEnumerator();
    Host::Seam.CoUninitialize();
    MicActive = false;
}

void Extension::RefreshMicrophoneList()
{
    MicDevices.clear();
    if (FAILED(Host::Seam.CoInitialize(nullptr)))
        return;
    IMMDeviceEnumerator* enumerator = nullptr;
    if (FAILED(CreateEnumerator(&enumerator))) {
        Host::Seam.CoUninitialize();
        return;
    }
    IMMDeviceCollection* collection = nullptr;
    if (SUCCEEDED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &collection))) {
        // A count that cannot be read lists nothing.
        UINT count = 0;
        if (FAILED(collection->GetCount(&count)))
            count = 0;
        for (UINT i = 0; i < count; ++i) {
            IMMDevice* device = nullptr;
            if (FAILED(collection->Item(i, &device)))
                continue;
            // A device without an id could not be chosen later, so it is not listed.
            LPWSTR id = nullptr;
            if (SUCCEEDED(device->GetId(&id)) && id)
                AddToList(id, device);
            Host::Seam.CoTaskMemFree(id);
            device->Release();
        }
        collection->Release();
    }
    enumerator->Release();
    Host::Seam.CoUninitialize();
}

void Extension::SetCurrentMicrophone(const wchar_t* id)
{
    MicDeviceId = id ? id : Empty;
    RefreshMicrophone();
}

// Expressions 58 to 75. The texts are the globals' own, valid until the global next changes.

float Extension::DVMicVol() { return MicVolume; }
int Extension::DVMicDelay() { return MicDelay; }
float Extension::DVMicVoldB() { return Decibels(MicVolume); }
float Extension::DVMicFraqAvg() { return ReadStatistic(MicVolumeAvg); }
int Extension::DVMicSampleSize() { return MicSampleSize; }
float Extension::DVMicFraqHigh() { return ReadStatistic(MicVolumeHigh); }
float Extension::DVMicFraqLow() { return ReadStatistic(MicVolumeLow); }
const wchar_t* Extension::DVMicCNameStr() { return MicDeviceName.c_str(); }
int Extension::DVMicCount() { return static_cast<int>(MicDevices.size()); }

const wchar_t* Extension::DVMicIDStr(int index)
{
    const auto* entry = Listed(index);
    return entry ? entry->first.c_str() : Empty;
}

const wchar_t* Extension::DVMicNameStr(int index)
{
    const auto* entry = Listed(index);
    return entry ? entry->second.c_str() : Empty;
}

const wchar_t* Extension::DVMicCIDStr() { return MicDeviceId.c_str(); }
float Extension::DVMicVolLowdB() { return Decibels(ReadStatistic(MicVolumeLow)); }
float Extension::DVMicVolHighdB() { return Decibels(ReadStatistic(MicVolumeHigh)); }
float Extension::DVMicVolAvgdB() { return Decibels(ReadStatistic(MicVolumeAvg)); }
int Extension::DVMicFreqCheck() { return MicStatsEnabled ? 1 : 0; }
int Extension::DVMicActiveCheq() { return MicActive ? 1 : 0; }
const wchar_t* Extension::Error() { return LastError.c_str(); }
