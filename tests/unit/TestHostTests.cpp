// The test host itself: the records it builds, the answers of its callbacks and CallFunction, and the
// message box recorder. Host-level tests trust all of this.
#include "Library.h"
#include "MessageBoxRecorder.h"
#include "TestHost.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

using TestHost::Arg;
using TestHost::Host;

namespace {

std::uint32_t Callback(Host& host, int index, RUNDATA* rd, std::int32_t w, std::int32_t l)
{
    return host.Header()->RuntimeCallbacks[index](rd, w, l);
}

std::uint32_t Bits(float value) { return Arg(value).bits; }

const wchar_t* Text(std::uint32_t bits)
{
    return reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(bits));
}

std::uint8_t* Bytes(std::uint32_t bits)
{
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(bits));
}

// Where this program's calls to MessageBoxW go now: its import table entry, read afresh. The volatile
// keeps the compiler from taking two readings of the import for the same constant.
void* MessageBoxTarget()
{
    void* volatile target = reinterpret_cast<void*>(&::MessageBoxW);
    return target;
}

bool AllZero(const void* data, std::size_t size)
{
    auto bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

TEST(TestHostRecords, MvHoldsOnlyCallFunctionMainWindowImageFilterManagerAndImageEditors)
{
    int window = 0;
    Host host(&window);
    ::mV* mv = host.MV();
    EXPECT_EQ(mv->mainWindow, &window);
    EXPECT_NE(mv->CallFunction, nullptr);
    EXPECT_NE(mv->imageFilterManager, nullptr);
    EXPECT_NE(mv->imageEditor, nullptr);
    EXPECT_NE(mv->imageListEditor, nullptr);
    ::mV rest;
    std::memcpy(&rest, mv, sizeof rest);
    rest.mainWindow = nullptr;
    rest.CallFunction = nullptr;
    rest.imageFilterManager = nullptr;
    rest.imageEditor = nullptr;
    rest.imageListEditor = nullptr;
    EXPECT_TRUE(AllZero(&rest, sizeof rest));

    Host application;
    EXPECT_EQ(application.MV()->mainWindow, nullptr);
}

TEST(TestHostRecords, RunHeaderPointsAtMvAndHoldsTheUsedCallbacks)
{
    Host host;
    RunHeader* header = host.Header();
    EXPECT_EQ(header->mvPtr, host.MV());
    EXPECT_EQ(header->NumberOi, 0);
    EXPECT_EQ(header->OiList, nullptr);
    EXPECT_EQ(header->ObjectList, nullptr);
    for (int i = 0; i < HostCallback::Count; ++i) {
        bool answered = i == 3 || i == 4 || i == 5 || i == 17 || i == 20 || i == 21;
        EXPECT_EQ(header->RuntimeCallbacks[i] != nullptr, answered) << "callback " << i;
    }
}

TEST(TestHostRecords, NewObjectIsZeroFilledButItsRunHeader)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    EXPECT_EQ(rd->rHo.runHeader, host.Header());
    RUNDATA rest;
    std::memcpy(&rest, rd, sizeof rest);
    rest.rHo.runHeader = nullptr;
    EXPECT_TRUE(AllZero(&rest, sizeof rest));
    EXPECT_NE(host.NewObject(), rd);
}

TEST(TestHostParams, ActionParamsAnswerInQueueOrder)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.QueueActionParams({7, 2.5f, L"abc", Arg::Raw(0xDEADBEEF)});
    host.QueueActionParams({nullptr, L""});
    EXPECT_EQ(host.PendingActionParams(), 6u);

    EXPECT_EQ(Callback(host, 17, rd, 0, 0), 7u);
    EXPECT_EQ(Callback(host, 17, rd, 2, 0), Bits(2.5f));
    EXPECT_STREQ(Text(Callback(host, 17, rd, -1, 0)), L"abc");
    EXPECT_EQ(Callback(host, 17, rd, -1, 0), 0xDEADBEEFu);
    EXPECT_EQ(Callback(host, 17, rd, -1, 0), 0u); // the null text
    const wchar_t* empty = Text(Callback(host, 17, rd, -1, 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, L"");
    EXPECT_EQ(host.PendingActionParams(), 0u);
    EXPECT_EQ(Callback(host, 17, rd, 0, 0), 0u); // nothing left

    EXPECT_EQ(host.CallbackCount(17), 7);
    const auto& log = host.CallbackLog();
    ASSERT_EQ(log.size(), 7u);
    const std::int32_t ws[] = {0, 2, -1, -1, -1, -1, 0};
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].index, 17) << i;
        EXPECT_EQ(log[i].w, ws[i]) << i;
        EXPECT_EQ(log[i].l, 0) << i;
        EXPECT_EQ(log[i].rd, rd) << i;
    }
}

