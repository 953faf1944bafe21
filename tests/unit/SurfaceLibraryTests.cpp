// The binding of the host's surface library by ordinal, and the surface and input-file operations
// reaching it with their arguments (the fake MMFS2.dll logs what it was called with).
#include "InProcess.h"

#include "FakeSurfaces.h"
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Host/SurfaceLibrary.h"
#include "Library.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

HMODULE WINAPI FindFake() { return LoadLibraryW(TestHost::FakeSurfaceLibraryPath().c_str()); }
HMODULE WINAPI FindNothing() { return nullptr; }
// The test program exports nothing at all.
HMODULE WINAPI FindTestProgram() { return GetModuleHandleW(nullptr); }

// A copy of the fake whose export of one ordinal has been blanked in memory, so that every other
// operation binds and that one is missing.
HMODULE partialModule = nullptr;
HMODULE WINAPI FindPartial() { return partialModule; }

void BlankOrdinal(HMODULE module, WORD ordinal)
{
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    auto* nt =
        reinterpret_cast<IMAGE_NT_HEADERS32*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(base + directory.VirtualAddress);
    DWORD* entry = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions) + (ordinal - exports->Base);
    DWORD protection = 0;
    ASSERT_TRUE(VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection));
    *entry = 0;
    VirtualProtect(entry, sizeof *entry, protection, &protection);
}

std::string ReadIconImage()
{
    std::ifstream file(MORVALEX_SOURCE_DIR "/extension/Icon.png", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

class SurfaceLibrary : public testing::Test {
protected:
    SurfaceLibrary() { Host::Seam.FindSurfaceLibrary = FindFake; }
    ~SurfaceLibrary() override
    {
        Host::Seam.FindSurfaceLibrary = savedFind;
        Host::Surfaces = savedTable;
    }

    bool SameTable(const Host::SurfaceFunctions& a, const Host::SurfaceFunctions& b)
    {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }

    TestHost::FakeSurfaces fake;
    InProcess::BoxRecorder boxes;
    decltype(Host::Seam.FindSurfaceLibrary) savedFind = Host::Seam.FindSurfaceLibrary;
    Host::SurfaceFunctions savedTable = Host::Surfaces;
};

} // namespace

TEST_F(SurfaceLibrary, AMissingModuleOrOrdinalIsReportedAndLeavesTheBoundTableAsItWas)
{
    TestHost::TempTree tree;
    TestHost::Library partial(tree.Copy(TestHost::FakeSurfaceLibraryPath(), L"Partial.dll").wstring());
    partialModule = partial.Module();
    BlankOrdinal(partialModule, 355);

    const struct {
        const char* label;
        HMODULE(WINAPI* find)();
        const wchar_t* text;
    } cases[] = {
        {"no module", FindNothing, L"MMFS2.dll could not be found, so Morvalex's icon cannot be shown."},
        {"no exports", FindTestProgram,
         L"MMFS2.dll has no function of ordinal 172, so Morvalex's icon cannot be shown."},
        {"last ordinal missing", FindPartial,
         L"MMFS2.dll has no function of ordinal 355, so Morvalex's icon cannot be shown."},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Host::BindSurfaceLibrary());
        const Host::SurfaceFunctions bound = Host::Surfaces;
        boxes.boxes.clear();
        Host::Seam.FindSurfaceLibrary = c.find;
        EXPECT_FALSE(Host::BindSurfaceLibrary()) << c.label;
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.label;
        EXPECT_EQ(boxes.boxes[0].title, L"Polvane error - Morvalex") << c.label;
        EXPECT_EQ(boxes.boxes[0].text, c.text) << c.label;
        EXPECT_EQ(boxes.boxes[0].style & MB_ICONMASK, static_cast<unsigned>(MB_ICONERROR)) << c.label;
        EXPECT_TRUE(SameTable(Host::Surfaces, bound)) << c.label;
        Host::Seam.FindSurfaceLibrary = FindFake;
    }
    EXPECT_TRUE(fake.Log().empty()); // binding calls nothing
}

