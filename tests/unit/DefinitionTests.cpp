// The embedded definition document: everything the host learns about the object's actions, conditions,
// expressions, menus and About texts comes from it, so a slip here shows up as a wrong editor entry
// or a linking box at object creation.
#include "json/json.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

const char* const DefinitionPath = MORVALEX_SOURCE_DIR "/extension/Morvalex.json";

std::string ReadFileBytes(const char* path)
{
    std::string bytes;
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr)
        return bytes;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

class Definition : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string bytes = ReadFileBytes(DefinitionPath);
        ASSERT_FALSE(bytes.empty()) << "cannot read " << DefinitionPath;
        // The parser takes over a malloc'd text that holds a NUL just past its end.
        char* text = static_cast<char*>(std::malloc(bytes.size() + 1));
        ASSERT_NE(text, nullptr);
        std::memcpy(text, bytes.data(), bytes.size());
        text[bytes.size()] = '\0';
        json_settings settings = {};
        char error[256] = {};
        root = json_parse_ex(&settings, text, bytes.size(), error, sizeof error);
        ASSERT_NE(root, nullptr) << error;
    }

    void TearDown() override
    {
        if (root != nullptr)
            json_value_free(root);
    }

    const json_value& Language() const { return (*root)["UK English"]; }

    json_value* root = nullptr;
};

std::string Text(const json_value& value) { return static_cast<const char*>(value); }

std::uint32_t Length(const json_value& value)
{
    return value.type == json_array ? value.u.array.length : 0;
}

