// The editor's exports of the real library as the host calls them: menus and the codes of their ids, texts in
// the host's buffers, the object's information, the icon, the ids offered to the host, and the neutral
// answers of a library without state or without the host's surface library.
#include "FakeSurfaces.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <tuple>

namespace {

// A menu of the library, destroyed as the host destroys it: its items joined by " | ", "25003 Text" with
// " (greyed)" added, "---" for a separator, "Title{...}" for a submenu.
std::wstring Menu(HMENU menu, bool destroy = true)
{
    std::wstring text;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        wchar_t title[256] = L"";
        GetMenuStringW(menu, UINT(i), title, 256, MF_BYPOSITION);
        const UINT id = GetMenuItemID(menu, i);
        const bool greyed = GetMenuState(menu, UINT(i), MF_BYPOSITION) & MF_GRAYED;
        text += (i > 0 ? L" | " : L"") +
                (id == 0          ? L"---"
                 : id == UINT(-1) ? title + (L"{" + Menu(GetSubMenu(menu, i), false) + L"}")
                                  : std::to_wstring(id) + L" " + title + (greyed ? L" (greyed)" : L""));
    }
    EXPECT_TRUE(!destroy || DestroyMenu(menu));
    return text;
}

// A host buffer of 16 '#' after a text export: what was written, "!" for the terminator, then "|". A
// parameter below 0 calls an export of one code.
std::wstring Text(TestHost::Library& lib, ::mV* mV, const char* name, std::uint32_t code, int param,
                  std::uint32_t max = 16)
{
    wchar_t buffer[16];
    std::wmemset(buffer, L'#', 16);
    if (param < 0)
        lib.Call<void>(name, mV, code, buffer, max);
    else
        lib.Call<void>(name, mV, code, std::uint32_t(param), buffer, max);
    std::wstring text(buffer, 16);
    std::replace(text.begin(), text.end(), L'\0', L'!');
    return text.substr(0, text.find_last_not_of(L'#') + 1) + L"|";
}

// The five texts of GetObjInfos, joined by "/".
std::wstring ObjInfos(TestHost::Library& lib, ::mV* mV)
{
    wchar_t t[5][260] = {};
    lib.Call<void>("GetObjInfos", mV, 0, t[0], t[1], t[2], t[3], t[4]);
    return std::wstring(t[0]) + L"/" + t[1] + L"/" + t[2] + L"/" + t[3] + L"/" + t[4];
}

} // namespace

