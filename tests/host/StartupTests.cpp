// Start-up in folder trees laid out as the host lays them out, seen through the probe program; exports
// called out of the host's order; the boundary that turns an exception inside an export into a box.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace fs = std::filesystem;

namespace {

std::string Definition(const std::string& identifier)
{
    return R"({"Identifier": ")" + identifier +
           R"(", "Dependencies": ["a.dll", 5], "L": {"About": {"Name": "x"}}})";
}

// What the probe prints for the resource's definition, or for one read from a file: the file's name is then
// the first dependency, and a name that is not a text is empty.
std::string Seen(const std::string& identifier, int runMode = 0)
{
    return "initialize=0\nrunmode=" + std::to_string(runMode) + "\nidentifier=" + identifier +
           (identifier == "ZOBU"
                ? "\ncounts=42 6 76\n"
                : "\ncounts=0 0 0\ndependency=Morvalex.json\ndependency=a.dll\ndependency=\n");
}

// The host program at App\Host.exe, the library in Extensions\Unicode\.
class Startup : public testing::Test {
protected:
    TestHost::TempTree tree;
    fs::path probe = Copy(L"App\\Host.exe");
    fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Unicode\\Morvalex.mfx");

    fs::path Copy(const std::wstring& to)
    {
        return tree.Copy(TestHost::BuildFolder() / L"tests\\host_probe.exe", to);
    }
    // What the probe at `program` printed, read as text: its line ends as LF.
    std::string Probe(const fs::path& program)
    {
        FILE* pipe =
            _wpopen((L"\"\"" + program.wstring() + L"\" \"" + library.wstring() + L"\"\"").c_str(), L"rt");
        std::string output;
        for (int c; (c = std::fgetc(pipe)) != EOF;)
            output += char(c);
        _pclose(pipe);
        return output;
    }
};

} // namespace

TEST_F(Startup, DefinitionIsLookedForInSixPlacesThenInTheResources)
{
    std::vector<std::wstring> places; // the language's file, then the plain one, in each of three folders
    for (const wchar_t* name : {L"Morvalex.EN.json", L"Morvalex.json"})
        for (const wchar_t* folder : {L"Extensions\\Unicode\\", L"App\\", L"App\\Data\\Runtime\\"})
            places.push_back(folder + std::wstring(name));
    for (int i = 0; i < 6; ++i)
        tree.Write(places[i], Definition("ID" + std::to_string(i) + "_"));
    for (int i = 0; i < 6; tree.Remove(places[i++]))
        EXPECT_EQ(Probe(probe), Seen("ID" + std::to_string(i) + "_"));
    EXPECT_EQ(Probe(probe), Seen("ZOBU"));
    // A sibling that cannot be opened is not found, and the resource is then not tried.
    const HANDLE locked =
        CreateFileW(tree.Write(places[5], "{}").c_str(), GENERIC_READ, 0, 0, OPEN_EXISTING, 0, 0);
    EXPECT_EQ(Probe(probe),
              "box=Couldn't find JSON - Morvalex|JSON file for Morvalex not found on disk or in MFX "
              "resources\ninitialize=-1\nrunmode=0\n");
    CloseHandle(locked);
}

TEST_F(Startup, TheHostsLanguageStringChoosesTheLanguagesFile)
{
    for (const std::string code : {"EN", "FR", "JP"})
        tree.Write(L"Extensions\\Unicode\\Morvalex." + fs::path(code).wstring() + L".json",
                   Definition(code + "__"));
    EXPECT_EQ(Probe(probe), Seen("EN__")); // no language string
    for (const auto& [language, code] : {std::pair<std::wstring, const char*>{L"1036", "FR__"},
                                         {L"1041", "JP__"},
                                         {L"1036 French", "FR__"},
                                         {L"x1036", "EN__"}}) {
        // String 720 of the host program, in a block of 16 strings whose others are empty.
        std::wstring block = wchar_t(language.size()) + language + std::wstring(15, L'\0');
        HANDLE update = BeginUpdateResourceW(probe.c_str(), FALSE);
        ASSERT_TRUE(update &&
                    UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(720 / 16 + 1), 0, block.data(),
                                    block.size() * 2) &&
                    EndUpdateResourceW(update, FALSE));
        EXPECT_EQ(Probe(probe), Seen(code)) << fs::path(language);
    }
}

