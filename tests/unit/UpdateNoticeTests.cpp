// The update notice: the worker's outcome set directly in its shared state, then shown on the editor's
// main thread. Boxes go through the seam, the update page's opening through the seam's shell entry, and
// the badge is painted on the state object's icon in the fake MMFS2.dll. The settings are read once per
// process, so a case that writes them expects to be the first to ask (ctest runs each case alone).
#include "Lib/Shared/Host/Seam.h"

#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Polvane/UpdateNotice.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

using Polvane::UpdateOutcome;

namespace {

using Lines = std::vector<std::string>;
// Title, text, the style's icon, buttons and default button, owner.
using Box = std::tuple<std::wstring, std::wstring, unsigned, HWND>;
using Boxes = std::vector<Box>;

constexpr unsigned BoxKind = MB_ICONMASK | MB_TYPEMASK | MB_DEFMASK;

HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }

struct Opened {
    HWND owner;
    std::wstring operation;
    std::wstring file;
    bool noParameters;
    bool noDirectory;
    int show;
};
std::vector<Opened> opened;

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                            LPCWSTR directory, INT show)
{
    opened.push_back({owner, operation, file, parameters == nullptr, directory == nullptr, show});
    return reinterpret_cast<HINSTANCE>(42);
}

DWORD WINAPI EndAtOnce(LPVOID) { return 0; }

DWORD WINAPI WaitForEvent(LPVOID event)
{
    WaitForSingleObject(event, 20000);
    return 0;
}

// A thread that has already ended, as the worker is once it has stored its outcome and returned.
HANDLE EndedThread()
{
    HANDLE thread = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
    WaitForSingleObject(thread, 10000);
    return thread;
}

bool HandleIsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// The fake logs the font it is given; this is the one the notice creates.
const std::string BadgeFont = "font(8,0,0,0,400,0,0,0,0,0,0,4,48,Small Fonts)";

std::string DrawTextLine(const std::string& text, int left, int top, const std::string& colour)
{
    return "#1.DrawText(\"" + text + "\"," + std::to_string(text.size()) + ",{" + std::to_string(left) + "," +
           std::to_string(top) + ",32,32},800," + colour + "," + BadgeFont + ",1,0,0,1,0,0,8)";
}

struct Area {
    int left, top, right, bottom;
};

struct Badge {
    UpdateOutcome state;
    Area filled;
    std::uint32_t fillColour;
    std::uint32_t textColour;
    int textLeft, textTop; // where the first line starts
    Lines calls;           // from the fill on
};

const Badge MajorBadge = {UpdateOutcome::MajorUpdate,
                          {1, 8, 30, 27},
                          0x505050,
                          0x0000F0,
                          2,
                          7,
                          {"#1.Fill(1,8,29,19,505050)", DrawTextLine("MAJOR", 2, 7, "0000F0"),
                           DrawTextLine("UPDATE", 1, 13, "0000F0"), DrawTextLine("NEEDED", 2, 19, "0000F0")}};
const Badge MinorBadge = {UpdateOutcome::MinorUpdate,
                          {1, 18, 31, 31},
                          0x3C3C3C,
                          0xB4B400,
                          1,
                          17,
                          {"#1.Fill(1,18,30,13,3C3C3C)", DrawTextLine("UPDATE", 1, 17, "B4B400"),
                           DrawTextLine("NEEDED", 2, 23, "B4B400")}};
const Badge ReinstallBadge = {UpdateOutcome::ReinstallNeeded,
                              {1, 18, 31, 31},
                              0x3C3C3C,
                              0x0000B4,
                              1,
                              17,
                              {"#1.Fill(1,18,30,13,3C3C3C)", DrawTextLine("REINSTL", 1, 17, "0000B4"),
                               DrawTextLine("NEEDED", 2, 23, "0000B4")}};

