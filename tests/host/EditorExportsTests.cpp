// The editor's exports of the real library in an editor session: menus as real Windows menus, texts,
// records, the object's information and the fonts and images offered to the host.
#include "Lib/Shared/Host/Platform.h"
#include "MenuText.h"
#include "Session.h"
#include "TempTree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using MenuFn = HMENU(HOST_STDCALL*)(::mV*, std::int32_t, std::int32_t);
// The host pushes every argument as 32 bits; only the low 16 of a menu id or code are the value.
using CodeFromMenuFn = std::uint32_t(HOST_STDCALL*)(::mV*, std::uint32_t);
using InfosFn = const std::uint16_t*(HOST_STDCALL*)(::mV*, std::uint32_t);
using StringFn = void(HOST_STDCALL*)(::mV*, std::uint32_t, wchar_t*, std::uint32_t);
using ParamFn = void(HOST_STDCALL*)(::mV*, std::uint32_t, std::uint32_t, wchar_t*, std::uint32_t);
using ObjInfosFn = void(HOST_STDCALL*)(::mV*, std::int32_t, wchar_t*, wchar_t*, wchar_t*, wchar_t*, wchar_t*);
using HelpFn = const wchar_t*(HOST_STDCALL*)();
using EnumRoutine = std::int32_t(HOST_STDCALL*)(std::uint16_t*, std::int32_t, std::int32_t, std::int32_t);
using EnumEltsFn = std::int32_t(HOST_STDCALL*)(::mV*, EDITDATA*, EnumRoutine, EnumRoutine, std::int32_t,
                                               std::int32_t);

// Any non-null main window makes an editor session.
class EditorSession : public TestHost::Session {
public:
    explicit EditorSession(const std::wstring& library = TestHost::BuiltLibraryPath())
        : Session(library, GetDesktopWindow())
    {
    }

    std::wstring Menu(const char* name)
    {
        HMENU menu = Lib().Export<MenuFn>(name)(TheHost().MV(), 0, 0);
        std::wstring text = TestHost::DescribeMenu(menu);
        DestroyMenu(menu);
        return text;
    }
};

std::wstring Starting(const std::wstring& text, std::size_t length) { return text.substr(0, length); }

} // namespace

TEST(EditorExports, MenusOfTheDefinition)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    const std::wstring pointers =
        L"Varibles{Pointers (Experimental){25002 Free Memory Block | --- | "
        L"25003 Write integer to pointer | 25005 Write float to pointer | "
        L"25004 Copy bytes between pointers} | Integer Matrices{25014 Create integer matrix";
    EXPECT_EQ(Starting(session.Menu("GetActionMenu"), pointers.size()), pointers);
    EXPECT_EQ(session.Menu("GetConditionMenu"),
              L"Pointers (Experimental){26001 Is pointer valid? | 26002 Is pointer null? | --- | "
              L"26003 Does pointer equal an integer? | 26004 Does pointer equal a float? | "
              L"26005 Does pointer hold a text?} | --- | 26000 Are two integers equal?");
    const std::wstring expressions =
        L"Pointers (Experimental){27002 Allocate memory block | 27004 Resize memory "
        L"block | --- | 27003 Read integer | 27005 Read float} | Matrices{";
    EXPECT_EQ(Starting(session.Menu("GetExpressionMenu"), expressions.size()), expressions);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(EditorExports, EachMenuRequestGetsANewMenuTheHostOwns)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"}) {
        auto get = session.Lib().Export<MenuFn>(name);
        HMENU first = get(session.TheHost().MV(), 0, 0);
        HMENU second = get(session.TheHost().MV(), 0, 0);
        ASSERT_TRUE(IsMenu(first)) << name;
        ASSERT_TRUE(IsMenu(second)) << name;
        EXPECT_NE(first, second) << name;
        const std::wstring contents = TestHost::DescribeMenu(second);
        EXPECT_TRUE(DestroyMenu(first)) << name;
        EXPECT_EQ(TestHost::DescribeMenu(second), contents) << name;
        EXPECT_EQ(session.Menu(name), contents) << name;
        EXPECT_TRUE(DestroyMenu(second)) << name;
    }
}