// The editor's test run-time lives under the editor's Data\Runtime folder, with the editor beside it.
TEST_F(Startup, TheEditorsTestRuntimeIsRecognisedByItsPlace)
{
    tree.Write(L"mmf2u.exe", "");
    for (const auto& [place, mode] : {std::pair{L"Hwa\\Unicode\\edrtex.exe", 3},
                                      {L"edrt.exe", 3},
                                      {L"Unicode\\Hwa\\edrtex.exe", 0}, // "\Unicode" is removed before "\Hwa"
                                      {L"Host.exe", 0}})
        EXPECT_EQ(Probe(Copy(L"Data\\Runtime\\" + std::wstring(place))), Seen("ZOBU", mode))
            << fs::path(place);
    tree.Remove(L"mmf2u.exe"); // without the editor beside it, a run-time is a built application
    EXPECT_EQ(Probe(tree.Path(L"Data\\Runtime\\edrt.exe")), Seen("ZOBU"));
}

// Before a successful Initialize, and for an object never built, exports answer neutrally.
TEST(Exports, AnswerTheHostInAndOutOfOrder)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    TestHost::MessageBoxRecorder boxes(library.Module());
    TestHost::Host host;
    std::vector<std::uint32_t> infos;
    for (std::int32_t id = -1; id <= 9; ++id)
        infos.push_back(library.Call<std::uint32_t>("GetInfos", id));
    EXPECT_EQ(infos, (std::vector<std::uint32_t>{0, 0x300, 0, 0x100, 0, 0, 0, 2, 254, 1, 0}));
    HostRunInfo info{};
    EXPECT_EQ(library.Call("GetRunObjectInfos", host.MV(), &info), 0);
    EXPECT_EQ(*library.Call<const wchar_t**>("GetDependencies"), nullptr);
    const std::wstring premature = L"Polvane error - Morvalex: Premature function call!\n  Called "
                                   L"DefaultLanguageIndex() before ::SDK was a valid pointer.|";
    EXPECT_EQ(TestHost::Joined(boxes.Boxes()), premature);
    ASSERT_EQ(library.Call("Initialize", host.MV(), 0), 0);
    EXPECT_EQ(library.Call("GetRunObjectInfos", host.MV(), &info), 1);
    // An object never built has an empty debugger tree and no items.
    RUNDATA* neverBuilt = host.NewObject();
    EXPECT_EQ(library.Call<std::uint16_t*>("GetDebugTree", neverBuilt)[0], 0xFFFF);
    wchar_t buffer[256] = L"kept";
    library.Call<void>("GetDebugItem", buffer, neverBuilt, 0);
    library.Call<void>("EditDebugItem", neverBuilt, 0);
    EXPECT_STREQ(buffer, L"kept");
    EXPECT_EQ(TestHost::Joined(boxes.Boxes()), premature);
}

// A sibling file too large to read throws inside start-up (the definition in a built application, the icon
// while the editor builds the state object): a box and -1. Fit to read, the same file starts the library.
TEST(Boundary, AnExceptionInAnExportIsABoxAndTheNeutralAnswer)
{
    for (const auto& [sibling, mainWindow] : {std::pair{L"Morvalex.json", 0}, {L"Morvalex.png", 1}}) {
        TestHost::TempTree tree;
        const fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx");
        const fs::path file = tree.Write(sibling, Definition("FILE"));
        fs::resize_file(file, (16 << 20) + 1); // sparse: nothing more is written
        TestHost::Session session(library.wstring(), reinterpret_cast<void*>(mainWindow));
        EXPECT_EQ(session.InitializeResult(), -1) << file;
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()),
                  L"Polvane SDK error - Morvalex: Initialize stopped on an unexpected error: Out of memory|");
        fs::resize_file(file, 16 << 20);
        EXPECT_EQ(session.Lib().Call("Initialize", session.TheHost().MV(), 0), 0) << file;
    }
}
