// The debugger items of an object: reading with its refresh interval, the host's edit dialogs, and the
// answers to ids that name no item.
#include "InProcess.h"
#include "TestHost.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/ObjectLife.h"
#include "extension/Extension.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Item = FusionDebugger::DebugItem;

ULONGLONG now = 0;
ULONGLONG WINAPI Clock() { return now; }

// What the item operations saw, and what they answer.
int reads = 0;
std::vector<Extension*> owners;
std::wstring textToShow;
std::int32_t integerToShow = 0;
bool acceptEdits = true;
std::vector<std::int32_t> editedIntegers;
std::vector<std::wstring> editedTexts;

std::int32_t ReadInteger(Extension* ext)
{
    ++reads;
    owners.push_back(ext);
    return integerToShow;
}

void ReadText(Extension* ext, std::wstring* text)
{
    ++reads;
    owners.push_back(ext);
    *text = textToShow;
}

bool EditInteger(Extension* ext, std::int32_t value)
{
    owners.push_back(ext);
    editedIntegers.push_back(value);
    return acceptEdits;
}

bool EditText(Extension* ext, std::wstring* text)
{
    owners.push_back(ext);
    editedTexts.push_back(*text);
    return acceptEdits;
}

Item IntegerItem(std::int32_t cached, std::uint64_t refreshMs)
{
    Item item;
    item.isInt = 1;
    item.cachedInt = cached;
    item.refreshMs = refreshMs;
    item.getInt = ReadInteger;
    item.editInt = EditInteger;
    return item;
}

Item TextItem(const std::wstring& cached, std::uint64_t refreshMs)
{
    Item item;
    item.cachedText = cached;
    item.refreshMs = refreshMs;
    item.getText = ReadText;
    item.editText = EditText;
    return item;
}

// label names the case in the failure messages.
void ExpectThrowsText(const std::function<void()>& call, const std::string& text, const std::string& label = "")
{
    try {
        call();
        ADD_FAILURE() << "nothing thrown, expected \"" << text << "\" " << label;
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), text) << label;
    }
}

class FusionDebuggerTest : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;
    TestHost::Host host;
    RUNDATA* rd = nullptr;
    Extension* ext = nullptr;
    decltype(Host::Seam.GetTickCount64) savedClock = Host::Seam.GetTickCount64;

    void SetUp() override
    {
        InProcess::BuildState(
            R"({"Identifier": "ZOBU", "L": {"About": {"Name": "n", "Author": "a"}, "Actions": [], )"
            R"("Conditions": [], "Expressions": []}})");
        rd = host.NewObject();
        CreateRunObject(rd, nullptr, nullptr);
        ext = GetExtension(rd);
        Host::Seam.GetTickCount64 = Clock;
        now = 5000;
        reads = 0;
        owners.clear();
        textToShow.clear();
        integerToShow = 0;
        acceptEdits = true;
        editedIntegers.clear();
        editedTexts.clear();
        host.ResetCounts();
    }

    void TearDown() override
    {
        DestroyRunObject(rd, 0);
        Host::Seam.GetTickCount64 = savedClock;
    }

    FusionDebugger& Debugger() { return ext->Debugger; }

    std::wstring Shown(int id)
    {
        wchar_t buffer[256];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        Debugger().GetDebugItem(buffer, id);
        return buffer;
    }

    // The integer the library hands to the host's dialog: the item's cachedInt.
    std::int32_t CachedInteger(int id)
    {
        const std::uint32_t answer = host.editAnswer;
        host.editAnswer = 0;
        Debugger().EditDebugItem(id);
        host.editAnswer = answer;
        return host.editReceived.integer;
    }

    std::vector<std::uint16_t> Tree()
    {
        std::vector<std::uint16_t> ids;
        for (const std::uint16_t* id = Debugger().GetDebugTree();; ++id) {
            ids.push_back(*id);
            if (*id == 0xFFFF)
                return ids;
        }
    }
};

} // namespace

TEST_F(FusionDebuggerTest, ANewObjectShowsOnlyTheEndOfTheTree)
{
    EXPECT_EQ(Tree(), std::vector<std::uint16_t>{0xFFFF});
    EXPECT_EQ(::GetDebugTree(rd), Debugger().GetDebugTree());
}

