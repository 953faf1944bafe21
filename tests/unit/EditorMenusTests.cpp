// The editor menus: built from the definition's menu arrays, and the copies the host is handed.
#include "InProcess.h"
#include "MenuText.h"

#include "Lib/Shared/Tovik/EditorMenus.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using TestHost::DescribeMenu;

// The menu built from a menu array written as JSON, given to the builder with menu (null: a new one).
HMENU Build(int base, const std::string& array, HMENU menu = nullptr)
{
    json_value* tree = InProcess::ParseDefinition("{\"Menu\": " + array + "}");
    HMENU built = Tovik::BuildMenuFromJSON(base, (*tree)["Menu"], menu);
    json_value_free(tree);
    return built;
}

HMENU CopyOf(HMENU source)
{
    HMENU copy = CreatePopupMenu();
    Tovik::CopyMenu(copy, source);
    return copy;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::wstring Repeat(wchar_t c, std::size_t n) { return std::wstring(n, c); }

} // namespace

TEST(EditorMenus, SeparatorTexts)
{
    const struct {
        const char* text;
        bool separator;
    } cases[] = {
        {"Separator", true}, {"separator", true},   {"SEPARATOR", true},   {"---", true},
        {"--", false},       {"----", false},       {" Separator", false}, {"Separator ", false},
        {" --- ", false},    {"Separators", false}, {"", false},           {"Free Memory Block", false},
    };
    for (const auto& c : cases) {
        HMENU menu = Build(25000, "[" + Quoted(c.text) + "]");
        EXPECT_EQ(DescribeMenu(menu), c.separator ? L"---" : L"") << '"' << c.text << '"';
        DestroyMenu(menu);
    }
}

TEST(EditorMenus, ItemIdsAreRelativeToTheBase)
{
    const struct {
        int base;
        const char* array;
        const wchar_t* expected;
    } cases[] = {
        {25000, R"([[3, "Write"], [0, "First"]])", L"25003 Write | 25000 First"},
        {26000, R"([[5, "Is null?"]])", L"26005 Is null?"},
        {27000, R"([[75, "Last error"]])", L"27075 Last error"},
    };
    for (const auto& c : cases) {
        HMENU menu = Build(c.base, c.array);
        EXPECT_EQ(DescribeMenu(menu), c.expected) << c.array;
        DestroyMenu(menu);
    }
}

TEST(EditorMenus, OnlyABooleanTrueThirdElementGreysAnItem)
{
    const struct {
        const char* array;
        bool greyed;
    } cases[] = {
        {R"([[3, "Item", true]])", true}, {R"([[3, "Item", false]])", false},
        {R"([[3, "Item"]])", false},      {R"([[3, "Item", "true"]])", false},
        {R"([[3, "Item", 1]])", false},   {R"([[3, "Item", null, true]])", false},
    };
    for (const auto& c : cases) {
        HMENU menu = Build(25000, c.array);
        ASSERT_EQ(GetMenuItemCount(menu), 1) << c.array;
        EXPECT_EQ(GetMenuItemID(menu, 0), 25003u) << c.array;
        EXPECT_EQ((GetMenuState(menu, 0, MF_BYPOSITION) & MF_GRAYED) != 0, c.greyed) << c.array;
        DestroyMenu(menu);
    }
}

TEST(EditorMenus, SubmenusNestWithTheirTitles)
{
    HMENU menu = Build(25000, R"json([
        ["Varibles",
            ["Pointers (Experimental)", [2, "Free Memory Block"], "---", [3, "Write", true]],
            "separator",
            ["Examples", [0, "Action example"]]
        ],
        [1, "After"]
    ])json");
    EXPECT_EQ(DescribeMenu(menu),
              L"Varibles{Pointers (Experimental){25002 Free Memory Block | --- | 25003 Write "
              L"(greyed)} | --- | Examples{25000 Action example}} | 25001 After");
    DestroyMenu(menu);
}

TEST(EditorMenus, ASubmenuTitleIsNotAnEntryOfItsOwnSubmenu)
{
    HMENU menu = Build(25000, R"([["Separator", [1, "A"]], ["---", [2, "B"]]])");
    EXPECT_EQ(DescribeMenu(menu), L"Separator{25001 A} | ---{25002 B}");
    DestroyMenu(menu);
}

TEST(EditorMenus, ValuesThatAreNeitherTextsNorArraysAddNothing)
{
    HMENU menu = Build(25000, R"([5, 2.5, true, null, {"Title": "x"}, [1, "Kept"]])");
    EXPECT_EQ(DescribeMenu(menu), L"25001 Kept");
    DestroyMenu(menu);
}

TEST(EditorMenus, TextsAreConvertedFromUTF8)
{
    HMENU menu = Build(27000, "[[\"Gr\xC3\xB6\xC3\x9F"
                              "e\", [4, \"\xE2\x9C\x93 \xF0\x9F\x98\x80\"]]]");
    EXPECT_EQ(DescribeMenu(menu), L"Gr\u00F6\u00DFe{27004 \u2713 \U0001F600}");
    DestroyMenu(menu);
}

TEST(EditorMenus, AGivenMenuIsAppendedToAndReturned)
{
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 7, L"Existing");
    EXPECT_EQ(Build(26000, R"([[1, "Added"]])", menu), menu);
    EXPECT_EQ(DescribeMenu(menu), L"7 Existing | 26001 Added");
    DestroyMenu(menu);
}