TEST(TestHostParams, ExpressionParamsComeThroughFirstAndNext)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.QueueExpressionParams({11, L"x", 0.5f});
    EXPECT_EQ(Callback(host, 4, rd, 0, 0), 11u);
    EXPECT_STREQ(Text(Callback(host, 5, rd, 1, 1)), L"x");
    EXPECT_EQ(Callback(host, 5, rd, 2, 2), Bits(0.5f));
    EXPECT_EQ(Callback(host, 5, rd, 0, 3), 0u);
    EXPECT_EQ(host.CallbackCount(4), 1);
    EXPECT_EQ(host.CallbackCount(5), 3);
    ASSERT_EQ(host.CallbackLog().size(), 4u);
    EXPECT_EQ(host.CallbackLog()[0].index, 4);
    EXPECT_EQ(host.CallbackLog()[2].index, 5);
    EXPECT_EQ(host.CallbackLog()[2].w, 2);
    EXPECT_EQ(host.CallbackLog()[2].l, 2);
}

TEST(TestHostParams, ActionAndExpressionQueuesAreSeparate)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.QueueActionParams({1});
    host.QueueExpressionParams({2});
    EXPECT_EQ(Callback(host, 4, rd, 0, 0), 2u);
    EXPECT_EQ(Callback(host, 17, rd, 0, 0), 1u);

    host.QueueActionParams({1});
    host.QueueExpressionParams({2});
    host.DropParams();
    EXPECT_EQ(host.PendingActionParams(), 0u);
    EXPECT_EQ(host.PendingExpressionParams(), 0u);
}

TEST(TestHostParams, NumbersAreHandedOverInTheKindAskedFor)
{
    struct Case {
        Arg arg;
        std::int32_t w;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {3, 0, 3u},
        {-3, 2, Bits(-3.0f)},
        {2.75f, 2, Bits(2.75f)},
        {2.75f, 0, 2u},
        {-2.75f, 0, static_cast<std::uint32_t>(-2)},
        {Arg::Raw(0x40000000), 0, 0x40000000u},
        {Arg::Raw(0x40000000), 2, 0x40000000u},
        {5, -1, 5u},
    };
    for (const Case& c : cases) {
        Host host;
        RUNDATA* rd = host.NewObject();
        host.QueueActionParams({c.arg});
        host.QueueExpressionParams({c.arg});
        EXPECT_EQ(Callback(host, 17, rd, c.w, 0), c.expected) << "bits " << c.arg.bits << " w " << c.w;
        EXPECT_EQ(Callback(host, 4, rd, c.w, 0), c.expected) << "bits " << c.arg.bits << " w " << c.w;
    }
}

TEST(TestHostParams, TextsAreFreshHostCopiesKeptAlive)
{
    Host host;
    std::wstring source = L"name";
    Arg arg(source.c_str());
    source = L"gone";
    const wchar_t* first = Text(host.ValueOf(arg));
    const wchar_t* second = Text(host.ValueOf(arg));
    EXPECT_NE(first, second);
    EXPECT_STREQ(first, L"name");
    EXPECT_STREQ(second, L"name");
    EXPECT_EQ(host.ValueOf(nullptr), 0u);
    EXPECT_EQ(host.ValueOf(-1), 0xFFFFFFFFu);
}

TEST(TestHostParams, FixedExpressionParamsLeaveQueueAndLogAlone)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.QueueExpressionParams({99});
    host.FixExpressionParams(20, 22);
    EXPECT_EQ(Callback(host, 4, rd, 0, 0), 20u);
    EXPECT_EQ(Callback(host, 5, rd, 0, 1), 22u);
    EXPECT_EQ(Callback(host, 4, rd, 0, 0), 20u);
    EXPECT_EQ(Callback(host, 5, rd, 0, 1), 22u);
    EXPECT_EQ(host.PendingExpressionParams(), 1u);
    EXPECT_TRUE(host.CallbackLog().empty());
    EXPECT_EQ(host.CallbackCount(4), 2);
    EXPECT_EQ(host.CallbackCount(5), 2);
}