// Every call of a badge on a 32 by 32 icon with an alpha channel.
Lines BadgeCalls(const Badge& badge)
{
    Lines calls = {"#1.GetWidth", "#1.GetHeight", "#1.HasAlpha", "#1.LockAlpha", "#1.UnlockAlpha"};
    calls.insert(calls.end(), badge.calls.begin(), badge.calls.end());
    return calls;
}

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, so that the
// settings file is read from ...\Extensions\. The state object is built as a built application builds it
// (no update worker is started), then the editor's main thread is this one.
class UpdateNotice : public testing::Test {
protected:
    UpdateNotice()
    {
        Host::Seam.FindSurfaceLibrary = FindFake;
        Host::Seam.ShellExecuteW = RecordOpen;
        state.reset(InProcess::BuildState(
            R"({"Identifier": "NOTE", "Dependencies": "", "L": {"About": {"Name": "Notice"}}})"));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        Polvane::OwnerWindow = GetDesktopWindow();
        MakeIcon(32, 32, true);
        Reset();
    }

    ~UpdateNotice() override
    {
        Reset();
        state.reset();
        Host::Seam.FindSurfaceLibrary = savedFind;
        Host::Seam.ShellExecuteW = savedOpen;
        Host::Surfaces = savedTable;
    }

    void Settings(const std::string& text) const { tree.Write(L"Extensions\\Polvane.ini", text); }

    // The state object's icon remade at that size, black and, with an alpha channel, transparent.
    void MakeIcon(std::int32_t width, std::int32_t height, bool alpha)
    {
        HostSurface* prototype = nullptr;
        ASSERT_NE(Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3), 0);
        Icon().Create(width, height, prototype);
        if (alpha)
            Icon().CreateAlpha();
        fake.Reset();
    }

    HostSurface& Icon() { return *state->Icon; }

    // The shared state as at load, and nothing seen yet.
    void Reset()
    {
        Polvane::UpdateState = UpdateOutcome::Running;
        Polvane::UpdateLog.str(std::string());
        Polvane::UpdateLog.clear();
        Polvane::UpdateText.clear();
        Polvane::UpdateURL.clear();
        if (Polvane::UpdateThreadHandle != nullptr)
            CloseHandle(Polvane::UpdateThreadHandle);
        Polvane::UpdateThreadHandle = nullptr;
        Polvane::UpdateNoticeShown = false;
        boxes.boxes.clear();
        boxes.answer = IDOK;
        opened.clear();
        fake.Reset();
    }

    // The worker's outcome, stored as the worker stores it.
    static void Outcome(UpdateOutcome outcome, const std::wstring& text, const std::wstring& url = L"",
                        const std::string& log = "")
    {
        Polvane::AcquireUpdateLock();
        Polvane::UpdateLog << log;
        Polvane::UpdateText = text;
        Polvane::UpdateURL = url;
        Polvane::UpdateState = outcome;
        Polvane::ReleaseUpdateLock();
    }

    Boxes Seen() const
    {
        Boxes seen;
        for (const auto& box : boxes.boxes)
            seen.emplace_back(box.title, box.text, box.style & BoxKind, box.owner);
        return seen;
    }

    // Alpha bytes that differ from 0xFF inside the area (cut at the icon's height) and 0 outside it.
    int WrongAlpha(const Area& area) const
    {
        const FakeMmfs2::SurfaceInfo info = fake.Describe(state->Icon);
        int wrong = 0;
        for (int y = 0; y < info.height; ++y)
            for (int x = 0; x < info.width; ++x) {
                const bool inside = x >= area.left && x < area.right && y >= area.top && y < area.bottom;
                wrong += info.alpha[y * info.width + x] != (inside ? 0xFF : 0);
            }
        return wrong;
    }

    std::uint32_t Pixel(int x, int y) const
    {
        const FakeMmfs2::SurfaceInfo info = fake.Describe(state->Icon);
        return info.pixels[y * info.width + x];
    }

    // Each update kind with its badge: the calls, the alpha channel, and the colours where the fill and
    // each text land.
    void ExpectBadge(const Badge& badge, const char* label)
    {
        EXPECT_EQ(fake.Log(), BadgeCalls(badge)) << label;
        EXPECT_EQ(WrongAlpha(badge.filled), 0) << label;
        EXPECT_EQ(Pixel(badge.filled.right - 1, badge.filled.bottom - 1), badge.fillColour) << label;
        EXPECT_EQ(Pixel(badge.filled.right, badge.filled.bottom - 1), 0u) << label;
        EXPECT_EQ(Pixel(badge.textLeft, badge.textTop), badge.textColour) << label;
        ASSERT_NE(fake.LastFont(), nullptr) << label;
        EXPECT_EQ(GetObjectType(fake.LastFont()), 0u) << label << ": the font was not deleted";
    }

    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    TestHost::FakeSurfaces fake;
    InProcess::BoxRecorder boxes;
    std::unique_ptr<Tovik::SDK> state;