TEST(EditorMenus, ANonArrayBuildsAnEmptyMenu)
{
    HMENU menu = Build(25000, R"({"ActionMenu": [[1, "A"]]})");
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 0);
    DestroyMenu(menu);
}

TEST(EditorMenus, CopyKeepsItemsSeparatorsGreyingAndSubmenus)
{
    HMENU source = Build(25000, R"([
        ["Outer", ["Inner", [2, "Deep", true], "---", [3, "Deeper"]], [4, "Shallow"]],
        "---",
        [5, "Top", true],
        [6, "Enabled"]
    ])");
    HMENU copy = CopyOf(source);
    EXPECT_EQ(DescribeMenu(copy), DescribeMenu(source));
    EXPECT_EQ(DescribeMenu(copy),
              L"Outer{Inner{25002 Deep (greyed) | --- | 25003 Deeper} | 25004 Shallow} | --- | "
              L"25005 Top (greyed) | 25006 Enabled");
    // The copy's submenus are its own: destroying the source leaves them whole.
    EXPECT_NE(GetSubMenu(copy, 0), GetSubMenu(source, 0));
    const std::wstring before = DescribeMenu(copy);
    DestroyMenu(source);
    EXPECT_EQ(DescribeMenu(copy), before);
    DestroyMenu(copy);
}

TEST(EditorMenus, CopiedTextsAreCutTo79Characters)
{
    const struct {
        std::size_t length;
        std::size_t shown;
    } cases[] = {{78, 78}, {79, 79}, {80, 79}, {120, 79}};
    for (const auto& c : cases) {
        const std::string text(c.length, 'a');
        HMENU source = Build(25000, "[[1, " + Quoted(text) + "], [" + Quoted(std::string(c.length, 'b')) +
                                        ", [2, \"x\"]]]");
        HMENU copy = CopyOf(source);
        EXPECT_EQ(DescribeMenu(copy),
                  L"25001 " + Repeat(L'a', c.shown) + L" | " + Repeat(L'b', c.shown) + L"{25002 x}")
            << c.length << " characters";
        DestroyMenu(copy);
        DestroyMenu(source);
    }
}

TEST(EditorMenus, CopyOfNoMenuIsEmpty)
{
    HMENU copy = CopyOf(nullptr);
    EXPECT_EQ(GetMenuItemCount(copy), 0);
    DestroyMenu(copy);
}

TEST(EditorMenus, ExportsHandOutFreshCopiesOfTheThreePrebuiltMenus)
{
    InProcess::BoxRecorder boxes;
    Tovik::SDK* state = InProcess::BuildState(R"({
        "Identifier": "TEST", "Dependencies": "",
        "L": {
            "About": {"Name": "Menus"},
            "ActionMenu": [["Group", [1, "Act", true]], "---", [0, "Zero"]],
            "ConditionMenu": [[2, "Cond"]],
            "ExpressionMenu": ["Separator", [3, "Exp"]]
        }
    })");
    using MenuExport = HMENU(HOST_STDCALL*)(::mV*, std::int32_t, std::int32_t);
    const struct {
        const char* name;
        MenuExport get;
        const wchar_t* expected;
    } kinds[] = {
        {"actions", GetActionMenu, L"Group{25001 Act (greyed)} | --- | 25000 Zero"},
        {"conditions", GetConditionMenu, L"26002 Cond"},
        {"expressions", GetExpressionMenu, L"--- | 27003 Exp"},
    };
    for (const auto& kind : kinds) {
        HMENU first = kind.get(nullptr, 0, 0);
        EXPECT_EQ(DescribeMenu(first), kind.expected) << kind.name;
        // The host destroys what it is given; the next request is not affected.
        DestroyMenu(first);
        HMENU second = kind.get(nullptr, 1, 2);
        EXPECT_EQ(DescribeMenu(second), kind.expected) << kind.name;
        HMENU third = kind.get(nullptr, 0, 0);
        EXPECT_NE(third, second) << kind.name;
        DestroyMenu(second);
        DestroyMenu(third);
    }
    EXPECT_TRUE(boxes.boxes.empty());
    delete state;
}

// Each level costs a menu handle and a frame of the builder: nesting past 16 levels is cut, with one box.
TEST(EditorMenus, SubmenusDeeperThan16LevelsAreCutWithOneBox)
{
    const struct {
        int levels;
        int kept;
        bool box;
    } cases[] = {{16, 16, false}, {17, 16, true}, {50000, 16, true}};
    for (const auto& c : cases) {
        InProcess::BoxRecorder boxes;
        std::string array;
        for (int i = 0; i < c.levels; ++i)
            array += "[\"L\", ";
        array += "[2, \"Deepest\"]" + std::string(static_cast<std::size_t>(c.levels), ']');
        HMENU menu = Build(25000, "[" + array + ", [3, \"After\"]]");
        int depth = 0;
        for (HMENU level = menu; GetMenuItemCount(level) > 0 && GetSubMenu(level, 0) != nullptr; ++depth)
            level = GetSubMenu(level, 0);
        EXPECT_EQ(depth, c.kept) << c.levels;
        EXPECT_EQ(GetMenuItemCount(menu), 2) << c.levels;
        ASSERT_EQ(boxes.boxes.size(), c.box ? 1u : 0u) << c.levels;
        if (c.box) {
            EXPECT_EQ(boxes.boxes[0].title, L"Error reading menu JSON - Morvalex");
            EXPECT_EQ(boxes.boxes[0].text, L"A menu of Morvalex's JSON nests submenus more than 16 levels deep; "
                                           L"the deeper ones are left out.");
        }
        DestroyMenu(menu);
    }
}
