// The debugger's view of objects of the real library: each object has its own tree, and it is empty.
#include "Lib/Shared/Host/Platform.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

using GetDebugTreeFn = std::uint16_t*(HOST_STDCALL*)(RUNDATA*);
using GetDebugItemFn = void(HOST_STDCALL*)(wchar_t*, RUNDATA*, std::int32_t);
using EditDebugItemFn = void(HOST_STDCALL*)(RUNDATA*, std::int32_t);

} // namespace

TEST(DebuggerExports, ANewObjectsTreeIsOnlyTheEndMarker)
{
    TestHost::Session session;
    ASSERT_EQ(session.InitializeResult(), 0);
    auto getDebugTree = session.Lib().Export<GetDebugTreeFn>("GetDebugTree");
    EXPECT_NO_THROW(session.Lib().Export<GetDebugItemFn>("GetDebugItem"));
    EXPECT_NO_THROW(session.Lib().Export<EditDebugItemFn>("EditDebugItem"));

    RUNDATA* first = session.CreateObject();
    RUNDATA* second = session.CreateObject();
    const std::uint16_t* firstTree = getDebugTree(first);
    const std::uint16_t* secondTree = getDebugTree(second);
    ASSERT_NE(firstTree, nullptr);
    ASSERT_NE(secondTree, nullptr);
    EXPECT_EQ(firstTree[0], 0xFFFF);
    EXPECT_EQ(secondTree[0], 0xFFFF);
    EXPECT_NE(firstTree, secondTree);
    EXPECT_EQ(getDebugTree(first), firstTree);
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}
