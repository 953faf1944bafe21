// The icon of the real library in the editor: built from the embedded image or from an image beside the
// library, drawn by EditorDisplay and copied by MakeIconEx, all seen through the fake MMFS2.dll.
#include "FakeSurfaces.h"
#include "Session.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Boxes = std::vector<std::pair<std::wstring, std::wstring>>;
using EditorDisplayFn = void(HOST_STDCALL*)(::mV* mV, std::int32_t, std::int32_t, EDITDATA* edPtr, RECT* rc);
using MakeIconExFn = std::int32_t(HOST_STDCALL*)(::mV* mV, void* icon, std::int32_t, std::int32_t,
                                                 std::int32_t);

// A PNG file as far as its header: the signature, IHDR (CRC not filled in) and IEND.
std::string Png(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colourType)
{
    auto bigEndian = [](std::uint32_t value) {
        return std::string{static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    };
    std::string png = "\x89PNG\r\n\x1A\n";
    png += bigEndian(13) + "IHDR" + bigEndian(width) + bigEndian(height);
    png += {static_cast<char>(depth), static_cast<char>(colourType), 0, 0, 0};
    png += bigEndian(0) + bigEndian(0) + "IEND" + bigEndian(0);
    return png;
}

class EditorIcon : public testing::Test {
protected:
    // The fake is loaded and reset before the library initialises, so its log starts with the icon.
    void Start(const std::wstring& library = TestHost::BuiltLibraryPath())
    {
        session = std::make_unique<TestHost::Session>(library, GetDesktopWindow());
        ASSERT_EQ(session->InitializeResult(), 0);
    }

    ::mV* MV() { return session->TheHost().MV(); }

    Boxes SeenBoxes() const
    {
        Boxes seen;
        for (const auto& box : session->Boxes().Boxes())
            seen.emplace_back(box.title, box.text);
        return seen;
    }

    TestHost::FakeSurfaces fake;
    TestHost::TempTree tree;
    std::unique_ptr<TestHost::Session> session;
};

} // namespace

TEST_F(EditorIcon, IsBuiltFromTheEmbeddedImage)
{
    Start();
    EXPECT_TRUE(SeenBoxes().empty());
    EXPECT_EQ(fake.Log(), TestHost::EmbeddedIconBuild(MV()->imageFilterManager));
}

TEST_F(EditorIcon, EditorDisplayDrawsTheIconAtTheRectanglesLeftAndTop)
{
    Start();
    auto display = session->Lib().Export<EditorDisplayFn>("EditorDisplay");
    MV()->editorWindowId = 0x4D2;
    const struct {
        RECT place;
        const char* blit;
    } cases[] = {
        {{10, 20, 42, 52}, "#1.Blit(editor,10,20,1,0,0,0)"},
        {{-8, 300, 24, 332}, "#1.Blit(editor,-8,300,1,0,0,0)"},
    };
    for (auto c : cases) {
        fake.Reset();
        display(MV(), 0, 0, nullptr, &c.place);
        EXPECT_EQ(fake.Log(), (Lines{"GetEditorSurface(1234,0)", c.blit}));
    }
    EXPECT_TRUE(SeenBoxes().empty());
}

TEST_F(EditorIcon, EditorDisplayDrawsNothingWithoutAnEditorSurface)
{
    Start();
    fake.Reset();
    fake.SetFailures(FakeMmfs2::NoEditorSurface);
    RECT place = {10, 20, 42, 52};
    session->Lib().Export<EditorDisplayFn>("EditorDisplay")(MV(), 0, 0, nullptr, &place);
    EXPECT_EQ(fake.Log(), Lines{"GetEditorSurface(0,0)"});
}

TEST_F(EditorIcon, MakeIconExCopiesTheIconIntoTheHostsSurfaceWithTheMagentaKey)
{
    Start();
    fake.Reset();
    void* hostIcon = fake.NewSurface(16, 16, 0x00FF00);
    EXPECT_EQ(session->Lib().Export<MakeIconExFn>("MakeIconEx")(MV(), hostIcon, 0, 0, 0), 0);
    EXPECT_EQ(fake.Log(), (Lines{"host.Reset", "host.Clone(#1,-1,-1)", "host.SetTransparentColor(FF00FF)"}));
    FakeMmfs2::SurfaceInfo copy = fake.Describe(hostIcon);
    EXPECT_EQ(copy.width, 32);
    EXPECT_EQ(copy.height, 32);
    EXPECT_TRUE(copy.hasAlpha);
    EXPECT_TRUE(copy.hasTransparentColor);
    EXPECT_EQ(copy.transparentColor, 0xFF00FFu);
    EXPECT_EQ(TestHost::PixelsUnlikeImported(copy), 0);
    fake.DeleteSurface(hostIcon);
}

TEST_F(EditorIcon, AnImageBesideTheLibraryIsUsedAndAFailedOneIsReported)
{
    const struct {
        const char* label;
        std::string image;
        const wchar_t* box; // null: no box
        Lines afterImport;
    } cases[] = {
        // Colour without alpha: both surfaces get the magenta key.
        {"24 by 16, depth 8, no alpha",
         Png(24, 16, 8, 2),
         nullptr,
         {"file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth", "#2.GetHeight",
          "#1.Create(24,16,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Blit(#1)", "#2.Destroy"}},
        {"depth 4",
         Png(32, 32, 4, 3),
         L"Morvalex's Icon.png uses a bit depth of 4, which is too small.",
         {"file.GetBuffer", "file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth",
          "#2.GetHeight", "#1.Create(0,0,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Destroy"}},
        {"depth 1",
         Png(32, 32, 1, 0),
         L"Morvalex's Icon.png uses a bit depth of 1, which is too small.",
         {"file.GetBuffer", "file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth",
          "#2.GetHeight", "#1.Create(0,0,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Destroy"}},
        // Too short to hold a bit depth: the header is not read past the file's end.
        {"24 bytes",
         Png(32, 32, 4, 3).substr(0, 24),
         L"Morvalex's Icon.png failed to load.",
         {"file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth", "#2.GetHeight",
          "#1.Create(0,0,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Destroy"}},
    };
    const std::wstring library = tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring();
    for (const auto& c : cases) {
        tree.Write(L"Morvalex.png", c.image);
        fake.Reset();
        Start(library);
        Boxes expectedBoxes;
        if (c.box != nullptr)
            expectedBoxes.emplace_back(L"Failed to load ext icon - Morvalex", c.box);
        EXPECT_EQ(SeenBoxes(), expectedBoxes) << c.label;
        Lines expected = TestHost::IconBuildStart(MV()->imageFilterManager, c.image.size());
        expected.insert(expected.end(), c.afterImport.begin(), c.afterImport.end());
        EXPECT_EQ(fake.Log(), expected) << c.label;
        session.reset();
    }
}

TEST_F(EditorIcon, AHostLibraryWithoutABadgeOperationStillGivesTheIcon)
{
    TestHost::MissingOrdinal missing(fake.Module(), 470);
    Start();
    EXPECT_TRUE(SeenBoxes().empty());
    EXPECT_EQ(fake.Log(), TestHost::EmbeddedIconBuild(MV()->imageFilterManager));
}
