// Start-up in folder trees laid out as the host lays them out, seen through the probe program; exports
// called out of the host's order; the boundary that turns an exception inside an export into a box; a
// definition or icon that cannot be found, parsed or read; how the run mode chooses the language; the boxes
// a definition's About section, language or items draw.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

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

// Gives a host program string 720, in a block of 16 strings whose others are empty.
bool SetLanguageString(const fs::path& program, const std::wstring& language)
{
    std::wstring block = wchar_t(language.size()) + language + std::wstring(15, L'\0');
    HANDLE update = BeginUpdateResourceW(program.c_str(), FALSE);
    return update &&
           UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(720 / 16 + 1), 0, block.data(),
                           block.size() * 2) &&
           EndUpdateResourceW(update, FALSE);
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
    // What the probe at `program` printed, read as text: its line ends as LF. The host's command line ends
    // with `words`.
    std::string Probe(const fs::path& program, const std::wstring& words = L"")
    {
        FILE* pipe = _wpopen(
            (L"\"\"" + program.wstring() + L"\" \"" + library.wstring() + L"\"" + words + L"\"").c_str(),
            L"rt");
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
        ASSERT_TRUE(SetLanguageString(probe, language));
        EXPECT_EQ(Probe(probe), Seen(code)) << fs::path(language);
    }
}

