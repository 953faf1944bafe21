// Microphone capture and the last error. The level is the audio meter's peak value, read only when an
// event asks for it; there is no thread, timer or capture buffer. Every value here is process-wide and
// shared by all objects of the extension; the Extension members of actions 36 to 41 and expressions 58
// to 75 work on them.
#pragma once

#include <windows.h>

#include <audioclient.h>
#include <endpointvolume.h>
#include <mmdeviceapi.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The mingw headers name IAudioMeterInformation but do not declare it.
#ifndef __IAudioMeterInformation_INTERFACE_DEFINED__
#define __IAudioMeterInformation_INTERFACE_DEFINED__
MIDL_INTERFACE("c02216f6-8c67-4b5b-9d00-d008e73e0064")
IAudioMeterInformation : public IUnknown
{
public:
    virtual HRESULT STDMETHODCALLTYPE GetPeakValue(float* peak) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMeteringChannelCount(UINT * count) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChannelsPeakValues(UINT32 count, float* peaks) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD * mask) = 0;
};
__CRT_UUID_DECL(IAudioMeterInformation, 0xc02216f6, 0x8c67, 0x4b5b, 0x9d, 0x00, 0xd0, 0x08, 0xe7, 0x3e, 0x00,
                0x64)
#endif

// The open capture: all four are held exactly while MicActive is true.
extern IMMDeviceEnumerator* MicEnumerator;
extern IMMDevice* MicDevice;
extern IAudioClient* MicAudioClient; // initialised in shared mode and started
extern IAudioMeterInformation* MicMeter;
extern bool MicActive;

extern std::wstring MicDeviceId;   // chosen endpoint id; empty means the default capture device
extern std::wstring MicDeviceName; // friendly name of the device opened last
extern std::vector<std::pair<std::wstring, std::wstring>> MicDevices; // (endpoint id, friendly name)

extern std::int32_t MicDelay;         // minimum milliseconds between two samples
extern std::int32_t MicSampleSize;    // samples per statistics window, 1 to 1048576 once set
extern std::vector<float> MicSamples; // ring of the last samples, always MicSampleSize long
extern std::uint32_t MicSampleIndex;  // next write position in MicSamples
extern ULONGLONG MicLastSampleTime;   // tick count of the last sample, or of the opening
extern bool MicStatsEnabled;          // set by the first read of a statistic, never cleared

extern float MicVolume; // last peak level, 0 to 1, or -209 after a failed read
extern float MicVolumeAvg;
extern float MicVolumeHigh;
extern float MicVolumeLow;

extern std::wstring LastError; // never cleared

// LastError := "[YYYY-MM-DD HH:MM:SS] (code) - message", stamped with the local time.
void SetError(std::int32_t code, const wchar_t* message);
