// Start-up of the real library in folder trees laid out as the host lays them out: where the definition
// is found, which language code the host executable names, and how the run mode is decided.
#include "Library.h"
#include "TempTree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string DefinitionWithIdentifier(const std::string& identifier)
{
    return R"({"Identifier": ")" + identifier + R"(", "Dependencies": "", "L": {"About": {"Name": "Probe"}}})";
}

std::map<std::string, std::string> Parse(const std::string& output)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::size_t equals = line.find('=');
        if (equals != std::string::npos)
            values[line.substr(0, equals)] += line.substr(equals + 1);
    }
    return values;
}

// Gives a copy of the host program the language string (id 720) that the editor carries.
void SetLanguageString(const fs::path& program, const std::wstring& language)
{
    std::vector<wchar_t> block;
    block.push_back(static_cast<wchar_t>(language.size()));
    block.insert(block.end(), language.begin(), language.end());
    block.insert(block.end(), 15, L'\0'); // the other 15 strings of the block are empty
    HANDLE update = BeginUpdateResourceW(program.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(720 / 16 + 1),
                                MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), block.data(),
                                static_cast<DWORD>(block.size() * sizeof(wchar_t))));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
}

class Startup : public testing::Test {
protected:
    TestHost::TempTree tree;
    fs::path probe;
    fs::path library;

    // The host program at App\Host.exe; the library in its own Extensions\Unicode folder.
    void SetUp() override
    {
        probe = tree.Copy(TestHost::BuildFolder() / L"tests" / L"host_probe.exe", L"App\\Host.exe");
        library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Unicode\\Morvalex.mfx");
    }

    std::map<std::string, std::string> Load()
    {
        TestHost::ProcessResult result = TestHost::RunProcess(probe, L"load \"" + library.wstring() + L"\"");
        EXPECT_EQ(result.exitCode, 0u) << result.output;
        return Parse(result.output);
    }
};

} // namespace

TEST_F(Startup, DefinitionIsLookedForInSixPlacesThenInTheResources)
{
    const std::pair<const wchar_t*, const char*> places[] = {
        {L"Extensions\\Unicode\\Morvalex.EN.json", "LIB1"}, {L"App\\Morvalex.EN.json", "APP1"},
        {L"App\\Data\\Runtime\\Morvalex.EN.json", "RUN1"}, {L"Extensions\\Unicode\\Morvalex.json", "LIB2"},
        {L"App\\Morvalex.json", "APP2"},                   {L"App\\Data\\Runtime\\Morvalex.json", "RUN2"},
    };
    for (const auto& [place, identifier] : places)
        tree.Write(place, DefinitionWithIdentifier(identifier));
    for (const auto& [place, identifier] : places) {
        auto seen = Load();
        EXPECT_EQ(seen["initialize"], "0");
        EXPECT_EQ(seen["identifier"], identifier);
        // Read from a file, the definition is a dependency, named after the library.
        EXPECT_EQ(seen["dependencies"], "Morvalex.json");
        tree.Remove(place);
    }
    auto seen = Load();
    EXPECT_EQ(seen["identifier"], "ZOBU");
    EXPECT_EQ(seen["counts"], "42 6 76");
    EXPECT_EQ(seen["dependencies"], "");
    EXPECT_EQ(seen.count("box"), 0u);
}

TEST_F(Startup, AFileThatCannotBeParsedIsReported)
{
    tree.Write(L"Extensions\\Unicode\\Morvalex.json", "{\"Identifier\": \"ZOBU\",}x");
    auto seen = Load();
    EXPECT_EQ(seen["initialize"], "-1");
    EXPECT_EQ(seen["box"], "Error parsing JSON - Morvalex|JSON file for Morvalex couldn't be parsed:\\nLine 1, char "
                           "23: Trailing garbage: `x`");
}

TEST_F(Startup, TheHostsLanguageStringChoosesTheLanguageFile)
{
    tree.Write(L"Extensions\\Unicode\\Morvalex.EN.json", DefinitionWithIdentifier("ENGL"));
    tree.Write(L"Extensions\\Unicode\\Morvalex.FR.json", DefinitionWithIdentifier("FREN"));
    tree.Write(L"Extensions\\Unicode\\Morvalex.JP.json", DefinitionWithIdentifier("JAPN"));
    EXPECT_EQ(Load()["identifier"], "ENGL"); // no language string
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"1036", "FREN"}, {L"1041", "JAPN"}, {L"1033", "ENGL"}, {L"1036 French", "FREN"}, {L"x1036", "ENGL"}};
    for (const auto& [language, identifier] : cases) {
        SetLanguageString(probe, language);
        EXPECT_EQ(Load()["identifier"], identifier) << std::string(language, language + wcslen(language));
    }
}

