// The library loaded as a built application: its run information, and objects created and destroyed.
#include "Lib/Shared/Host/Platform.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using GetDependenciesFn = const wchar_t**(HOST_STDCALL*)();
using GetRunObjectInfosFn = std::int32_t(HOST_STDCALL*)(::mV*, HostRunInfo*);
using GetRunObjectDataSizeFn = std::uint32_t(HOST_STDCALL*)(std::int32_t, std::int32_t);
using ObjectFn = std::int32_t(HOST_STDCALL*)(RUNDATA*);
using InitializeFn = std::int32_t(HOST_STDCALL*)(::mV*, std::int32_t);

Extension* StoredExtension(RUNDATA* rd)
{
    Extension* ext;
    std::memcpy(&ext, reinterpret_cast<std::uint8_t*>(rd) + 184, sizeof ext);
    return ext;
}

} // namespace

TEST(RunInformation, FillsEveryFieldFromTheEmbeddedDefinition)
{
    TestHost::Session session;
    ASSERT_EQ(session.InitializeResult(), 0);
    HostRunInfo info;
    std::memset(&info, 0xCC, sizeof info);
    auto getRunObjectInfos = session.Lib().Export<GetRunObjectInfosFn>("GetRunObjectInfos");
    EXPECT_EQ(getRunObjectInfos(session.TheHost().MV(), &info), 1);
    EXPECT_NE(info.conditions, nullptr);
    EXPECT_NE(info.actions, nullptr);
    EXPECT_NE(info.expressions, nullptr);
    EXPECT_EQ(info.numOfConditions, 6);
    EXPECT_EQ(info.numOfActions, 42);
    EXPECT_EQ(info.numOfExpressions, 76);
    EXPECT_EQ(info.editDataSize, 48);
    EXPECT_EQ(info.objectFlags, 0u);
    EXPECT_EQ(info.windowProcPriority, 100);
    EXPECT_EQ(info.pad19, 0xCC); // not written
    EXPECT_EQ(info.objectFlags2, 0);
    EXPECT_EQ(std::string(info.identifier, 4), "ZOBU");
    EXPECT_EQ(info.version, 1);
    // Each table ends with a null entry after its last item.
    EXPECT_EQ(static_cast<ActionRoutine*>(info.actions)[42], nullptr);
    EXPECT_EQ(static_cast<ConditionRoutine*>(info.conditions)[6], nullptr);
    EXPECT_EQ(static_cast<ExpressionRoutine*>(info.expressions)[76], nullptr);
    EXPECT_NE(static_cast<ActionRoutine*>(info.actions)[41], nullptr);
}

TEST(RunInformation, SecondCallGivesTheSameRecord)
{
    TestHost::Session session;
    auto getRunObjectInfos = session.Lib().Export<GetRunObjectInfosFn>("GetRunObjectInfos");
    HostRunInfo second{};
    getRunObjectInfos(session.TheHost().MV(), &second);
    EXPECT_EQ(std::memcmp(&second, &session.RunInfo(), sizeof second), 0);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(RunInformation, DataSizeIs188AndDependenciesAreEmptyFromTheResource)
{
    TestHost::Session session;
    EXPECT_EQ(session.Lib().Export<GetRunObjectDataSizeFn>("GetRunObjectDataSize")(0, 0), 188u);
    const wchar_t** list = session.Lib().Export<GetDependenciesFn>("GetDependencies")();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list[0], nullptr);
}

TEST(RunInformation, SecondInitializeKeepsTheFirstState)
{
    TestHost::Session session;
    auto initialize = session.Lib().Export<InitializeFn>("Initialize");
    EXPECT_EQ(initialize(session.TheHost().MV(), 0), 0);
    HostRunInfo again{};
    session.Lib().Export<GetRunObjectInfosFn>("GetRunObjectInfos")(session.TheHost().MV(), &again);
    EXPECT_EQ(again.actions, session.RunInfo().actions);
    EXPECT_EQ(again.conditions, session.RunInfo().conditions);
    EXPECT_EQ(again.expressions, session.RunInfo().expressions);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(ObjectLife, CreatingAnObjectLinksEveryMemberWithoutABox)
{
    TestHost::Session session;
    RUNDATA* rd = session.CreateObject();
    EXPECT_TRUE(session.Boxes().Boxes().empty());
    EXPECT_NE(StoredExtension(rd), nullptr);
    // Every linked member answers through the tables: a sample from each kind.
    EXPECT_EQ(session.Expression(rd, 0, {2, 3}), 5);
    EXPECT_EQ(session.Condition(rd, 0, {4, 4}), 1);
    EXPECT_EQ(session.Action(rd, 1), 0);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(ObjectLife, DestroyLeavesANullPointerAndHandlesCalls)
{
    TestHost::Session session;
    RUNDATA* rd = session.CreateObject();
    EXPECT_EQ(session.Lib().Export<ObjectFn>("HandleRunObject")(rd), 1);
    EXPECT_EQ(session.Lib().Export<ObjectFn>("PauseRunObject")(rd), 0);
    EXPECT_EQ(session.Lib().Export<ObjectFn>("ContinueRunObject")(rd), 0);
    session.DestroyObject(rd);
    EXPECT_EQ(StoredExtension(rd), nullptr);
    // A second destroy finds no object and still answers 0.
    using DestroyFn = std::int32_t(HOST_STDCALL*)(RUNDATA*, std::int32_t);
    EXPECT_EQ(session.Lib().Export<DestroyFn>("DestroyRunObject")(rd, 0), 0);
}

TEST(ObjectLife, TwoObjectsHaveTheirOwnExtension)
{
    TestHost::Session session;
    RUNDATA* first = session.CreateObject();
    RUNDATA* second = session.CreateObject();
    EXPECT_NE(StoredExtension(first), StoredExtension(second));
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

TEST(ObjectLife, FirstObjectSettlesTheOiListEntrySizeOnce)
{
    TestHost::Session session;
    session.CreateObject();
    session.CreateObject();
    EXPECT_EQ(session.TheHost().FunctionCount(112), 1);
}