// Greyed items, the separator spellings and the 79-character cut, as the host receives them.
TEST(EditorExports, MenuEntriesOfASiblingDefinition)
{
    TestHost::TempTree tree;
    const std::string longText(100, 'L');
    tree.Write(L"Morvalex.json",
               R"({"Identifier": "TEST", "Dependencies": "", "L": {"About": {"Name": "Menus"},
        "ActionMenu": [[3, "Greyed", true], [4, "Enabled", false], [5, "Plain"], "Separator", "separator",
                       "SEPARATOR", "---", "--", " Separator ", [6, ")" +
                   longText + R"("]],
        "ConditionMenu": [[")" +
                   longText + R"(", [1, "Inside"]]],
        "ExpressionMenu": [["Group", [0, "Zero", true]]]}})");
    EditorSession session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
    ASSERT_EQ(session.InitializeResult(), 0);
    const std::wstring cut(79, L'L');
    EXPECT_EQ(session.Menu("GetActionMenu"),
              L"25003 Greyed (greyed) | 25004 Enabled | 25005 Plain | --- | --- | --- | --- | 25006 " + cut);
    EXPECT_EQ(session.Menu("GetConditionMenu"), cut + L"{26001 Inside}");
    EXPECT_EQ(session.Menu("GetExpressionMenu"), L"Group{27000 Zero (greyed)}");
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// A current language that is not an object stops the state object before the menus are built.
TEST(EditorExports, MenusAreEmptyWhenTheLanguageIsNotAnObject)
{
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json", R"({"Identifier": "TEST", "Dependencies": "", "L": 5})");
    EditorSession session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
    ASSERT_EQ(session.InitializeResult(), 0);
    ASSERT_EQ(session.Boxes().Boxes().size(), 1u);
    EXPECT_EQ(session.Boxes().Boxes()[0].title, L"Internal JSON error - Morvalex");
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"}) {
        HMENU menu = session.Lib().Export<MenuFn>(name)(session.TheHost().MV(), 0, 0);
        ASSERT_TRUE(IsMenu(menu)) << name;
        EXPECT_EQ(GetMenuItemCount(menu), 0) << name;
        DestroyMenu(menu);
    }
}

TEST(EditorExports, CodesFromMenuIds)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    const struct {
        const char* name;
        std::uint32_t menuId;
        std::uint32_t code;
    } cases[] = {
        {"GetActionCodeFromMenu", 25003, 3},
        {"GetActionCodeFromMenu", 24999, 65535},
        {"GetActionCodeFromMenu", 0xABCD0000 | 25003, 3},
        {"GetConditionCodeFromMenu", 26000, 0},
        {"GetConditionCodeFromMenu", 25999, 65535},
        {"GetExpressionCodeFromMenu", 27075, 75},
        {"GetExpressionCodeFromMenu", 26999, 65535},
    };
    for (const auto& c : cases)
        EXPECT_EQ(session.Lib().Export<CodeFromMenuFn>(c.name)(session.TheHost().MV(), c.menuId), c.code)
            << c.name << " " << std::hex << c.menuId;
}

