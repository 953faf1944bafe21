// The update notice: the worker's outcome set in its shared state, then shown on the editor's main thread.
// Boxes go through the seam, the opening of the update page through the seam's shell entry, and the badge
// is painted on the state object's icon in the fake MMFS2.dll. Also the icon where only the library's own
// process can arrange it: no host surface library, or one without the badge's operations. The settings are
// read once per process, so a case that writes them expects to be the first to ask (ctest runs each alone).
#include "Lib/Shared/Host/Seam.h"

#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Polvane/UpdateNotice.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>

using O = Polvane::UpdateOutcome;
using Lines = std::vector<std::string>;
using Texts = std::vector<std::wstring>;

namespace {

Texts opened; // "operation page show", and "+" when anything else was passed
HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR operation, LPCWSTR page, LPCWSTR parameters, LPCWSTR folder,
                            INT show)
{
    opened.push_back(std::wstring(operation) + L" " + page + L" " + std::to_wstring(show) +
                     (owner || parameters || folder ? L"+" : L""));
    return nullptr;
}

HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }
HMODULE WINAPI FindNothing() { return nullptr; }

// A badge's line as the fake logs it, in the notice's font.
std::string Line(const std::string& text, int left, int top, const std::string& colour)
{
    return "#1.DrawText(\"" + text + "\"," + std::to_string(text.size()) + ",{" + std::to_string(left) + "," +
           std::to_string(top) + ",32,32},800," + colour +
           ",font(8,0,0,0,400,0,0,0,0,0,0,4,48,Small Fonts),1,0,0,1,0,0,8)";
}
// Each update's badge, from its fill on.
const Lines Major = {"#1.Fill(1,8,29,19,505050)", Line("MAJOR", 2, 7, "0000F0"),
                     Line("UPDATE", 1, 13, "0000F0"), Line("NEEDED", 2, 19, "0000F0")};
const Lines Minor = {"#1.Fill(1,18,30,13,3C3C3C)", Line("UPDATE", 1, 17, "B4B400"),
                     Line("NEEDED", 2, 23, "B4B400")};
const Lines Reinstall = {"#1.Fill(1,18,30,13,3C3C3C)", Line("REINSTL", 1, 17, "0000B4"),
                         Line("NEEDED", 2, 23, "0000B4")};

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, so that the settings
// file is read from ...\Extensions\. The state object is built as a built application builds it (no worker
// is started), then the editor's main thread is this one.
class UpdateNotice : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::RunningAs editor{Polvane::MFXRunMode::Editor};
    TestHost::FakeSurfaces fake;
    InProcess::BoxRecorder boxes;
    Host::SeamTable savedSeam = Host::Seam;
    Host::SurfaceFunctions savedSurfaces = Host::Surfaces;
    std::unique_ptr<Tovik::SDK> state;

    UpdateNotice()
    {
        Host::Seam.ShellExecuteW = RecordOpen;
        Build(FindFake);
        MakeIcon(32, 32, true);
    }
    ~UpdateNotice() override
    {
        state.reset();
        Host::Seam = savedSeam;
        Host::Surfaces = savedSurfaces;
    }
    void Build(HMODULE(WINAPI* findSurfaceLibrary)())
    {
        Host::Seam.FindSurfaceLibrary = findSurfaceLibrary;
        state.reset(); // first: the language it chose points into its tree
        state.reset(InProcess::BuildState(R"({"Identifier": "N", "Dependencies": "", "L": {"About": {}}})"));
        Polvane::RunMode = Polvane::MFXRunMode::Editor;
        Polvane::OwnerWindow = GetDesktopWindow();
    }
    // The state object's icon remade at that size, black and, with an alpha channel, transparent.
    void MakeIcon(std::int32_t width, std::int32_t height, bool alpha)
    {
        HostSurface* prototype = nullptr;
        ASSERT_NE(Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3), 0);
        state->Icon->Create(width, height, prototype);
        if (alpha)
            state->Icon->CreateAlpha();
        fake.Reset();
    }
    // The worker's outcome stored as the worker stores it, with nothing shown yet; then one display.
    void Notify(O outcome, const std::wstring& text, const std::wstring& page = {},
                const std::string& log = {})
    {
        Polvane::UpdateNoticeShown = false;
        boxes.boxes.clear();
        opened.clear();
        Polvane::AcquireUpdateLock();
        Polvane::UpdateLog.str(log);
        Polvane::UpdateText = text;
        Polvane::UpdateURL = page;
        Polvane::UpdateState = outcome;
        Polvane::ReleaseUpdateLock();
        Polvane::ShowUpdateNotice();
    }
    // Each box as title|text|style in hexadecimal, and "|unowned" for a box without an owner.
    Texts Seen() const
    {
        Texts seen;
        for (const auto& box : boxes.boxes) {
            wchar_t style[16];
            swprintf(style, 16, L"|%X", box.style);
            seen.push_back(box.title + L"|" + box.text + style + (box.owner ? L"" : L"|unowned"));
        }
        return seen;
    }
};

} // namespace

