// Start-up of the real library in folder trees laid out as the host lays them out, seen through the probe
// program: where the definition is found, which language the host executable names, and the run mode.
#include "Library.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const fs::path probeProgram = TestHost::BuildFolder() / L"tests" / L"host_probe.exe";

std::string Definition(const std::string& identifier)
{
    return R"({"Identifier": ")" + identifier + R"(", "Dependencies": ["a.dll", 5], "L": {"About": {"Name": "x"}}})";
}

// Runs the probe copied at `program` for that library: what it printed, by key.
std::map<std::string, std::string> Probe(const fs::path& program, const fs::path& library)
{
    const auto result = TestHost::RunProcess(program, L"\"" + library.wstring() + L"\"");
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    std::map<std::string, std::string> values;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t equals = line.find('='); equals != std::string::npos)
            values[line.substr(0, equals)] += line.substr(equals + 1, line.find_last_not_of('\r') - equals);
    return values;
}

// The host program at App\Host.exe, the library in Extensions\Unicode\.
class Startup : public testing::Test {
protected:
    TestHost::TempTree tree;
    fs::path probe = tree.Copy(probeProgram, L"App\\Host.exe");
    fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Unicode\\Morvalex.mfx");

    std::map<std::string, std::string> Load() { return Probe(probe, library); }
};

} // namespace

TEST_F(Startup, DefinitionIsLookedForInSixPlacesThenInTheResources)
{
    const wchar_t* const places[] = {L"Extensions\\Unicode\\Morvalex.EN.json", L"App\\Morvalex.EN.json",
                                     L"App\\Data\\Runtime\\Morvalex.EN.json",  L"Extensions\\Unicode\\Morvalex.json",
                                     L"App\\Morvalex.json",                    L"App\\Data\\Runtime\\Morvalex.json"};
    for (int i = 0; i < 6; ++i)
        tree.Write(places[i], Definition("ID" + std::to_string(i) + "_"));
    for (int i = 0; i < 6; ++i) {
        // Read from a file, the definition is the first dependency; a name that is not a text is empty.
        auto seen = Load();
        EXPECT_EQ(seen["identifier"] + " " + seen["dependencies"], "ID" + std::to_string(i) + "_ Morvalex.json|a.dll||");
        tree.Remove(places[i]);
    }
    auto seen = Load();
    EXPECT_EQ(seen["identifier"] + " " + seen["counts"] + " [" + seen["dependencies"] + seen["box"] + "]", "ZOBU 42 6 76 []");

    // A sibling that cannot be opened is not found, and the resource is then not tried.
    const HANDLE locked = CreateFileW(tree.Write(places[3], "{}").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Load()["box"], "Couldn't find JSON - Morvalex|JSON file for Morvalex not found on disk or in MFX resources");
    CloseHandle(locked);
    tree.Write(places[3], "{\"Identifier\": \"ZOBU\",}x");
    EXPECT_EQ(Load()["box"], "Error parsing JSON - Morvalex|JSON file for Morvalex couldn't be parsed:\\nLine 1, "
                             "char 23: Trailing garbage: `x`");
}

TEST_F(Startup, TheHostsLanguageStringChoosesTheLanguagesFile)
{
    for (const char* code : {"EN", "FR", "JP"})
        tree.Write(L"Extensions\\Unicode\\Morvalex." + fs::path(code).wstring() + L".json", Definition(code + std::string("__")));
    EXPECT_EQ(Load()["identifier"], "EN__"); // no language string
    for (const auto& [language, identifier] : {std::pair<std::wstring, const char*>{L"1036", "FR__"}, {L"1041", "JP__"},
                                               {L"1033", "EN__"}, {L"1036 French", "FR__"}, {L"x1036", "EN__"}}) {
        // String 720 of the host program, in a block of 16 strings whose others are empty.
        std::wstring block = wchar_t(language.size()) + language + std::wstring(15, L'\0');
        HANDLE update = BeginUpdateResourceW(probe.c_str(), FALSE);
        ASSERT_TRUE(update && UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(720 / 16 + 1), 0, block.data(),
                                              static_cast<DWORD>(block.size() * sizeof(wchar_t))));
        ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
        EXPECT_EQ(Load()["identifier"], identifier) << fs::path(language);
    }
}

// The editor's test run-time lives under the editor's Data\Runtime folder, with the editor beside it.
TEST(RunMode, TheEditorsTestRuntimeIsRecognisedByItsPlace)
{
    TestHost::TempTree tree;
    const fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Fusion\\Extensions\\Unicode\\Morvalex.mfx");
    tree.Write(L"Fusion\\mmf2u.exe", "");
    for (const auto& [place, mode] : {std::pair{L"Hwa\\Unicode\\edrtex.exe", "3"}, {L"edrt.exe", "3"},
                                      {L"Unicode\\Hwa\\edrtex.exe", "0"}, // "\Unicode" is removed before "\Hwa"
                                      {L"Host.exe", "0"}}) {
        const fs::path program = tree.Copy(probeProgram, L"Fusion\\Data\\Runtime\\" + std::wstring(place));
        EXPECT_EQ(Probe(program, library)["runmode"], mode) << program;
    }
    tree.Remove(L"Fusion\\mmf2u.exe"); // without the editor beside it, a run-time is a built application
    EXPECT_EQ(Probe(tree.Path(L"Fusion\\Data\\Runtime\\edrt.exe"), library)["runmode"], "0");
}
