// An object's debugger items, which only an extension adds: refresh interval and the host's edit dialogs.
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

std::int32_t ReadInteger(Extension*) { return ++reads == 1 ? 3 : 9; }
void ReadText(Extension*, std::wstring* text) { ++reads, *text = textToShow; }
bool EditInteger(Extension*, std::int32_t value)
{
    return edits.push_back(std::to_wstring(value)), acceptEdits;
}
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
    int Add(bool isInt, std::uint64_t refreshMs)
    {
        debugger->AddItem({isInt, 0, L"", refreshMs, 0, ReadInteger, EditInteger, ReadText, EditText});
        return items++;
    }
    std::wstring Shown(int id)
    {
        wchar_t buffer[256];
        debugger->GetDebugItem(buffer, id);
        return buffer;
    }
};

} // namespace

// A cached text stands until the interval has passed; a text of more than 255 characters is cut to 254 and
// an ellipsis.
TEST_F(Debugger, ItemsAreReadAsTheirIntervalSaysAndEditedThroughTheHostsDialogs)
{
    using Times = std::vector<ULONGLONG>;
    for (const auto& [refreshMs, times, expectedReads] : {std::tuple{1000, Times{5000, 5010}, 1},
                                                          {0, Times{5000, 5010}, 2},
                                                          {1000, Times{5000, 5999}, 1},
                                                          {1000, Times{5000, 6000}, 2},
                                                          {1000, Times{5000, 5500, 6000, 6999, 7000}, 3}}) {
        const int id = Add(false, refreshMs);
        reads = 0;
        for (ULONGLONG time : times) {
            textToShow = std::to_wstring(now = time);
            EXPECT_EQ(Shown(id), std::to_wstring(refreshMs ? time / 1000 * 1000 : time)) << id;
        }
        EXPECT_EQ(reads, expectedReads) << id;
    }
    textToShow = std::wstring(254, L'x') + L"yz";
    EXPECT_EQ(Shown(Add(false, 0)), std::wstring(254, L'x') + L'\u2026');

    // A confirmed edit is kept when the item accepts it; refused, the old value comes back and the next
    // request reads afresh although the interval has not passed. A cancelled dialog changes nothing.
    const auto handed = [&] {
        const HostEditRecord& sent = host.editReceived;
        return std::to_wstring(sent.integer) + L"|" + host.editReceivedText + L"|" +
               std::to_wstring(sent.textLength);
    };
    for (const auto& [isInt, accepted] :
         {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
        const int id = Add(isInt, 1000);
        textToShow = L"old", reads = 0, edits.clear(), now = 5000;
        Shown(id);
        now = 5010, acceptEdits = accepted, host.editAnswer = 1, host.editInteger = 7, host.editText = L"new";
        debugger->EditDebugItem(id);
        EXPECT_EQ(host.CallbackLog().back().index, isInt ? 20 : 21) << id;
        EXPECT_EQ(handed(), isInt ? L"3||0" : L"0|old|3") << id;
        host.editAnswer = 2; // cancelled: the dialog is handed the value now kept
        debugger->EditDebugItem(id);
        EXPECT_EQ(handed(), accepted ? (isInt ? L"7||0" : L"0|new|3") : (isInt ? L"3||0" : L"0|old|3")) << id;
        now = 5020, textToShow = L"again";
        EXPECT_EQ(Shown(id), isInt ? L"" : accepted ? L"new" : L"again") << id;
        EXPECT_EQ(reads, accepted ? 1 : 2) << id;
        EXPECT_EQ(edits, std::vector<std::wstring>{isInt ? L"7" : L"new"}) << id;
    }
}
