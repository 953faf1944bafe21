// An object's debugger items, which only an extension adds: refresh interval and the host's edit dialogs.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"

#include <gtest/gtest.h>

namespace {

// The clock, a text item's text, whether edits are accepted; the reads so far and what edits were given.
struct Scene {
    ULONGLONG now = 5000;
    std::wstring text;
    bool accept = true;
    int reads = 0;
    std::vector<std::wstring> edits;
} scene;

ULONGLONG WINAPI Clock() { return scene.now; }

class Debugger : public testing::Test {
protected:
    void SetUp() override
    {
        InProcess::BuildState(R"({"L": {"About": {"Name": "n"}}})");
        CreateRunObject(rd, nullptr, nullptr);
        Host::Seam.GetTickCount64 = Clock;
    }
    void TearDown() override { DestroyRunObject(rd, 0); }

    // An item with every operation: an integer item reads only its integer, a text item only its text.
    int Add(bool isInt, std::uint64_t refreshMs)
    {
        debugger().AddItem({isInt, 0, L"", refreshMs, 0,
                            [](Extension*) { return ++scene.reads == 1 ? 3 : 9; },
                            [](Extension*, std::int32_t value) {
                                scene.edits.push_back(std::to_wstring(value));
                                return scene.accept;
                            },
                            [](Extension*, std::wstring* text) {
                                ++scene.reads;
                                *text = scene.text;
                            },
                            [](Extension*, std::wstring* text) {
                                scene.edits.push_back(*text);
                                return scene.accept;
                            }});
        return items++;
    }
    FusionDebugger& debugger() { return GetExtension(rd)->Debugger; }
    std::wstring Shown(int id)
    {
        wchar_t buffer[256];
        debugger().GetDebugItem(buffer, id);
        return buffer;
    }
    // What the host's edit dialog was handed last: the integer, the text and its length.
    std::wstring Handed()
    {
        return std::to_wstring(host.editReceived.integer) + L"|" + host.editReceivedText + L"|" +
               std::to_wstring(host.editReceived.textLength);
    }

    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* rd = host.NewObject();
    int items = 0;
};

} // namespace

// A cached text stands until its interval has passed; past 255 characters it is cut to 254 and an ellipsis.
// An accepted edit is kept; refused, the old value is back and read afresh. A cancelled edit changes nothing.
TEST_F(Debugger, ItemsAreReadAsTheirIntervalSaysAndEditedThroughTheHostsDialogs)
{
    using Times = std::vector<ULONGLONG>;
    for (const auto& [refreshMs, times, expectedReads] : {std::tuple{0, Times{5000, 5010}, 2},
                                                          {1000, Times{5000, 5999}, 1},
                                                          {1000, Times{5000, 6000}, 2},
                                                          {1000, Times{5000, 5500, 6000, 6999, 7000}, 3}}) {
        const int id = Add(false, refreshMs);
        scene.reads = 0;
        for (ULONGLONG time : times) {
            scene.now = time;
            scene.text = std::to_wstring(time);
            EXPECT_EQ(Shown(id), std::to_wstring(refreshMs ? time / 1000 * 1000 : time)) << id;
        }
        EXPECT_EQ(scene.reads, expectedReads) << id;
    }
    scene.text = std::wstring(254, L'x') + L"yz";
    EXPECT_EQ(Shown(Add(false, 0)), std::wstring(254, L'x') + L'\u2026');
    host.editInteger = 7;
    host.editText = L"new";
    for (const auto& [isInt, accepted] :
         {std::pair{true, true}, {true, false}, {false, true}, {false, false}}) {
        const int id = Add(isInt, 1000);
        scene = {5000, L"old", accepted, 0, {}};
        Shown(id);
        scene.now = 5010;
        host.editAnswer = 1;
        debugger().EditDebugItem(id);
        EXPECT_EQ(host.callbackLog.back().index, isInt ? 20 : 21) << id;
        EXPECT_EQ(Handed(), isInt ? L"3||0" : L"0|old|3") << id;
        host.editAnswer = 2; // cancelled: the dialog is handed the value now kept
        debugger().EditDebugItem(id);
        EXPECT_EQ(Handed(), accepted ? (isInt ? L"7||0" : L"0|new|3") : (isInt ? L"3||0" : L"0|old|3")) << id;
        scene.now = 5020;
        scene.text = L"again";
        EXPECT_EQ(Shown(id), isInt ? L"" : accepted ? L"new" : L"again") << id;
        EXPECT_EQ(scene.reads, accepted ? 1 : 2) << id;
        EXPECT_EQ(scene.edits, std::vector<std::wstring>{isInt ? L"7" : L"new"}) << id;
    }
}
