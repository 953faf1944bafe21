// The library loaded as a built application: its run information, and objects created and destroyed.
#include "Session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A second Initialize keeps the first state object: the run information is the same. Every member links
// to the embedded definition without a box; an object's pointer is the last word of its RUNDATA while it
// lives, and null after, when the object exports answer neutrally.
TEST(ObjectLife, RunInformationAndObjects)
{
    TestHost::Session session;
    const TestHost::Library& lib = session.Lib();
    HostRunInfo info;
    std::memset(&info, 0xCC, sizeof info);
    ASSERT_EQ(lib.Call("Initialize", session.TheHost().MV(), 0), 0);
    lib.Call("GetRunObjectInfos", session.TheHost().MV(), &info);
    std::string fields(info.identifier, 4);
    for (unsigned field :
         {info.numOfConditions, info.numOfActions, info.numOfExpressions, info.editDataSize,
          std::uint16_t{info.windowProcPriority}, std::uint16_t{info.pad19}, info.objectFlags2, info.version})
        fields += " " + std::to_string(field);
    EXPECT_EQ(fields + " " + std::to_string(info.objectFlags),
              "ZOBU 6 42 76 48 100 204 0 1 0"); // byte 0x19 is not written
    EXPECT_EQ(
        (std::vector<void*>{static_cast<void**>(info.actions)[42], static_cast<void**>(info.conditions)[6],
                            static_cast<void**>(info.expressions)[76]}),
        (std::vector<void*>{nullptr, nullptr, nullptr}));
    info.pad19 = session.RunInfo().pad19;
    EXPECT_EQ(std::memcmp(&info, &session.RunInfo(), sizeof info), 0);
    EXPECT_EQ(lib.Call("GetRunObjectDataSize", 0, 0), 188);

    RUNDATA* first = session.CreateObject();
    RUNDATA* second = session.CreateObject();
    ASSERT_NE(first->pExtension, nullptr);
    EXPECT_NE(first->pExtension, second->pExtension);
    EXPECT_EQ(session.TheHost().FunctionCount(112), 1); // the OiList entry size is settled once
    const auto answers = [&](RUNDATA* rd) {
        std::string text;
        for (const char* name : {"HandleRunObject", "PauseRunObject", "ContinueRunObject"})
            text += std::to_string(lib.Call(name, rd));
        return text;
    };
    EXPECT_EQ(answers(first), "100");
    session.DestroyObject(first);
    EXPECT_EQ(first->pExtension, nullptr);
    EXPECT_EQ(lib.Call("DestroyRunObject", first, 0), 0);
    EXPECT_EQ(answers(first), "100");
    EXPECT_TRUE(session.Boxes().Boxes().empty());
}

} // namespace
