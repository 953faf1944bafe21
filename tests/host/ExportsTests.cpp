#include "Lib/Shared/Host/Platform.h"
#include "Library.h"

#include <gtest/gtest.h>

#include <cstdint>

using GetInfosFn = std::uint32_t(HOST_STDCALL*)(std::int32_t);

TEST(GetInfos, AnswersItsTable)
{
    TestHost::Library library(TestHost::BuiltLibraryPath());
    auto getInfos = library.Export<GetInfosFn>("GetInfos");
    EXPECT_EQ(getInfos(0), 0x300u);
    EXPECT_EQ(getInfos(2), 0x100u);
    EXPECT_EQ(getInfos(6), 2u);
    EXPECT_EQ(getInfos(7), 254u);
    EXPECT_EQ(getInfos(8), 1u);
    for (int other : {-1, 1, 3, 4, 5, 9, 100})
        EXPECT_EQ(getInfos(other), 0u) << other;
}
