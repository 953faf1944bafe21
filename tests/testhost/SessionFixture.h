// What a test of the library's members through its jump tables starts from: a session of the built
// library with one object created, and a float's bits both ways, since float results are compared bit
// for bit.
#pragma once

#include "Session.h"

#include <cstdint>
#include <cstring>

namespace TestHost {

inline std::uint32_t BitsOf(float value) { return Arg(value).bits; }

inline float FromBits(std::uint32_t bits) { return Arg::Raw(bits).AsFloat(); }

// A fixture on top of TestBase (testing::Test, or testing::TestWithParam<...> for a table of cases).
template <typename TestBase> class SessionWithObject : public TestBase {
protected:
    Session session;
    RUNDATA* object = session.CreateObject();
};

} // namespace TestHost