TEST_F(FusionDebuggerTest, AddedItemsAreShownInOrderBeforeTheEnd)
{
    Debugger().AddItem(TextItem(L"a", 0));
    Debugger().AddItem(IntegerItem(1, 0));
    EXPECT_EQ(Tree(), (std::vector<std::uint16_t>{0, 1, 0xFFFF}));
}

TEST_F(FusionDebuggerTest, IdsOutsideTheListAreNotFound)
{
    const std::string notFound = "Couldn't find debug ID in Fusion debugger list.";
    for (int id : {-1, 0, 0x7FFFFFFF}) {
        const std::string label = "id " + std::to_string(id);
        ExpectThrowsText([&] { Shown(id); }, notFound, label);
        ExpectThrowsText([&] { Debugger().EditDebugItem(id); }, notFound, label);
    }
    Debugger().AddItem(TextItem(L"only", 0));
    for (int id : {-1, 1}) {
        const std::string label = "id " + std::to_string(id);
        ExpectThrowsText([&] { Shown(id); }, notFound, label);
        ExpectThrowsText([&] { Debugger().EditDebugItem(id); }, notFound, label);
    }
    // The exports show the failure in one box each and leave the host running.
    InProcess::BoxRecorder boxes;
    wchar_t buffer[256] = L"kept";
    ::GetDebugItem(buffer, rd, 1);
    ::EditDebugItem(rd, 1);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    for (const char* entry : {"GetDebugItem", "EditDebugItem"}) {
        const auto& box = boxes.boxes[entry[0] == 'G' ? 0 : 1];
        EXPECT_EQ(box.title, L"Polvane SDK error - Morvalex");
        EXPECT_EQ(box.text, std::wstring(entry, entry + std::strlen(entry)) +
                                L" stopped on an unexpected error: Couldn't find debug ID in Fusion debugger list.");
    }
    EXPECT_STREQ(buffer, L"kept");
    EXPECT_EQ(reads, 0);
    EXPECT_EQ(host.CallbackCount(HostCallback::EditText), 0);
}

TEST_F(FusionDebuggerTest, TheTreeEndsAfter0xFFFFItems)
{
    Item item;
    for (int i = 0; i < 0xFFFF; ++i)
        Debugger().AddItem(item);
    const std::uint16_t* tree = Debugger().GetDebugTree();
    EXPECT_EQ(tree[0xFFFE], 0xFFFE);
    EXPECT_EQ(tree[0xFFFF], 0xFFFF);
    EXPECT_THROW(Debugger().AddItem(item), std::length_error);
    EXPECT_EQ(Debugger().GetDebugTree()[0xFFFF], 0xFFFF);
}

TEST_F(FusionDebuggerTest, ALongTextIsCutTo254AndAnEllipsis)
{
    struct Case {
        std::size_t length;
        std::wstring shown;
    };
    const std::wstring letters(300, L'x');
    const std::vector<Case> cases = {
        {254, letters.substr(0, 254)},
        {255, letters.substr(0, 255)},
        {256, letters.substr(0, 254) + L'\u2026'},
        {300, letters.substr(0, 254) + L'\u2026'},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string label = "length " + std::to_string(cases[i].length);
        Debugger().AddItem(TextItem(L"", 0));
        textToShow = letters.substr(0, cases[i].length);
        const std::wstring shown = Shown(static_cast<int>(i));
        EXPECT_EQ(shown, cases[i].shown) << label;
        EXPECT_LE(shown.size(), 255u) << label;
    }
}

TEST_F(FusionDebuggerTest, TheExportWritesTheTextAndItsEndIntoTheHostBuffer)
{
    Debugger().AddItem(TextItem(L"", 0));
    textToShow = L"fresh";
    wchar_t buffer[256];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    ::GetDebugItem(buffer, rd, 0);
    EXPECT_EQ(std::wstring(buffer, 6), std::wstring(L"fresh\0", 6));
    EXPECT_EQ(owners, std::vector<Extension*>{ext});
}

TEST_F(FusionDebuggerTest, AnOverlongTextWithoutReaderShowsItsStartInTheBuffer)
{
    Item item;
    item.cachedText = std::wstring(255, L'a') + L"bcd";
    Debugger().AddItem(item);
    wchar_t buffer[260];
    std::fill(std::begin(buffer), std::end(buffer), L'#');
    Debugger().GetDebugItem(buffer, 0);
    EXPECT_EQ(std::wstring(buffer), std::wstring(255, L'a'));
    EXPECT_EQ(std::wstring(buffer + 256, 4), L"####"); // nothing written past the host's 256
}

