// The editor's exports of the real library as the host calls them: menus as real Windows menus, texts in
// the host's buffers, records, the object's information, the ids offered to the host, the icon seen
// through the fake MMFS2.dll, and the neutral answers of a library that has no state object.
#include "FakeSurfaces.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <memory>

namespace {

// The host pushes every argument as 32 bits; only the low 16 of a menu id, code or size are the value.
using MenuFn = HMENU(HOST_STDCALL*)(::mV*, std::int32_t, std::int32_t);
using CodeFn = std::uint32_t(HOST_STDCALL*)(::mV*, std::uint32_t);
using InfosFn = const std::uint16_t*(HOST_STDCALL*)(::mV*, std::uint32_t);
using StringFn = void(HOST_STDCALL*)(::mV*, std::uint32_t, wchar_t*, std::uint32_t);
using ParamFn = void(HOST_STDCALL*)(::mV*, std::uint32_t, std::uint32_t, wchar_t*, std::uint32_t);
using InfoFn = void(HOST_STDCALL*)(::mV*, std::int32_t, wchar_t*, wchar_t*, wchar_t*, wchar_t*, wchar_t*);
using HelpFn = const wchar_t*(HOST_STDCALL*)();
using EnumFn = std::int32_t(HOST_STDCALL*)(std::uint16_t*, std::int32_t, std::int32_t, std::int32_t);
using EnumEltsFn = std::int32_t(HOST_STDCALL*)(::mV*, EDITDATA*, EnumFn, EnumFn, std::int32_t, std::int32_t);
using DisplayFn = void(HOST_STDCALL*)(::mV*, std::int32_t, std::int32_t, EDITDATA*, RECT*);
using MakeIconExFn = std::int32_t(HOST_STDCALL*)(::mV*, void*, std::int32_t, std::int32_t, std::int32_t);
using Lines = std::vector<std::string>;

// Items joined by " | ": "25003 Text" (" (greyed)" added), "---" for a separator, "Title{...}" a submenu.
std::wstring Describe(HMENU menu)
{
    std::wstring text;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t title[256] = L"";
        GetMenuStringW(menu, static_cast<UINT>(i), title, 256, MF_BYPOSITION);
        const UINT id = GetMenuItemID(menu, i);
        const bool greyed = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED;
        text += i > 0 ? L" | " : L"";
        if (id == 0)
            text += L"---";
        else if (id == static_cast<UINT>(-1))
            text += title + (L"{" + Describe(GetSubMenu(menu, i)) + L"}");
        else
            text += std::to_wstring(id) + L" " + title + (greyed ? L" (greyed)" : L"");
    }
    return text;
}

// A host buffer of 16 characters filled with '#' after a text export: what was written, with "!" for the
// terminator, the untouched '#' at its end left out. A parameter below 0 calls an export of one code.
std::wstring Text(TestHost::Library& lib, ::mV* mV, const char* name, std::uint32_t code, int param,
                  std::uint32_t max)
{
    wchar_t buffer[16];
    std::wmemset(buffer, L'#', 16);
    if (param < 0)
        lib.Export<StringFn>(name)(mV, code, buffer, max);
    else
        lib.Export<ParamFn>(name)(mV, code, static_cast<std::uint32_t>(param), buffer, max);
    std::wstring text(buffer, 16);
    for (wchar_t& c : text)
        c = c == L'\0' ? L'!' : c;
    return text.substr(0, text.find_last_not_of(L'#') + 1);
}

