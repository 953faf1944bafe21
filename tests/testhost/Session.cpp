#include "Session.h"

#include <winsock2.h>

#include <algorithm>
#include <cstring>
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
    auto destroy = reinterpret_cast<DestroyRunObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(library.Module(), "DestroyRunObject")));
    if (destroy != nullptr)
        for (RUNDATA* rd : objects)
            destroy(rd, 0);
    auto free = reinterpret_cast<FreeFn>(reinterpret_cast<void*>(GetProcAddress(library.Module(), "Free")));
    if (free != nullptr)
        free(host.MV());
}

RUNDATA* Session::CreateObject()
{
    auto create = library.Export<CreateRunObjectFn>("CreateRunObject");
    // The host hands every object its edit-time data; the library does not read it at run time.
    if (editData.empty()) {
        editData.assign(std::max<std::size_t>(runInfo.editDataSize, sizeof(EDITDATA)), 0);
        EDITDATA header{};
        header.eHeader.totalSize = static_cast<std::uint32_t>(editData.size());
        std::memcpy(editData.data(), &header, sizeof header);
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

template <typename Routine> Routine Session::Entry(void* table, std::uint16_t count, int id, const char* kind)
{
    if (table == nullptr || id < 0 || id >= count)
        throw std::out_of_range(std::string(kind) + " id " + std::to_string(id) +
                                " is outside the jump table of " + std::to_string(count));
    return static_cast<Routine*>(table)[id];
}

void Session::Prepare(RUNDATA* rd, int id)
{
    rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
    rd->rHo.resultFlags = 0;
    host.DropParams();
}

std::int32_t Session::Action(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return CallWithActionParams(Entry<ActionRoutine>(runInfo.actions, runInfo.numOfActions, id, "action"), rd,
                                id, args);
}

std::int32_t Session::Condition(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    return CallWithActionParams(
        Entry<ConditionRoutine>(runInfo.conditions, runInfo.numOfConditions, id, "condition"), rd, id, args);
}

std::int32_t Session::CallWithActionParams(ActionRoutine routine, RUNDATA* rd, int id,
                                           const std::vector<Arg>& args)
{
    Prepare(rd, id);
    host.QueueActionParams(args);
    std::uint32_t param1 = args.size() > 0 ? host.ValueOf(args[0]) : 0;
    std::uint32_t param2 = args.size() > 1 ? host.ValueOf(args[1]) : 0;
    std::int32_t result = routine(rd, static_cast<std::int32_t>(param1), static_cast<std::int32_t>(param2));
    host.DropParams();
    return result;
}

std::int32_t Session::Expression(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    auto routine = Entry<ExpressionRoutine>(runInfo.expressions, runInfo.numOfExpressions, id, "expression");
    Prepare(rd, id);
    host.QueueExpressionParams(args);
    std::int32_t result = routine(rd, 0);
    host.DropParams();
    return result;
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