// The current language is the root's first language. The object's information and the help file go into
// buffers of 260 characters.
TEST(EditorExports, MenusAndTextsAsTheHostReceivesThem)
{
    std::string json = R"({"Identifier": "T", "Current": {"About": {"Name": "Current", "Copyright": "C",
        "Comment": "M", "URL": "U", "Author": "X300", "Help": "X300"}, "Actions": [{"Title": "Do %0 with %1",
        "Parameters": [["Integer", "Amount"], ["Text", "Gr\u00f6\u00dfe"]]}],
        "Expressions": [{"Title": "Add(", "Returns": "Integer"}, {"Title": "Add", "Returns": "Integer"},
            {"Title": "", "Returns": "Integer"}],
        "ActionMenu": [[3, "Greyed", true], [4, "Enabled", false], [5, "Plain"], [6, "Text", "true"],
            "Separator", "separator", "SEPARATOR", "---", "--", " Separator ", 7, ["---", [8, "X100"]]],
        "ConditionMenu": [NEST[2, "Deepest"]ENDS, ["Outer", ["Inner", [1, "Deep"]], "---"]],
        "ExpressionMenu": [NEST["L", [2, "Deepest"]]ENDS, [1, "After"]]},
        "Third": {"About": {"Name": "Third"}}})",
                nest16, x300(300, 'x'), x100(100, 'x'), ends(16, ']');
    std::wstring sixteen, closed(16, L'}');
    for (int i = 0; i < 16; ++i) {
        nest16 += R"(["L", )";
        sixteen += L"L{";
    }
    for (const auto& [token, text] :
         {std::pair{"X300", x300}, {"X100", x100}, {"NEST", nest16}, {"ENDS", ends}})
        for (std::size_t at; (at = json.find(token)) != std::string::npos;)
            json.replace(at, 4, text);
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json", json);
    TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(),
                              GetDesktopWindow());
    ASSERT_EQ(session.InitializeResult(), 0);
    TestHost::Library& lib = session.Lib();
    ::mV* mV = session.TheHost().MV();
    const auto menu = [&](const char* name) { return Menu(lib.Call<HMENU>(name, mV, 0, 0)); };
    EXPECT_EQ(menu("GetActionMenu"), L"25003 Greyed (greyed) | 25004 Enabled | 25005 Plain | 25006 Text | "
                                     L"--- | --- | --- | --- | ---{25008 " +
                                         std::wstring(79, L'x') + L"}");
    // Each request is a new menu that the host owns and destroys.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(menu("GetConditionMenu"),
                  sixteen + L"26002 Deepest" + closed + L" | Outer{Inner{26001 Deep} | ---}");
    // Past 16 levels the submenus are left out, with one box for the whole menu.
    EXPECT_EQ(menu("GetExpressionMenu"), sixteen + closed + L" | 27001 After");
    EXPECT_EQ(
        TestHost::Joined(session.Boxes().Boxes()),
        L"Error reading menu JSON - Morvalex: A menu of Morvalex's JSON nests submenus more than 16 levels "
        L"deep; the deeper ones are left out.|");
    session.Boxes().Clear();

    const auto t = [&](const char* name, std::uint32_t code, int param, std::uint32_t max = 16) {
        return Text(lib, mV, name, code, param, max);
    };
    const char *action = "GetActionString", *title = "GetExpressionTitle", *param = "GetActionTitle";
    EXPECT_EQ(t(action, 0, -1) + t(action, 0, -1, 13) + t(action, 0, -1, 1) + t(action, 0, -1, 0) +
                  t(action, 0, -1, 0xFFFF) + t(action, 0xFFFF0000, -1, 4) + t(action, 1, -1),
              L"Do %0 with %1!|Do %0 with %!|!|||Do !|!|");
    EXPECT_EQ(t(title, 0, -1) + t(title, 1, -1) + t(title, 1, -1, 4) + t(title, 2, -1) + t(title, 3, -1) +
                  t("GetExpressionString", 1, -1),
              L"Add(!|Add(!|Add!|(!|(!|Add!|");
    EXPECT_EQ(t(param, 0, 1) + t(param, 0, 0, 3) + t(param, 0, 2) + t("GetConditionString", 0, -1) +
                  t("GetConditionTitle", 0, 0) + t("GetExpressionParam", 0, 0),
              L"Gr\u00f6\u00dfe!|Am!|!|!|!|!|");
    // Without the editor record's second word, the object is named from the root's third member.
    const std::wstring x259(259, L'x');
    EXPECT_EQ(std::pair(ObjInfos(lib, mV), std::wstring(lib.Call<const wchar_t*>("GetHelpFileName"))),
              std::pair(L"Third/" + x259 + L"/C/M/U", x259));
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