namespace {

std::map<std::string, std::string> RunModeOf(const TestHost::TempTree& tree, const fs::path& program,
                                             const fs::path& library, const std::wstring& extra = L"")
{
    TestHost::ProcessResult result =
        TestHost::RunProcess(program, L"runmode \"" + library.wstring() + L"\"" + extra);
    EXPECT_EQ(result.exitCode, 0u) << result.output;
    (void)tree;
    return Parse(result.output);
}

} // namespace

TEST(RunMode, TheEditorsTestRuntimeIsRecognisedByItsPlace)
{
    TestHost::TempTree tree;
    fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Fusion\\Extensions\\Unicode\\Morvalex.mfx");
    tree.Write(L"Fusion\\mmf2u.exe", "");
    fs::path runtime = tree.Copy(TestHost::BuildFolder() / L"tests" / L"host_probe.exe",
                                 L"Fusion\\Data\\Runtime\\Hwa\\Unicode\\edrtex.exe");
    auto seen = RunModeOf(tree, runtime, library);
    EXPECT_EQ(seen["initialize"], "0");
    EXPECT_EQ(seen["runmode"], "3");

    // "\Unicode" is removed before "\Hwa", so the other nesting is not the test run-time.
    fs::path other = tree.Copy(runtime, L"Fusion\\Data\\Runtime\\Unicode\\Hwa\\edrtex.exe");
    EXPECT_EQ(RunModeOf(tree, other, library)["runmode"], "0");

    fs::path plain = tree.Copy(runtime, L"Fusion\\Data\\Runtime\\edrt.exe");
    EXPECT_EQ(RunModeOf(tree, plain, library)["runmode"], "3");

    // Without the editor beside it, a runtime of that name is a built application.
    tree.Remove(L"Fusion\\mmf2u.exe");
    EXPECT_EQ(RunModeOf(tree, runtime, library)["runmode"], "0");
}

TEST(RunMode, SelfExtractingApplicationTakesItsPathFromTheCommandLine)
{
    TestHost::TempTree tree;
    fs::path library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
    fs::path program =
        tree.Copy(TestHost::BuildFolder() / L"tests" / L"host_probe.exe", L"Temp\\x.tmp\\stdrt.exe");
    auto seen = RunModeOf(tree, program, library, L" /SF \"C:\\Games\\Game.exe\" more");
    EXPECT_EQ(seen["application"], "C:\\Games\\Game.exe");
    EXPECT_EQ(seen["runmode"], "0");
    // Without the marker's closing quote the executable's own path stands.
    seen = RunModeOf(tree, program, library, L" /SF \"C:\\Games\\Game.exe");
    EXPECT_EQ(fs::path(seen["application"]).filename(), "stdrt.exe");
}

TEST_F(Startup, DependencyListKeepsWholeNamesWithinItsLimits)
{
    const std::string prefix = R"({"Identifier": "DEPS", "L": {"About": {"Name": "Probe"}}, "Dependencies": [)";
    tree.Write(L"Extensions\\Unicode\\Morvalex.json", prefix + R"("a.dll", 5, "b.dll"]})");
    EXPECT_EQ(Load()["dependencies"], "Morvalex.json|a.dll||b.dll"); // a name that is not a text is empty

    // 31 names at most: the definition's own file and the first 30 of these.
    std::string names, expected = "Morvalex.json";
    for (int i = 0; i < 40; ++i) {
        std::string name = "d" + std::to_string(i) + ".dll";
        names += (i ? ", \"" : "\"") + name + "\"";
        if (i < 30)
            expected += "|" + name;
    }
    tree.Write(L"Extensions\\Unicode\\Morvalex.json", prefix + names + "]}");
    EXPECT_EQ(Load()["dependencies"], expected);

    // 1024 characters in all, terminators included: a name that does not fit is left out whole.
    const std::string longName(300, 'x');
    tree.Write(L"Extensions\\Unicode\\Morvalex.json",
               prefix + "\"" + longName + "\", \"" + longName + "\", \"" + longName + "\", \"" + longName +
                   "\", \"short.dll\"]}");
    EXPECT_EQ(Load()["dependencies"],
              "Morvalex.json|" + longName + "|" + longName + "|" + longName + "|short.dll");
}
