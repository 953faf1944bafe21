// Loads a built Morvalex.mfx the way the host does and looks its exports up by name.
#pragma once

#include "TempTree.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace TestHost {

// The library as built: build/Morvalex.mfx.
inline std::wstring BuiltLibraryPath() { return (BuildFolder() / L"Morvalex.mfx").wstring(); }

class Library {
public:
    explicit Library(const std::wstring& path) : module(LoadLibraryW(path.c_str()))
    {
        if (module == nullptr)
            throw std::runtime_error("LoadLibraryW failed with error " + std::to_string(GetLastError()));
    }
    ~Library() { FreeLibrary(module); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    HMODULE Module() const { return module; }

    // The export of that name, as a pointer of type F; throws when it is missing.
    template <typename F> F Export(const char* name) const
    {
        FARPROC address = GetProcAddress(module, name);
        if (address == nullptr)
            throw std::runtime_error(std::string("missing export ") + name);
        return reinterpret_cast<F>(reinterpret_cast<void*>(address));
    }

private:
    HMODULE module;
};

} // namespace TestHost
