// The run-time services' record of the frame's object tables: the size of an OiList entry, settled once by
// the first selection from what the host says of its hardware acceleration.
#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Tovik.Runtime/Runtime.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

std::uint32_t accelerated = 0;
std::vector<std::int32_t> asked;
std::uint32_t HOST_STDCALL Answer(EDITDATA* edPtr, std::int32_t id, std::int32_t p1, std::int32_t p2,
                                  std::int32_t p3)
{
    asked.insert(asked.end(), {edPtr != nullptr, id, p1, p2, p3});
    return accelerated;
}

std::wstring logged;
void WINAPI KeepLine(LPCWSTR text) { logged += text; }

} // namespace

// Without hardware acceleration the host's OiList entries are 142 bytes apart. Only the first selection asks;
// an index at or past the number of entries gives null and a log line; a qualifier's offset loses bit 15.
TEST(ObjectSelection, OiListEntriesAre142BytesApartWithoutHardwareAcceleration)
{
    std::vector<std::uint8_t> entries(3 * 146);
    ::mV mv{};
    mv.CallFunction = Answer;
    const auto header = std::make_unique<RunHeader>();
    header->mvPtr = &mv;
    header->NumberOi = 3;
    header->OiList = header->QualToOiList = entries.data();
    const Polvane::ObjectSelection first(header.get());
    accelerated = 1;
    const Polvane::ObjectSelection second(header.get());
    EXPECT_EQ(asked, (std::vector<std::int32_t>{0, 112, 0, 0, 0}));
    EXPECT_EQ(second.OiList, entries.data());
    const auto saved = std::exchange(Host::Seam.OutputDebugStringW, KeepLine);
    std::vector<std::ptrdiff_t> offsets;
    for (std::uint32_t index : {0, 1, 2})
        offsets.push_back(header->GetOIListByIndex(index) - entries.data());
    EXPECT_EQ(offsets, (std::vector<std::ptrdiff_t>{0, 142, 284}));
    EXPECT_EQ(header->GetOIListByIndex(3), nullptr);
    Host::Seam.OutputDebugStringW = saved;
    EXPECT_EQ(
        logged,
        L"RunHeader::GetOIListByIndex() was passed invalid OIList index 3, are you passing a OI instead?\n");
    EXPECT_EQ(header->GetQualToOiList(0x8004) - entries.data(), 4);
}