// An editor session of the built library, or of a copy beside a definition or an icon image of the
// test's own. The fake MMFS2.dll is reset first, so that its log starts with the icon.
struct Editor {
    explicit Editor(const std::string& definition = {}, const std::string& icon = {}, std::uint32_t fail = 0)
    {
        fake.SetFailures(fail, 7);
        std::wstring library = TestHost::BuiltLibraryPath();
        if (!definition.empty() || !icon.empty())
            library = tree.Copy(library, L"Morvalex.mfx").wstring();
        if (!definition.empty())
            tree.Write(L"Morvalex.json", definition);
        if (!icon.empty())
            tree.Write(L"Morvalex.png", icon);
        session = std::make_unique<TestHost::Session>(library, GetDesktopWindow());
    }
    template <typename F> F Get(const char* name) { return session->Lib().Export<F>(name); }
    ::mV* MV() { return session->TheHost().MV(); }
    std::wstring Text(const char* name, std::uint32_t code, int param, std::uint32_t max)
    {
        return ::Text(session->Lib(), MV(), name, code, param, max);
    }
    std::wstring Menu(const char* name)
    {
        HMENU menu = Get<MenuFn>(name)(MV(), 0, 0);
        const std::wstring text = Describe(menu);
        DestroyMenu(menu);
        return text;
    }
    // Exactly one box since the last call, with that title and text; none when title is null.
    void ExpectBox(const wchar_t* title, const wchar_t* text, const std::string& label)
    {
        const auto& boxes = session->Boxes().Boxes();
        ASSERT_EQ(boxes.size(), title ? 1u : 0u) << label;
        if (title) {
            EXPECT_EQ(boxes[0].title + L": " + boxes[0].text, std::wstring(title) + L": " + text) << label;
        }
        session->Boxes().Clear();
    }

    TestHost::FakeSurfaces fake;
    TestHost::TempTree tree;
    std::unique_ptr<TestHost::Session> session;
};

} // namespace

TEST(EditorExports, TheBundledDefinitionThroughEachFamily)
{
    Editor editor;
    ASSERT_EQ(editor.session->InitializeResult(), 0);
    const std::wstring pointers = L"Varibles{Pointers (Experimental){25002 Free Memory Block | --- | ";
    EXPECT_EQ(editor.Menu("GetActionMenu").substr(0, pointers.size()), pointers);
    // The distance from each kind's menu base, as 16 bits; the high half of the host's word is not read.
    const struct {
        const char* name;
        std::uint32_t menuId, code;
    } codes[] = {{"GetActionCodeFromMenu", 25003, 3},      {"GetActionCodeFromMenu", 24999, 65535},
                 {"GetActionCodeFromMenu", 0xABCD61AB, 3}, {"GetActionCodeFromMenu", 0, 40536},
                 {"GetConditionCodeFromMenu", 26000, 0},   {"GetConditionCodeFromMenu", 25999, 65535},
                 {"GetExpressionCodeFromMenu", 27075, 75}, {"GetExpressionCodeFromMenu", 26999, 65535}};
    for (const auto& c : codes)
        EXPECT_EQ(editor.Get<CodeFn>(c.name)(editor.MV(), c.menuId), c.code) << c.name << " " << c.menuId;
    // id, flags, parameter count, the parameters' codes.
    const std::uint16_t* action = editor.Get<InfosFn>("GetActionInfos")(editor.MV(), 3);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(std::vector<std::uint16_t>(action, action + 5), (std::vector<std::uint16_t>{3, 0, 2, 22, 22}));
    EXPECT_EQ(editor.Get<InfosFn>("GetExpressionInfos")(editor.MV(), 1)[0], 1);
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        EXPECT_EQ(editor.Get<InfosFn>(name)(editor.MV(), 0xFFFF), nullptr) << name;
    EXPECT_EQ(editor.Text("GetActionString", 2, -1, 16), L"Free memory blo!");
    wchar_t name[260], author[260], copyright[260], comment[260], url[260];
    editor.Get<InfoFn>("GetObjInfos")(editor.MV(), 0, name, author, copyright, comment, url);
    EXPECT_EQ(std::wstring(name) + L"/" + author + L"/" + copyright + L"/" + comment + L"/" + url,
              L"Morvalex/The Morvalex team/Copyright (C) 2026 The Morvalex team/A universal extension mainly "
              L"focusing on mathematics./https://morvalex.example/");
    EXPECT_EQ(std::wstring(editor.Get<HelpFn>("GetHelpFileName")()), L"Help/Morvalex.chm");
    editor.ExpectBox(nullptr, nullptr, "bundled");
}

