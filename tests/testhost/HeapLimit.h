// A host nearly out of memory, made without taking memory away from the test: while a limit lives, the
// C heap as one module sees it refuses every block of `limit` bytes or more, so that the module's large
// copies fail as they would in a full process. Installed(): the module takes its blocks from msvcrt.dll.
#pragma once

#include "Library.h"

#include <cstddef>

namespace TestHost {

inline std::size_t HeapLimitBytes = 0;

inline void* __cdecl LimitedMalloc(std::size_t size)
{
    // The C runtime's own allocator, not the module's import of it, which may be this very routine.
    static const auto allocate = reinterpret_cast<void*(__cdecl*)(std::size_t)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"msvcrt.dll"), "malloc")));
    return size >= HeapLimitBytes ? nullptr : allocate(size);
}

struct HeapLimit : ImportPatch {
    HeapLimit(HMODULE module, std::size_t limit)
        : ImportPatch(module, "msvcrt.dll", "malloc", reinterpret_cast<void*>(LimitedMalloc))
    {
        HeapLimitBytes = limit;
    }
};

} // namespace TestHost
