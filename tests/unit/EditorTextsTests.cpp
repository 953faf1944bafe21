// The editor's texts, records and object information, read from the current language.
#include "InProcess.h"

#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const char* const TextsDefinition = R"({
    "Identifier": "TEST", "Dependencies": "",
    "L": {
        "About": {"Name": "Texts", "Author": "A. Author", "Copyright": "(C) Someone", "Comment": "Says things",
                  "Help": "Help/Texts.chm", "URL": "https://texts.example/"},
        "Actions": [
            {"Title": "Do %0 with %1", "Parameters": [["Integer", "Amount"], ["Text", "Gr\u00f6\u00dfe"]]},
            {"Parameters": [["Integer"]]}
        ],
        "Conditions": [
            {"Title": "%o : Is %0", "Parameters": [["Integer", "Value"]]}
        ],
        "Expressions": [
            {"Title": "Add(", "Returns": "Integer", "Parameters": [["Integer", "First"], ["Integer", "Second"]]},
            {"Title": "Add", "Returns": "Integer"},
            {"Title": "", "Returns": "Integer"},
            {"Returns": "Text"}
        ]
    }
})";

class EditorTexts : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;
    std::unique_ptr<Tovik::SDK> state;

    // The old state goes first, taking its choice of language with it.
    void Load(const std::string& definition)
    {
        state.reset();
        state.reset(InProcess::BuildState(definition));
    }
    void SetUp() override { Load(TextsDefinition); }
    void TearDown() override { EXPECT_TRUE(boxes.boxes.empty()); }
};

using TextExport = void(HOST_STDCALL*)(::mV*, std::int16_t, wchar_t*, std::int16_t);
using ParamExport = void(HOST_STDCALL*)(::mV*, std::int16_t, std::int16_t, wchar_t*, std::int16_t);

constexpr std::size_t Room = 64;

std::wstring Text(TextExport get, std::int16_t code)
{
    wchar_t buffer[Room];
    std::wmemset(buffer, L'#', Room);
    get(nullptr, code, buffer, Room);
    return buffer;
}

std::wstring Param(ParamExport get, std::int16_t code, std::int16_t param)
{
    wchar_t buffer[Room];
    std::wmemset(buffer, L'#', Room);
    get(nullptr, code, param, buffer, Room);
    return buffer;
}

} // namespace

TEST_F(EditorTexts, TitlesOfEachKind)
{
    const struct {
        const char* name;
        TextExport get;
        std::int16_t code;
        const wchar_t* expected;
    } cases[] = {
        {"action 0", GetActionString, 0, L"Do %0 with %1"},
        {"action without a title", GetActionString, 1, L""},
        {"action past the end", GetActionString, 2, L""},
        {"action -1", GetActionString, -1, L""},
        {"condition 0", GetConditionString, 0, L"%o : Is %0"},
        {"condition past the end", GetConditionString, 1, L""},
        {"expression string Add(", GetExpressionString, 0, L"Add("},
        {"expression string Add", GetExpressionString, 1, L"Add"},
        {"expression string empty", GetExpressionString, 2, L""},
        {"expression string missing", GetExpressionString, 3, L""},
        {"expression title Add(", GetExpressionTitle, 0, L"Add("},
        {"expression title Add", GetExpressionTitle, 1, L"Add("},
        {"expression title empty", GetExpressionTitle, 2, L"("},
        {"expression title missing", GetExpressionTitle, 3, L"("},
        {"expression title past the end", GetExpressionTitle, 4, L"("},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.get, c.code), c.expected) << c.name;
}