// In the editor the icon is read from a PNG beside the library. One that the host's importer refuses is told,
// its bit depth read only from a file long enough to hold one, and the icon is made without pixels to copy.
TEST(EditorExports, TheIconFromAPngBesideTheLibrary)
{
    // A PNG as far as its header: the signature, then IHDR for 32 by 32 pixels of bit depth 4 (no CRC).
    const std::string depth4("\x89PNG\r\n\x1A\n\0\0\0\rIHDR\0\0\0 \0\0\0 \x04\x03\0\0\0\0\0\0\0", 33),
        refused = "file.Release #2.HasAlpha #2.SetTransparentColor(FF00FF) #2.GetWidth #2.GetHeight "
                  "#1.Create(0,0,prototype) #1.SetTransparentColor(FF00FF) #2.Destroy ";
    const std::wstring failed = L"Failed to load ext icon - Morvalex: Morvalex's Icon.png ";
    const struct {
        std::string png, afterImport; // no bytes: a copy of the project's own icon
        std::wstring box = {};
    } cases[] = {
        {"", "file.Release #2.HasAlpha #2.GetWidth #2.GetHeight #1.Create(32,32,prototype) #1.CreateAlpha "
             "#2.Blit(#1) #2.Destroy "},
        {depth4, "file.GetBuffer " + refused, failed + L"uses a bit depth of 4, which is too small.|"},
        {depth4.substr(0, 24), refused, failed + L"failed to load.|"},
    };
    for (const auto& c : cases) {
        TestHost::TempTree tree;
        const auto png = c.png.empty() ? tree.Copy(MORVALEX_SOURCE_DIR "/extension/Icon.png", L"Morvalex.png")
                                       : tree.Write(L"Morvalex.png", c.png);
        TestHost::FakeSurfaces fake;
        TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(),
                                  GetDesktopWindow());
        char opened[160];
        std::snprintf(opened, sizeof opened,
                      "GetSurfacePrototype(32,1,3) #1.Construct CreateMemoryInputFile file.OpenMemory(%u) "
                      "#2.Construct ImportImage(%08X,#2,0,0) ",
                      unsigned(std::filesystem::file_size(png)),
                      TestHost::Address(session.TheHost().MV()->imageFilterManager));
        EXPECT_EQ(fake.Calls(), opened + c.afterImport) << c.png.size();
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), c.box);
    }
}

namespace {

std::string U16(std::uint32_t v) { return {char(v), char(v >> 8)}; }
std::string U32(std::uint32_t v) { return U16(v) + U16(v >> 16); }
std::string Entry(std::uint16_t type, const std::string& title, const std::string& value)
{
    return U32(std::uint32_t(7 + title.size() + value.size())) + U16(type) + char(title.size()) + title +
           value;
}

// A whole EDITDATA: the host's header, the block's header, the checkbox bytes and the entries.
std::string Record(const std::string& entries, std::uint16_t count)
{
    const std::string checkboxes((count + 7u) / 8u, '\0');
    const auto size = std::uint32_t(40 + checkboxes.size() + entries.size());
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
    TestHost::Session session(TestHost::BuiltLibraryPath(), GetDesktopWindow());
    const std::string font = Entry(17, "Font", U16(5) + std::string(10, '\x7F'));
    const std::string images = Entry(23, "Images", U16(2) + U16(7) + U16(9));
    const std::string four = Record(Entry(1, "", "") + font + Entry(6, "Count", U32(6)) + images, 4);
    // Entries whose size runs past the record (100), or stops short of their own header and title (7).
    const std::string past = Entry(17, "F", U16(6)).replace(0, 1, "d"),
                      under = Entry(17, "F", U16(6)).replace(0, 1, "\x07");
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
        {Record(Entry(17, "Gr\303\266\303\237e", U16(12)), 1), "12:1 ", 12, -2,
         L"Adding font property Gr\u00F6\u00DFe, font ID 12 failed! Error -2.\n"},
        {Record(font + past + images, 3), "5:1 "},
        {Record(font + under + images, 3), "5:1 "},
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
        EXPECT_EQ(session.Lib().Call("EnumElts", session.TheHost().MV(), record.data(), Offered<false>,
                                     Offered<true>, 11, 22),
                  c.code)
            << label;
        EXPECT_EQ(calls, c.calls) << label;
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()),
                  c.box ? L"EnumElts - Morvalex: " + std::wstring(c.box) + L"|" : L"")
            << label;
        session.Boxes().Clear();
        // The renumbering lands in the stored block: the font id after 41 bytes of headers and checkbox,
        // a version entry, the font entry's header and title; the images last.
        EXPECT_TRUE(label != 0 || record.substr(59, 2) + record.substr(record.size() - 4) ==
                                      U16(105) + U16(107) + U16(109));
    }
}