TEST_F(UpdateNotice, WhileTheWorkerRunsEditorDisplaysShowNothingAndNeverWaitForIt)
{
    ::mV mv{};
    mv.editorWindowId = 7;
    RECT place = {10, 20, 42, 52};
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto waitForRelease = [](LPVOID event)
                                    WINAPI -> DWORD { return WaitForSingleObject(event, 20000); };
    const HANDLE worker = CreateThread(nullptr, 0, waitForRelease, release, 0, nullptr);
    Polvane::UpdateThreadHandle = worker;
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(fake.Log(), (Lines{"GetEditorSurface(7,0)", "#1.Blit(editor,10,20,1,0,0,0)"}));
    EXPECT_FALSE(Polvane::UpdateNoticeShown);

    // The outcome is out while the worker still finishes (a notice that waited for it would hang here): the
    // badge is painted before the icon is drawn, and the worker's handle is kept for Free.
    fake.Reset();
    Polvane::UpdateState = O::MinorUpdate;
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    const Lines log = fake.Log();
    EXPECT_EQ(Lines(log.end() - 4, log.end()),
              (Lines{Minor[0], Minor[1], Minor[2], "#1.Blit(editor,10,20,1,0,0,0)"}));
    EXPECT_EQ(Polvane::UpdateThreadHandle, worker);

    // Once handled, nothing more is shown, whatever the state holds; an ended worker's handle is let go.
    SetEvent(release);
    WaitForSingleObject(worker, 10000);
    Polvane::UpdateState = O::Error;
    fake.Reset();
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(fake.Log().size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
    Notify(O::Disabled, L"");
    EXPECT_EQ(Polvane::UpdateThreadHandle, nullptr);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(worker, &flags)) << "the ended worker's handle is still open";
    CloseHandle(release);
}