// A built application that extracts itself runs as ...\x.tmp\stdrt.exe, and its own path follows ` /SF "` on
// its command line, up to the next quote: its language string is the one read. Without the closing quote, or
// under another name, the program's own path stands.
TEST_F(Startup, ASelfExtractingApplicationNamesItsPathAfterSF)
{
    tree.Write(L"Extensions\\Unicode\\Morvalex.FR.json", Definition("FR__"));
    const fs::path game = Copy(L"Games\\Game.exe"), stdrt = Copy(L"Temp\\x.tmp\\stdrt.exe");
    ASSERT_TRUE(SetLanguageString(game, L"1036"));
    const std::wstring named = L" /SF \"" + game.wstring();
    for (const auto& [program, words, identifier] :
         {std::tuple{stdrt, named + L"\" more", "FR__"},
          {stdrt, named, "ZOBU"},
          {stdrt, L" /SF" + named.substr(5) + L"\"", "ZOBU"}, // no blank after /SF
          {probe, named + L"\"", "ZOBU"}})
        EXPECT_EQ(Probe(program, words), Seen(identifier)) << fs::path(words);
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

namespace {

// The stand-ins below fail while this holds, and otherwise do what they stand for.
bool failing = true;

// A read one byte short, as when another program cuts the file between the size and the read.
std::size_t __cdecl ShortRead(void* buffer, std::size_t size, std::size_t count, FILE* file)
{
    return std::fread(buffer, size, failing && count > 0 ? count - 1 : count, file);
}
HGLOBAL WINAPI LoadNoResource(HMODULE module, HRSRC resource)
{
    return failing ? nullptr : LoadResource(module, resource);
}
LPVOID WINAPI LockNoResource(HGLOBAL resource) { return failing ? nullptr : LockResource(resource); }
HRSRC WINAPI FindNoResource(HMODULE module, LPCWSTR name, LPCWSTR type)
{
    return failing ? nullptr : FindResourceW(module, name, type);
}
// No room for the first block of more than 4 KiB that start-up asks for: the definition's copy for the
// parser.
void* __cdecl NoRoomForACopy(std::size_t size)
{
    return failing && size > 4096 ? (failing = false, nullptr) : std::malloc(size);
}

// No room for a record of sixteen parameters (8 + 4 * 16 bytes, asked for as one element), and, when
// placeholderRefused, none either for the record of no parameters that then stands in for it.
bool placeholderRefused = false;
void* __cdecl NoRoomForARecord(std::size_t count, std::size_t size)
{
    if (failing && count == 1 && (size == 72 || (size == 8 && placeholderRefused)))
        return failing = size == 72, nullptr;
    return std::calloc(count, size);
}

} // namespace

// A definition beside the library that does not parse; a file (the definition, or the icon) that reads short;
// a resource (the definition, or the icon) not found or that cannot be loaded or locked; no room for the
// definition's copy. Initialize answers -1 after one box and builds nothing; once all is well it succeeds.
TEST(Initialize, ADefinitionOrIconThatCannotBeFoundParsedOrRead)
{
    const std::string file = Definition("FILE"), garbage = R"({"Identifier": "ZOBU",}x)";
    const std::wstring stopped = L"Polvane SDK error - Morvalex: Initialize stopped on an unexpected error: ",
                       unread = stopped + L"Reading opened file resource into RAM failed|",
                       unparsed =
                           L"Error parsing JSON - Morvalex: JSON file for Morvalex couldn't be parsed:\nLine "
                           L"1, char 23: Trailing garbage: `x`|",
                       notFound =
                           L"Couldn't find JSON - Morvalex: JSON file for Morvalex not found on disk or in "
                           L"MFX resources|",
                       noCopy =
                           L"Out of memory - Morvalex: JSON file for Morvalex couldn't allocate SIZE bytes "
                           L"while loading|";
    const TestHost::Redirect shortRead{"msvcrt.dll", "fread", reinterpret_cast<void*>(&ShortRead)},
        noLoad{"kernel32.dll", "LoadResource", reinterpret_cast<void*>(&LoadNoResource)},
        noLock{"kernel32.dll", "LockResource", reinterpret_cast<void*>(&LockNoResource)},
        noResource{"kernel32.dll", "FindResourceW", reinterpret_cast<void*>(&FindNoResource)},
        noRoom{"msvcrt.dll", "malloc", reinterpret_cast<void*>(&NoRoomForACopy)};
    const struct {
        std::vector<TestHost::Redirect> redirects;
        const wchar_t* sibling; // null: none
        std::string bytes;
        const char* identifier; // the definition's once all is well
        std::wstring box;
    } cases[] = {
        {{}, L"Morvalex.json", garbage, "FILE", unparsed},
        {{shortRead}, L"Morvalex.json", file, "FILE", unread},
        {{shortRead}, L"Morvalex.png", "\x89PNG", "ZOBU", unread},
        {{noLoad}, nullptr, "", "ZOBU", stopped + L"Could not load resource|"},
        {{noLock}, nullptr, "", "ZOBU", stopped + L"Could not lock resource|"},
        {{noLoad}, L"Morvalex.json", file, "FILE", stopped + L"Could not load resource|"}, // the icon's
        {{noResource}, nullptr, "", "ZOBU", notFound},
        {{noRoom}, nullptr, "", "ZOBU", noCopy},
    };
    for (const auto& c : cases) {
        const auto label = &c - cases;
        TestHost::TempTree tree;
        if (c.sibling != nullptr)
            tree.Write(c.sibling, c.bytes);
        failing = true;
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(), nullptr,
                                  0, c.redirects);
        EXPECT_EQ(session.InitializeResult(), -1) << label;
        // SIZE: the embedded definition's, and its NUL.
        const HMODULE module = session.Lib().Module();
        std::wstring box = c.box;
        if (const std::size_t at = box.find(L"SIZE"); at != std::wstring::npos)
            box.replace(
                at, 4, std::to_wstring(SizeofResource(module, FindResourceW(module, L"#102", L"TOVIK")) + 1));
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), box) << label;
        failing = false;
        if (c.identifier == std::string("FILE"))
            tree.Write(L"Morvalex.json", file);
        HostRunInfo info{};
        EXPECT_EQ(session.Lib().Call("Initialize", session.TheHost().MV(), 0) +
                      session.Lib().Call("GetRunObjectInfos", session.TheHost().MV(), &info),
                  1)
            << label;
        EXPECT_EQ(std::string(info.identifier, 4), c.identifier) << label;
    }
}