TEST_F(SurfaceLibrary, SurfaceOperationsReachTheHostLibraryWithTheirArguments)
{
    ASSERT_TRUE(Host::BindSurfaceLibrary());
    EXPECT_TRUE(boxes.boxes.empty());
    HostSurface* prototype = nullptr;
    ASSERT_NE(Host::Surfaces.GetSurfacePrototype(&prototype, 32, 1, 3), 0);
    ASSERT_NE(prototype, nullptr);
    {
        HostSurface source;
        HostSurface target;
        source.Create(5, 3, prototype);
        EXPECT_EQ(source.GetWidth(), 5);
        EXPECT_EQ(source.GetHeight(), 3);
        EXPECT_FALSE(source.HasAlpha());
        source.CreateAlpha();
        EXPECT_TRUE(source.HasAlpha());
        source.SetTransparentColor(0x123456);
        target.Create(8, 8, prototype);
        EXPECT_TRUE(source.Blit(target));
        HostSurface* editor = Host::Surfaces.GetEditorSurface(77, 0);
        ASSERT_NE(editor, nullptr);
        EXPECT_TRUE(source.Blit(*editor, -2, 40, 5, 6, 7, 8));
        target.Clone(source, -1, -1);
        FakeMmfs2::SurfaceInfo clone = fake.Describe(&target);
        EXPECT_EQ(clone.width, 5);
        EXPECT_EQ(clone.height, 3);
        EXPECT_TRUE(clone.hasAlpha);
        EXPECT_EQ(clone.transparentColor, 0x123456u);
        target.Reset();
        EXPECT_EQ(fake.Describe(&target).width, 0);
        fake.SetFailures(FakeMmfs2::FailBlit, 1234);
        EXPECT_FALSE(source.Blit(target));
        EXPECT_EQ(source.GetSurfaceLastError(), 1234);
    }
    const Lines expected = {
        "GetSurfacePrototype(32,1,3)",
        "#1.Construct",
        "#2.Construct",
        "#1.Create(5,3,prototype)",
        "#1.GetWidth",
        "#1.GetHeight",
        "#1.HasAlpha",
        "#1.CreateAlpha",
        "#1.HasAlpha",
        "#1.SetTransparentColor(123456)",
        "#2.Create(8,8,prototype)",
        "#1.Blit(#2)",
        "GetEditorSurface(77,0)",
        "#1.Blit(editor,-2,40,5,6,7,8)",
        "#2.Clone(#1,-1,-1)",
        "#2.Reset",
        "#1.Blit(#2)",
        "#1.GetSurfaceLastError",
        "#2.Destroy",
        "#1.Destroy",
    };
    EXPECT_EQ(fake.Log(), expected);
}

TEST_F(SurfaceLibrary, AMemoryInputFileReadsTheGivenBytesAndIsReleasedThroughItsSecondVirtualOperation)
{
    ASSERT_TRUE(Host::BindSurfaceLibrary());
    const std::string image = ReadIconImage();
    ASSERT_EQ(image.size(), 161u);
    std::uint32_t filterManager = 0;
    {
        HostSurface decoded;
        HostInputFile* file = Host::Surfaces.CreateMemoryInputFile();
        ASSERT_NE(file, nullptr);
        file->OpenMemory(image.data(), static_cast<std::uint32_t>(image.size()));
        EXPECT_EQ(file->GetBuffer(), reinterpret_cast<const std::uint8_t*>(image.data()));
        EXPECT_NE(Host::Surfaces.ImportImage(&filterManager, file, &decoded, 0, 0), 0);
        file->Release();
        FakeMmfs2::SurfaceInfo info = fake.Describe(&decoded);
        EXPECT_EQ(info.width, 32);
        EXPECT_EQ(info.height, 32);
        EXPECT_TRUE(info.hasAlpha);
    }
    char manager[16];
    std::snprintf(manager, sizeof manager, "%08X",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&filterManager)));
    const Lines expected = {
        "#1.Construct",
        "CreateMemoryInputFile",
        "file.OpenMemory(161)",
        "file.GetBuffer",
        std::string("ImportImage(") + manager + ",#1,0,0)",
        "file.Release",
        "#1.Destroy",
    };
    EXPECT_EQ(fake.Log(), expected);
}

// The badge's ordinals are assumed: without any of them the icon's operations still bind, silently.
TEST_F(SurfaceLibrary, BadgeOrdinalsAreBoundApartFromTheIconsOperations)
{
    ASSERT_TRUE(Host::BindSurfaceLibrary());
    EXPECT_TRUE(Host::CanDrawBadge());
    for (WORD ordinal : {436, 470, 612, 613}) {
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        EXPECT_TRUE(Host::BindSurfaceLibrary()) << ordinal;
        EXPECT_FALSE(Host::CanDrawBadge()) << ordinal;
        EXPECT_NE(Host::Surfaces.Clone, nullptr) << ordinal;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}
