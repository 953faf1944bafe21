// The call-path benchmark: each call shape through the library's jump tables, against a routine
// written by hand that reads the same parameters through the same host callbacks and does the same
// work, so that the difference is the generic call path's own cost. The host's callbacks here answer
// at once, and object creation is timed the same way against a hand-written object of the same parts.
#include "Lib/Shared/Host/Platform.h"
#include "Session.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Rounds = 5;

// Nearly free host callbacks: Add reads 20 and 22; the three parameters of CopyBytes are all -1 (a
// negative count copies nothing); string space is one buffer.
std::uint32_t HOST_STDCALL FirstParam(RUNDATA*, std::int32_t, std::int32_t) { return 20; }
std::uint32_t HOST_STDCALL NextParam(RUNDATA*, std::int32_t, std::int32_t) { return 22; }
std::uint32_t HOST_STDCALL ActionParam(RUNDATA*, std::int32_t, std::int32_t) { return 0xFFFFFFFFu; }
wchar_t stringSpace[64];
std::uint32_t HOST_STDCALL StringSpace(RUNDATA*, std::int32_t, std::int32_t bytes)
{
    return bytes <= static_cast<std::int32_t>(sizeof stringSpace)
               ? static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(stringSpace))
               : 0;
}

std::uint32_t Callback(RUNDATA* rd, int index, std::int32_t w, std::int32_t l)
{
    return rd->rHo.runHeader->RuntimeCallbacks[index](rd, w, l);
}

// The hand-written routines.
std::int32_t HOST_STDCALL HandWrittenAdd(RUNDATA* rd, std::int32_t)
{
    auto a = Callback(rd, HostCallback::GetFirstExpressionParam, 0, 0);
    auto b = Callback(rd, HostCallback::GetNextExpressionParam, 0, 1);
    return static_cast<std::int32_t>(a + b);
}

std::int32_t HOST_STDCALL HandWrittenHelloWorld(RUNDATA* rd, std::int32_t)
{
    static const wchar_t text[] = L"Hello world!";
    auto* copy = reinterpret_cast<wchar_t*>(
        static_cast<std::uintptr_t>(Callback(rd, HostCallback::GetStringSpace, 0, sizeof text)));
    if (copy != nullptr)
        std::memcpy(copy, text, sizeof text);
    rd->rHo.resultFlags |= ResultFlagText;
    return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(copy));
}

// ActionExample's body is empty: its one integer is read and dropped.
std::int32_t HOST_STDCALL HandWrittenActionExample(RUNDATA*, std::int32_t param1, std::int32_t)
{
    volatile std::int32_t ignored = param1;
    (void)ignored;
    return 0;
}

std::int32_t HOST_STDCALL HandWrittenAreEqual(RUNDATA*, std::int32_t param1, std::int32_t param2)
{
    return param1 == param2;
}

// CopyBytes with a negative count copies nothing.
std::int32_t HOST_STDCALL HandWrittenCopyBytes(RUNDATA* rd, std::int32_t, std::int32_t)
{
    volatile std::int32_t source =
        static_cast<std::int32_t>(Callback(rd, HostCallback::GetActionParam, 0, 0));
    volatile std::int32_t destination =
        static_cast<std::int32_t>(Callback(rd, HostCallback::GetActionParam, 0, 0));
    const auto count = static_cast<std::int32_t>(Callback(rd, HostCallback::GetActionParam, 0, 0));
    (void)source;
    (void)destination;
    return count < 0 ? 0 : 1;
}

// A hand-written object of the same parts as the extension's: its host records, the frame's object
// tables, and a debugger list with room for its items.
struct HandWrittenObject {
    RunHeader* rhPtr;
    RUNDATA* rdPtr;
    void* objectList;
    std::uint8_t* oiList;
    std::uint8_t* qualToOiList;
    std::vector<std::uint16_t> debugTree;
};

std::int32_t HOST_STDCALL HandWrittenCreate(RUNDATA* rd, EDITDATA*, void*)
{
    RunHeader* rh = rd->rHo.runHeader;
    auto* object = new HandWrittenObject{rh, rd, rh->ObjectList, rh->OiList, rh->QualToOiList, {}};
    object->debugTree.reserve(129);
    object->debugTree.push_back(0xFFFF);
    rd->pExtension = reinterpret_cast<Extension*>(object);
    return 0;
}

