// The icon built with the state object, through the fake MMFS2.dll: the calls the host library sees, the
// surface that results, and the boxes of each failure.
#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Polvane/UpdateNotice.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Boxes = std::vector<std::pair<std::wstring, std::wstring>>;

HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }
HMODULE WINAPI FindNothing() { return nullptr; }

class Icon : public testing::Test {
protected:
    Icon()
    {
        Host::Seam.FindSurfaceLibrary = FindFake;
        Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
        mv.imageFilterManager = &filterManager;
    }
    ~Icon() override
    {
        state.reset();
        Host::Seam.FindSurfaceLibrary = savedFind;
        Host::Surfaces = savedTable;
    }

    // The state object of a small definition; the icon image is the one embedded in the test program.
    void Build()
    {
        ::SDK = nullptr;
        state = std::make_unique<Tovik::SDK>(
            &mv, InProcess::ParseDefinition(
                     R"({"Identifier": "ICON", "Dependencies": "", "L": {"About": {"Name": "Icon"}}})"));
    }

    Boxes SeenBoxes() const
    {
        Boxes seen;
        for (const auto& box : boxes.boxes)
            seen.emplace_back(box.title, box.text);
        return seen;
    }

    TestHost::FakeSurfaces fake;
    InProcess::BoxRecorder boxes;
    std::uint32_t filterManager = 0;
    ::mV mv{};
    std::unique_ptr<Tovik::SDK> state;
    decltype(Host::Seam.FindSurfaceLibrary) savedFind = Host::Seam.FindSurfaceLibrary;
    Host::SurfaceFunctions savedTable = Host::Surfaces;
};

} // namespace

TEST_F(Icon, IsBuiltFromTheEmbeddedImageAndReleasedWithTheStateObject)
{
    Build();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(fake.Log(), TestHost::EmbeddedIconBuild(&filterManager));

    ASSERT_NE(state->Icon, nullptr);
    FakeMmfs2::SurfaceInfo icon = fake.Describe(state->Icon);
    EXPECT_EQ(icon.id, 1);
    ASSERT_EQ(icon.width, 32);
    ASSERT_EQ(icon.height, 32);
    EXPECT_TRUE(icon.hasAlpha);
    EXPECT_FALSE(icon.hasTransparentColor);
    EXPECT_EQ(TestHost::PixelsUnlikeImported(icon), 0);

    fake.Reset();
    state.reset();
    EXPECT_EQ(fake.Log(), Lines{"#1.Destroy"});
}

TEST_F(Icon, EachFailureIsReportedAndTheIconKeepsWhatItGot)
{
    const struct {
        const char* label;
        std::uint32_t failures;
        Boxes boxes;
        Lines afterImport; // what follows the import's own line
        int width;
    } cases[] = {
        // Without a prototype the host library cannot make pixels: the icon stays empty.
        {"no prototype",
         FakeMmfs2::FailPrototype,
         {{L"Polvane error - Morvalex", L"Getting surface prototype failed."}},
         {"file.Release", "#2.HasAlpha", "#2.Destroy"},
         0},
        {"import fails",
         FakeMmfs2::FailImport,
         {{L"Failed to load ext icon - Morvalex", L"Morvalex's Icon.png failed to load."}},
         {"file.GetBuffer", "file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth",
          "#2.GetHeight", "#1.Create(0,0,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Destroy"},
         0},
        {"blit fails",
         FakeMmfs2::FailBlit,
         {{L"Polvane error - Morvalex", L"Blitting to ext icon surface failed. Last error: 7."}},
         {"file.Release", "#2.HasAlpha", "#2.GetWidth", "#2.GetHeight", "#1.Create(32,32,prototype)",
          "#1.CreateAlpha", "#2.Blit(#1)", "#2.GetSurfaceLastError", "#2.Destroy"},
         32},
    };
    for (const auto& c : cases) {
        state.reset();
        fake.Reset();
        boxes.boxes.clear();
        fake.SetFailures(c.failures, 7);
        Build();
        EXPECT_EQ(SeenBoxes(), c.boxes) << c.label;
        Lines expected = TestHost::IconBuildStart(&filterManager, TestHost::EmbeddedIconBytes);
        expected.insert(expected.end(), c.afterImport.begin(), c.afterImport.end());
        EXPECT_EQ(fake.Log(), expected) << c.label;
        ASSERT_NE(state->Icon, nullptr) << c.label;
        EXPECT_EQ(fake.Describe(state->Icon).width, c.width) << c.label;
    }
}

TEST_F(Icon, StaysEmptyWithoutAnImageFilterManager)
{
    mv.imageFilterManager = nullptr;
    Build();
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(fake.Log(), (Lines{"GetSurfacePrototype(32,1,3)", "#1.Construct"}));
    ASSERT_NE(state->Icon, nullptr);
    EXPECT_EQ(fake.Describe(state->Icon).width, 0);
}

TEST_F(Icon, WithoutTheSurfaceLibraryThereIsNoIconAndTheEditorExportsLeaveTheHostsSurfacesAlone)
{
    Host::Seam.FindSurfaceLibrary = FindNothing;
    Build();
    EXPECT_EQ(SeenBoxes(), (Boxes{{L"Polvane error - Morvalex",
                                   L"MMFS2.dll could not be found, so Morvalex's icon cannot be shown."}}));
    EXPECT_EQ(state->Icon, nullptr);

    void* hostIcon = fake.NewSurface(4, 4, 0x00FF00);
    RECT place = {10, 20, 42, 52};
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(MakeIconEx(&mv, static_cast<HostSurface*>(hostIcon), 0, 0, 0), 0);
    EXPECT_TRUE(fake.Log().empty());
    EXPECT_EQ(fake.Describe(hostIcon).width, 4);
    fake.DeleteSurface(hostIcon);
}

// A host library without one of the badge's operations: the icon is built as ever, and an update
// notice leaves it unbadged, with nothing shown about it.
TEST_F(Icon, WithoutTheBadgesOperationsTheIconIsBuiltAndNeverBadged)
{
    for (WORD ordinal : {436, 470, 612, 613}) {
        state.reset();
        fake.Reset();
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        Build();
        EXPECT_EQ(fake.Log(), TestHost::EmbeddedIconBuild(&filterManager)) << ordinal;
        fake.Reset();
        Polvane::UpdateNoticeShown = false;
        Polvane::AcquireUpdateLock();
        Polvane::UpdateState = Polvane::UpdateOutcome::MinorUpdate;
        Polvane::ReleaseUpdateLock();
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(fake.Log(), (Lines{"#1.GetWidth", "#1.GetHeight"})) << ordinal;
        EXPECT_TRUE(boxes.boxes.empty()) << ordinal;
    }
    Polvane::UpdateState = Polvane::UpdateOutcome::Running;
}