TEST(EditorExports, InfosAreTheRecordsTheHostReads)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    const HostRunInfo& info = session.RunInfo();
    const struct {
        const char* name;
        std::uint16_t count;
    } kinds[] = {
        {"GetActionInfos", info.numOfActions},
        {"GetConditionInfos", info.numOfConditions},
        {"GetExpressionInfos", info.numOfExpressions},
    };
    for (const auto& kind : kinds) {
        auto get = session.Lib().Export<InfosFn>(kind.name);
        ASSERT_GT(kind.count, 0) << kind.name;
        for (std::uint16_t code = 0; code < kind.count; ++code) {
            const std::uint16_t* record = get(session.TheHost().MV(), code);
            ASSERT_NE(record, nullptr) << kind.name << " " << code;
            EXPECT_EQ(record[0], code) << kind.name << " " << code;
        }
        EXPECT_EQ(get(session.TheHost().MV(), kind.count), nullptr) << kind.name;
        EXPECT_EQ(get(session.TheHost().MV(), 0xFFFF), nullptr) << kind.name;
    }
    // id, flags or return type, parameter count, the parameters' codes, then as many zero words.
    const struct {
        const char* name;
        std::uint16_t code;
        std::vector<std::uint16_t> words;
    } records[] = {
        {"GetActionInfos", 3, {3, 0, 2, 22, 22, 0, 0}},
        {"GetConditionInfos", 5, {5, 0x0220, 2, 22, 45, 0, 0}},
        {"GetExpressionInfos", 5, {5, 2, 1, 1, 0}},
        {"GetExpressionInfos", 1, {1, 1, 0}},
    };
    for (const auto& r : records) {
        const std::uint16_t* record = session.Lib().Export<InfosFn>(r.name)(session.TheHost().MV(), r.code);
        ASSERT_NE(record, nullptr) << r.name << " " << r.code;
        EXPECT_EQ(std::vector<std::uint16_t>(record, record + r.words.size()), r.words)
            << r.name << " " << r.code;
    }
}

TEST(EditorExports, TextsOfActionsConditionsAndExpressions)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    ::mV* mV = session.TheHost().MV();
    const auto text = [&](const char* name, std::uint32_t code, std::uint32_t max) {
        wchar_t buffer[64];
        std::wmemset(buffer, L'#', 64);
        session.Lib().Export<StringFn>(name)(mV, code, buffer, max);
        return std::wstring(buffer, 64);
    };
    const auto param = [&](const char* name, std::uint32_t code, std::uint32_t index, std::uint32_t max) {
        wchar_t buffer[64];
        std::wmemset(buffer, L'#', 64);
        session.Lib().Export<ParamFn>(name)(mV, code, index, buffer, max);
        return std::wstring(buffer, 64);
    };
    // What the buffer holds afterwards: the text, its terminator, and the host's bytes untouched.
    const auto filled = [](const std::wstring& shown) {
        return shown + L'\0' + std::wstring(63 - shown.size(), L'#');
    };
    EXPECT_EQ(text("GetActionString", 2, 64), filled(L"Free memory block %0"));
    EXPECT_EQ(text("GetActionString", 2, 8), filled(L"Free me"));
    EXPECT_EQ(text("GetActionString", 0xFFFF0002, 64), filled(L"Free memory block %0"));
    EXPECT_EQ(text("GetConditionString", 0, 64), filled(L"%o : %0 equals %1"));
    EXPECT_EQ(text("GetExpressionString", 1, 64), filled(L"HelloWorld$("));
    EXPECT_EQ(text("GetExpressionTitle", 1, 64), filled(L"HelloWorld$("));
    EXPECT_EQ(text("GetExpressionString", 1000, 64), filled(L""));
    EXPECT_EQ(param("GetActionTitle", 4, 2, 64), filled(L"Number of bytes"));
    EXPECT_EQ(param("GetConditionTitle", 4, 1, 64), filled(L"Value"));
    EXPECT_EQ(param("GetExpressionParam", 4, 0, 64), filled(L"Pointer (0 for a new block)"));
    EXPECT_EQ(param("GetExpressionParam", 4, 0, 8), filled(L"Pointer"));
    EXPECT_EQ(param("GetExpressionParam", 4, 2, 64), filled(L""));
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(EditorExports, ObjectInformationAndHelpFile)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    for (std::uint32_t word : {0u, 1u}) {
        session.TheHost().MV()->word04 = word;
        wchar_t name[260], author[260], copyright[260], comment[260], url[260];
        session.Lib().Export<ObjInfosFn>("GetObjInfos")(session.TheHost().MV(), 0, name, author, copyright,
                                                        comment, url);
        EXPECT_EQ(std::wstring(name), L"Morvalex") << word;
        EXPECT_EQ(std::wstring(author), L"The Morvalex team") << word;
        EXPECT_EQ(std::wstring(copyright), L"Copyright (C) 2026 The Morvalex team") << word;
        EXPECT_EQ(std::wstring(comment), L"A universal extension mainly focusing on mathematics.") << word;
        EXPECT_EQ(std::wstring(url), L"https://morvalex.example/") << word;
    }
    auto help = session.Lib().Export<HelpFn>("GetHelpFileName");
    const wchar_t* first = help();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::wstring(first), L"Help/Morvalex.chm");
    EXPECT_EQ(help(), first);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