TEST_F(EditorTexts, ParameterNamesOfEachKind)
{
    const struct {
        const char* name;
        ParamExport get;
        std::int16_t code;
        std::int16_t param;
        const wchar_t* expected;
    } cases[] = {
        {"action 0, 0", GetActionTitle, 0, 0, L"Amount"},
        {"action 0, 1 (UTF-8)", GetActionTitle, 0, 1, L"Gr\u00F6\u00DFe"},
        {"action 0, past the parameters", GetActionTitle, 0, 2, L""},
        {"action 0, -1", GetActionTitle, 0, -1, L""},
        {"action 1, a parameter without a name", GetActionTitle, 1, 0, L""},
        {"action past the end", GetActionTitle, 5, 0, L""},
        {"condition 0, 0", GetConditionTitle, 0, 0, L"Value"},
        {"condition 0, 1", GetConditionTitle, 0, 1, L""},
        {"expression 0, 1", GetExpressionParam, 0, 1, L"Second"},
        {"expression 1, 0", GetExpressionParam, 1, 0, L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Param(c.get, c.code, c.param), c.expected) << c.name;
}

// A text longer than the host's buffer is cut to fit and terminated; nothing past max is written.
TEST_F(EditorTexts, TextsAreCutToTheHostsBuffer)
{
    const struct {
        const char* name;
        std::int16_t max;
        const wchar_t* expected; // then '#' up to the end of the buffer
    } sizes[] = {
        {"room for all", 14, L"Do %0 with %1"},
        {"one short", 13, L"Do %0 with %"},
        {"room for one", 2, L"D"},
        {"room for the terminator", 1, L""},
    };
    for (const auto& size : sizes) {
        wchar_t buffer[Room];
        std::wmemset(buffer, L'#', Room);
        GetActionString(nullptr, 0, buffer, size.max);
        const std::size_t length = std::wcslen(size.expected);
        EXPECT_EQ(std::wstring(buffer), size.expected) << size.name;
        EXPECT_EQ(std::wstring(buffer + length + 1, Room - length - 1), std::wstring(Room - length - 1, L'#'))
            << size.name;
    }

    // Every text export cuts the same way.
    const auto cut = [](auto call) {
        wchar_t buffer[8];
        std::wmemset(buffer, L'#', 8);
        call(buffer);
        return std::wstring(buffer, 8);
    };
    EXPECT_EQ(cut([](wchar_t* b) { GetConditionString(nullptr, 0, b, 3); }), std::wstring(L"%o\0#####", 8));
    EXPECT_EQ(cut([](wchar_t* b) { GetExpressionString(nullptr, 0, b, 3); }), std::wstring(L"Ad\0#####", 8));
    EXPECT_EQ(cut([](wchar_t* b) { GetExpressionTitle(nullptr, 1, b, 4); }), std::wstring(L"Add\0####", 8));
    EXPECT_EQ(cut([](wchar_t* b) { GetActionTitle(nullptr, 0, 0, b, 3); }), std::wstring(L"Am\0#####", 8));
    EXPECT_EQ(cut([](wchar_t* b) { GetConditionTitle(nullptr, 0, 0, b, 3); }), std::wstring(L"Va\0#####", 8));
    EXPECT_EQ(cut([](wchar_t* b) { GetExpressionParam(nullptr, 0, 0, b, 3); }),
              std::wstring(L"Fi\0#####", 8));
}

TEST_F(EditorTexts, ABufferWithoutRoomIsLeftAlone)
{
    for (std::int16_t max : {std::int16_t(0), std::int16_t(-1), std::int16_t(-32768)}) {
        wchar_t buffer[4] = {L'#', L'#', L'#', L'#'};
        GetActionString(nullptr, 0, buffer, max);
        GetExpressionTitle(nullptr, 0, buffer, max);
        GetExpressionParam(nullptr, 0, 0, buffer, max);
        EXPECT_EQ(std::wstring(buffer, 4), L"####") << "max " << max;
    }
}

TEST_F(EditorTexts, InfosAreTheHostPartOfEachRecord)
{
    using InfosExport = void*(HOST_STDCALL*)(::mV*, std::int16_t);
    const struct {
        const char* name;
        InfosExport get;
        const std::vector<Tovik::ACEItem>& records;
        std::size_t count;
    } kinds[] = {
        {"actions", GetActionInfos, state->Actions, 2},
        {"conditions", GetConditionInfos, state->Conditions, 1},
        {"expressions", GetExpressionInfos, state->Expressions, 4},
    };
    for (const auto& kind : kinds) {
        ASSERT_EQ(kind.records.size(), kind.count) << kind.name;
        for (std::size_t code = 0; code < kind.count; ++code) {
            auto* answer = static_cast<std::uint8_t*>(kind.get(nullptr, static_cast<std::int16_t>(code)));
            EXPECT_EQ(answer, reinterpret_cast<std::uint8_t*>(kind.records[code].Info.get()) + 2)
                << kind.name << " " << code;
            std::uint16_t id;
            std::memcpy(&id, answer, 2);
            EXPECT_EQ(id, code) << kind.name << " " << code;
        }
        // Indexes the records do not have answer null rather than a pointer past the table.
        for (int code : {static_cast<int>(kind.count), -1, 32767, -32768})
            EXPECT_EQ(kind.get(nullptr, static_cast<std::int16_t>(code)), nullptr)
                << kind.name << " " << code;
    }
    // What the host reads for action 0: id, flags, two parameters, Integer and Text.
    const auto* action = static_cast<const std::uint16_t*>(GetActionInfos(nullptr, 0));
    EXPECT_EQ(action[0], 0);
    EXPECT_EQ(action[1], 0);
    EXPECT_EQ(action[2], 2);
    EXPECT_EQ(action[3], 22);
    EXPECT_EQ(action[4], 45);
}

TEST_F(EditorTexts, CodeFromMenuIsTheDistanceFromTheBaseAs16Bits)
{
    using CodeExport = std::uint32_t(HOST_STDCALL*)(::mV*, std::uint16_t);
    const struct {
        const char* name;
        CodeExport get;
        std::uint16_t menuId;
        std::uint32_t code;
    } cases[] = {
        {"action base", GetActionCodeFromMenu, 25000, 0},
        {"action 3 above", GetActionCodeFromMenu, 25003, 3},
        {"action 1 below", GetActionCodeFromMenu, 24999, 65535},
        {"action 0", GetActionCodeFromMenu, 0, 40536},
        {"action 65535", GetActionCodeFromMenu, 65535, 40535},
        {"condition base", GetConditionCodeFromMenu, 26000, 0},
        {"condition 5 above", GetConditionCodeFromMenu, 26005, 5},
        {"condition 1 below", GetConditionCodeFromMenu, 25999, 65535},
        {"expression 75 above", GetExpressionCodeFromMenu, 27075, 75},
        {"expression 1 below", GetExpressionCodeFromMenu, 26999, 65535},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.get(nullptr, c.menuId), c.code) << c.name;
}

namespace {

struct ObjInfos {
    wchar_t name[260], author[260], copyright[260], comment[260], url[260];

    explicit ObjInfos(::mV* mV)
    {
        for (wchar_t* buffer : {name, author, copyright, comment, url})
            std::wmemset(buffer, L'#', 260);
        GetObjInfos(mV, 0, name, author, copyright, comment, url);
    }
};

// The current language is the first language member; the third member of the root is another one.
const char* const TwoLanguages = R"({
    "Identifier": "TEST",
    "Current": {"About": {"Name": "Current name", "Author": "Current author", "Copyright": "Current copyright",
                          "Comment": "Current comment", "URL": "Current URL", "Help": "current.chm"}},
    "Third": {"About": {"Name": "Third name", "Author": "Third author", "Help": "third.chm"}}
})";

} // namespace