TEST_F(FusionDebuggerTest, TheRefreshIntervalDecidesWhenTheReaderRuns)
{
    struct Case {
        std::uint64_t refreshMs;
        std::vector<ULONGLONG> requestTimes;
        int reads;
    };
    const std::vector<Case> cases = {
        {1000, {5000, 5010}, 1}, {0, {5000, 5010}, 2},    {0, {5000, 5000}, 2},
        {1000, {5000, 5999}, 1}, {1000, {5000, 6000}, 2}, {1000, {5000, 5500, 6000, 6999, 7000}, 3},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::string label = "case " + std::to_string(i);
        Debugger().AddItem(TextItem(L"", cases[i].refreshMs));
        reads = 0;
        for (ULONGLONG time : cases[i].requestTimes) {
            now = time;
            textToShow = L"at " + std::to_wstring(time);
            Shown(static_cast<int>(i));
        }
        EXPECT_EQ(reads, cases[i].reads) << label;
    }
}

TEST_F(FusionDebuggerTest, ACachedTextStandsUntilTheNextRefresh)
{
    Debugger().AddItem(TextItem(L"before", 1000));
    textToShow = L"first";
    EXPECT_EQ(Shown(0), L"first");
    now += 10;
    textToShow = L"second";
    EXPECT_EQ(Shown(0), L"first");
}

TEST_F(FusionDebuggerTest, ItemsWithoutTheirReaderShowTheCachedText)
{
    // An integer item's text is not made from its integer, and a text item's reader is not an integer
    // item's reader.
    Item integer = IntegerItem(3, 0);
    integer.cachedText = L"int text";
    Item integerWithTextReader = integer;
    integerWithTextReader.getInt = nullptr;
    integerWithTextReader.getText = ReadText;
    Item textWithIntReader = TextItem(L"kept", 0);
    textWithIntReader.getText = nullptr;
    textWithIntReader.getInt = ReadInteger;
    Debugger().AddItem(integer);
    Debugger().AddItem(integerWithTextReader);
    Debugger().AddItem(textWithIntReader);
    integerToShow = 42;
    textToShow = L"from reader";

    EXPECT_EQ(Shown(0), L"int text");
    EXPECT_EQ(reads, 1);
    EXPECT_EQ(CachedInteger(0), 42);
    EXPECT_EQ(Shown(1), L"int text");
    EXPECT_EQ(Shown(2), L"kept");
    EXPECT_EQ(reads, 1);
}

TEST_F(FusionDebuggerTest, AConfirmedIntegerEditIsKeptWhenAcceptedAndUndoneWhenRefused)
{
    for (bool accepted : {true, false}) {
        const std::string label = accepted ? "accepted" : "refused";
        reads = 0;
        editedIntegers.clear();
        Debugger().AddItem(IntegerItem(3, 1000));
        const int id = accepted ? 0 : 1;
        integerToShow = 3;
        Shown(id); // read at 5000: the next read is due at 6000
        EXPECT_EQ(reads, 1) << label;

        now = 5010;
        acceptEdits = accepted;
        host.editAnswer = 1;
        host.editInteger = 7;
        Debugger().EditDebugItem(id);
        EXPECT_EQ(host.editReceived.integer, 3) << label;
        EXPECT_EQ(host.editReceived.text, nullptr) << label;
        EXPECT_EQ(host.editReceived.textLength, 0u) << label;
        EXPECT_EQ(editedIntegers, std::vector<std::int32_t>{7}) << label;
        EXPECT_EQ(CachedInteger(id), accepted ? 7 : 3) << label;

        // Refused: the next request reads afresh although the interval has not passed.
        now = 5020;
        Shown(id);
        EXPECT_EQ(reads, accepted ? 1 : 2) << label;
        now = 5000;
    }
}

TEST_F(FusionDebuggerTest, TheIntegerDialogIsCallback20WithTheRecord)
{
    Debugger().AddItem(IntegerItem(-5, 0));
    Debugger().EditDebugItem(0);
    ASSERT_EQ(host.CallbackLog().size(), 1u);
    EXPECT_EQ(host.CallbackLog()[0].index, 20);
    EXPECT_EQ(host.CallbackLog()[0].w, 0);
    EXPECT_EQ(host.CallbackLog()[0].rd, rd);
    EXPECT_EQ(host.editReceived.integer, -5);
    EXPECT_EQ(host.editReceived.reserved, 0u);
}