std::int32_t HOST_STDCALL HandWrittenDestroy(RUNDATA* rd, std::int32_t)
{
    delete reinterpret_cast<HandWrittenObject*>(rd->pExtension);
    rd->pExtension = nullptr;
    return 0;
}

// Nanoseconds per call of `call`, the best of several rounds of `calls` calls, after one round that
// is not timed (caches, branch history and the processor's clock settle).
template <typename Call> double NanosecondsPerCall(int calls, Call call)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    for (int i = 0; i < calls; ++i)
        call();
    double best = 0;
    for (int round = 0; round < Rounds; ++round) {
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        for (int i = 0; i < calls; ++i)
            call();
        QueryPerformanceCounter(&stop);
        double ns = static_cast<double>(stop.QuadPart - start.QuadPart) * 1e9 /
                    static_cast<double>(frequency.QuadPart) / calls;
        best = round == 0 ? ns : std::min(best, ns);
    }
    return best;
}

void PrintLine(const char* shape, double library, double byHand, const char* unit, double scale)
{
    std::printf("  %-44s %9.2f %s  %9.2f %s  %6.2f\n", shape, library / scale, unit, byHand / scale, unit,
                library / byHand);
}

void Require(bool holds, const char* what)
{
    if (!holds)
        throw std::runtime_error(what);
}

