#include "Library.h"

namespace TestHost {

std::wstring BuiltLibraryPath()
{
    std::string dir = MORVALEX_BUILD_DIR;
    std::wstring path(dir.begin(), dir.end());
    for (auto& c : path)
        if (c == L'/')
            c = L'\\';
    return path + L"\\Morvalex.mfx";
}

Library::Library(const std::wstring& path) : module(LoadLibraryW(path.c_str()))
{
    if (module == nullptr)
        throw std::runtime_error("LoadLibraryW failed with error " + std::to_string(GetLastError()));
}

Library::~Library() { FreeLibrary(module); }

} // namespace TestHost