bool EqualsIgnoringCase(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

// The type words of each item's parameters, one letter each (I integer, F float, T text); for expressions
// the result's letter comes first, then a colon. These are the member signatures the extension links.
const char* const ActionSignatures[42] = {
    "I",   "",     "I",    "II",   "III",   "IF",  "TI",  "TII", "TIII", "TIIII", "TF",  "TFF",  "TFFF", "TFFFF",
    "TT",  "T",    "TTI",  "TT",   "T",     "TTF", "TT",  "T",   "TTT",  "TT",    "TTT", "TTTT", "TTTTT", "TI",
    "T",   "TII",  "TI",   "T",    "TIF",   "TI",  "T",   "TIT", "",     "I",     "I",   "",     "",     "T",
};
const char* const ConditionSignatures[6] = {"II", "I", "I", "II", "IF", "IT"};
const char* const ExpressionSignatures[76] = {
    "I:II",  "T:",    "I:I",   "I:I",   "I:II",  "F:I",   "I:TT",  "F:TT",  "I:II",  "I:II",  // 0-9
    "I:II",  "I:I",   "I:II",  "I:II",  "I:II",  "I:II",  "I:II",  "I:II",  "I:II",  "F:IF",  // 10-19
    "F:IFF", "I:FF",  "I:FF",  "I:FF",  "I:FF",  "I:FF",  "I:FF",  "T:IT",  "T:ITT", "I:TT",  // 20-29
    "I:TT",  "T:TT",  "I:TI",  "F:TI",  "T:TI",  "I:II",  "I:II",  "I:II",  "I:II",  "F:F",   // 30-39
    "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   // 40-49
    "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "F:F",   "I:FTF", "I:TTT", "F:",    "I:",    // 50-59
    "F:",    "F:",    "I:",    "F:",    "F:",    "T:",    "I:",    "T:I",   "T:I",   "T:",    // 60-69
    "F:",    "F:",    "F:",    "I:",    "I:",    "T:",                                        // 70-75
};

char TypeLetter(const std::string& typeName)
{
    if (typeName == "Integer")
        return 'I';
    if (typeName == "Float")
        return 'F';
    if (typeName == "Text")
        return 'T';
    return '?';
}

// The letters of an item's parameters; every parameter must be a [type name, display name] pair.
std::string ParameterLetters(const json_value& item, const std::string& where)
{
    std::string letters;
    const json_value& parameters = item["Parameters"];
    for (std::uint32_t i = 0; i < Length(parameters); ++i) {
        const json_value& parameter = parameters[static_cast<int>(i)];
        EXPECT_EQ(Length(parameter), 2u) << where << " parameter " << i;
        EXPECT_EQ(parameter[0].type, json_string) << where << " parameter " << i;
        EXPECT_EQ(parameter[1].type, json_string) << where << " parameter " << i;
        EXPECT_FALSE(Text(parameter[1]).empty()) << where << " parameter " << i << " has no display name";
        letters += TypeLetter(Text(parameter[0]));
    }
    return letters;
}

// Walks a menu array from index first on, the way the editor menus are built: a text is a separator
// ("---" or "Separator") or nothing; an array led by a text and then an array is a submenu whose entries
// are its own elements from index 1 (element 0 is its title); any other array is an item [id, text].
// Counts how often each id is offered.
void CountMenuItems(const json_value& menu, std::uint32_t first, std::map<json_int_t, int>& counts,
                    const std::string& where)
{
    for (std::uint32_t i = first; i < Length(menu); ++i) {
        const json_value& entry = menu[static_cast<int>(i)];
        const std::string at = where + "[" + std::to_string(i) + "]";
        if (entry.type == json_string) {
            // Any other text would silently add nothing to the menu.
            EXPECT_TRUE(Text(entry) == "---" || EqualsIgnoringCase(Text(entry), "Separator")) << at;
            continue;
        }
        ASSERT_EQ(entry.type, json_array) << at;
        if (entry[0].type == json_string && entry[1].type == json_array) {
            CountMenuItems(entry, 1, counts, at + " " + Text(entry[0]));
            continue;
        }
        ASSERT_EQ(entry[0].type, json_integer) << at << ": an item needs its id first";
        EXPECT_EQ(entry[1].type, json_string) << at;
        // The editor shows at most 79 characters of an entry.
        EXPECT_LT(Text(entry[1]).size(), 80u) << at;
        ++counts[static_cast<json_int_t>(entry[0])];
    }
}

TEST_F(Definition, RootHoldsIdentifierDependenciesAndOneLanguage)
{
    ASSERT_EQ(root->type, json_object);
    EXPECT_EQ((*root)["Identifier"].type, json_string);
    EXPECT_EQ(Text((*root)["Identifier"]), "ZOBU");
    EXPECT_EQ((*root)["Dependencies"].type, json_string);
    EXPECT_EQ(Text((*root)["Dependencies"]), "");
    // The object name falls back to the third root member: the language object must be it.
    ASSERT_EQ(root->u.object.length, 3u);
    EXPECT_STREQ(root->u.object.values[2].name, "UK English");
    EXPECT_EQ(Language().type, json_object);
}

TEST_F(Definition, AboutNamesTheExtensionAndIsNotTheTemplate)
{
    const json_value& about = Language()["About"];
    EXPECT_EQ(about["Name"].type, json_string);
    EXPECT_EQ(Text(about["Name"]), "Morvalex");
    EXPECT_EQ(Text(about["Comment"]), "A universal extension mainly focusing on mathematics.");
    for (const char* key : {"Author", "Copyright", "Help", "URL"}) {
        EXPECT_EQ(about[key].type, json_string) << key;
        EXPECT_FALSE(Text(about[key]).empty()) << key;
    }

    // The placeholders that make the framework ask the author to edit the About section.
    const struct {
        const char* key;
        const char* placeholder;
    } placeholders[] = {
        {"Name", "Polvane Template"},
        {"Author", "Your Name"},
        {"Comment", "A sentence or two to describe your extension"},
        {"Help", "Help/Example.chm"},
    };
    for (const auto& p : placeholders)
        EXPECT_FALSE(EqualsIgnoringCase(Text(about[p.key]), p.placeholder)) << p.key;
    std::string copyright = Text(about["Copyright"]);
    for (char& c : copyright)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(copyright.find("by your name"), std::string::npos);
}

TEST_F(Definition, ActionsMatchTheMemberSignatures)
{
    const json_value& actions = Language()["Actions"];
    ASSERT_EQ(Length(actions), 42u);
    for (int id = 0; id < 42; ++id) {
        const json_value& item = actions[id];
        const std::string where = "action " + std::to_string(id);
        ASSERT_EQ(item.type, json_object) << where;
        EXPECT_EQ(item["Title"].type, json_string) << where;
        EXPECT_FALSE(Text(item["Title"]).empty()) << where;
        EXPECT_EQ(ParameterLetters(item, where), ActionSignatures[id]) << where;
    }
}

TEST_F(Definition, ConditionsAreTestedNotTriggeredAndMatchTheMemberSignatures)
{
    const json_value& conditions = Language()["Conditions"];
    ASSERT_EQ(Length(conditions), 6u);
    for (int id = 0; id < 6; ++id) {
        const json_value& item = conditions[id];
        const std::string where = "condition " + std::to_string(id);
        ASSERT_EQ(item.type, json_object) << where;
        EXPECT_EQ(Text(item["Title"]).rfind("%o : ", 0), 0u) << where << ": " << Text(item["Title"]);
        EXPECT_EQ(item["Triggered"].type, json_boolean) << where;
        EXPECT_FALSE(static_cast<bool>(item["Triggered"])) << where;
        EXPECT_EQ(ParameterLetters(item, where), ConditionSignatures[id]) << where;
    }
}

TEST_F(Definition, ExpressionsMatchTheMemberSignatures)
{
    const json_value& expressions = Language()["Expressions"];
    ASSERT_EQ(Length(expressions), 76u);
    for (int id = 0; id < 76; ++id) {
        const json_value& item = expressions[id];
        const std::string where = "expression " + std::to_string(id);
        ASSERT_EQ(item.type, json_object) << where;
        const std::string title = Text(item["Title"]);
        ASSERT_FALSE(title.empty()) << where;
        EXPECT_EQ(title.back(), '(') << where << ": " << title;
        EXPECT_EQ(title.find('('), title.size() - 1) << where << ": " << title;
        const std::string returns = Text(item["Returns"]);
        EXPECT_EQ(std::string(1, TypeLetter(returns)) + ":" + ParameterLetters(item, where), ExpressionSignatures[id])
            << where;
    }
}

// Titles that are fixed by what authors already type in their expressions and see in their events.
TEST_F(Definition, FixedTitles)
{
    const struct {
        const char* kind;
        int id;
        const char* title;
    } titles[] = {
        {"Actions", 14, "Create %1 Matrix %0"},
        {"Actions", 16, "Change %1 value in Float Matrix %0"},
        {"Actions", 17, "Create %1 Matrix %0"},
        {"Actions", 20, "Create %1 Matrix %0"},
        {"Expressions", 0, "Add("},
        {"Expressions", 1, "HelloWorld$("},
        {"Expressions", 27, "If$("},
        {"Expressions", 31, "MtxReadText$("},
        {"Expressions", 46, "ACos("},
        {"Expressions", 48, "Sinh("},
        {"Expressions", 65, "DVMicCName$("},
        {"Expressions", 74, "DVMicActiveCheq("},
        {"Expressions", 75, "Error("},
    };
    for (const auto& t : titles)
        EXPECT_EQ(Text(Language()[t.kind][t.id]["Title"]), t.title) << t.kind << " " << t.id;

    // The three matrix creators share a title and differ only in the type list offered.
    const struct {
        int id;
        const char* typeName;
    } creators[] = {
        {14, "Type (int, int2, int3, int4)"},
        {17, "Type (float, float2, float3, float4)"},
        {20, "Type (text, text2, text3, text4)"},
    };
    for (const auto& c : creators)
        EXPECT_EQ(Text(Language()["Actions"][c.id]["Parameters"][1][1]), c.typeName) << "action " << c.id;
}

TEST_F(Definition, EachMenuOffersEveryItemOfItsKindOnce)
{
    const struct {
        const char* menu;
        const char* items;
    } kinds[] = {
        {"ActionMenu", "Actions"},
        {"ConditionMenu", "Conditions"},
        {"ExpressionMenu", "Expressions"},
    };
    for (const auto& kind : kinds) {
        const json_value& menu = Language()[kind.menu];
        ASSERT_EQ(menu.type, json_array) << kind.menu;
        std::map<json_int_t, int> counts;
        CountMenuItems(menu, 0, counts, kind.menu);
        const json_int_t count = Length(Language()[kind.items]);
        ASSERT_GT(count, 0) << kind.items;
        for (json_int_t id = 0; id < count; ++id)
            EXPECT_EQ(counts[id], 1) << kind.menu << " offers id " << id << " " << counts[id] << " times";
        EXPECT_EQ(static_cast<json_int_t>(counts.size()), count) << kind.menu << " offers ids beyond " << kind.items;
    }
}

TEST_F(Definition, ActionMenuOpensWithVariblesAndPointers)
{
    const json_value& menu = Language()["ActionMenu"];
    ASSERT_EQ(Length(menu), 1u);
    const json_value& variables = menu[0];
    EXPECT_EQ(Text(variables[0]), "Varibles");
    const json_value& pointers = variables[1];
    EXPECT_EQ(Text(pointers[0]), "Pointers (Experimental)");
    EXPECT_EQ(pointers[1][0].type, json_integer);
    EXPECT_EQ(static_cast<json_int_t>(pointers[1][0]), 2);
    EXPECT_EQ(Text(pointers[1][1]), "Free Memory Block");
    EXPECT_EQ(Length(pointers[1]), 2u);
    EXPECT_EQ(pointers[2].type, json_string);
    EXPECT_EQ(Text(pointers[2]), "---");
}

TEST_F(Definition, OnlyPropertyIsTheVersionText)
{
    const json_value& properties = Language()["Properties"];
    ASSERT_EQ(Length(properties), 1u);
    EXPECT_EQ(Text(properties[0]["Title"]), "Version");
    EXPECT_EQ(Text(properties[0]["Type"]), "Text");
}

// The library carries the same document as resource TOVIK 102; the test program links the same script.
TEST(EmbeddedDefinition, IsTheDocumentOnDisk)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(102), L"TOVIK");
    ASSERT_NE(found, nullptr);
    HGLOBAL loaded = LoadResource(nullptr, found);
    ASSERT_NE(loaded, nullptr);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    const std::string embedded(bytes, SizeofResource(nullptr, found));
    EXPECT_EQ(embedded, ReadFileBytes(DefinitionPath));
}

} // namespace