private:
    decltype(Host::Seam.FindSurfaceLibrary) savedFind = Host::Seam.FindSurfaceLibrary;
    decltype(Host::Seam.ShellExecuteW) savedOpen = Host::Seam.ShellExecuteW;
    Host::SurfaceFunctions savedTable = Host::Surfaces;
};

} // namespace

TEST_F(UpdateNotice, WhileTheWorkerRunsNothingIsShownAndNothingWaitsForIt)
{
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE worker = CreateThread(nullptr, 0, WaitForEvent, release, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    Polvane::UpdateThreadHandle = worker;

    const ULONGLONG start = GetTickCount64();
    for (int i = 0; i < 3; ++i)
        Polvane::ShowUpdateNotice();
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(fake.Log().empty());
    EXPECT_FALSE(Polvane::UpdateNoticeShown);
    EXPECT_EQ(Polvane::UpdateThreadHandle, worker);
    EXPECT_FALSE(Polvane::UpdateLock.load());

    // The outcome is out while the worker is still finishing: the notice is shown without waiting, and
    // the handle stays for Free to wait on.
    Outcome(UpdateOutcome::SDKUpdate, L"build 20");
    const ULONGLONG outcomeStart = GetTickCount64();
    Polvane::ShowUpdateNotice();
    EXPECT_LT(GetTickCount64() - outcomeStart, 1000u);
    EXPECT_EQ(Seen(), (Boxes{{L"SDK update notice - Morvalex", L"SDK update for Morvalex:\nbuild 20",
                              MB_ICONWARNING, GetDesktopWindow()}}));
    EXPECT_TRUE(Polvane::UpdateNoticeShown);
    EXPECT_EQ(Polvane::UpdateThreadHandle, worker);
    EXPECT_TRUE(HandleIsOpen(worker));

    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(worker, 10000), WAIT_OBJECT_0);
    Polvane::ShowUpdateNotice(); // shown already: the handle is not looked at again
    EXPECT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(Polvane::UpdateThreadHandle, worker);
    CloseHandle(release);
}

TEST_F(UpdateNotice, TheStateIsReadUnderTheUpdateLock)
{
    // The worker holds the lock while it stores its outcome; the notice must see that outcome, not the
    // state from before.
    struct Holder {
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        static DWORD WINAPI Run(LPVOID self)
        {
            Polvane::AcquireUpdateLock();
            SetEvent(static_cast<Holder*>(self)->held);
            Sleep(300);
            Polvane::UpdateState = UpdateOutcome::NothingToShow;
            Polvane::ReleaseUpdateLock();
            return 0;
        }
    } holder;
    HANDLE thread = CreateThread(nullptr, 0, Holder::Run, &holder, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(holder.held, 10000), WAIT_OBJECT_0);
    Polvane::ShowUpdateNotice();
    EXPECT_TRUE(Polvane::UpdateNoticeShown);
    EXPECT_FALSE(Polvane::UpdateLock.load());
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
    CloseHandle(holder.held);
}