TEST_F(UpdateNotice, EachOutcomeShowsItsBoxAndBadgeAndOffersOnlyASaneWebPage)
{
    const std::wstring
        page = L"https://e.example/",
        get = page + L"get?x=1&y=%20",
        longPage = L"HTTP://e.example/" + std::wstring(2031, L'a'), // 2,048 characters
        error = L"Update check error - Morvalex|Error occurred while checking for extension updates:\n",
        dev =
            L"Update check error - Morvalex|Extension developer error occurred while checking for extension "
            L"updates:\n",
        major = L"Update notice - Morvalex|Major update for Morvalex:\nv2|12040",
        ask = L"Morvalex update notice|Major update for Morvalex:\nv2|144|unowned";
    const struct {
        O outcome;
        std::wstring text, page;
        std::string log;
        std::wstring box = {}; // empty: none
        const Lines* badge = nullptr;
        bool opens = false;
        int answer = IDYES;
    } cases[] = {
        {O::Disabled, L"", page, "Update check was disabled."},
        {O::NothingToShow, L"None", L"", "Not reporting\n"},
        {O::Error, L"", page, "HTTP error  404\nna\xC3\xAFve 100%s",
         error + L"HTTP error  404\nna\u00EFve 100%s|12010"},
        {O::Error, L"", L"", std::string(10000, 'z'), error + std::wstring(3897, L'z') + L"...|12010"},
        {O::ExtDevError, L"bad build %d", L"", "", dev + L"bad build %d|12010"},
        {O::ExtDevError, std::wstring(3900, L'x'), L"", "", dev + std::wstring(3900, L'x') + L"|12010"},
        // Cut to fit, but not between the halves of a surrogate pair.
        {O::ExtDevError, std::wstring(3896, L'x') + L"\U0001F600tail", L"", "",
         dev + std::wstring(3896, L'x') + L"...|12010"},
        {O::SDKUpdate, L"v2", page, "", L"SDK update notice - Morvalex|SDK update for Morvalex:\nv2|12030"},
        {O::MajorUpdate, L"v2", L"", "", major, &Major},
        {O::MajorUpdate, L"v2", get, "", ask, &Major, false, IDNO},
        {O::MajorUpdate, L"v2", get, "", ask, &Major, true},
        {O::MajorUpdate, L"v2", longPage, "", ask, &Major, true},
        {O::MajorUpdate, L"v2", longPage + L"a", "", major, &Major},
        {O::MajorUpdate, L"v2", L"ftp://e.example/", "", major, &Major},
        {O::MinorUpdate, L"v1.1", page, "", L"", &Minor},
        {O::ReinstallNeeded, L"why?", L"", "",
         L"Reinstall needed - Morvalex|Reinstalled needed for Morvalex:\nwhy?|12040", &Reinstall},
        {O::ReinstallNeeded, L"why", page, "", L"", &Reinstall}, // three characters: no box
        {O::ReinstallNeeded, L"please" + std::wstring(5000, L'.'), page, "",
         L"Morvalex error|Reinstall needed for Morvalex:\nplease" + std::wstring(3891, L'.') +
             L"...|14|unowned",
         &Reinstall, true},
    };
    for (const auto& c : cases) {
        const std::string label = std::to_string(&c - cases);
        boxes.answer = c.answer;
        MakeIcon(32, 32, true);
        Notify(c.outcome, c.text, c.page, c.log);
        const Lines log = fake.Log();
        EXPECT_EQ(Seen(), c.box.empty() ? Texts{} : Texts{c.box}) << label;
        EXPECT_EQ(log.size() > 5 ? Lines(log.begin() + 5, log.end()) : log, c.badge ? *c.badge : Lines{})
            << label;
        EXPECT_EQ(opened, c.opens ? Texts{L"open " + c.page + L" 1"} : Texts{}) << label;
        EXPECT_TRUE(Polvane::UpdateNoticeShown) << label;
    }
}

TEST_F(UpdateNotice, TheBadgeIsPaintedIntoTheIconAndItsAlphaWhereThereIsOne)
{
    const struct {
        std::int32_t height;
        bool alpha;
        std::uint32_t failures;
        Lines calls;      // between the size and the badge
        int opaqueBottom; // the alpha channel is opaque from row 8 down to this row, in columns 1 to 29
    } cases[] = {
        {32, true, 0, {"#1.HasAlpha", "#1.LockAlpha", "#1.UnlockAlpha"}, 27},
        {16, true, 0, {"#1.HasAlpha", "#1.LockAlpha", "#1.UnlockAlpha"}, 16}, // none below the last row
        {32, true, FakeMmfs2::FailLockAlpha, {"#1.HasAlpha", "#1.LockAlpha"}, 8},
        {32, false, 0, {"#1.HasAlpha"}, 8},
    };
    for (const auto& c : cases) {
        const std::string label = std::to_string(&c - cases);
        MakeIcon(32, c.height, c.alpha);
        fake.State().failures = c.failures;
        Notify(O::MajorUpdate, L"v2");
        Lines calls = {"#1.GetWidth", "#1.GetHeight"};
        calls.insert(calls.end(), c.calls.begin(), c.calls.end());
        calls.insert(calls.end(), Major.begin(), Major.end());
        EXPECT_EQ(fake.Log(), calls) << label;
        std::vector<std::uint8_t> alpha(c.alpha ? 32 * c.height : 0);
        for (std::size_t i = 0; i < alpha.size(); ++i)
            alpha[i] =
                i % 32 > 0 && i % 32 < 30 && i / 32 >= 8 && i / 32 < std::size_t(c.opaqueBottom) ? 255 : 0;
        EXPECT_EQ(TestHost::FakeSurfaces::Of(state->Icon).alpha, alpha) << label;
        EXPECT_EQ(GetObjectType(fake.State().lastFont), 0u) << label << ": the font was not deleted";
    }
    for (const std::int32_t width : {31, 33, 0}) { // no badge and no update box
        MakeIcon(width, 32, true);
        Notify(O::MajorUpdate, L"v2", L"https://e.example/");
        EXPECT_EQ(fake.Log(), Lines{"#1.GetWidth"}) << width;
        EXPECT_EQ(Seen(), Texts{L"Polvane error - Morvalex|Morvalex's icon width is not 32. Contact the "
                                L"extension developer.|12010"})
            << width;
    }
}

