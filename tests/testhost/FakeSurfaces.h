// The fake MMFS2.dll, built for tests only: loaded from the build's tests folder, its controls (exported by
// name) looked up at run time, so that a program that merely may load it does not need it to start. Tests
// only read what the fake allocated: the two modules may not share one heap.
#pragma once

#include "Library.h"

#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>
#include <windows.h>

namespace FakeMmfs2 {

// A surface as the fake keeps it, behind the first word of the host's 16-byte surface object.
struct Surface {
    std::string name = {}; // #n in the order made, "prototype", "editor" or "host"
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> alpha = {};  // one byte per pixel; empty: no alpha channel
    std::vector<std::uint8_t> locked = {}; // while locked: a copy of the alpha channel, then guard bytes
};
struct State {
    std::vector<std::string> log; // one call each, "surface.Operation(arguments)" on a surface
    HFONT lastFont = nullptr;     // of the last DrawText
    int nextId = 1;
};

} // namespace FakeMmfs2

namespace TestHost {

inline std::wstring FakeSurfaceLibraryPath() { return (BuildFolder() / L"tests" / L"MMFS2.dll").wstring(); }

// While it lives, the module's export of that ordinal reads as missing, its entry blanked in memory, as in a
// host library that lacks the operation.
struct MissingOrdinal {
    MissingOrdinal(HMODULE module, WORD ordinal)
    {
        auto* base = reinterpret_cast<std::uint8_t*>(module);
        const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS32*>(base + PIMAGE_DOS_HEADER(base)->e_lfanew);
        const auto* exports = reinterpret_cast<IMAGE_EXPORT_DIRECTORY*>(
            base + nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress);
        entry = reinterpret_cast<DWORD*>(base + exports->AddressOfFunctions) + (ordinal - exports->Base);
        saved = *entry;
        DWORD protection = 0;
        VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection);
        *entry = 0;
    }
    ~MissingOrdinal() { *entry = saved; }
    DWORD* entry;
    DWORD saved;
};

class FakeSurfaces {
public:
    // Loads the fake (or takes another reference to it) and resets it; throws when it cannot be loaded.
    FakeSurfaces() : module(LoadLibraryW(FakeSurfaceLibraryPath().c_str()))
    {
        if (module == nullptr)
            throw std::runtime_error("the fake MMFS2.dll could not be loaded");
        Reset();
    }
    ~FakeSurfaces() { FreeLibrary(module); }
    HMODULE Module() const { return module; }
    // Clears the log and numbers new surfaces from #1 again.
    void Reset() const { Control<void (*)()>("FakeMmfs2_Reset")(); }
    FakeMmfs2::State& State() const { return *Control<FakeMmfs2::State* (*)()>("FakeMmfs2_State")(); }
    std::string Calls() const
    {
        const auto& log = State().log;
        return std::accumulate(log.begin(), log.end(), std::string(),
                               [](auto a, auto& b) { return a + b + " "; });
    }
    // A surface of the host's own ("host"), as the host hands one to MakeIconEx; kept until the process ends.
    void* NewSurface() const { return Control<void* (*)()>("FakeMmfs2_NewSurface")(); }

private:
    template <typename F> F Control(const char* name) const
    {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    }
    HMODULE module;
};

} // namespace TestHost
