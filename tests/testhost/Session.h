// The real library loaded as the host loads it, with a host, its message boxes recorded, initialised,
// and calls through the jump tables with parameters answered by the host's callbacks; and what a test of
// the library's members starts from: a session with one object created.
#pragma once

#include "Library.h"
#include "TestHost.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace TestHost {

// An import of the library pointed at a routine of the test's own for the whole session, Initialize included.
struct Redirect {
    const char* dll;
    const char* function;
    void* replacement;
};

class Session {
public:
    // Loads the library, records its message boxes, redirects its imports, and calls Initialize(mV, quiet)
    // and, when that succeeds (0), GetRunObjectInfos. mainWindow null: a built application. Throws when the
    // library lacks an export it calls or an import to redirect.
    explicit Session(const std::wstring& libraryPath = BuiltLibraryPath(), void* mainWindow = nullptr,
                     int quiet = 0, const std::vector<Redirect>& redirects = {});
    ~Session(); // destroys the objects still alive, then calls Free(mV) as the host does before unloading

    Library& Lib() { return library; }
    Host& TheHost() { return host; }
    MessageBoxRecorder& Boxes() { return boxes; }
    std::int32_t InitializeResult() const { return initializeResult; }
    const HostRunInfo& RunInfo() const { return runInfo; }

    // CreateRunObject / DestroyRunObject through the exports. The object is created with a zero-filled
    // EDITDATA of the size GetRunObjectInfos reported, and no creation record.
    RUNDATA* CreateObject();
    void DestroyObject(RUNDATA* rd);

    // Calls entry id of a jump table as the host does: eventNumber := id, resultFlags := 0, the first
    // two arguments' bits as param1 and param2, and every argument also queued for callback 17
    // (actions, conditions) or callbacks 4 and 5 (expressions). An expression routine's own argument is
    // 0. Unread queued values are dropped after the call. Throws for an id outside the jump table.
    std::int32_t Action(RUNDATA* rd, int id, const std::vector<Arg>& args = {})
    {
        return Call("action", runInfo.actions, runInfo.numOfActions, rd, id, args);
    }
    std::int32_t Condition(RUNDATA* rd, int id, const std::vector<Arg>& args = {})
    {
        return Call("condition", runInfo.conditions, runInfo.numOfConditions, rd, id, args);
    }
    std::int32_t Expression(RUNDATA* rd, int id, const std::vector<Arg>& args = {})
    {
        return Call("expression", runInfo.expressions, runInfo.numOfExpressions, rd, id, args);
    }
    float ExpressionFloat(RUNDATA* rd, int id, const std::vector<Arg>& args = {})
    {
        return Arg::Raw(static_cast<std::uint32_t>(Expression(rd, id, args))).AsFloat();
    }
    // The result as a text; throws when the library answers a null pointer.
    std::wstring ExpressionText(RUNDATA* rd, int id, const std::vector<Arg>& args = {});

private:
    std::int32_t Call(const char* kind, void* table, std::uint16_t count, RUNDATA* rd, int id,
                      const std::vector<Arg>& args);

    Library library;
    MessageBoxRecorder boxes;
    // The library in the editor starts its update check: its name lookup finds no host, so no test
    // reaches for the update server.
    ImportPatch offline;
    std::vector<std::unique_ptr<ImportPatch>> redirected;
    Host host;
    std::int32_t initializeResult = 0;
    HostRunInfo runInfo{};
    std::vector<RUNDATA*> objects;
    std::vector<std::uint32_t> editData;
};

// A fixture on top of TestBase (testing::Test, or testing::TestWithParam<...> for a table of cases).
template <typename TestBase> class SessionWithObject : public TestBase {
protected:
    Session session;
    RUNDATA* object = session.CreateObject();
};

// A float's bits both ways, since float results are compared bit for bit.
inline std::uint32_t BitsOf(float value) { return Arg(value).bits; }

inline float FromBits(std::uint32_t bits) { return Arg::Raw(bits).AsFloat(); }

} // namespace TestHost
