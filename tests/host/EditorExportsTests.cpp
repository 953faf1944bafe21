// The editor's exports of the real library as the host calls them: menus as real Windows menus, texts in
// the host's buffers, records, the object's information, the ids offered to the host, the icon seen
// through the fake MMFS2.dll, and the neutral answers of a library that has no state object.
#include "FakeSurfaces.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>

namespace {

using Texts = std::vector<std::wstring>;
void* const none = nullptr;

// An export called as the host calls it: every argument pushed as 32 bits, of which only the low 16 are the
// value for a menu id, code or size.
template <typename R = std::int32_t, typename... A>
R Call(TestHost::Library& lib, const char* name, A... args)
{
    return lib.Export<R(HOST_STDCALL*)(A...)>(name)(args...);
}

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
        Call<void>(lib, name, mV, code, buffer, max);
    else
        Call<void>(lib, name, mV, code, static_cast<std::uint32_t>(param), buffer, max);
    std::wstring text(buffer, 16);
    std::replace(text.begin(), text.end(), L'\0', L'!');
    return text.substr(0, text.find_last_not_of(L'#') + 1);
}

// The five texts of GetObjInfos, joined by "/".
std::wstring ObjInfos(TestHost::Library& lib, ::mV* mV)
{
    wchar_t t[5][260] = {};
    Call<void>(lib, "GetObjInfos", mV, 0, t[0], t[1], t[2], t[3], t[4]);
    return std::wstring(t[0]) + L"/" + t[1] + L"/" + t[2] + L"/" + t[3] + L"/" + t[4];
}

// An editor session of the built library, or of a copy beside a definition or an icon image of the
// test's own. The fake MMFS2.dll is reset first, so that its log starts with the icon.
struct Editor {
    explicit Editor(const std::string& definition = {}, const std::string& icon = {}, std::uint32_t fail = 0)
    {
        fake.State().failures = fail;
        std::wstring library = TestHost::BuiltLibraryPath();
        if (!definition.empty() || !icon.empty())
            library = tree.Copy(library, L"Morvalex.mfx").wstring();
        if (!definition.empty())
            tree.Write(L"Morvalex.json", definition);
        if (!icon.empty())
            tree.Write(L"Morvalex.png", icon);
        session = std::make_unique<TestHost::Session>(library, GetDesktopWindow());
    }
    TestHost::Library& Lib() { return session->Lib(); }
    ::mV* MV() { return session->TheHost().MV(); }
    // An export of the editor record.
    template <typename R = std::int32_t, typename... A> R Call(const char* name, A... args)
    {
        return ::Call<R>(Lib(), name, MV(), args...);
    }
    std::wstring Menu(const char* name)
    {
        HMENU menu = Call<HMENU>(name, 0, 0);
        const std::wstring text = Describe(menu);
        DestroyMenu(menu);
        return text;
    }
    // The boxes shown since the last call, each "title|text".
    Texts Boxes()
    {
        Texts boxes;
        for (const auto& box : session->Boxes().Boxes())
            boxes.push_back(box.title + L"|" + box.text);
        session->Boxes().Clear();
        return boxes;
    }

    TestHost::FakeSurfaces fake;
    TestHost::TempTree tree;
    std::unique_ptr<TestHost::Session> session;
};

} // namespace