// Start-up, as the host pays it: LoadLibrary, Initialize, Free and FreeLibrary, each cycle a fresh
// process state, since the state object is built only once per loaded library. Prints the median and
// the best of Initialize alone and of the whole cycle, in milliseconds.
void TimeStartUp(const wchar_t* library)
{
    constexpr int Cycles = 15;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const auto ms = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
        return static_cast<double>(to.QuadPart - from.QuadPart) * 1e3 /
               static_cast<double>(frequency.QuadPart);
    };
    std::vector<double> initialize, cycle;
    for (int i = 0; i < Cycles; ++i) {
        TestHost::Host host;
        LARGE_INTEGER start, initialized, initializeEnd, end;
        QueryPerformanceCounter(&start);
        {
            const TestHost::Library loaded(library);
            QueryPerformanceCounter(&initialized);
            const std::int32_t result = loaded.Call("Initialize", host.MV(), 0);
            QueryPerformanceCounter(&initializeEnd);
            Require(result == 0, "Initialize failed");
            loaded.Call("Free", host.MV());
        }
        QueryPerformanceCounter(&end);
        initialize.push_back(ms(initialized, initializeEnd));
        cycle.push_back(ms(start, end));
    }
    const auto line = [](const char* what, std::vector<double>& times) {
        std::sort(times.begin(), times.end());
        std::printf("  %-44s %9.2f ms  %9.2f ms\n", what, times[times.size() / 2], times.front());
    };
    std::printf("Start-up: median and best of %d cycles\n", Cycles);
    line("Initialize", initialize);
    line("LoadLibrary + Initialize + Free + FreeLibrary", cycle);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench <library>\n");
        return 2;
    }
    try {
        // First, while the library is not yet loaded in this process.
        TimeStartUp(argv[1]);
        TestHost::Session session(argv[1]);
        const HostRunInfo& info = session.RunInfo();
        Require(session.InitializeResult() == 0 && info.expressions != nullptr && info.numOfExpressions > 1 &&
                    info.numOfActions > 4 && info.numOfConditions > 0,
                "the library did not initialise");
        RUNDATA* rd = session.CreateObject();
        RuntimeCallback* callbacks = rd->rHo.runHeader->RuntimeCallbacks;
        callbacks[HostCallback::GetFirstExpressionParam] = FirstParam;
        callbacks[HostCallback::GetNextExpressionParam] = NextParam;
        callbacks[HostCallback::GetActionParam] = ActionParam;
        callbacks[HostCallback::GetStringSpace] = StringSpace;

        // The routines are read through volatiles, so that neither side is inlined into its loop.
        using Expression = ExpressionRoutine volatile;
        using ActionOrCondition = ActionRoutine volatile;
        Expression add = static_cast<ExpressionRoutine*>(info.expressions)[0];
        Expression helloWorld = static_cast<ExpressionRoutine*>(info.expressions)[1];
        ActionOrCondition actionExample = static_cast<ActionRoutine*>(info.actions)[0];
        ActionOrCondition copyBytes = static_cast<ActionRoutine*>(info.actions)[4];
        ActionOrCondition areEqual = static_cast<ConditionRoutine*>(info.conditions)[0];
        Expression handAdd = HandWrittenAdd;
        Expression handHelloWorld = HandWrittenHelloWorld;
        ActionOrCondition handActionExample = HandWrittenActionExample;
        ActionOrCondition handCopyBytes = HandWrittenCopyBytes;
        ActionOrCondition handAreEqual = HandWrittenAreEqual;

        rd->rHo.eventNumber = 0;
        Require(add(rd, 0) == 42 && handAdd(rd, 0) == 42, "Add(20, 22) did not answer 42");
        rd->rHo.eventNumber = 1;
        Require(std::wstring(reinterpret_cast<const wchar_t*>(
                    static_cast<std::uintptr_t>(helloWorld(rd, 0)))) == L"Hello world!",
                "HelloWorld$ did not answer its text");
        rd->rHo.eventNumber = 0;
        Require(areEqual(rd, 7, 7) == 1 && areEqual(rd, 7, 8) == 0, "AreEqual answered wrongly");
        Require(session.Boxes().Boxes().empty(), "the library showed a box");

        constexpr int Calls = 3000000;
        std::uint32_t sum = 0; // keeps the results used
        std::printf(
            "Call path: ns per call, best of %d rounds of %d calls; the host's callbacks answer at once\n",
            Rounds, Calls);
        std::printf("  %-44s %12s  %12s  %6s\n", "call", "library", "hand-written", "ratio");
        const auto expression = [&](const char* shape, std::uint32_t id, Expression& library,
                                    Expression& byHand) {
            rd->rHo.eventNumber = id;
            const double l =
                NanosecondsPerCall(Calls, [&] { sum += static_cast<std::uint32_t>(library(rd, 0)); });
            const double h =
                NanosecondsPerCall(Calls, [&] { sum += static_cast<std::uint32_t>(byHand(rd, 0)); });
            PrintLine(shape, l, h, "ns", 1);
        };
        const auto actionOrCondition = [&](const char* shape, std::uint32_t id, ActionOrCondition& library,
                                           ActionOrCondition& byHand, std::int32_t p1, std::int32_t p2) {
            rd->rHo.eventNumber = id;
            const double l =
                NanosecondsPerCall(Calls, [&] { sum += static_cast<std::uint32_t>(library(rd, p1, p2)); });
            const double h =
                NanosecondsPerCall(Calls, [&] { sum += static_cast<std::uint32_t>(byHand(rd, p1, p2)); });
            PrintLine(shape, l, h, "ns", 1);
        };
        expression("expression Add (callbacks 4 and 5)", 0, add, handAdd);
        expression("expression HelloWorld$ (string space)", 1, helloWorld, handHelloWorld);
        actionOrCondition("action ActionExample (one direct argument)", 0, actionExample, handActionExample,
                          5, 0);
        actionOrCondition("condition AreEqual (two direct arguments)", 0, areEqual, handAreEqual, 7, 7);
        actionOrCondition("action CopyBytes (three through callback 17)", 4, copyBytes, handCopyBytes, 0, 0);

        using Create = std::int32_t(HOST_STDCALL*)(RUNDATA*, EDITDATA*, void*);
        using Destroy = std::int32_t(HOST_STDCALL*)(RUNDATA*, std::int32_t);
        Create volatile create = session.Lib().Export<Create>("CreateRunObject");
        Destroy volatile destroy = session.Lib().Export<Destroy>("DestroyRunObject");
        Create volatile handCreate = HandWrittenCreate;
        Destroy volatile handDestroy = HandWrittenDestroy;
        // A frame with objects in it: with none, every creation also writes a debug line.
        rd->rHo.runHeader->NumberOi = 1;
        RUNDATA* fresh = session.TheHost().NewObject();
        constexpr int Creations = 3000;
        const auto lifeTime = [&](Create volatile& c, Destroy volatile& d) {
            return NanosecondsPerCall(Creations, [&] {
                c(fresh, nullptr, nullptr);
                d(fresh, 0);
            });
        };
        const double libraryLife = lifeTime(create, destroy);
        const double handLife = lifeTime(handCreate, handDestroy);
        Require(session.Boxes().Boxes().empty(), "the library showed a box");
        PrintLine("CreateRunObject + DestroyRunObject", libraryLife, handLife, "us", 1000);
        std::printf("(checksum %u)\n", static_cast<unsigned>(sum));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
