#include "Lib/Shared/Host/HostRecords.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

// The record the host reads starts at ID: the host must see ID, flags, count and codes in that order.
TEST(ACEInfo, HostRecordStartsAtId)
{
    auto* info = static_cast<ACEInfo*>(std::calloc(1, 8 + 4 * 2));
    info->ID = 7;
    info->FlagsOrReturnType = 0x0220;
    info->NumOfParams = 2;
    info->Parameter[0] = 22;
    info->Parameter[1] = 45;
    const auto* words = static_cast<const std::uint16_t*>(info->HostRecord());
    EXPECT_EQ(words[0], 7);
    EXPECT_EQ(words[1], 0x0220);
    EXPECT_EQ(words[2], 2);
    EXPECT_EQ(words[3], 22);
    EXPECT_EQ(words[4], 45);
    EXPECT_EQ(words[5], 0);
    EXPECT_EQ(words[6], 0);
    std::free(info);
}
