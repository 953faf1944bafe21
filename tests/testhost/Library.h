// A module loaded the way the host loads it: the built Morvalex.mfx or a copy, its exports looked up by
// name. Its import table is data: an entry of it can be pointed at a routine of the test host's own for
// as long as a patch lives, which is how the library's message boxes are seen.
#pragma once

#include "Lib/Shared/Host/Platform.h"

#include <windows.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace TestHost {

// A folder tree of a test's own, removed at its end: the host's folder layouts are made real by copying
// files where the host would have them.
class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    // The path of a file or folder inside the tree.
    std::filesystem::path Path(const std::wstring& relative) const { return root / relative; }
    // Writes bytes to a file of the tree, creating its folders.
    std::filesystem::path Write(const std::wstring& relative, const std::string& bytes) const;
    // Copies a file into the tree, creating its folders.
    std::filesystem::path Copy(const std::filesystem::path& from, const std::wstring& relative) const;
    void Remove(const std::wstring& relative) const { std::filesystem::remove(Path(relative)); }

private:
    std::filesystem::path root;
};

// The folder of the build: the library, and the test programs under tests\.
std::filesystem::path BuildFolder();

// The library as built: build/Morvalex.mfx.
inline std::wstring BuiltLibraryPath() { return (BuildFolder() / L"Morvalex.mfx").wstring(); }

// The definition embedded in the built library (resource TOVIK 102), as its bytes.
std::string EmbeddedDefinition();

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

    // The export of that name, as a pointer of type F; throws when it is missing, unless not required:
    // null then.
    template <typename F> F Export(const char* name, bool required = true) const
    {
        FARPROC address = GetProcAddress(module, name);
        if (address == nullptr && required)
            throw std::runtime_error(std::string("missing export ") + name);
        return reinterpret_cast<F>(reinterpret_cast<void*>(address));
    }
    // Calls the export of that name as the host does: stdcall, each argument pushed as it is.
    template <typename R = std::int32_t, typename... A> R Call(const char* name, A... args) const
    {
        return Export<R(HOST_STDCALL*)(A...)>(name)(args...);
    }

private:
    HMODULE module;
};

class ImportPatch {
public:
    // Points module's import of dll!function at replacement, and back when the patch ends; does nothing
    // when the module does not import that function by name.
    ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    bool Installed() const { return slot != nullptr; }

private:
    void** slot;
    void* original;
};

struct RecordedBox {
    std::wstring title;
    std::wstring text;
    unsigned style;
    HWND owner;
};

// The boxes as "title: text|" each.
inline std::wstring Joined(const std::vector<RecordedBox>& boxes)
{
    std::wstring texts;
    for (const RecordedBox& box : boxes)
        texts += box.title + L": " + box.text + L"|";
    return texts;
}

// Records the boxes of the module's user32.dll!MessageBoxW, answering each IDOK; while several
// recorders live, the newest one records every box. Installed() is false when the module imports no
// MessageBoxW: nothing can be recorded then.
class MessageBoxRecorder : public ImportPatch {
public:
    explicit MessageBoxRecorder(HMODULE module);
    ~MessageBoxRecorder();

    const std::vector<RecordedBox>& Boxes() const { return boxes; }
    void Clear() { boxes.clear(); }

private:
    static int WINAPI Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style);

    std::vector<RecordedBox> boxes;
};

// Records the lines the module writes to the debugger output (kernel32.dll!OutputDebugStringW), one a call;
// while several recorders live, the newest one records every line.
class DebugOutputRecorder : public ImportPatch {
public:
    explicit DebugOutputRecorder(HMODULE module);
    ~DebugOutputRecorder();

    const std::vector<std::wstring>& Lines() const { return lines; }
    void Clear() { lines.clear(); }

private:
    static void WINAPI Record(LPCWSTR text);

    std::vector<std::wstring> lines;
};

} // namespace TestHost