// Called before Initialize, every editor export answers neutrally: the ones that read the definition say so
// in a box, one each, and none follows a missing state object.
TEST(EditorExports, WithoutAStateObjectEveryExportAnswersNeutrally)
{
    TestHost::Library lib(TestHost::BuiltLibraryPath());
    TestHost::MessageBoxRecorder boxes(lib.Module());
    TestHost::Host host(GetDesktopWindow());
    ::mV* mV = host.MV();
    std::wstring answers; // each export's answer, then the count of boxes shown so far
    const auto answered = [&](const std::wstring& answer) {
        answers += answer + L" " + std::to_wstring(boxes.Boxes().size()) + L"; ";
    };
    for (const char* name : {"GetActionInfos", "GetConditionInfos", "GetExpressionInfos"})
        answered(lib.Call<void*>(name, mV, 0) ? L"a record" : L"null");
    for (const char* name : {"GetActionMenu", "GetConditionMenu", "GetExpressionMenu"})
        answered(L"{" + Menu(lib.Call<HMENU>(name, mV, 0, 0)) + L"}");
    RECT place = {0, 0, 32, 32};
    lib.Call<void>("EditorDisplay", mV, 0, 0, nullptr, &place);
    answered(std::to_wstring(lib.Call("MakeIconEx", mV, nullptr, 0, 0, 0)));
    answered(ObjInfos(lib, mV));
    answered(lib.Call<const wchar_t*>("GetHelpFileName"));
    answered(lib.Call<void*>("UpdateEditStructure", mV, nullptr) ? L"a record" : L"null");
    answered(std::to_wstring(lib.Call<BOOL>("IsPropEnabled", mV, nullptr, 0x80000u)));
    for (const char* name :
         {"GetActionString", "GetConditionString", "GetExpressionString", "GetExpressionTitle"})
        answered(Text(lib, mV, name, 0, -1));
    for (const char* name : {"GetActionTitle", "GetConditionTitle", "GetExpressionParam"})
        answered(Text(lib, mV, name, 0, 0));
    EXPECT_EQ(
        answers,
        L"null 0; null 0; null 0; {} 0; {} 0; {} 0; 0 0; //// 1;  2; null 2; 1 2; !| 3; !| 4; !| 5; (!| 6; "
        L"!| 7; !| 8; !| 9; ");
}

// The property exports of the built library, on a new object: the definition's one Text property, read
// through its value's slots, and a record of the current version that needs no rebuilding.
TEST(EditorExports, PropertySheetOfANewObject)
{
    TestHost::Session session(TestHost::BuiltLibraryPath(), &session);
    TestHost::Library& lib = session.Lib();
    ::mV* mV = session.TheHost().MV();
    std::vector<std::uint32_t> words((session.RunInfo().editDataSize + 3) / 4);
    words[0] = session.RunInfo().editDataSize;
    void* edPtr = words.data();
    EXPECT_EQ(
        (std::pair{lib.Call("CreateObject", mV, 0, edPtr), lib.Call<BOOL>("GetProperties", mV, edPtr, 1)}),
        std::pair(0, TRUE));
    const void* value = lib.Call<void*>("GetPropValue", mV, edPtr, 0x80000u);
    ASSERT_NE(value, nullptr);
    std::uint32_t copied[8] = {};
    EXPECT_EQ((std::tuple{TestHost::CallSlot<std::int32_t>(value, TestHost::Slot::CopyToHostValue, copied),
                          std::wstring(reinterpret_cast<const wchar_t*>(copied[2])),
                          lib.Call<void*>("UpdateEditStructure", mV, edPtr), session.Boxes().Boxes().size()}),
              std::tuple(1, std::wstring(L"1"), nullptr, 0u));
    TestHost::CallSlot<void>(value, TestHost::Slot::Delete);
}