TEST(EditorExports, MenusAsTheHostReceivesThem)
{
    const auto nested = [](std::size_t levels) {
        std::string array;
        for (std::size_t i = 0; i < levels; ++i)
            array += "[\"L\", ";
        return array + "[2, \"Deepest\"]" + std::string(levels, ']');
    };
    Editor editor(R"({"Identifier": "TEST", "Dependencies": "", "L": {"About": {"Name": "Menus"},
        "ActionMenu": [[3, "Greyed", true], [4, "Enabled", false], [5, "Plain"], [6, "Text", "true"],
            "Separator", "separator", "SEPARATOR", "---", "--", " Separator ", 7, ["---", [8, ")" +
                  std::string(100, 'x') + R"("]]],
        "ConditionMenu": [)" +
                  nested(16) + R"(, ["Outer", ["Inner", [1, "Deep"]], "---"]],
        "ExpressionMenu": [)" +
                  nested(17) + R"(, [1, "After"]]}})");
    ASSERT_EQ(editor.session->InitializeResult(), 0);
    EXPECT_EQ(editor.Menu("GetActionMenu"),
              L"25003 Greyed (greyed) | 25004 Enabled | 25005 Plain | 25006 Text "
              L"| --- | --- | --- | --- | ---{25008 " +
                  std::wstring(79, L'x') + L"}");
    std::wstring sixteen;
    for (int i = 0; i < 16; ++i)
        sixteen += L"L{";
    const std::wstring closed(16, L'}');
    const std::wstring conditions =
        sixteen + L"26002 Deepest" + closed + L" | Outer{Inner{26001 Deep} | ---}";
    EXPECT_EQ(editor.Menu("GetConditionMenu"), conditions);
    // Past 16 levels the submenus are left out, with one box for the whole menu.
    EXPECT_EQ(editor.Menu("GetExpressionMenu"), sixteen + closed + L" | 27001 After");
    editor.ExpectBox(L"Error reading menu JSON - Morvalex",
                     L"A menu of Morvalex's JSON nests submenus more "
                     L"than 16 levels deep; the deeper ones are left out.",
                     "menus");
    // Each request is a new menu that the host owns and destroys.
    HMENU first = editor.Get<MenuFn>("GetConditionMenu")(editor.MV(), 0, 0);
    HMENU second = editor.Get<MenuFn>("GetConditionMenu")(editor.MV(), 0, 0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(DestroyMenu(first));
    EXPECT_EQ(Describe(second), conditions);
    EXPECT_TRUE(DestroyMenu(second));
}

// The current language is the first member that is a language; the third member of the root another one.
// The object's information and the help file go into buffers of 260 characters.
TEST(EditorExports, TextsAreCutToTheHostsBuffers)
{
    const std::string long300(300, 'x');
    Editor editor(R"({"Identifier": "T", "Current": {"About": {"Name": "Current", "Author": ")" + long300 +
                  R"(", "Help": ")" + long300 + R"("},
        "Actions": [{"Title": "Do %0 with %1",
                     "Parameters": [["Integer", "Amount"], ["Text", "Gr\u00f6\u00dfe"]]}],
        "Expressions": [{"Title": "Add(", "Returns": "Integer"}, {"Title": "Add", "Returns": "Integer"},
                        {"Title": "", "Returns": "Integer"}]}, "Third": {"About": {"Name": "Third"}}})");
    ASSERT_EQ(editor.session->InitializeResult(), 0);
    const char *action = "GetActionString", *title = "GetExpressionTitle", *param = "GetActionTitle";
    const struct {
        const char* name;
        std::uint32_t code;
        int param;
        std::uint32_t max;
        const wchar_t* shown;
    } cases[] = {{action, 0, -1, 16, L"Do %0 with %1!"},
                 {action, 0, -1, 13, L"Do %0 with %!"},
                 {action, 0, -1, 1, L"!"},
                 {action, 0, -1, 0, L""},
                 {action, 0, -1, 0xFFFF, L""},
                 {action, 0xFFFF0000, -1, 4, L"Do !"},
                 {action, 1, -1, 16, L"!"},
                 {"GetConditionString", 0, -1, 16, L"!"},
                 {title, 0, -1, 16, L"Add(!"},
                 {title, 1, -1, 16, L"Add(!"},
                 {title, 1, -1, 4, L"Add!"},
                 {title, 2, -1, 16, L"(!"},
                 {title, 3, -1, 16, L"(!"},
                 {"GetExpressionString", 1, -1, 16, L"Add!"},
                 {param, 0, 1, 16, L"Gr\u00f6\u00dfe!"},
                 {param, 0, 0, 3, L"Am!"},
                 {param, 0, 2, 16, L"!"},
                 {"GetConditionTitle", 0, 0, 16, L"!"},
                 {"GetExpressionParam", 0, 0, 16, L"!"}};
    for (const auto& c : cases)
        EXPECT_EQ(editor.Text(c.name, c.code, c.param, c.max), c.shown)
            << c.name << " " << c.code << " " << c.max;
    // Only a full editor record (mV and its second word) names the object from the current language.
    for (std::uint32_t word : {0u, 1u}) {
        editor.MV()->word04 = word;
        wchar_t name[260], author[260], copyright[260], comment[260], url[260];
        editor.Get<InfoFn>("GetObjInfos")(editor.MV(), 0, name, author, copyright, comment, url);
        const std::wstring named = word ? L"Current/" : L"Third/";
        EXPECT_EQ(std::wstring(name) + L"/" + author, named + std::wstring(259, L'x'));
    }
    EXPECT_EQ(std::wstring(editor.Get<HelpFn>("GetHelpFileName")()), std::wstring(259, L'x'));
    editor.ExpectBox(nullptr, nullptr, "texts");
}