TEST_F(FusionDebuggerTest, AConfirmedTextEditIsKeptWhenAcceptedAndUndoneWhenRefused)
{
    for (bool accepted : {true, false}) {
        const std::string label = accepted ? "accepted" : "refused";
        editedTexts.clear();
        Item item = TextItem(L"old", 1000);
        item.getText = nullptr; // the shown text is then the cached one
        Debugger().AddItem(item);
        const int id = accepted ? 0 : 1;
        acceptEdits = accepted;
        host.editAnswer = 1;
        host.editText = L"new text";
        Debugger().EditDebugItem(id);
        ASSERT_EQ(host.CallbackLog().back().index, 21) << label;
        EXPECT_EQ(host.CallbackLog().back().w, 0) << label;
        EXPECT_EQ(host.editReceivedText, L"old") << label;
        EXPECT_EQ(host.editReceived.textLength, 3u) << label;
        EXPECT_EQ(host.editReceived.integer, 0) << label;
        EXPECT_EQ(editedTexts, std::vector<std::wstring>{L"new text"}) << label;
        EXPECT_EQ(Shown(id), accepted ? L"new text" : L"old") << label;
    }
}

TEST_F(FusionDebuggerTest, ARefusedTextEditIsReadAfreshOnTheNextRequest)
{
    Debugger().AddItem(TextItem(L"", 1000));
    textToShow = L"read";
    Shown(0);
    now = 5010;
    acceptEdits = false;
    host.editAnswer = 1;
    host.editText = L"typed";
    Debugger().EditDebugItem(0);
    textToShow = L"read again";
    EXPECT_EQ(Shown(0), L"read again");
    EXPECT_EQ(reads, 2);
}

TEST_F(FusionDebuggerTest, TheTextHandedToTheDialogEndsAtItsFirstNul)
{
    Item item = TextItem(std::wstring(L"ab\0cd", 5), 0);
    Debugger().AddItem(item);
    Debugger().EditDebugItem(0);
    EXPECT_EQ(host.editReceivedText, L"ab");
    EXPECT_EQ(host.editReceived.textLength, 2u);
}

TEST_F(FusionDebuggerTest, ACancelledDialogChangesNothing)
{
    Item text = TextItem(L"old", 0);
    text.getText = nullptr;
    Debugger().AddItem(IntegerItem(3, 1000));
    Debugger().AddItem(text);
    integerToShow = 3;
    Shown(0);
    host.editInteger = 7;
    host.editText = L"typed";
    for (std::uint32_t answer : {0u, 2u, 0xFFFFFFFFu}) {
        const std::string label = "answer " + std::to_string(answer);
        now = 5010;
        host.editAnswer = answer;
        Debugger().EditDebugItem(0);
        Debugger().EditDebugItem(1);
        EXPECT_TRUE(editedIntegers.empty()) << label;
        EXPECT_TRUE(editedTexts.empty()) << label;
        EXPECT_EQ(CachedInteger(0), 3) << label;
        EXPECT_EQ(Shown(1), L"old") << label;
        Shown(0); // still inside the interval
        EXPECT_EQ(reads, 1) << label;
    }
}

TEST_F(FusionDebuggerTest, AnItemWithoutItsEditOperationIsNotEditable)
{
    Item integer = IntegerItem(3, 0);
    integer.editInt = nullptr;
    integer.editText = EditText;
    Item text = TextItem(L"t", 0);
    text.getText = nullptr;
    text.editText = nullptr;
    text.editInt = EditInteger;
    Debugger().AddItem(integer);
    Debugger().AddItem(text);
    host.editAnswer = 1;
    for (int id : {0, 1}) {
        const std::string label = "id " + std::to_string(id);
        ExpectThrowsText([&] { Debugger().EditDebugItem(id); }, "Item not editable.", label);
    }
    EXPECT_TRUE(host.CallbackLog().empty());
    EXPECT_TRUE(editedIntegers.empty());
    EXPECT_TRUE(editedTexts.empty());
    EXPECT_EQ(Shown(1), L"t");
}
