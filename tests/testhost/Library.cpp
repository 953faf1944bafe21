#include "Library.h"
#include "TempTree.h"

namespace TestHost {

std::wstring BuiltLibraryPath() { return (BuildFolder() / L"Morvalex.mfx").wstring(); }

Library::Library(const std::wstring& path) : module(LoadLibraryW(path.c_str()))
{
    if (module == nullptr)
        throw std::runtime_error("LoadLibraryW failed with error " + std::to_string(GetLastError()));
}

Library::~Library() { FreeLibrary(module); }

} // namespace TestHost