TEST_F(EditorTexts, ObjectInformationFromTheCurrentLanguage)
{
    ::mV editor{};
    editor.word04 = 1;
    ObjInfos infos(&editor);
    EXPECT_EQ(std::wstring(infos.name), L"Texts");
    EXPECT_EQ(std::wstring(infos.author), L"A. Author");
    EXPECT_EQ(std::wstring(infos.copyright), L"(C) Someone");
    EXPECT_EQ(std::wstring(infos.comment), L"Says things");
    EXPECT_EQ(std::wstring(infos.url), L"https://texts.example/");
}

TEST_F(EditorTexts, ObjectNameComesFromTheThirdRootMemberWithoutAFullEditorRecord)
{
    Load(TwoLanguages);
    ::mV withWord{};
    withWord.word04 = 0x1234;
    ::mV withoutWord{};
    const struct {
        const char* name;
        ::mV* mV;
        const wchar_t* expected;
    } cases[] = {
        {"mV and its word", &withWord, L"Current name"},
        {"mV without its word", &withoutWord, L"Third name"},
        {"no mV", nullptr, L"Third name"},
    };
    for (const auto& c : cases) {
        ObjInfos infos(c.mV);
        EXPECT_EQ(std::wstring(infos.name), c.expected) << c.name;
        EXPECT_EQ(std::wstring(infos.author), L"Current author") << c.name;
        EXPECT_EQ(std::wstring(infos.copyright), L"Current copyright") << c.name;
        EXPECT_EQ(std::wstring(infos.comment), L"Current comment") << c.name;
        EXPECT_EQ(std::wstring(infos.url), L"Current URL") << c.name;
    }
}

TEST_F(EditorTexts, ObjectNameIsEmptyWithoutAThirdRootMember)
{
    const char* const roots[] = {
        R"({"Identifier": "TEST", "L": {"About": {"Name": "Only", "Author": "Me"}}})",
        R"({"Identifier": "TEST", "L": {"About": {"Name": "Only", "Author": "Me"}}, "Third": 5})",
        R"({"Identifier": "TEST", "L": {"About": {"Name": "Only", "Author": "Me"}}, "Third": {"About": {}}})",
    };
    for (const char* root : roots) {
        Load(root);
        ObjInfos infos(nullptr);
        EXPECT_EQ(std::wstring(infos.name), L"") << root;
        EXPECT_EQ(std::wstring(infos.author), L"Me") << root;
        ::mV editor{};
        editor.word04 = 1;
        EXPECT_EQ(std::wstring(ObjInfos(&editor).name), L"Only") << root;
    }
}

TEST_F(EditorTexts, ObjectInformationIsCutTo259Characters)
{
    const std::string longText(300, 'x');
    Load(R"({"Identifier": "TEST", "Dependencies": "", "L": {"About": {"Name": ")" + longText +
         R"(", "Author": ")" + longText + R"(", "Help": ")" + longText + R"("}}})");
    ::mV editor{};
    editor.word04 = 1;
    ObjInfos infos(&editor);
    EXPECT_EQ(std::wstring(infos.name), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(infos.author), std::wstring(259, L'x'));
    EXPECT_EQ(std::wstring(GetHelpFileName()), std::wstring(259, L'x'));
}

TEST_F(EditorTexts, HelpFileNameIsRewrittenInOneBuffer)
{
    const wchar_t* first = GetHelpFileName();
    EXPECT_EQ(std::wstring(first), L"Help/Texts.chm");
    Load(TwoLanguages);
    const wchar_t* second = GetHelpFileName();
    EXPECT_EQ(second, first);
    EXPECT_EQ(std::wstring(second), L"current.chm");
    Load(R"({"Identifier": "TEST", "Dependencies": "", "L": {"About": {"Name": "No help"}}})");
    EXPECT_EQ(std::wstring(GetHelpFileName()), L"");
}
