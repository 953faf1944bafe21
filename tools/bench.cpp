// The call-path benchmark: expression 0 (Add, two integers) through the library's expression jump
// table, against a routine written by hand that reads the same two parameters through the same host
// callbacks and adds them. The ratio is the cost of the generic call path over a direct one.
#include "Lib/Shared/Host/Platform.h"
#include "Session.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace {

constexpr int Calls = 3000000;
constexpr int Rounds = 5;

std::int32_t HOST_STDCALL HandWrittenAdd(RUNDATA* rd, std::int32_t)
{
    RuntimeCallback* callbacks = rd->rHo.runHeader->RuntimeCallbacks;
    auto a = static_cast<std::int32_t>(callbacks[HostCallback::GetFirstExpressionParam](rd, 0, 0));
    auto b = static_cast<std::int32_t>(callbacks[HostCallback::GetNextExpressionParam](rd, 0, 1));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

// Nanoseconds per call, the best of several rounds. The routine is read through a volatile so that
// neither side is inlined into the loop.
double NanosecondsPerCall(ExpressionRoutine routine, RUNDATA* rd, std::uint32_t& sum)
{
    ExpressionRoutine volatile target = routine;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    double best = 0;
    for (int round = 0; round < Rounds; ++round) {
        LARGE_INTEGER start, stop;
        QueryPerformanceCounter(&start);
        for (int i = 0; i < Calls; ++i)
            sum += static_cast<std::uint32_t>(target(rd, 0));
        QueryPerformanceCounter(&stop);
        double ns = static_cast<double>(stop.QuadPart - start.QuadPart) * 1e9 /
                    static_cast<double>(frequency.QuadPart) / Calls;
        best = round == 0 ? ns : std::min(best, ns);
    }
    return best;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench <library>\n");
        return 2;
    }
    try {
        TestHost::Session session(argv[1]);
        const HostRunInfo& info = session.RunInfo();
        if (session.InitializeResult() != 0 || info.expressions == nullptr || info.numOfExpressions == 0) {
            std::fprintf(stderr, "bench: the library did not initialise (Initialize = %d)\n",
                         static_cast<int>(session.InitializeResult()));
            return 1;
        }
        RUNDATA* rd = session.CreateObject();
        ExpressionRoutine library = static_cast<ExpressionRoutine*>(info.expressions)[0];
        rd->rHo.eventNumber = 0;
        session.TheHost().FixExpressionParams(20, 22);
        if (library(rd, 0) != 42 || HandWrittenAdd(rd, 0) != 42) {
            std::fprintf(stderr, "bench: Add(20, 22) did not answer 42\n");
            return 1;
        }

        std::uint32_t sum = 0; // keeps the results used
        double viaLibrary = NanosecondsPerCall(library, rd, sum);
        double byHand = NanosecondsPerCall(HandWrittenAdd, rd, sum);
        std::printf("Add(20, 22), %d calls, best of %d rounds (checksum %u)\n", Calls, Rounds,
                    static_cast<unsigned>(sum));
        std::printf("  library call path: %8.2f ns per call\n", viaLibrary);
        std::printf("  hand-written:      %8.2f ns per call\n", byHand);
        std::printf("  ratio:             %8.2f\n", viaLibrary / byHand);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