TEST_F(UpdateNotice, ErrorsAndFrameworkUpdatesAreBoxesWithoutABadge)
{
    const HWND owner = GetDesktopWindow();
    const struct {
        const char* label;
        UpdateOutcome state;
        std::wstring text;
        std::string log;
        Boxes boxes;
    } cases[] = {
        {"disabled", UpdateOutcome::Disabled, L"", "Update check was disabled.", {}},
        {"nothing to show", UpdateOutcome::NothingToShow, L"None", "Not reporting\n", {}},
        // The log is UTF-8: it is shown as text, not as its bytes.
        {"error",
         UpdateOutcome::Error,
         L"",
         "HTTP error  404 Not Found\nna\xC3\xAFve \xE2\x9C\x93 100%s",
         {{L"Update check error - Morvalex",
           L"Error occurred while checking for extension updates:\nHTTP error  404 Not Found\nna\u00EFve "
           L"\u2713 "
           L"100%s",
           MB_ICONERROR, owner}}},
        {"extension developer error",
         UpdateOutcome::ExtDevError,
         L"bad build %d",
         "",
         {{L"Update check error - Morvalex",
           L"Extension developer error occurred while checking for extension updates:\nbad build %d",
           MB_ICONERROR, owner}}},
        {"framework update",
         UpdateOutcome::SDKUpdate,
         L"build 20\nsee the notes",
         "",
         {{L"SDK update notice - Morvalex", L"SDK update for Morvalex:\nbuild 20\nsee the notes",
           MB_ICONWARNING, owner}}},
    };
    for (const auto& c : cases) {
        Reset();
        const HANDLE worker = EndedThread();
        Polvane::UpdateThreadHandle = worker;
        // An address changes nothing for these outcomes.
        Outcome(c.state, c.text, L"https://example.com/notes", c.log);
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(Seen(), c.boxes) << c.label;
        EXPECT_TRUE(fake.Log().empty()) << c.label;
        EXPECT_TRUE(opened.empty()) << c.label;
        EXPECT_TRUE(Polvane::UpdateNoticeShown) << c.label;
        EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr) << c.label;
        EXPECT_FALSE(HandleIsOpen(worker)) << c.label << ": the ended worker's handle was not closed";

        // Shown once, whatever the state holds next.
        Outcome(UpdateOutcome::Error, L"", L"", "again");
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(boxes.boxes.size(), c.boxes.size()) << c.label;
    }
}

TEST_F(UpdateNotice, ALongTextIsCutToFitTheBoxInsteadOfFailingIt)
{
    const std::wstring pair = L"\U0001F600";
    const struct {
        const char* label;
        UpdateOutcome state;
        std::wstring text;
        std::string log;
        std::wstring shown; // after the box's first line
    } cases[] = {
        {"text that just fits", UpdateOutcome::ExtDevError, std::wstring(3900, L'x'), "",
         std::wstring(3900, L'x')},
        {"one character more", UpdateOutcome::ExtDevError, std::wstring(3901, L'x'), "",
         std::wstring(3897, L'x') + L"..."},
        {"long framework update", UpdateOutcome::SDKUpdate, std::wstring(300000, L'y'), "",
         std::wstring(3897, L'y') + L"..."},
        {"long log", UpdateOutcome::Error, L"", std::string(10000, 'z'), std::wstring(3897, L'z') + L"..."},
        // The cut would fall between the halves of a surrogate pair: the pair goes whole.
        {"surrogate pair at the cut", UpdateOutcome::ExtDevError, std::wstring(3896, L'x') + pair + L"tail",
         "", std::wstring(3896, L'x') + L"..."},
    };
    for (const auto& c : cases) {
        Reset();
        Outcome(c.state, c.text, L"", c.log);
        Polvane::ShowUpdateNotice();
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.label;
        const std::wstring& text = boxes.boxes[0].text;
        const std::size_t lineEnd = text.find(L":\n");
        ASSERT_NE(lineEnd, std::wstring::npos) << c.label;
        EXPECT_EQ(text.substr(lineEnd + 2), c.shown) << c.label;
    }
}