TEST(TestHostParams, ParamChainLinksRecordsBySize)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.SetParamChain(rd, {{1, {3, 12}}, {29, {5, 0}}, {45, {}}, {2, {1, 2, 3}}});
    struct Expected {
        std::int16_t size;
        std::int16_t code;
        std::vector<std::int16_t> values;
    };
    const Expected expected[] = {{8, 1, {3, 12}}, {8, 29, {5, 0}}, {8, 45, {0, 0}}, {10, 2, {1, 2, 3}}};
    auto place = reinterpret_cast<const std::uint8_t*>(rd->rHo.currentParam);
    ASSERT_NE(place, nullptr);
    for (const Expected& e : expected) {
        auto param = reinterpret_cast<const EventParam*>(place);
        EXPECT_EQ(param->size, e.size);
        EXPECT_EQ(param->code, e.code);
        for (std::size_t i = 0; i < e.values.size(); ++i) {
            std::int16_t value;
            std::memcpy(&value, place + 4 + 2 * i, 2);
            EXPECT_EQ(value, e.values[i]) << "code " << e.code << " value " << i;
        }
        place += param->size;
    }
    std::int32_t direction;
    std::memcpy(&direction, reinterpret_cast<const std::uint8_t*>(rd->rHo.currentParam) + 8 + 4, 4);
    EXPECT_EQ(direction, 5);
}

TEST(TestHostStringSpace, HandsOutZeroedBuffersThatStay)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    std::uint8_t* first = Bytes(Callback(host, 3, rd, 0, 10));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(AllZero(first, 10));
    std::memset(first, 0xAB, 10);
    std::uint8_t* second = Bytes(Callback(host, 3, rd, 0, 2));
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_TRUE(AllZero(second, 2));
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(first[i], 0xAB) << i;
    EXPECT_EQ(host.StringSpaceRequests(), (std::vector<std::int32_t>{10, 2}));
    EXPECT_EQ(host.CallbackCount(3), 2);
    ASSERT_EQ(host.CallbackLog().size(), 2u);
    EXPECT_EQ(host.CallbackLog()[1].l, 2);
}

TEST(TestHostCalls, EditDialogsAreCancelledAndLogged)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    HostEditRecord record{};
    auto l = static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(&record));
    EXPECT_EQ(Callback(host, 20, rd, 0, l), 0u);
    EXPECT_EQ(Callback(host, 21, rd, 0, l), 0u);
    EXPECT_EQ(host.CallbackCount(20), 1);
    EXPECT_EQ(host.CallbackCount(21), 1);
    ASSERT_EQ(host.CallbackLog().size(), 2u);
    EXPECT_EQ(host.CallbackLog()[0].l, l);
    EXPECT_EQ(host.CallbackLog()[1].index, 21);
}

TEST(TestHostCalls, CallFunctionAnswersAndCounts)
{
    Host host;
    HostCallFunction call = host.MV()->CallFunction;
    EXPECT_EQ(call(nullptr, 112, 0, 0, 0), 1u);
    EXPECT_EQ(call(nullptr, 113, 0, 0, 0), 1u);
    host.hardwareAccelerated = 0;
    host.unicodeHost = 0;
    EXPECT_EQ(call(nullptr, 112, 0, 0, 0), 0u);
    EXPECT_EQ(call(nullptr, 113, 0, 0, 0), 0u);
    EXPECT_EQ(call(nullptr, 18, 0, 0, 0), 0u);
    EXPECT_EQ(call(nullptr, 5, 0, 64, 0), 0u);
    EXPECT_EQ(host.FunctionCount(112), 2);
    EXPECT_EQ(host.FunctionCount(113), 2);
    EXPECT_EQ(host.FunctionCount(18), 1);
    EXPECT_EQ(host.FunctionCount(5), 1);
    EXPECT_EQ(host.FunctionCount(6), 0);
}