namespace {

// The latest several-images editor's record as the host received it: its ten words (p for a pointer that is
// set), then the window title, the ids on entry and the image titles that its pointers led to.
std::wstring ListEditorReceived(const TestHost::Host& host)
{
    const std::vector<std::uint8_t>& bytes = host.imageEditorRecords.back();
    std::wstring text;
    for (std::size_t at = 0; at < bytes.size(); at += 4) {
        std::uint32_t word;
        std::memcpy(&word, &bytes[at], 4);
        text += (at == 4 || at == 20 || at == 24) && word != 0 ? L"p " : std::to_wstring(word) + L" ";
    }
    text += host.imageWindowTitle + L" [";
    for (std::uint16_t id : host.imageIDsOnEntry)
        text += std::to_wstring(id) + L" ";
    text += L"] {";
    for (const std::wstring& title : host.imageTitles)
        text += title + L"|";
    return text + L"}";
}

} // namespace

// An Image List with several images opens the host's editor with the window title, the stored ids, the image
// titles, the option flags and the image size of its definition; what the author confirms is stored, as many
// ids as the maximum, in a record the host resizes. Every id is enabled, releasing the sheet does nothing,
// and check boxes of ids naming no property are neither read nor written.
TEST(EditorExports, ImageListsAndTheSheetsOtherExports)
{
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json",
               R"({"Identifier": "T", "Current": {"About": {"Name": "Current"}, "Properties": [
        {"Title": "Frames", "Type": "Image List", "MaxNumImages": 3, "WindowTitle": "Pick", "ImageSize": [48, 0],
         "ImageTitles": ["First", "Zwei \u00fc", ""], "FixedImageSize": true, "HotSpotAndActionPoint": true,
         "16Colors": true, "FixedNumOfImages": true, "NoTransparentColor": true, "NoAlphaChannel": true,
         "AllowEmpty": true},
        {"Title": "Icon", "Type": "Image List", "MaxNumImages": 2, "ImageTitles": "x", "AllowEmpty": false},
        {"Title": "On", "Type": "Checkbox", "DefaultState": true}]}})");
    TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(),
                              GetDesktopWindow());
    ASSERT_EQ(session.InitializeResult(), 0);
    TestHost::Library& lib = session.Lib();
    TestHost::Host& host = session.TheHost();
    ::mV* mV = host.MV();
    std::string record(session.RunInfo().editDataSize, '\0');
    record.replace(0, 4, U32(std::uint32_t(record.size())));
    ASSERT_EQ(lib.Call("CreateObject", mV, 0, record.data()), 0);
    // After the headers: the checkbox byte (On is set), then the entries.
    const auto stored = [](const std::string& frames, const std::string& icon) {
        return "\x04" + Entry(23, "Frames", frames) + Entry(23, "Icon", icon) + Entry(10, "On", "");
    };
    ASSERT_EQ(record.substr(40), stored(U16(0), U16(0)));
    const std::string created = record;
    host.ResetCounts();

    std::wstring enabled;
    for (std::uint32_t id : {0u, 0x7FFFFu, 0x80000u, 0x80003u, 0xFFFFFFFFu})
        enabled += std::to_wstring(lib.Call<BOOL>("IsPropEnabled", mV, record.data(), id)) +
                   std::to_wstring(lib.Call<BOOL>("IsPropEnabled", mV, nullptr, id));
    lib.Call<void>("ReleaseProperties", mV, record.data(), TRUE);
    lib.Call<void>("ReleaseProperties", mV, record.data(), FALSE);
    std::wstring checks;
    for (std::uint32_t id : {0x7FFFFu, 0x80002u, 0x80003u, 0u}) {
        lib.Call<void>("SetPropCheck", mV, record.data(), id, id == 0x80002u ? TRUE : FALSE);
        checks += std::to_wstring(lib.Call<BOOL>("GetPropCheck", mV, record.data(), id));
        lib.Call<void>("SetPropCheck", mV, record.data(), id, TRUE);
    }
    EXPECT_EQ((std::tuple{enabled, checks, record == created, host.functionLog.size()}),
              std::tuple(std::wstring(L"1111111111"), std::wstring(L"0100"), true, std::size_t(0)));

    // The author picks four images where three fit: the first three are kept.
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {4, 5, 6, 7};
    EXPECT_EQ(lib.Call<BOOL>("EditProp", mV, record.data(), 0x80000u), 1);
    const std::wstring firstCall = ListEditorReceived(host);
    ASSERT_NE(host.lastReallocated, nullptr);
    const auto* grown = reinterpret_cast<const char*>(host.lastReallocated);
    const std::string resized(grown, grown + host.lastReallocated->eHeader.totalSize);
    EXPECT_EQ((std::tuple{firstCall, host.reallocRequests, resized.substr(36, 4), resized.substr(40)}),
              std::tuple(std::wstring(L"40 p 0 3 0 p p 255 48 1 Pick [0 0 0 ] {First|Zwei \u00fc||}"),
                         std::vector<std::uint32_t>{std::uint32_t(created.size() + 6)},
                         U32(std::uint32_t(created.size() + 6)),
                         stored(U16(3) + U16(4) + U16(5) + U16(6), U16(0))));

    // Cancelled, the stored ids are offered and nothing changes; without titles, options or size, the
    // defaults.
    host.imageEditorAnswer = 0;
    auto* edPtr = host.lastReallocated;
    EXPECT_EQ(lib.Call<BOOL>("EditProp", mV, edPtr, 0x80000u), 0);
    EXPECT_EQ(ListEditorReceived(host), L"40 p 3 3 0 p p 255 48 1 Pick [4 5 6 ] {First|Zwei \u00fc||}");
    host.imageEditorAnswer = 1;
    host.editedImageIDs = {9};
    EXPECT_EQ(lib.Call<BOOL>("EditProp", mV, edPtr, 0x80001u), 1);
    EXPECT_EQ(ListEditorReceived(host), L"40 0 0 2 0 p 0 0 1 1  [0 0 ] {}");
    const auto* last = reinterpret_cast<const char*>(host.lastReallocated);
    EXPECT_EQ(std::string(last + 40, last + host.lastReallocated->eHeader.totalSize),
              stored(U16(3) + U16(4) + U16(5) + U16(6), U16(1) + U16(9)));
    // A check box and an id below the properties' open no editor.
    EXPECT_EQ((std::tuple{lib.Call<BOOL>("EditProp", mV, host.lastReallocated, 0x80002u),
                          lib.Call<BOOL>("EditProp", mV, host.lastReallocated, 0x7FFFFu),
                          host.imageEditorRecords.size(), host.reallocRequests.size(),
                          session.Boxes().Boxes().size()}),
              std::tuple(FALSE, FALSE, std::size_t(3), std::size_t(2), std::size_t(0)));
}