namespace {

std::string U16(std::uint32_t v) { return {static_cast<char>(v), static_cast<char>(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(v) + U16(v >> 16); }

std::string Entry(std::uint16_t type, const std::string& title, const std::string& value)
{
    return U32(static_cast<std::uint32_t>(7 + title.size() + value.size())) + U16(type) +
           static_cast<char>(title.size()) + title + value;
}

// A whole EDITDATA: the host's header, the block's header, the checkbox bytes and the entries.
std::string Record(const std::string& entries, std::uint16_t count)
{
    const std::string checkboxes((count + 7u) / 8u, '\0');
    const auto size = static_cast<std::uint32_t>(40 + checkboxes.size() + entries.size());
    return U32(size) + U32(size) + U32(1) + "TEST" + U32(20) + "1NVP" + U32(~1u) + U32(~2u) + U16(count) +
           U16(0) + U32(size) + checkboxes + entries;
}

std::string WithWord(std::string record, std::size_t at, std::uint32_t value)
{
    return record.replace(at, 4, U32(value));
}

// What the host was offered and asked to undo, "id:kind " each. It refuses one id and renumbers the
// others in place, adding 100.
std::string offers, undos;
std::uint16_t refused;
std::int32_t refusal;

std::string Call(std::uint16_t id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    return std::to_string(id) + ":" + std::to_string(kind) + (w1 == 11 && w2 == 22 ? " " : "(words?) ");
}

std::int32_t HOST_STDCALL Offer(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    offers += Call(*id, kind, w1, w2);
    *id += *id == refused ? 0 : 100;
    return *id == refused ? refusal : 0;
}

std::int32_t HOST_STDCALL Undo(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    undos += Call(*id, kind, w1, w2);
    return 0;
}

} // namespace

// Stored blocks come from project files: only a block of this library's layout is read, and nothing
// outside the record, whatever it claims.
TEST(EditorExports, EnumEltsOffersTheStoredFontAndImageIds)
{
    Editor editor;
    const std::string font = Entry(17, "Font", U16(5) + std::string(10, '\x7F'));
    const std::string images = Entry(23, "Images", U16(2) + U16(7) + U16(9));
    const std::string four = Record(Entry(1, "", "") + font + Entry(6, "Count", U32(6)) + images, 4);
    std::string eightTexts, tooLong = Entry(17, "F", U16(6)), tooShort = tooLong;
    for (int i = 0; i < 8; ++i)
        eightTexts += Entry(1, "", "");
    tooLong[0] = 100;
    tooShort[0] = 7;
    const struct {
        const char* label;
        std::string record;
        const char* offered;
        std::uint16_t refused = 0;
        std::int32_t code = 0;
        const char* undone = "";
        const wchar_t* box = nullptr;
    } cases[] = {{"all accepted", four, "5:1 7:0 9:0 "},
                 {"image 9 refused", four, "5:1 7:0 9:0 ", 9, 3, "107:0 105:1 ",
                  L"Adding image of property Images, ID 9 failed! Error 3.\n"},
                 {"font refused", four, "5:1 ", 5, -2, "",
                  L"Adding font property Font, font ID 5 failed! Error -2.\n"},
                 {"UTF-8 title", Record(Entry(17, "Gr\303\266\303\237e", U16(12)), 1), "12:1 ", 12, 4, "",
                  L"Adding font property Gr\u00F6\u00DFe, font ID 12 failed! Error 4.\n"},
                 {"two checkbox bytes", Record(eightTexts + font, 9), "5:1 "},
                 {"an entry past the record", Record(font + tooLong + images, 3), "5:1 "},
                 {"an entry shorter than its title", Record(font + tooShort + images, 3), "5:1 "},
                 {"more properties than entries", Record(font + images, 40), "5:1 7:0 9:0 "},
                 {"an entry header cut by the end", Record(font + images + U16(0x20), 3), "5:1 7:0 9:0 "},
                 {"a count beyond the entry", Record(Entry(23, "I", U16(5) + U16(7) + U16(8)) + font, 2),
                  "7:0 8:0 5:1 "},
                 {"a font entry without a whole id", Record(Entry(17, "F", "\x01") + images, 2), "7:0 9:0 "},
                 {"entries at the record's end", Record("", 0xFFFF), ""},
                 {"a record too small for a block", WithWord(Record(font, 1), 0, 39), ""},
                 {"the old layout, offset word 0", WithWord(Record(font, 1), 16, 0), ""},
                 {"offset word 24", WithWord(Record(font, 1), 16, 24), ""},
                 {"no magic", WithWord(Record(font, 1), 20, 0x51564E31), ""}};
    for (const auto& c : cases) {
        std::string record = c.record;
        offers.clear();
        undos.clear();
        refused = c.refused;
        refusal = c.code;
        auto* edPtr = reinterpret_cast<EDITDATA*>(record.data());
        EXPECT_EQ(editor.Get<EnumEltsFn>("EnumElts")(editor.MV(), edPtr, Offer, Undo, 11, 22), c.code)
            << c.label;
        EXPECT_EQ(offers + "/ " + undos, std::string(c.offered) + "/ " + c.undone) << c.label;
        editor.ExpectBox(c.box ? L"EnumElts - Morvalex" : nullptr, c.box, c.label);
        // The renumbering lands in the stored block: the font id after 41 bytes of headers and checkbox,
        // a version entry, the font entry's header and title; the images last.
        if (c.code == 0 && c.record == four) {
            EXPECT_EQ(record.substr(59, 2) + record.substr(record.size() - 4),
                      U16(105) + U16(107) + U16(109));
        }
    }
}

namespace {

// The icon's calls up to the import of an image of that many bytes, then what follows.
Lines IconBuild(Editor& editor, std::size_t imageBytes, const Lines& after)
{
    char import[64];
    std::snprintf(import, sizeof import, "ImportImage(%08X,#2,0,0)",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(editor.MV()->imageFilterManager)));
    Lines log = {"GetSurfacePrototype(32,1,3)",
                 "#1.Construct",
                 "CreateMemoryInputFile",
                 "file.OpenMemory(" + std::to_string(imageBytes) + ")",
                 "#2.Construct",
                 import};
    log.insert(log.end(), after.begin(), after.end());
    return log;
}

const Lines Imported = {
    "file.Release",   "#2.HasAlpha", "#2.GetWidth", "#2.GetHeight", "#1.Create(32,32,prototype)",
    "#1.CreateAlpha", "#2.Blit(#1)", "#2.Destroy"};

// After a failed import, which reads the bit depth when the file is long enough to hold one.
Lines NotImported(bool depthRead)
{
    Lines after = {"file.Release",
                   "#2.HasAlpha",
                   "#2.SetTransparentColor(FF00FF)",
                   "#2.GetWidth",
                   "#2.GetHeight",
                   "#1.Create(0,0,prototype)",
                   "#1.SetTransparentColor(FF00FF)",
                   "#2.Destroy"};
    if (depthRead)
        after.insert(after.begin(), "file.GetBuffer");
    return after;
}

// A PNG file as far as its header: the signature, IHDR (CRC not filled in) and IEND.
std::string Png(std::uint32_t width, std::uint32_t height, char depth, char colourType)
{
    const auto big = [](std::uint32_t v) {
        return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    };
    return "\x89PNG\r\n\x1A\n" + big(13) + "IHDR" + big(width) + big(height) + depth + colourType +
           std::string(3, '\0') + big(0) + big(0) + "IEND" + big(0);
}

} // namespace

TEST(EditorExports, TheIconIsBuiltDrawnAndCopied)
{
    Editor editor;
    ASSERT_EQ(editor.session->InitializeResult(), 0);
    EXPECT_EQ(editor.fake.Log(), IconBuild(editor, 161, Imported));
    editor.fake.Reset();
    editor.MV()->editorWindowId = 0x4D2;
    RECT place = {-8, 300, 24, 332};
    editor.Get<DisplayFn>("EditorDisplay")(editor.MV(), 0, 0, nullptr, &place);
    editor.fake.SetFailures(FakeMmfs2::NoEditorSurface);
    editor.Get<DisplayFn>("EditorDisplay")(editor.MV(), 0, 0, nullptr, &place);
    void* hostIcon = editor.fake.NewSurface(16, 16, 0x00FF00);
    EXPECT_EQ(editor.Get<MakeIconExFn>("MakeIconEx")(editor.MV(), hostIcon, 0, 0, 0), 0);
    EXPECT_EQ(editor.fake.Log(),
              (Lines{"GetEditorSurface(1234,0)", "#1.Blit(editor,-8,300,1,0,0,0)", "GetEditorSurface(1234,0)",
                     "host.Reset", "host.Clone(#1,-1,-1)", "host.SetTransparentColor(FF00FF)"}));
    const FakeMmfs2::SurfaceInfo copy = editor.fake.Describe(hostIcon);
    EXPECT_EQ(std::to_string(copy.width) + "x" + std::to_string(copy.height) + (copy.hasAlpha ? "a" : ""),
              "32x32a");
    EXPECT_EQ(copy.pixels[31 * 32 + 30], FakeMmfs2::ImportedPixel(30, 31));
    editor.ExpectBox(nullptr, nullptr, "icon");
}

// An image beside the library replaces the embedded one; each failure is told and the icon keeps what it
// got.
TEST(EditorExports, IconImagesAndFailures)
{
    const std::string depth8 = Png(24, 16, 8, 2), depth4 = Png(32, 32, 4, 3);
    const wchar_t *failedLoad = L"Failed to load ext icon - Morvalex", *polvane = L"Polvane error - Morvalex";
    const struct {
        const char* label;
        std::string image; // empty: the embedded one
        std::uint32_t failures;
        const wchar_t *title, *text;
        Lines after;
    } cases[] = {
        {"24 by 16 without alpha",
         depth8,
         0,
         nullptr,
         nullptr,
         {"file.Release", "#2.HasAlpha", "#2.SetTransparentColor(FF00FF)", "#2.GetWidth", "#2.GetHeight",
          "#1.Create(24,16,prototype)", "#1.SetTransparentColor(FF00FF)", "#2.Blit(#1)", "#2.Destroy"}},
        {"depth 4", depth4, 0, failedLoad, L"Morvalex's Icon.png uses a bit depth of 4, which is too small.",
         NotImported(true)},
        {"depth 8 not imported", depth8, FakeMmfs2::FailImport, failedLoad,
         L"Morvalex's Icon.png failed to load.", NotImported(true)},
        {"too short for a depth", depth4.substr(0, 24), 0, failedLoad, L"Morvalex's Icon.png failed to load.",
         NotImported(false)},
        {"no prototype",
         "",
         FakeMmfs2::FailPrototype,
         polvane,
         L"Getting surface prototype failed.",
         {"file.Release", "#2.HasAlpha", "#2.Destroy"}},
        {"blit fails",
         "",
         FakeMmfs2::FailBlit,
         polvane,
         L"Blitting to ext icon surface failed. Last error: 7.",
         {"file.Release", "#2.HasAlpha", "#2.GetWidth", "#2.GetHeight", "#1.Create(32,32,prototype)",
          "#1.CreateAlpha", "#2.Blit(#1)", "#2.GetSurfaceLastError", "#2.Destroy"}}};
    for (const auto& c : cases) {
        Editor editor({}, c.image, c.failures);
        EXPECT_EQ(editor.fake.Log(), IconBuild(editor, c.image.empty() ? 161 : c.image.size(), c.after))
            << c.label;
        editor.ExpectBox(c.title, c.text, c.label);
    }
}

// The badge's ordinals are assumed: a host library without one of them still gives the icon, silently.
// Without an icon operation there is no icon, one box, and nothing is drawn.
TEST(EditorExports, OrdinalsOfTheHostLibrary)
{
    for (WORD ordinal : {436, 470, 612, 613, 355}) {
        TestHost::FakeSurfaces fake;
        TestHost::MissingOrdinal missing(fake.Module(), ordinal);
        Editor editor;
        const bool badge = ordinal != 355;
        RECT place = {0, 0, 32, 32};
        editor.Get<DisplayFn>("EditorDisplay")(editor.MV(), 0, 0, nullptr, &place);
        Lines drawn = IconBuild(editor, 161, Imported);
        drawn.insert(drawn.end(), {"GetEditorSurface(0,0)", "#1.Blit(editor,0,0,1,0,0,0)"});
        EXPECT_EQ(editor.fake.Log(), badge ? drawn : Lines{}) << ordinal;
        editor.ExpectBox(badge ? nullptr : L"Polvane error - Morvalex",
                         L"MMFS2.dll has no function of ordinal 355, so Morvalex's icon cannot be shown.",
                         std::to_string(ordinal));
    }
}

namespace {

// Called before Initialize, or after it failed, every editor export answers neutrally: the ones that read
// the definition say so in a box, one each, and none follows a missing state object.
void ExpectNeutral(const char* label, TestHost::Library& lib, TestHost::MessageBoxRecorder& boxes, ::mV* mV)
{
    const auto boxesSince = [&](const char* name, std::size_t count) {
        ASSERT_EQ(boxes.Boxes().size(), count) << label << " " << name;
        for (const auto& box : boxes.Boxes())
            EXPECT_EQ(box.text, L"Premature function call!\n  Called DefaultLanguageIndex() before ::SDK was "
                                L"a valid pointer.")
                << label << " " << name;
        boxes.Clear();
    };
    boxes.Clear();
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        EXPECT_EQ(lib.Export<InfosFn>(name)(mV, 0), nullptr) << label << " " << name;
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"}) {
        HMENU menu = lib.Export<MenuFn>(name)(mV, 0, 0);
        EXPECT_EQ(GetMenuItemCount(menu), 0) << label << " " << name;
        DestroyMenu(menu);
    }
    RECT place = {0, 0, 32, 32};
    lib.Export<DisplayFn>("EditorDisplay")(mV, 0, 0, nullptr, &place);
    lib.Export<DisplayFn>("EditorDisplay")(nullptr, 0, 0, nullptr, nullptr);
    EXPECT_EQ(lib.Export<MakeIconExFn>("MakeIconEx")(mV, nullptr, 0, 0, 0), 0) << label;
    boxesSince("records, menus and icon", 0);
    wchar_t texts[5][260];
    lib.Export<InfoFn>("GetObjInfos")(mV, 0, texts[0], texts[1], texts[2], texts[3], texts[4]);
    EXPECT_EQ(std::wstring(texts[0]) + texts[1] + texts[2] + texts[3] + texts[4], L"") << label;
    boxesSince("GetObjInfos", 1);
    EXPECT_EQ(std::wstring(lib.Export<HelpFn>("GetHelpFileName")()), L"") << label;
    boxesSince("GetHelpFileName", 1);
    const std::pair<const char*, int> families[] = {{"GetActionString", -1},     {"GetConditionString", -1},
                                                    {"GetExpressionString", -1}, {"GetActionTitle", 0},
                                                    {"GetConditionTitle", 0},    {"GetExpressionParam", 0},
                                                    {"GetExpressionTitle", -1}};
    for (const auto& [name, param] : families) {
        const bool opensBracket = std::string(name) == "GetExpressionTitle";
        EXPECT_EQ(Text(lib, mV, name, 0, param, 16), opensBracket ? L"(!" : L"!") << label << " " << name;
        boxesSince(name, 1);
    }
}

} // namespace

TEST(EditorExports, WithoutAStateObjectEveryExportAnswersNeutrally)
{
    {
        TestHost::Library lib(TestHost::BuiltLibraryPath());
        TestHost::MessageBoxRecorder boxes(lib.Module());
        TestHost::Host host(GetDesktopWindow());
        ExpectNeutral("not initialised", lib, boxes, host.MV());
    }
    Editor failed("{\"Identifier\": ");
    ASSERT_EQ(failed.session->InitializeResult(), -1);
    ExpectNeutral("initialisation failed", failed.session->Lib(), failed.session->Boxes(), failed.MV());
}