TEST_F(UpdateNotice, EachUpdatePaintsItsBadgeAndShowsItsInformationBox)
{
    // No settings file: the major update's box is shown, the minor update's is not.
    const HWND owner = GetDesktopWindow();
    const struct {
        const Badge& badge;
        const char* label;
        std::wstring text;
        Boxes boxes;
    } cases[] = {
        {MajorBadge,
         "major",
         L"Version 2 is out.\nSee the page.",
         {{L"Update notice - Morvalex", L"Major update for Morvalex:\nVersion 2 is out.\nSee the page.",
           MB_ICONINFORMATION, owner}}},
        {MinorBadge, "minor", L"Version 1.1", {}},
        {ReinstallBadge,
         "reinstall",
         L"why?",
         {{L"Reinstall needed - Morvalex", L"Reinstalled needed for Morvalex:\nwhy?", MB_ICONINFORMATION,
           owner}}},
        // Three characters or fewer: the badge alone.
        {ReinstallBadge, "reinstall, short text", L"why", {}},
        {ReinstallBadge, "reinstall, no text", L"", {}},
    };
    for (const auto& c : cases) {
        Reset();
        MakeIcon(32, 32, true);
        Outcome(c.badge.state, c.text);
        Polvane::ShowUpdateNotice();
        ExpectBadge(c.badge, c.label);
        EXPECT_EQ(Seen(), c.boxes) << c.label;
        EXPECT_TRUE(opened.empty()) << c.label;
        EXPECT_TRUE(Polvane::UpdateNoticeShown) << c.label;

        fake.Reset();
        Polvane::ShowUpdateNotice();
        EXPECT_TRUE(fake.Log().empty()) << c.label;
        EXPECT_EQ(Seen(), c.boxes) << c.label;
    }
}

TEST_F(UpdateNotice, WithAnAddressTheBoxAsksAndYesOpensThePage)
{
    const struct {
        const char* label;
        const Badge& badge;
        std::wstring text;
        int answer;
        Box box;
        unsigned style;
    } cases[] = {
        {"major, yes",
         MajorBadge,
         L"v2",
         IDYES,
         {L"Morvalex update notice", L"Major update for Morvalex:\nv2", 0x144, nullptr},
         0x144},
        {"major, no",
         MajorBadge,
         L"v2",
         IDNO,
         {L"Morvalex update notice", L"Major update for Morvalex:\nv2", 0x144, nullptr},
         0x144},
        // The Yes/No box is cut to fit as well.
        {"reinstall, yes",
         ReinstallBadge,
         L"please reinstall" + std::wstring(5000, L'.'),
         IDYES,
         {L"Morvalex error", L"Reinstall needed for Morvalex:\nplease reinstall" + std::wstring(3881, L'.') + L"...",
          0x14, nullptr},
         0x14},
        {"reinstall, no",
         ReinstallBadge,
         L"please",
         IDNO,
         {L"Morvalex error", L"Reinstall needed for Morvalex:\nplease", 0x14, nullptr},
         0x14},
    };
    const std::wstring url = L"https://example.com/get?x=1&y=%20";
    for (const auto& c : cases) {
        Reset();
        MakeIcon(32, 32, true);
        boxes.answer = c.answer;
        Outcome(c.badge.state, c.text, url);
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(fake.Log(), BadgeCalls(c.badge)) << c.label;
        EXPECT_EQ(Seen(), Boxes{c.box}) << c.label;
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.label;
        EXPECT_EQ(boxes.boxes[0].style, c.style) << c.label; // exactly: no owner, no modality added
        if (c.answer == IDYES) {
            ASSERT_EQ(opened.size(), 1u) << c.label;
            EXPECT_EQ(opened[0].owner, nullptr) << c.label;
            EXPECT_EQ(opened[0].operation, L"open") << c.label;
            EXPECT_EQ(opened[0].file, url) << c.label;
            EXPECT_TRUE(opened[0].noParameters) << c.label;
            EXPECT_TRUE(opened[0].noDirectory) << c.label;
            EXPECT_EQ(opened[0].show, SW_SHOWNORMAL) << c.label;
        } else {
            EXPECT_TRUE(opened.empty()) << c.label;
        }
    }

    // A reinstall notice of three characters asks nothing, address or not.
    Reset();
    MakeIcon(32, 32, true);
    boxes.answer = IDYES;
    Outcome(UpdateOutcome::ReinstallNeeded, L"abc", url);
    Polvane::ShowUpdateNotice();
    EXPECT_EQ(fake.Log(), BadgeCalls(ReinstallBadge));
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(opened.empty());
}