// A menu id is an item's index above its kind's base (25000, 26000, 27000), as 16 bits; the host's word above
// the id is not read. The action menu's first item is action 2, "Free memory block %0".
TEST(EditorExports, MenuIdsGiveTheItemsCodes)
{
    TestHost::Session session(TestHost::BuiltLibraryPath(), GetDesktopWindow());
    TestHost::Library& lib = session.Lib();
    ::mV* mV = session.TheHost().MV();
    const char *action = "GetActionCodeFromMenu", *condition = "GetConditionCodeFromMenu",
               *expression = "GetExpressionCodeFromMenu";
    const std::tuple<const char*, std::uint32_t, std::uint32_t> cases[] = {
        {action, 25000, 0},      {action, 25003, 3},         {action, 24999, 65535},
        {action, 0, 40536},      {action, 65535, 40535},     {action, 0xFFFF0000 + 25003, 3},
        {condition, 26005, 5},   {condition, 25999, 65535},  {condition, 0x00010000 + 26000, 0},
        {expression, 27075, 75}, {expression, 26999, 65535}, {expression, 0, 38536},
    };
    for (const auto& [name, word, code] : cases)
        EXPECT_EQ(lib.Call<std::uint32_t>(name, mV, word), code) << name << " " << word;
    HMENU menu = lib.Call<HMENU>("GetActionMenu", mV, 0, 0);
    const UINT first = GetMenuItemID(GetSubMenu(GetSubMenu(menu, 0), 0), 0);
    DestroyMenu(menu);
    EXPECT_EQ(Text(lib, mV, "GetActionString", lib.Call<std::uint32_t>(action, mV, first), -1, 16),
              L"Free memory blo!|");
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

namespace {

// What the host's process refuses while a patch holds it in: global memory, locks after the first few, and C
// heap blocks of one size.
HGLOBAL WINAPI NoGlobalMemory(UINT, SIZE_T) { return nullptr; }
int locksLeft;
LPVOID WINAPI FewLocks(HGLOBAL memory) { return locksLeft-- > 0 ? GlobalLock(memory) : nullptr; }
std::size_t refusedSize;
void* __cdecl RefusingMalloc(std::size_t size)
{
    // The C runtime's own allocator, not the library's import of it, which is this very routine.
    static const auto allocate = reinterpret_cast<void*(__cdecl*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    return size == refusedSize ? nullptr : allocate(size);
}

// The host's surface library cannot be found: neither among the loaded modules nor on disk.
BOOL WINAPI NoSurfaceModule(DWORD flags, LPCWSTR name, HMODULE* module)
{
    if ((flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) == 0 && name != nullptr &&
        _wcsicmp(name, L"mmfs2.dll") == 0)
        return *module = nullptr, FALSE;
    return GetModuleHandleExW(flags, name, module);
}
HMODULE WINAPI NoSurfaceLibrary(LPCWSTR name)
{
    return _wcsicmp(name, L"mmfs2.dll") == 0 ? nullptr : LoadLibraryW(name);
}

} // namespace

// Without global memory for a new object's record, or a lock on it, the object is not created; without memory
// for a changed record, the change is dropped and the host's record kept as it was.
TEST(EditorExports, WhenMemoryRunsOut)
{
    TestHost::TempTree tree;
    tree.Write(L"Morvalex.json",
               R"({"Identifier": "T", "Current": {"About": {"Name": "Current"}, "Properties": [
        {"Title": "Name", "Type": "Editbox String", "DefaultState": "abc"}]}})");
    TestHost::Session session(tree.Copy(TestHost::BuiltLibraryPath(), L"Morvalex.mfx").wstring(),
                              GetDesktopWindow());
    TestHost::Library& lib = session.Lib();
    ::mV* mV = session.TheHost().MV();
    const std::uint32_t size = session.RunInfo().editDataSize;
    ASSERT_EQ(size, 55u);
    const auto created = [&](void* replacement, const char* function, int locks) {
        std::string record(size, '\0');
        record.replace(0, 4, U32(size));
        locksLeft = locks;
        const TestHost::ImportPatch patch(lib.Module(), "kernel32.dll", function, replacement);
        EXPECT_TRUE(patch.Installed()) << function;
        const std::wstring result = std::to_wstring(lib.Call("CreateObject", mV, 0, record.data())) + L" ";
        const std::wstring boxes = TestHost::Joined(session.Boxes().Boxes());
        session.Boxes().Clear();
        return result + boxes;
    };
    EXPECT_EQ(created(reinterpret_cast<void*>(NoGlobalMemory), "GlobalAlloc", 0),
              L"-1 GlobalAlloc failed - Morvalex: Failed to allocate 55 bytes for data during upgrade.|");
    EXPECT_EQ(
        created(reinterpret_cast<void*>(FewLocks), "GlobalLock", 0),
        L"-1 Polvane SDK error - Morvalex: CreateObject stopped on an unexpected error: shouldn't fail to "
        L"lock|");
    // The record built and locked, the lock to copy it out refused; both locks given, the object is made.
    EXPECT_EQ(created(reinterpret_cast<void*>(FewLocks), "GlobalLock", 1), L"-1 ");
    EXPECT_EQ(created(reinterpret_cast<void*>(FewLocks), "GlobalLock", 2), L"0 ");

    std::string record(size, '\0');
    record.replace(0, 4, U32(size));
    ASSERT_EQ(lib.Call("CreateObject", mV, 0, record.data()), 0);
    const std::string before = record;
    TestHost::HostValue longer(0x53545257, std::wstring(2000, L'x'));
    refusedSize = size - 3 + 2000; // the new record, built before the host is asked to resize
    {
        const TestHost::ImportPatch patch(lib.Module(), "msvcrt.dll", "malloc",
                                          reinterpret_cast<void*>(RefusingMalloc));
        lib.Call<void>("SetPropValue", mV, record.data(), 0x80000u, static_cast<void*>(&longer));
    }
    EXPECT_EQ(
        (std::tuple{record == before, session.TheHost().reallocRequests.size(),
                    TestHost::Joined(session.Boxes().Boxes())}),
        std::tuple(true, std::size_t(0),
                   std::wstring(L"Polvane property error - Morvalex: Out of memory attempting to rewrite "
                                L"properties!|")));
}

