// What only the library's own process can arrange: no host surface library at all, and an update notice
// on a host library without the badge's operations.
#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Lib/Shared/Polvane/UpdateCheck.h"
#include "Lib/Shared/Polvane/UpdateNotice.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }
HMODULE WINAPI FindNothing() { return nullptr; }

struct Icon : testing::Test {
    ~Icon() override
    {
        state.reset();
        Host::Seam.FindSurfaceLibrary = savedFind;
        Host::Surfaces = savedTable;
        Polvane::UpdateState = Polvane::UpdateOutcome::Running;
    }
    void Build(HMODULE(WINAPI* find)())
    {
        Host::Seam.FindSurfaceLibrary = find;
        state.reset(); // first: the language it chose points into its tree
        state.reset(InProcess::BuildState(R"({"Identifier": "ICON", "L": {"About": {"Name": "Icon"}}})"));
    }

    TestHost::FakeSurfaces fake;
    InProcess::BoxRecorder boxes;
    std::unique_ptr<Tovik::SDK> state;
    decltype(Host::Seam.FindSurfaceLibrary) savedFind = Host::Seam.FindSurfaceLibrary;
    Host::SurfaceFunctions savedTable = Host::Surfaces;
};

} // namespace

TEST_F(Icon, WithoutTheSurfaceLibraryThereIsNoIconAndTheHostsSurfacesAreLeftAlone)
{
    Build(FindNothing);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"MMFS2.dll could not be found, so Morvalex's icon cannot be shown.");
    EXPECT_EQ(state->Icon, nullptr);
    void* hostIcon = fake.NewSurface(4, 4, 0x00FF00);
    ::mV mv{};
    RECT place = {10, 20, 42, 52};
    EditorDisplay(&mv, 0, 0, nullptr, &place);
    EXPECT_EQ(MakeIconEx(&mv, static_cast<HostSurface*>(hostIcon), 0, 0, 0), 0);
    EXPECT_TRUE(fake.Log().empty());
    EXPECT_EQ(fake.Describe(hostIcon).width, 4);
}

// The icon of a host library without one of the badge's operations is never badged, and nothing is said.
TEST_F(Icon, WithoutTheBadgesOperationsTheNoticePaintsNothing)
{
    for (WORD ordinal : {436, 470, 612, 613}) {
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        Build(FindFake);
        ASSERT_NE(state->Icon, nullptr) << ordinal;
        HostSurface* prototype = nullptr;
        Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3);
        state->Icon->Create(32, 32, prototype); // a badge's width
        fake.Reset();
        Polvane::UpdateNoticeShown = false;
        Polvane::AcquireUpdateLock();
        Polvane::UpdateState = Polvane::UpdateOutcome::MinorUpdate;
        Polvane::ReleaseUpdateLock();
        Polvane::ShowUpdateNotice();
        EXPECT_EQ(fake.Log(), (std::vector<std::string>{"#1.GetWidth", "#1.GetHeight"})) << ordinal;
        EXPECT_TRUE(boxes.boxes.empty()) << ordinal;
    }
}
