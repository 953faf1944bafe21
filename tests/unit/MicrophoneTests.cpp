// Microphone capture against scripted COM, clock and local time through the seam.
#include "FakeAudio.h"
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"
#include "extension/Microphone.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <tuple>

namespace {

using namespace TestHost::Audio;

// The members on an object created as the host creates it; the default capture device is the desk's.
class Microphone : public testing::Test {
protected:
    void SetUp() override
    {
        Host::Seam.CoInitialize = TestHost::Audio::CoInitialize;
        Host::Seam.CoUninitialize = TestHost::Audio::CoUninitialize;
        Host::Seam.CoCreateInstance = TestHost::Audio::CoCreateInstance;
        Host::Seam.CoTaskMemFree = TestHost::Audio::CoTaskMemFree;
        Host::Seam.GetTickCount64 = TestHost::Audio::GetTickCount64;
        Host::Seam.GetLocalTime = TestHost::Audio::GetLocalTime;
        Enumerator.devices = {&DeskMic, &HeadsetMic};
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
        for (const Fake* fake : {&Com, &Enumerator, &Store, &Client, &Meter, &DeskMic, &HeadsetMic})
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