namespace {

struct Offer {
    std::uint16_t id;
    std::int32_t kind;
    std::int32_t w1;
    std::int32_t w2;
};

bool operator==(const Offer& a, const Offer& b)
{
    return a.id == b.id && a.kind == b.kind && a.w1 == b.w1 && a.w2 == b.w2;
}

std::ostream& operator<<(std::ostream& out, const Offer& o)
{
    return out << "(" << o.id << ", " << o.kind << ", " << o.w1 << ", " << o.w2 << ")";
}

std::vector<Offer> offered;
std::vector<Offer> undone;

std::int32_t HOST_STDCALL RefuseNine(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    offered.push_back({*id, kind, w1, w2});
    return *id == 9 ? 3 : 0;
}

std::int32_t HOST_STDCALL RecordUndo(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    undone.push_back({*id, kind, w1, w2});
    return 0;
}

void Append(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void AppendEntry(std::vector<std::uint8_t>& bytes, std::uint16_t type, const std::string& title,
                 const std::vector<std::uint16_t>& words)
{
    Append(bytes, static_cast<std::uint32_t>(7 + title.size() + 2 * words.size()), 4);
    Append(bytes, type, 2);
    Append(bytes, static_cast<std::uint32_t>(title.size()), 1);
    bytes.insert(bytes.end(), title.begin(), title.end());
    for (std::uint16_t word : words)
        Append(bytes, word, 2);
}

} // namespace

TEST(EditorExports, EnumEltsUndoesAcceptedIdsAfterARefusal)
{
    EditorSession session;
    ASSERT_EQ(session.InitializeResult(), 0);
    // An object with a Font property (id 5), a number, and an Image List of ids 7 and 9.
    std::vector<std::uint8_t> entries;
    AppendEntry(entries, 17, "Font", {5, 0x7F7F, 0x7F7F});
    AppendEntry(entries, 6, "Count", {9, 0});
    AppendEntry(entries, 23, "Images", {2, 7, 9});
    const std::uint32_t size = static_cast<std::uint32_t>(41 + entries.size());
    std::vector<std::uint8_t> record;
    for (std::uint32_t word : {size, size, 1u, 0x54534554u, 20u})
        Append(record, word, 4);
    for (std::uint32_t word : {0x50564E31u, 0u, 0u})
        Append(record, word, 4);
    Append(record, 3, 2);
    Append(record, 0, 2);
    Append(record, size, 4);
    record.push_back(0);
    record.insert(record.end(), entries.begin(), entries.end());

    auto enumElts = session.Lib().Export<EnumEltsFn>("EnumElts");
    const std::int32_t result = enumElts(session.TheHost().MV(), reinterpret_cast<EDITDATA*>(record.data()),
                                         RefuseNine, RecordUndo, 11, 22);
    EXPECT_EQ(result, 3);
    const std::vector<Offer> expectedOffers = {{5, 1, 11, 22}, {7, 0, 11, 22}, {9, 0, 11, 22}};
    EXPECT_EQ(offered, expectedOffers);
    const std::vector<Offer> expectedUndo = {{7, 0, 11, 22}, {5, 1, 11, 22}};
    EXPECT_EQ(undone, expectedUndo);
    ASSERT_EQ(session.Boxes().Boxes().size(), 1u);
    EXPECT_EQ(session.Boxes().Boxes()[0].title, L"EnumElts - Morvalex");
    EXPECT_EQ(session.Boxes().Boxes()[0].text, L"Adding image of property Images, ID 9 failed! Error 3.\n");
}

namespace {

using EditorDisplayFn = void(HOST_STDCALL*)(::mV*, std::int32_t, std::int32_t, EDITDATA*, RECT*);
using MakeIconExFn = std::int32_t(HOST_STDCALL*)(::mV*, void*, std::int32_t, std::int32_t, std::int32_t);

// Every editor export answered neutrally by a library with no state object: one box naming the early
// call from the exports that read the definition, nothing else.
void ExpectNeutralAnswers(TestHost::Library& lib, TestHost::MessageBoxRecorder& recorder, ::mV* mV,
                          const char* label)
{
    const std::wstring premature =
        L"Premature function call!\n  Called DefaultLanguageIndex() before ::SDK was a valid pointer.";
    const auto expectBoxes = [&](std::size_t count, const char* name) {
        ASSERT_EQ(recorder.Boxes().size(), count) << label << " " << name;
        for (const auto& box : recorder.Boxes())
            EXPECT_EQ(box.text, premature) << label << " " << name;
        recorder.Clear();
    };
    recorder.Clear();
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        EXPECT_EQ(lib.Export<InfosFn>(name)(mV, 0), nullptr) << label << " " << name;
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"}) {
        HMENU menu = lib.Export<MenuFn>(name)(mV, 0, 0);
        EXPECT_EQ(GetMenuItemCount(menu), 0) << label << " " << name;
        DestroyMenu(menu);
    }
    expectBoxes(0, "records and menus");
    wchar_t buffers[5][260];
    for (auto& buffer : buffers)
        std::wmemset(buffer, L'#', 260);
    lib.Export<ObjInfosFn>("GetObjInfos")(mV, 0, buffers[0], buffers[1], buffers[2], buffers[3], buffers[4]);
    for (const auto& buffer : buffers)
        EXPECT_EQ(std::wstring(buffer), L"") << label;
    expectBoxes(1, "GetObjInfos");
    EXPECT_EQ(std::wstring(lib.Export<HelpFn>("GetHelpFileName")()), L"") << label;
    expectBoxes(1, "GetHelpFileName");
    for (const char* name : {"GetActionString", "GetConditionString", "GetExpressionString", "GetExpressionTitle"}) {
        lib.Export<StringFn>(name)(mV, 0, buffers[0], 260);
        expectBoxes(1, name);
    }
    for (const char* name : {"GetActionTitle", "GetConditionTitle", "GetExpressionParam"}) {
        lib.Export<ParamFn>(name)(mV, 0, 0, buffers[0], 260);
        EXPECT_EQ(std::wstring(buffers[0]), L"") << label << " " << name;
        expectBoxes(1, name);
    }
    RECT place = {0, 0, 32, 32};
    lib.Export<EditorDisplayFn>("EditorDisplay")(mV, 0, 0, nullptr, &place);
    lib.Export<EditorDisplayFn>("EditorDisplay")(nullptr, 0, 0, nullptr, nullptr);
    EXPECT_EQ(lib.Export<MakeIconExFn>("MakeIconEx")(mV, nullptr, 0, 0, 0), 0) << label;
    expectBoxes(0, "icon");
}

} // namespace

TEST(EditorExports, BeforeInitializeOrAfterItFailedEveryExportAnswersNeutrally)
{
    {
        TestHost::Library lib(TestHost::BuiltLibraryPath());
        TestHost::MessageBoxRecorder recorder(lib.Module());
        TestHost::Host host(GetDesktopWindow());
        ExpectNeutralAnswers(lib, recorder, host.MV(), "not initialised");
    }
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json", "{\"Identifier\": ");
    EditorSession session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring());
    ASSERT_EQ(session.InitializeResult(), -1);
    ExpectNeutralAnswers(session.Lib(), session.Boxes(), session.TheHost().MV(), "initialisation failed");
}