// The current language is the first member that is a language; the third member of the root another one.
// The object's information and the help file go into buffers of 260 characters.
TEST(EditorExports, MenusTextsAndRecordsAsTheHostReceivesThem)
{
    const auto nested = [](std::size_t levels) {
        std::string array;
        for (std::size_t i = 0; i < levels; ++i)
            array += "[\"L\", ";
        return array + "[2, \"Deepest\"]" + std::string(levels, ']');
    };
    const std::string x300(300, 'x');
    Editor editor(R"({"Identifier": "T", "Current": {"About": {"Name": "Current", "Author": ")" + x300 +
                  R"(", "Help": ")" + x300 + R"(", "Copyright": "C", "Comment": "M", "URL": "U"},
        "Actions": [{"Title": "Do %0 with %1",
                     "Parameters": [["Integer", "Amount"], ["Text", "Gr\u00f6\u00dfe"]]}],
        "Expressions": [{"Title": "Add(", "Returns": "Integer"}, {"Title": "Add", "Returns": "Integer"},
                        {"Title": "", "Returns": "Integer"}],
        "ActionMenu": [[3, "Greyed", true], [4, "Enabled", false], [5, "Plain"], [6, "Text", "true"],
            "Separator", "separator", "SEPARATOR", "---", "--", " Separator ", 7, ["---", [8, ")" +
                  std::string(100, 'x') + R"("]]],
        "ConditionMenu": [)" +
                  nested(16) +
                  R"(, ["Outer", ["Inner", [1, "Deep"]], "---"]],
        "ExpressionMenu": [)" +
                  nested(17) + R"(, [1, "After"]]}, "Third": {"About": {"Name": "Third"}}})");
    ASSERT_EQ(editor.session->InitializeResult(), 0);
    EXPECT_EQ(editor.Menu("GetActionMenu"),
              L"25003 Greyed (greyed) | 25004 Enabled | 25005 Plain | 25006 Text | "
              L"--- | --- | --- | --- | ---{25008 " +
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
    EXPECT_EQ(editor.Boxes(), Texts{L"Error reading menu JSON - Morvalex|A menu of Morvalex's JSON nests "
                                    L"submenus more than 16 levels deep; the deeper ones are left out."});
    // Each request is a new menu that the host owns and destroys.
    HMENU first = editor.Call<HMENU>("GetConditionMenu", 0, 0),
          second = editor.Call<HMENU>("GetConditionMenu", 0, 0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(DestroyMenu(first));
    EXPECT_EQ(Describe(second), conditions);
    EXPECT_TRUE(DestroyMenu(second));

    // Each text as written, "|" after it.
    const auto shown = [&](const char* name, std::uint32_t code, int param, std::uint32_t max) {
        return Text(editor.Lib(), editor.MV(), name, code, param, max) + L"|";
    };
    const char *action = "GetActionString", *title = "GetExpressionTitle", *param = "GetActionTitle";
    EXPECT_EQ(shown(action, 0, -1, 16) + shown(action, 0, -1, 13) + shown(action, 0, -1, 1) +
                  shown(action, 0, -1, 0) + shown(action, 0, -1, 0xFFFF) + shown(action, 0xFFFF0000, -1, 4) +
                  shown(action, 1, -1, 16),
              L"Do %0 with %1!|Do %0 with %!|!|||Do !|!|");
    EXPECT_EQ(shown(title, 0, -1, 16) + shown(title, 1, -1, 16) + shown(title, 1, -1, 4) +
                  shown(title, 2, -1, 16) + shown(title, 3, -1, 16) + shown("GetExpressionString", 1, -1, 16),
              L"Add(!|Add(!|Add!|(!|(!|Add!|");
    EXPECT_EQ(shown(param, 0, 1, 16) + shown(param, 0, 0, 3) + shown(param, 0, 2, 16) +
                  shown("GetConditionString", 0, -1, 16) + shown("GetConditionTitle", 0, 0, 16) +
                  shown("GetExpressionParam", 0, 0, 16),
              L"Gr\u00f6\u00dfe!|Am!|!|!|!|!|");
    // Only a full editor record (mV and its second word) names the object from the current language.
    const std::wstring x259(259, L'x');
    EXPECT_EQ(ObjInfos(editor.Lib(), editor.MV()), L"Third/" + x259 + L"/C/M/U");
    editor.MV()->word04 = 1;
    EXPECT_EQ(ObjInfos(editor.Lib(), editor.MV()), L"Current/" + x259 + L"/C/M/U");
    // The distance from each kind's menu base, as 16 bits; the high half of the host's word is not read.
    const auto code = [&](const char* kind, std::uint32_t id) {
        return std::to_string(
                   editor.Call<std::uint32_t>(("Get" + std::string(kind) + "CodeFromMenu").c_str(), id)) +
               " ";
    };
    EXPECT_EQ(code("Action", 25003) + code("Action", 24999) + code("Action", 0xABCD61AB) + code("Action", 0) +
                  code("Condition", 26000) + code("Condition", 25999) + code("Expression", 27075) +
                  code("Expression", 26999),
              "3 65535 3 40536 0 65535 75 65535 ");
    // id, flags, parameter count, the parameters' codes.
    const auto* record = editor.Call<const std::uint16_t*>("GetActionInfos", 0u);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(std::vector<std::uint16_t>(record, record + 5), (std::vector<std::uint16_t>{0, 0, 2, 22, 45}));
    EXPECT_EQ(editor.Call<const std::uint16_t*>("GetExpressionInfos", 1u)[0], 1);
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        EXPECT_EQ(editor.Call<const std::uint16_t*>(name, 0xFFFFu), nullptr) << name;
    EXPECT_EQ(std::wstring(Call<const wchar_t*>(editor.Lib(), "GetHelpFileName")), x259);
    EXPECT_EQ(editor.Boxes(), Texts{});
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

// The host's routines: they log "id:kind " for each id offered and "undo id:kind " for each undone. The host
// refuses one id and renumbers the others in place, adding 100.
std::string calls;
std::uint16_t refused;
std::int32_t refusal;

template <bool Undo>
std::int32_t HOST_STDCALL Offered(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    calls += (Undo ? "undo " : "") + std::to_string(*id) + ":" + std::to_string(kind) +
             (w1 == 11 && w2 == 22 ? " " : "(words?) ");
    if (Undo || *id == refused)
        return Undo ? 0 : refusal;
    *id += 100;
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
        std::string record;
        const char* calls;
        std::uint16_t refused = 0;
        std::int32_t code = 0;
        const wchar_t* box = nullptr;
    } cases[] = {
        {four, "5:1 7:0 9:0 "},
        {four, "5:1 7:0 9:0 undo 107:0 undo 105:1 ", 9, 3,
         L"Adding image of property Images, ID 9 failed! Error 3.\n"},
        {four, "5:1 ", 5, -2, L"Adding font property Font, font ID 5 failed! Error -2.\n"},
        {Record(Entry(17, "Gr\303\266\303\237e", U16(12)), 1), "12:1 ", 12, 4,
         L"Adding font property Gr\u00F6\u00DFe, font ID 12 failed! Error 4.\n"},
        {Record(eightTexts + font, 9), "5:1 "}, // two checkbox bytes
        {Record(font + tooLong + images, 3), "5:1 "},
        {Record(font + tooShort + images, 3), "5:1 "},
        {Record(font + images, 40), "5:1 7:0 9:0 "},            // more properties than entries
        {Record(font + images + U16(0x20), 3), "5:1 7:0 9:0 "}, // an entry header cut by the end
        {Record(Entry(23, "I", U16(5) + U16(7) + U16(8)) + font, 2),
         "7:0 8:0 5:1 "},                                         // a count beyond the entry
        {Record(Entry(17, "F", "\x01") + images, 2), "7:0 9:0 "}, // a font entry without a whole id
        {Record("", 0xFFFF), ""},                                 // entries at the record's end
        {Record(font, 1).replace(0, 4, U32(39)), ""},             // a record too small for a block
        {Record(font, 1).replace(16, 4, U32(0)), ""},             // the old layout, offset word 0
        {Record(font, 1).replace(16, 4, U32(24)), ""},
        {Record(font, 1).replace(20, 4, U32(0x51564E31)), ""}, // no magic
    };
    for (const auto& c : cases) {
        const auto label = &c - cases;
        std::string record = c.record;
        calls.clear();
        refused = c.refused;
        refusal = c.code;
        EXPECT_EQ(editor.Call("EnumElts", record.data(), Offered<false>, Offered<true>, 11, 22), c.code)
            << label;
        EXPECT_EQ(calls, c.calls) << label;
        EXPECT_EQ(editor.Boxes(), c.box ? Texts{L"EnumElts - Morvalex|" + std::wstring(c.box)} : Texts{})
            << label;
        // The renumbering lands in the stored block: the font id after 41 bytes of headers and checkbox,
        // a version entry, the font entry's header and title; the images last.
        if (c.code == 0 && c.record == four) {
            EXPECT_EQ(record.substr(59, 2) + record.substr(record.size() - 4),
                      U16(105) + U16(107) + U16(109));
        }
    }
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

// The icon is built at Initialize from the embedded image or one beside the library, then drawn at the
// object's place and copied into the host's surface. Each failure is told and the icon keeps what it got.
// Without an icon operation of the host library there is no icon, one box, and nothing is drawn.
TEST(EditorExports, TheIconIsBuiltDrawnAndCopied)
{
    const std::string
        depth8 = Png(24, 16, 8, 2),
        depth4 = Png(32, 32, 4, 3),
        imported = "file.Release #2.HasAlpha #2.GetWidth #2.GetHeight #1.Create(32,32,prototype) "
                   "#1.CreateAlpha #2.Blit(#1) ",
        whole = imported + "#2.Destroy ",
        // after a failed import, which reads the bit depth when the file is long enough to hold one
        notImported = "file.Release #2.HasAlpha #2.SetTransparentColor(FF00FF) #2.GetWidth "
                      "#2.GetHeight #1.Create(0,0,prototype) #1.SetTransparentColor(FF00FF) #2.Destroy ";
    const std::wstring failedLoad = L"Failed to load ext icon - Morvalex|Morvalex's Icon.png ",
                       polvane = L"Polvane error - Morvalex|";
    const struct {
        std::string image; // empty: the embedded one
        std::uint32_t failures;
        WORD missing;
        std::wstring box;
        std::string afterImport;
    } cases[] = {
        {"", 0, 0, L"", whole},
        {depth8, 0, 0, L"",
         "file.Release #2.HasAlpha #2.SetTransparentColor(FF00FF) #2.GetWidth #2.GetHeight "
         "#1.Create(24,16,prototype) #1.SetTransparentColor(FF00FF) #2.Blit(#1) #2.Destroy "},
        {depth4, 0, 0, failedLoad + L"uses a bit depth of 4, which is too small.",
         "file.GetBuffer " + notImported},
        {depth8, FakeMmfs2::FailImport, 0, failedLoad + L"failed to load.", "file.GetBuffer " + notImported},
        {depth4.substr(0, 24), 0, 0, failedLoad + L"failed to load.", notImported},
        {"", FakeMmfs2::FailPrototype, 0, polvane + L"Getting surface prototype failed.",
         "file.Release #2.HasAlpha #2.Destroy "},
        {"", FakeMmfs2::FailBlit, 0, polvane + L"Blitting to ext icon surface failed. Last error: 7.",
         imported + "#2.GetSurfaceLastError #2.Destroy "},
        {"", 0, 355,
         polvane + L"MMFS2.dll has no function of ordinal 355, so Morvalex's icon cannot be shown.", ""},
    };
    for (const auto& c : cases) {
        const auto label = &c - cases;
        TestHost::FakeSurfaces fake;
        TestHost::MissingOrdinal missing(fake.Module(), c.missing);
        Editor editor({}, c.image, c.failures);
        editor.MV()->editorWindowId = 0x4D2;
        RECT place = {-8, 300, 24, 332};
        editor.Call<void>("EditorDisplay", 0, 0, none, &place);
        fake.State().failures = FakeMmfs2::NoEditorSurface;
        editor.Call<void>("EditorDisplay", 0, 0, none, &place);
        EXPECT_EQ(editor.Call("MakeIconEx", fake.NewSurface(), 0, 0, 0), 0) << label;
        char build[160];
        std::snprintf(build, sizeof build,
                      "GetSurfacePrototype(32,1,3) #1.Construct CreateMemoryInputFile file.OpenMemory(%u) "
                      "#2.Construct ImportImage(%08X,#2,0,0) ",
                      unsigned(c.image.empty() ? 161 : c.image.size()),
                      unsigned(std::uintptr_t(editor.MV()->imageFilterManager)));
        const std::string drawn =
            "GetEditorSurface(1234,0) #1.Blit(editor,-8,300,1,0,0,0) GetEditorSurface(1234,0) "
            "host.Reset host.Clone(#1,-1,-1) host.SetTransparentColor(FF00FF) ";
        EXPECT_EQ(fake.Calls(), c.missing == 355 ? "" : build + c.afterImport + drawn) << label;
        EXPECT_EQ(editor.Boxes(), c.box.empty() ? Texts{} : Texts{c.box}) << label;
    }
}

namespace {

// Called before Initialize, or after it failed, every editor export answers neutrally: the ones that read
// the definition say so in a box, one each, and none follows a missing state object.
void ExpectNeutral(const char* label, TestHost::Library& lib, TestHost::MessageBoxRecorder& boxes, ::mV* mV)
{
    boxes.Clear();
    std::wstring answers; // each export's answer, then the count of boxes shown so far
    const auto answered = [&](const std::wstring& answer) {
        answers += answer + L" " + std::to_wstring(boxes.Boxes().size()) + L"; ";
    };
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        answered(Call<void*>(lib, name, mV, 0) ? L"a record" : L"null");
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"}) {
        HMENU menu = Call<HMENU>(lib, name, mV, 0, 0);
        answered(std::to_wstring(GetMenuItemCount(menu)) + L" items");
        DestroyMenu(menu);
    }
    RECT place = {0, 0, 32, 32};
    Call<void>(lib, "EditorDisplay", mV, 0, 0, none, &place);
    Call<void>(lib, "EditorDisplay", none, 0, 0, none, none);
    answered(std::to_wstring(Call(lib, "MakeIconEx", mV, none, 0, 0, 0)));
    answered(ObjInfos(lib, mV));
    answered(Call<const wchar_t*>(lib, "GetHelpFileName"));
    for (const char* name :
         {"GetActionString", "GetConditionString", "GetExpressionString", "GetExpressionTitle"})
        answered(Text(lib, mV, name, 0, -1, 16));
    for (const char* name : {"GetActionTitle", "GetConditionTitle", "GetExpressionParam"})
        answered(Text(lib, mV, name, 0, 0, 16));
    EXPECT_EQ(answers,
              L"null 0; null 0; null 0; 0 items 0; 0 items 0; 0 items 0; 0 0; //// 1;  2; ! 3; ! 4; ! 5; "
              L"(! 6; ! 7; ! 8; ! 9; ")
        << label;
    for (const auto& box : boxes.Boxes())
        EXPECT_EQ(box.title + L"|" + box.text,
                  L"Polvane error - Morvalex|Premature function call!\n  "
                  L"Called DefaultLanguageIndex() before ::SDK was a valid pointer.")
            << label;
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