// A built application takes the default language (the first whose About has a Name) and never reads the
// settings. Quiet load and the editor take the first language the settings list that the definition has, its
// case ignored once one leading blank is dropped, else the default. Quiet load wins over the editor's window;
// only the editor asks the host to show a loaded object's properties again.
TEST(Initialize, TheRunModeDecidesHowTheLanguageIsChosen)
{
    const struct {
        const char* languages;
        void* mainWindow;
        int quiet;
        const wchar_t* language;
        int refreshes;
    } cases[] = {
        {"second", nullptr, 0, L"First", 0},
        {"second", nullptr, 1, L"Second", 0},
        {"second", GetDesktopWindow(), 1, L"Second", 0},
        {"Deutsch; SECOND", GetDesktopWindow(), 0, L"Second", 1},
        {"Deutsch;  second", nullptr, 1, L"First", 0}, // " second" is no language
        {"Deutsch;Nope", GetDesktopWindow(), 0, L"First", 1},
    };
    for (const auto& c : cases) {
        TestHost::TempTree tree;
        tree.Write(L"Polvane.ini",
                   "DisableUpdateCheckFor=*\r\nLanguages=" + std::string(c.languages) + "\r\n");
        tree.Write(L"Morvalex.json", R"({"Identifier": "LANG", "First": {"About": {"Name": "First"}},
            "Second": {"About": {"Name": "Second"}}})");
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(),
                                  c.mainWindow, c.quiet);
        ::mV* mV = session.TheHost().MV();
        mV->word04 = 1; // a full editor record: the object is named in the current language
        wchar_t t[5][260] = {};
        session.Lib().Call<void>("GetObjInfos", mV, 0, t[0], t[1], t[2], t[3], t[4]);
        std::uint32_t edPtr[8] = {};
        EXPECT_EQ(session.Lib().Call("LoadObject", mV, 0, edPtr, 0), 0);
        EXPECT_EQ(std::pair(std::wstring(t[0]), session.TheHost().FunctionCount(18)),
                  std::pair(std::wstring(c.language), c.refreshes))
            << c.languages << " " << c.quiet;
        EXPECT_TRUE(session.Boxes().Boxes().empty()) << c.languages;
    }
}

// An About section that keeps a text of the template, in any case, draws one warning, and the library starts.
TEST(Initialize, AnUneditedTemplateIsPointedOut)
{
    const std::pair<const char*, bool> cases[] = {
        {R"("Name": "Mine", "Author": "yOuR nAmE")", true},
        {R"("Name": "POLVANE TEMPLATE")", true},
        {R"("Name": "Mine", "Comment": "A sentence or two to describe your EXTENSION")", true},
        {R"("Name": "Mine", "Help": "help/example.chm")", true},
        {R"("Name": "Mine", "URL": "HTTPS://WWW.EXAMPLE.COM/")", true},
        {R"("Name": "Mine", "Copyright": "(C) 2026 BY YOUR NAME Ltd")", true},
        {R"("Name": "Mine", "Author": "Your Name Here", "Copyright": "by you", "URL": "https://example.com/")",
         false},
    };
    for (const auto& [about, warns] : cases) {
        TestHost::TempTree tree;
        tree.Write(L"Morvalex.json",
                   R"({"Identifier": "TMPL", "L": {"About": {)" + std::string(about) + "}}}");
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
        const auto& boxes = session.Boxes().Boxes();
        EXPECT_EQ(
            std::pair(session.InitializeResult(), TestHost::Joined(boxes)),
            std::pair(0, std::wstring(warns ? L"Polvane SDK warning - Morvalex: Template properties are "
                                              L"unedited in Morvalex's JSON file. Please amend them.\n\nYou "
                                              L"need to update the About section of your JSON file. Make "
                                              L"sure to do it for all languages in the JSON.|"
                                            : L"")))
            << about;
        EXPECT_TRUE(boxes.empty() || boxes[0].style == MB_ICONWARNING) << about;
    }
}

// A root whose last member is not an object has no language: one box, and no tables to hand the host. An item
// that is not an object is refused in a box of its kind, and the items after it keep their own ids.
TEST(Initialize, ALanguageOrItemThatIsNotAnObject)
{
    const std::wstring invalid = L" JSON - Morvalex: Invalid JSON reference for ";
    const std::pair<std::string, std::wstring> cases[] = {
        {R"({"Identifier": "ZOBU", "Dependencies": ""})",
         L"Internal JSON error - Morvalex: The JSON parser could not find a JSON object to use for current "
         L"language.|"},
        {R"({"Identifier": "ITEM", "L": {"About": {"Name": "x"}, "Actions": [5, {"Parameters": [["Float", "f"]]}],
            "Conditions": ["c", {}], "Expressions": [[1], {"Returns": "Text"}]}})",
         L"Error reading action" + invalid + L"action ID 0, expected object.|Error reading condition" +
             invalid + L"condition ID 0, expected a JSON object.|Error reading expression" + invalid +
             L"expression ID 0, expected a JSON object.|"},
    };
    std::vector<std::vector<std::uint16_t>> records; // the host's part of each kind's record 1
    for (const auto& [definition, boxes] : cases) {
        TestHost::TempTree tree;
        tree.Write(L"Morvalex.json", definition);
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
        const HostRunInfo& info = session.RunInfo();
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), boxes);
        EXPECT_EQ(std::tuple(session.InitializeResult(), info.numOfActions, info.actions == nullptr),
                  std::tuple(0, std::uint16_t(records.empty() ? 0 : 2), records.empty()));
        for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"}) {
            const auto* record = session.Lib().Call<const std::uint16_t*>(name, session.TheHost().MV(), 1);
            records.push_back(record ? std::vector<std::uint16_t>(record, record + 3 + record[2])
                                     : std::vector<std::uint16_t>{});
        }
    }
    // None at first; then each record's ID, flags or result type, parameter count and codes.
    EXPECT_EQ(records,
              (std::vector<std::vector<std::uint16_t>>{{}, {}, {}, {1, 0, 1, 22}, {1, 0x220, 0}, {1, 1, 0}}));
}