// Without the host's surface library, or with one that lacks an operation, one box says why there is no icon:
// the library starts, nothing is asked of the surface library, and the icon is neither drawn nor copied.
TEST(EditorExports, WithoutTheHostsSurfaceLibraryThereIsNoIcon)
{
    const std::vector<TestHost::Redirect> noLibrary = {
        {"kernel32.dll", "GetModuleHandleExW", reinterpret_cast<void*>(&NoSurfaceModule)},
        {"kernel32.dll", "LoadLibraryW", reinterpret_cast<void*>(&NoSurfaceLibrary)}};
    const std::wstring cannot = L", so Morvalex's icon cannot be shown.|";
    const std::tuple<std::vector<TestHost::Redirect>, WORD, std::wstring> cases[] = {
        {noLibrary, 0, L"Polvane error - Morvalex: MMFS2.dll could not be found" + cannot},
        {{}, 172, L"Polvane error - Morvalex: MMFS2.dll has no function of ordinal 172" + cannot},
        {{}, 355, L"Polvane error - Morvalex: MMFS2.dll has no function of ordinal 355" + cannot},
    };
    for (const auto& [redirects, ordinal, box] : cases) {
        TestHost::FakeSurfaces fake;
        std::optional<TestHost::MissingOrdinal> missing;
        if (ordinal != 0)
            missing.emplace(fake.Module(), ordinal);
        TestHost::Session session(TestHost::BuiltLibraryPath(), GetDesktopWindow(), 0, redirects);
        ::mV* mV = session.TheHost().MV();
        EXPECT_EQ(session.InitializeResult(), 0) << ordinal;
        RECT place = {5, 6, 37, 38};
        session.Lib().Call<void>("EditorDisplay", mV, 0, 0, nullptr, &place);
        EXPECT_EQ(session.Lib().Call("MakeIconEx", mV, fake.NewSurface(), 0, 0, 0), 0) << ordinal;
        EXPECT_EQ(fake.Calls(), "") << ordinal;
        EXPECT_EQ(TestHost::Joined(session.Boxes().Boxes()), box) << ordinal;
    }
}
