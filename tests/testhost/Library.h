// Loads a built Morvalex.mfx the way the host does and looks its exports up by name.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

namespace TestHost {

// The library as built: build/Morvalex.mfx.
std::wstring BuiltLibraryPath();

class Library {
public:
    explicit Library(const std::wstring& path);
    ~Library();
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