// A record there is no memory for is told, and an empty one keeps its place, so that the items after it keep
// their ids; with no memory even for that, Initialize stops in a box and a later one builds afresh.
TEST(Initialize, ARecordThereIsNoMemoryFor)
{
    std::string sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen += std::string(i == 0 ? "" : ", ") + R"(["Integer", "p"])";
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json", R"({"Identifier": "ZOBU", "L": {"About": {"Name": "x"}, "Actions": [
        {"Title": "a", "Parameters": [)" +
                                     sixteen + R"(]}, {"Title": "b", "Parameters": [["Text", "t"]]}]}})");
    const std::wstring noMemory =
        L"Error creating action info - Morvalex: Could not allocate memory for action ID "
        L"0 return.|";
    for (const bool placeholder : {false, true}) {
        failing = true;
        placeholderRefused = placeholder;
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(), nullptr,
                                  0, {{"msvcrt.dll", "calloc", reinterpret_cast<void*>(&NoRoomForARecord)}});
        EXPECT_EQ(
            std::pair(session.InitializeResult(), TestHost::Joined(session.Boxes().Boxes())),
            std::pair(placeholder ? -1 : 0,
                      noMemory + (placeholder ? L"Polvane SDK error - Morvalex: Initialize stopped on an "
                                                L"unexpected error: std::bad_alloc|"
                                              : L"")))
            << placeholder;
        failing = false;
        if (placeholder)
            EXPECT_EQ(session.Lib().Call("Initialize", session.TheHost().MV(), 0), 0);
        std::vector<std::vector<std::uint16_t>> records; // ID, flags, parameter count and codes
        for (std::int16_t id : {0, 1}) {
            const auto* record =
                session.Lib().Call<const std::uint16_t*>("GetActionInfos", session.TheHost().MV(), id);
            records.push_back(std::vector<std::uint16_t>(record, record + 3 + record[2]));
        }
        // Built afresh, the first record has its sixteen parameters; else the empty one stands in for it.
        std::vector<std::uint16_t> first = {0, 0, std::uint16_t(placeholder ? 16 : 0)};
        first.resize(placeholder ? 19 : 3, 22);
        EXPECT_EQ(records, (std::vector<std::vector<std::uint16_t>>{first, {1, 0, 1, 45}})) << placeholder;
    }
}