struct Choice {
    const char* settings;
    O outcome;
    const wchar_t* page;
    const wchar_t* box; // empty: none
};
class UpdateNoticeSettings : public UpdateNotice, public testing::WithParamInterface<Choice> {};

TEST_P(UpdateNoticeSettings, OnlyTheExactValuesSwitchTheUpdateBoxes)
{
    tree.Write(L"Extensions\\Polvane.ini", GetParam().settings);
    Notify(GetParam().outcome, L"v1.1", GetParam().page);
    const Lines log = fake.Log();
    EXPECT_EQ(Lines(log.begin() + 5, log.end()), GetParam().outcome == O::MajorUpdate ? Major : Minor);
    EXPECT_EQ(Seen(), *GetParam().box ? Texts{GetParam().box} : Texts{});
}

INSTANTIATE_TEST_SUITE_P(
    Values, UpdateNoticeSettings,
    testing::Values(Choice{"MsgBoxForMajorUpdate=false", O::MajorUpdate, L"https://e.example/", L""},
                    Choice{"MsgBoxForMajorUpdate=False", O::MajorUpdate, L"",
                           L"Update notice - Morvalex|Major update for Morvalex:\nv1.1|12040"},
                    Choice{"MsgBoxForMinorUpdate=true", O::MinorUpdate, L"",
                           L"update notice - Morvalex|Minor update for Morvalex:\nv1.1|12040"},
                    Choice{"MsgBoxForMinorUpdate=true", O::MinorUpdate, L"http://e.example/",
                           L"Morvalex update notice |Minor update for Morvalex:\nv1.1|144|unowned"},
                    Choice{"MsgBoxForMinorUpdate=True", O::MinorUpdate, L"", L""}));

TEST_F(UpdateNotice, WithoutTheSurfaceLibraryThereIsNoIconAndTheHostsSurfacesAreLeftAlone)
{
    Build(FindNothing);
    fake.Reset(); // the icon of the first build is gone
    EXPECT_EQ(Seen(),
              Texts{L"Polvane error - Morvalex|MMFS2.dll could not be found, so Morvalex's icon cannot be "
                    L"shown.|10"});
    EXPECT_EQ(state->Icon, nullptr);
    ::mV mv{};
    RECT place = {10, 20, 42, 52};
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(MakeIconEx(&mv, static_cast<HostSurface*>(fake.NewSurface()), 0, 0, 0), 0);
    EXPECT_EQ(fake.Log(), Lines{});
}

// The icon of a host library without one of the badge's operations is never badged, and nothing is said.
TEST_F(UpdateNotice, WithoutTheBadgesOperationsTheNoticePaintsNothing)
{
    for (WORD ordinal : {436, 470, 612, 613}) {
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        Build(FindFake);
        ASSERT_NE(state->Icon, nullptr) << ordinal;
        MakeIcon(32, 32, true);
        Notify(O::MinorUpdate, L"v1.1");
        EXPECT_EQ(fake.Log(), (Lines{"#1.GetWidth", "#1.GetHeight"})) << ordinal;
        EXPECT_EQ(Seen(), Texts{}) << ordinal;
    }
}