TEST(TestHostCalls, ResetCountsForgetsEverythingCounted)
{
    Host host;
    RUNDATA* rd = host.NewObject();
    host.MV()->CallFunction(nullptr, 112, 0, 0, 0);
    Callback(host, 3, rd, 0, 4);
    Callback(host, 17, rd, 0, 0);
    host.ResetCounts();
    EXPECT_EQ(host.FunctionCount(112), 0);
    EXPECT_EQ(host.CallbackCount(3), 0);
    EXPECT_EQ(host.CallbackCount(17), 0);
    EXPECT_TRUE(host.CallbackLog().empty());
    EXPECT_TRUE(host.StringSpaceRequests().empty());
}

TEST(TestHostCalls, CallFunctionGoesToTheNewestLivingHost)
{
    Host older;
    older.unicodeHost = 3;
    {
        Host newer;
        newer.unicodeHost = 7;
        EXPECT_EQ(older.MV()->CallFunction(nullptr, 113, 0, 0, 0), 7u);
        EXPECT_EQ(newer.FunctionCount(113), 1);
        EXPECT_EQ(older.FunctionCount(113), 0);
    }
    EXPECT_EQ(older.MV()->CallFunction(nullptr, 113, 0, 0, 0), 3u);
}

TEST(TestHostCalls, CallbacksGoToTheHostOfTheRecord)
{
    Host first;
    Host second;
    RUNDATA* rd = first.NewObject();
    first.QueueActionParams({1});
    second.QueueActionParams({2});
    EXPECT_EQ(Callback(second, 17, rd, 0, 0), 1u);
    EXPECT_EQ(first.CallbackCount(17), 1);
    EXPECT_EQ(second.CallbackCount(17), 0);
}

TEST(MessageBoxRecorder, RecordsThroughTheImportTableAndRestoresIt)
{
    // This program imports MessageBoxW itself (the library's seam calls it), so its own table serves.
    void* real = MessageBoxTarget();
    {
        TestHost::MessageBoxRecorder recorder(GetModuleHandleW(nullptr));
        ASSERT_TRUE(recorder.Installed());
        EXPECT_NE(MessageBoxTarget(), real);

        HWND owner = reinterpret_cast<HWND>(0x1234);
        EXPECT_EQ(::MessageBoxW(owner, L"the text", L"the title", MB_OK | MB_ICONERROR), IDOK);
        recorder.SetAnswer(IDNO);
        EXPECT_EQ(::MessageBoxW(nullptr, nullptr, L"second", MB_YESNO), IDNO);

        const auto& boxes = recorder.Boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].title, L"the title");
        EXPECT_EQ(boxes[0].text, L"the text");
        EXPECT_EQ(boxes[0].style, static_cast<unsigned>(MB_OK | MB_ICONERROR));
        EXPECT_EQ(boxes[0].owner, owner);
        EXPECT_EQ(boxes[1].title, L"second");
        EXPECT_EQ(boxes[1].text, L"");
        EXPECT_EQ(boxes[1].style, static_cast<unsigned>(MB_YESNO));
        EXPECT_EQ(boxes[1].owner, nullptr);

        recorder.Clear();
        EXPECT_TRUE(recorder.Boxes().empty());
    }
    EXPECT_EQ(MessageBoxTarget(), real);
}

TEST(MessageBoxRecorder, NewestRecorderRecordsAndOlderResumes)
{
    TestHost::MessageBoxRecorder outer(GetModuleHandleW(nullptr));
    {
        TestHost::MessageBoxRecorder inner(GetModuleHandleW(nullptr));
        ::MessageBoxW(nullptr, L"inner", L"t", MB_OK);
        EXPECT_EQ(inner.Boxes().size(), 1u);
        EXPECT_TRUE(outer.Boxes().empty());
    }
    ::MessageBoxW(nullptr, L"outer", L"t", MB_OK);
    ASSERT_EQ(outer.Boxes().size(), 1u);
    EXPECT_EQ(outer.Boxes()[0].text, L"outer");
}

TEST(MessageBoxRecorder, ModuleWithoutTheImportIsLeftAlone)
{
    TestHost::MessageBoxRecorder kernel(GetModuleHandleW(L"kernel32.dll"));
    EXPECT_FALSE(kernel.Installed());
    TestHost::MessageBoxRecorder none(nullptr);
    EXPECT_FALSE(none.Installed());
    EXPECT_TRUE(kernel.Boxes().empty());
}

TEST(MessageBoxRecorder, FindsTheBuiltLibrarysImport)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    TestHost::MessageBoxRecorder recorder(library.Module());
    EXPECT_TRUE(recorder.Installed());
}