TEST_F(UpdateNotice, FalseSwitchesTheMajorBoxOffAndTrueTheMinorBoxOn)
{
    Settings("MsgBoxForMajorUpdate=false\r\nMsgBoxForMinorUpdate=true\r\n");

    Outcome(UpdateOutcome::MajorUpdate, L"v2", L"https://example.com/");
    Polvane::ShowUpdateNotice();
    ExpectBadge(MajorBadge, "major");
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_TRUE(opened.empty());

    const HWND owner = GetDesktopWindow();
    Reset();
    MakeIcon(32, 32, true);
    Outcome(UpdateOutcome::MinorUpdate, L"v1.1");
    Polvane::ShowUpdateNotice();
    ExpectBadge(MinorBadge, "minor");
    EXPECT_EQ(Seen(), (Boxes{{L"update notice - Morvalex", L"Minor update for Morvalex:\nv1.1",
                              MB_ICONINFORMATION, owner}}));

    // With an address, the title keeps its final blank.
    Reset();
    MakeIcon(32, 32, true);
    boxes.answer = IDYES;
    Outcome(UpdateOutcome::MinorUpdate, L"v1.1", L"http://example.com/minor");
    Polvane::ShowUpdateNotice();
    ExpectBadge(MinorBadge, "minor with an address");
    EXPECT_EQ(Seen(),
              (Boxes{{L"Morvalex update notice ", L"Minor update for Morvalex:\nv1.1", 0x144, nullptr}}));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].file, L"http://example.com/minor");
}

TEST_F(UpdateNotice, OnlyTheExactSettingValuesCount)
{
    Settings("MsgBoxForMajorUpdate=False\r\nMsgBoxForMinorUpdate=True\r\n");

    Outcome(UpdateOutcome::MajorUpdate, L"v2");
    Polvane::ShowUpdateNotice();
    ExpectBadge(MajorBadge, "major");
    EXPECT_EQ(Seen(), (Boxes{{L"Update notice - Morvalex", L"Major update for Morvalex:\nv2",
                              MB_ICONINFORMATION, GetDesktopWindow()}}));

    Reset();
    MakeIcon(32, 32, true);
    Outcome(UpdateOutcome::MinorUpdate, L"v1.1");
    Polvane::ShowUpdateNotice();
    ExpectBadge(MinorBadge, "minor");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UpdateNotice, AnIconThatIsNot32WideGetsNoBadgeAndNoUpdateBox)
{
    for (const std::int32_t width : {31, 33, 0}) {
        Reset();
        MakeIcon(width, 32, true);
        Outcome(UpdateOutcome::MajorUpdate, L"v2", L"https://example.com/");
        boxes.answer = IDYES;
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(fake.Log(), Lines{"#1.GetWidth"}) << width;
        EXPECT_EQ(Seen(), (Boxes{{L"Polvane error - Morvalex",
                                  L"Morvalex's icon width is not 32. Contact the extension developer.",
                                  MB_ICONERROR, GetDesktopWindow()}}))
            << width;
        EXPECT_TRUE(opened.empty()) << width;
        EXPECT_EQ(fake.LastFont(), nullptr) << width;

        Polvane::ShowUpdateNotice();
        EXPECT_EQ(boxes.boxes.size(), 1u) << width;
    }
}

