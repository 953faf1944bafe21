// The debugger items of an object: reading with a refresh interval, and the host's edit dialogs. Items
// are added here; the library itself adds none.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"

#include <gtest/gtest.h>

namespace {

ULONGLONG now = 5000;
ULONGLONG WINAPI Clock() { return now; }

// What the items show, how often they were read, and what their edit operations were given.
int reads = 0;
std::wstring textToShow;
bool acceptEdits = true;
std::vector<std::wstring> edits;

std::int32_t ReadInteger(Extension*) { return ++reads, 3 + 6 * (reads > 1); }
void ReadText(Extension*, std::wstring* text) { ++reads, *text = textToShow; }
bool EditInteger(Extension*, std::int32_t value) { return edits.push_back(std::to_wstring(value)), acceptEdits; }
bool EditText(Extension*, std::wstring* text) { return edits.push_back(*text), acceptEdits; }

class Debugger : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* rd = host.NewObject();
    FusionDebugger* debugger = nullptr;
    int items = 0;

    void SetUp() override
    {
        InProcess::BuildState(R"({"L": {"About": {"Name": "n"}}})");
        CreateRunObject(rd, nullptr, nullptr);
        debugger = &GetExtension(rd)->Debugger;
        Host::Seam.GetTickCount64 = Clock;
    }
    void TearDown() override { DestroyRunObject(rd, 0); }

    // An item with every operation: an integer item reads only its integer, a text item only its text.
    int Add(bool isInt, std::uint64_t refreshMs, const std::wstring& cached = L"")
    {
        debugger->AddItem({isInt, 0, cached, refreshMs, 0, ReadInteger, EditInteger, ReadText, EditText});
        return items++;
    }
    std::wstring Shown(int id)
    {
        wchar_t buffer[260];
        std::wmemset(buffer, L'#', 260);
        debugger->GetDebugItem(buffer, id);
        EXPECT_EQ(std::wstring(buffer + 256, 4), L"####") << "written past the host's buffer";
        return buffer;
    }
};

} // namespace

// A text longer than 255 characters is cut to 254 and an ellipsis; a cached text stands until the interval
// has passed.
TEST_F(Debugger, ReadingCutsLongTextsAndKeepsToTheRefreshInterval)
{
    const std::wstring x(300, L'x');
    for (const auto& [length, shown] : {std::pair{254, x.substr(0, 254)}, {255, x.substr(0, 255)},
                                        {256, x.substr(0, 254) + L'\u2026'}, {300, x.substr(0, 254) + L'\u2026'}}) {
        textToShow = x.substr(0, length);
        EXPECT_EQ(Shown(Add(false, 0)), shown) << length;
    }
    struct Case {
        std::uint64_t refreshMs;
        std::vector<ULONGLONG> times;
        int reads;
    };
    for (const Case& c : {Case{1000, {5000, 5010}, 1}, {0, {5000, 5010}, 2}, {0, {5000, 5000}, 2},
                          {1000, {5000, 5999}, 1}, {1000, {5000, 6000}, 2}, {1000, {5000, 5500, 6000, 6999, 7000}, 3}}) {
        const int id = Add(false, c.refreshMs);
        reads = 0;
        for (ULONGLONG time : c.times) {
            textToShow = std::to_wstring(now = time);
            EXPECT_EQ(Shown(id), std::to_wstring(c.refreshMs ? time / 1000 * 1000 : time)) << id;
        }
        EXPECT_EQ(reads, c.reads) << id;
    }
}

// A confirmed edit is kept when the item accepts it; refused, the old value comes back and the next request
// reads afresh although the interval has not passed. A cancelled dialog changes nothing.
TEST_F(Debugger, TheHostsDialogsEditItems)
{
    const auto handed = [&] {
        return std::to_wstring(host.editReceived.integer) + L"|" + host.editReceivedText + L"|" +
               std::to_wstring(host.editReceived.textLength);
    };
    for (const auto& [isInt, accepted] : {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
        const std::string label = (isInt ? "integer, " : "text, ") + std::string(accepted ? "accepted" : "refused");
        const int id = Add(isInt, 1000);
        textToShow = L"old", reads = 0, edits.clear(), now = 5000;
        Shown(id);
        now = 5010, acceptEdits = accepted, host.editAnswer = 1, host.editInteger = 7, host.editText = L"new";
        debugger->EditDebugItem(id);
        EXPECT_EQ(host.CallbackLog().back().index, isInt ? 20 : 21) << label;
        EXPECT_EQ(handed(), isInt ? L"3||0" : L"0|old|3") << label;
        EXPECT_EQ(edits, std::vector<std::wstring>{isInt ? L"7" : L"new"}) << label;
        host.editAnswer = 2; // cancelled: the dialog is handed the value now kept
        debugger->EditDebugItem(id);
        EXPECT_EQ(handed(), accepted ? (isInt ? L"7||0" : L"0|new|3") : (isInt ? L"3||0" : L"0|old|3")) << label;
        now = 5020, textToShow = L"again";
        EXPECT_EQ(Shown(id), isInt ? L"" : accepted ? L"new" : L"again") << label;
        EXPECT_EQ(std::to_string(reads) + " " + std::to_string(edits.size()), accepted ? "1 1" : "2 1") << label;
    }
    host.editAnswer = 0; // the dialog gets the text up to its first NUL
    debugger->EditDebugItem(Add(false, 0, std::wstring(L"ab\0cd", 5)));
    EXPECT_EQ(handed(), L"0|ab|2");
    // The other kind's edit operation does not make an item editable.
    debugger->AddItem({true, 0, L"", 0, 0, nullptr, nullptr, nullptr, EditText});
    debugger->AddItem({false, 0, L"", 0, 0, nullptr, EditInteger, nullptr, nullptr});
    const std::size_t dialogs = host.CallbackLog().size();
    for (int id : {items, items + 1}) {
        try {
            debugger->EditDebugItem(id);
            ADD_FAILURE() << "nothing thrown for " << id;
        } catch (const std::exception& e) {
            EXPECT_STREQ(e.what(), "Item not editable.");
        }
    }
    EXPECT_EQ(host.CallbackLog().size(), dialogs);
}
