#include "Session.h"

#include <winsock2.h>

#include <algorithm>
#include <stdexcept>

namespace TestHost {

namespace {

using InitializeFn = std::int32_t(HOST_STDCALL*)(::mV* mv, std::int32_t quiet);
using FreeFn = std::int32_t(HOST_STDCALL*)(::mV* mv);
using GetRunObjectInfosFn = std::int32_t(HOST_STDCALL*)(::mV* mv, HostRunInfo* info);
using CreateRunObjectFn = std::int32_t(HOST_STDCALL*)(RUNDATA* rd, EDITDATA* ed, void* cob);
using DestroyRunObjectFn = std::int32_t(HOST_STDCALL*)(RUNDATA* rd, std::int32_t fast);

hostent* WINAPI NoSuchHost(const char*)
{
    WSASetLastError(WSAHOST_NOT_FOUND);
    return nullptr;
}

} // namespace

Session::Session(const std::wstring& libraryPath, void* mainWindow, int quiet)
    : library(libraryPath), boxes(library.Module()),
      offline(library.Module(), "ws2_32.dll", "gethostbyname", reinterpret_cast<void*>(&NoSuchHost)),
      host(mainWindow)
{
    initializeResult = library.Export<InitializeFn>("Initialize")(host.MV(), quiet);
    auto getRunObjectInfos = library.Export<GetRunObjectInfosFn>("GetRunObjectInfos");
    if (initializeResult == 0)
        getRunObjectInfos(host.MV(), &runInfo);
}

Session::~Session()
{
    // Exports looked up without throwing: a destructor must not.
    const auto find = [this](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(library.Module(), name));
    };
    if (auto destroy = reinterpret_cast<DestroyRunObjectFn>(find("DestroyRunObject")))
        for (RUNDATA* rd : objects)
            destroy(rd, 0);
    if (auto free = reinterpret_cast<FreeFn>(find("Free")))
        free(host.MV());
}

RUNDATA* Session::CreateObject()
{
    auto create = library.Export<CreateRunObjectFn>("CreateRunObject");
    // The host hands every object its edit-time data, whose first word is its total size; the library
    // does not read it at run time.
    if (editData.empty()) {
        const std::uint32_t size = std::max<std::uint32_t>(runInfo.editDataSize, sizeof(EDITDATA));
        editData.assign(size / 4 + 1, 0);
        editData[0] = size;
    }
    RUNDATA* rd = host.NewObject();
    create(rd, reinterpret_cast<EDITDATA*>(editData.data()), nullptr);
    objects.push_back(rd);
    return rd;
}

void Session::DestroyObject(RUNDATA* rd)
{
    library.Export<DestroyRunObjectFn>("DestroyRunObject")(rd, 0);
    objects.erase(std::remove(objects.begin(), objects.end(), rd), objects.end());
}

std::int32_t Session::Call(const char* kind, void* table, std::uint16_t count, RUNDATA* rd, int id,
                           const std::vector<Arg>& args)
{
    if (table == nullptr || id < 0 || id >= count)
        throw std::out_of_range(std::string(kind) + " id " + std::to_string(id) +
                                " is outside the jump table of " + std::to_string(count));
    rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
    rd->rHo.resultFlags = 0;
    host.DropParams();
    std::int32_t result;
    if (table == runInfo.expressions) {
        host.QueueExpressionParams(args);
        result = static_cast<ExpressionRoutine*>(table)[id](rd, 0);
    } else {
        host.QueueActionParams(args);
        const auto param = [&](std::size_t i) {
            return static_cast<std::int32_t>(i < args.size() ? host.ValueOf(args[i]) : 0);
        };
        result = static_cast<ActionRoutine*>(table)[id](rd, param(0), param(1));
    }
    host.DropParams();
    return result;
}

std::int32_t Session::Action(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return Call("action", runInfo.actions, runInfo.numOfActions, rd, id, args);
}

std::int32_t Session::Condition(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return Call("condition", runInfo.conditions, runInfo.numOfConditions, rd, id, args);
}

std::int32_t Session::Expression(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return Call("expression", runInfo.expressions, runInfo.numOfExpressions, rd, id, args);
}

float Session::ExpressionFloat(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return Arg::Raw(static_cast<std::uint32_t>(Expression(rd, id, args))).AsFloat();
}

std::wstring Session::ExpressionText(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    auto text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(Expression(rd, id, args)));
    if (text == nullptr)
        throw std::runtime_error("expression " + std::to_string(id) + " answered a null text");
    return text;
}

} // namespace TestHost