TEST_F(UpdateNotice, WithoutAWritableAlphaChannelTheBadgeIsStillPainted)
{
    const struct {
        const char* label;
        bool alpha;
        std::uint32_t failures;
        Lines alphaCalls;
    } cases[] = {
        {"no alpha channel", false, 0, {"#1.HasAlpha"}},
        {"the lock fails", true, FakeMmfs2::FailLockAlpha, {"#1.HasAlpha", "#1.LockAlpha"}},
    };
    for (const auto& c : cases) {
        Reset();
        MakeIcon(32, 32, c.alpha);
        fake.SetFailures(c.failures);
        Outcome(UpdateOutcome::MinorUpdate, L"v1.1");
        Polvane::ShowUpdateNotice();
        Lines expected = {"#1.GetWidth", "#1.GetHeight"};
        expected.insert(expected.end(), c.alphaCalls.begin(), c.alphaCalls.end());
        expected.insert(expected.end(), MinorBadge.calls.begin(), MinorBadge.calls.end());
        EXPECT_EQ(fake.Log(), expected) << c.label;
        const FakeMmfs2::SurfaceInfo info = fake.Describe(state->Icon);
        EXPECT_EQ(info.hasAlpha != 0, c.alpha) << c.label;
        if (c.alpha) {
            EXPECT_EQ(WrongAlpha({0, 0, 0, 0}), 0) << c.label << ": the alpha channel changed";
        }
        EXPECT_EQ(Pixel(30, 30), MinorBadge.fillColour) << c.label;
        EXPECT_EQ(Pixel(1, 17), MinorBadge.textColour) << c.label;
    }
}

TEST_F(UpdateNotice, AShortIconGetsNoAlphaWrittenBelowItsLastRow)
{
    MakeIcon(32, 16, true);
    Outcome(UpdateOutcome::MajorUpdate, L"v2");
    Polvane::ShowUpdateNotice();
    Lines expected = {"#1.GetWidth", "#1.GetHeight", "#1.HasAlpha", "#1.LockAlpha", "#1.UnlockAlpha"};
    expected.insert(expected.end(), MajorBadge.calls.begin(), MajorBadge.calls.end());
    EXPECT_EQ(fake.Log(), expected);
    EXPECT_EQ(WrongAlpha({1, 8, 30, 16}), 0);
}

TEST_F(UpdateNotice, EditorDisplayShowsTheNoticeBeforeItDrawsTheIcon)
{
    ::mV mv{};
    mv.editorWindowId = 7;
    RECT place = {10, 20, 42, 52};
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(fake.Log(), (Lines{"GetEditorSurface(7,0)", "#1.Blit(editor,10,20,1,0,0,0)"}));

    fake.Reset();
    Outcome(UpdateOutcome::MinorUpdate, L"v1.1");
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    Lines expected = BadgeCalls(MinorBadge);
    expected.insert(expected.begin(), "GetEditorSurface(7,0)");
    expected.push_back("#1.Blit(editor,10,20,1,0,0,0)");
    EXPECT_EQ(fake.Log(), expected);
    // The badge reached the editor with the icon.
    HostSurface* editor = Host::Surfaces.GetEditorSurface(7, 0);
    const FakeMmfs2::SurfaceInfo drawn = fake.Describe(editor);
    EXPECT_EQ(drawn.pixels[(20 + 30) * drawn.width + 10 + 30], MinorBadge.fillColour);
    EXPECT_EQ(drawn.pixels[(20 + 17) * drawn.width + 10 + 1], MinorBadge.textColour);

    fake.Reset();
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(fake.Log(), (Lines{"GetEditorSurface(7,0)", "#1.Blit(editor,10,20,1,0,0,0)"}));
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(UpdateNotice, OnlyAWebAddressOfSaneLengthIsOffered)
{
    const std::wstring page = L"https://e.example/";
    const struct {
        std::wstring url;
        bool offered;
    } cases[] = {
        {page + std::wstring(2048 - page.size(), L'a'), true},
        {L"HTTP://e.example/", true},
        {page + std::wstring(2049 - page.size(), L'a'), false},
        {L"ftp://e.example/", false},
        {L"file:///C:/Windows/notepad.exe", false},
        {L"https:/e.example/", false},
    };
    for (const auto& c : cases) {
        Reset();
        MakeIcon(32, 32, true);
        boxes.answer = IDYES;
        Outcome(UpdateOutcome::MajorUpdate, L"v2", c.url);
        Polvane::ShowUpdateNotice();
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.url.size();
        EXPECT_EQ(boxes.boxes[0].title, c.offered ? L"Morvalex update notice" : L"Update notice - Morvalex")
            << c.url.substr(0, 40);
        EXPECT_EQ(opened.size(), c.offered ? 1u : 0u) << c.url.substr(0, 40);
    }
}
