#include "HeapLimit.h"

namespace TestHost {
namespace {

std::size_t Limit = 0;

void* __cdecl LimitedMalloc(std::size_t size)
{
    // The C runtime's own allocator, not the module's import of it, which may be this very routine.
    static const auto allocate = reinterpret_cast<void*(__cdecl*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    return size >= Limit ? nullptr : allocate(size);
}

} // namespace

HeapLimit::HeapLimit(HMODULE module, std::size_t limit)
    : patch(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(LimitedMalloc))
{
    Limit = limit;
}

} // namespace TestHost
