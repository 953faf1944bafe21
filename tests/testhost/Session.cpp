#include "Session.h"

#include <winsock2.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace TestHost {

namespace {

using FreeFn = std::int32_t(HOST_STDCALL*)(::mV* mv);
using DestroyRunObjectFn = std::int32_t(HOST_STDCALL*)(RUNDATA* rd, std::int32_t fast);

// The import address table slot of dll!function in module, found through the import names
// (OriginalFirstThunk); null when the module does not import it by name.
void** FindImportSlot(HMODULE module, const char* dll, const char* function)
{
    auto base = reinterpret_cast<std::uint8_t*>(module);
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto descriptor = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress != 0 && descriptor->Name != 0; ++descriptor) {
        if (_stricmp(reinterpret_cast<const char*>(base + descriptor->Name), dll) != 0 ||
            descriptor->OriginalFirstThunk == 0)
            continue;
        auto names = reinterpret_cast<const IMAGE_THUNK_DATA32*>(base + descriptor->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA32*>(base + descriptor->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            auto byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (!IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal) &&
                std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

// The table is usually read-only once the loader has filled it. False for no slot.
bool WriteSlot(void** slot, void* value)
{
    DWORD protection;
    if (slot == nullptr || !VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &protection))
        return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, protection, &protection);
    return true;
}

// While several recorders live, the newest one records every box, or every line.
std::vector<MessageBoxRecorder*> recorders;
std::vector<DebugOutputRecorder*> outputRecorders;

hostent* WINAPI NoSuchHost(const char*) { return WSASetLastError(WSAHOST_NOT_FOUND), nullptr; }

} // namespace

TempTree::TempTree()
{
    // Process ids come round again, and a tree whose library is still loaded cannot be removed: a name is
    // only taken when its folder is new.
    static int count = 0;
    const std::wstring process = std::to_wstring(GetCurrentProcessId());
    do {
        root = fs::temp_directory_path() / (L"Morvalex-" + process + L"-" + std::to_wstring(++count));
    } while (!fs::create_directories(root));
}

TempTree::~TempTree()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

fs::path TempTree::Write(const std::wstring& relative, const std::string& bytes) const
{
    fs::create_directories(Path(relative).parent_path());
    std::ofstream(Path(relative), std::ios::binary) << bytes;
    return Path(relative);
}

fs::path TempTree::Copy(const fs::path& from, const std::wstring& relative) const
{
    fs::create_directories(Path(relative).parent_path());
    fs::copy_file(from, Path(relative), fs::copy_options::overwrite_existing);
    return Path(relative);
}

fs::path BuildFolder() { return fs::path(MORVALEX_BUILD_DIR).make_preferred(); }

std::string EmbeddedDefinition()
{
    const Library library(BuiltLibraryPath());
    HRSRC found = FindResourceW(library.Module(), MAKEINTRESOURCEW(102), L"TOVIK");
    return std::string(static_cast<const char*>(LockResource(LoadResource(library.Module(), found))),
                       SizeofResource(library.Module(), found));
}

ImportPatch::ImportPatch(HMODULE module, const char* dll, const char* function, void* replacement)
    : slot(FindImportSlot(module, dll, function)), original(slot != nullptr ? *slot : nullptr)
{
    if (!WriteSlot(slot, replacement) && slot != nullptr)
        throw std::runtime_error("could not make the import table writable");
}

ImportPatch::~ImportPatch() { WriteSlot(slot, original); }

MessageBoxRecorder::MessageBoxRecorder(HMODULE module)
    : ImportPatch(module, "user32.dll", "MessageBoxW", reinterpret_cast<void*>(&Record))
{
    recorders.push_back(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    recorders.erase(std::find(recorders.begin(), recorders.end(), this));
}

int WINAPI MessageBoxRecorder::Record(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    recorders.back()->boxes.push_back(
        {title != nullptr ? title : L"", text != nullptr ? text : L"", style, owner});
    return IDOK;
}

DebugOutputRecorder::DebugOutputRecorder(HMODULE module)
    : ImportPatch(module, "kernel32.dll", "OutputDebugStringW", reinterpret_cast<void*>(&Record))
{
    outputRecorders.push_back(this);
}

DebugOutputRecorder::~DebugOutputRecorder()
{
    outputRecorders.erase(std::find(outputRecorders.begin(), outputRecorders.end(), this));
}

void WINAPI DebugOutputRecorder::Record(LPCWSTR text)
{
    outputRecorders.back()->lines.push_back(text != nullptr ? text : L"");
}

Session::Session(const std::wstring& libraryPath, void* mainWindow, int quiet,
                 const std::vector<Redirect>& redirects)
    : library(libraryPath), boxes(library.Module()),
      offline(library.Module(), "ws2_32.dll", "gethostbyname", reinterpret_cast<void*>(&NoSuchHost)),
      host(mainWindow)
{
    for (const Redirect& redirect : redirects) {
        redirected.push_back(std::make_unique<ImportPatch>(library.Module(), redirect.dll, redirect.function,
                                                           redirect.replacement));
        if (!redirected.back()->Installed())
            throw std::runtime_error(std::string("the library does not import ") + redirect.function);
    }
    initializeResult = library.Call("Initialize", host.MV(), quiet);
    if (initializeResult == 0)
        library.Call("GetRunObjectInfos", host.MV(), &runInfo);
    // The host hands every object its edit-time data, whose first word is its total size; the library
    // does not read it at run time.
    const std::uint32_t size = std::max<std::uint32_t>(runInfo.editDataSize, sizeof(EDITDATA));
    editData.assign(size / 4 + 1, 0);
    editData[0] = size;
}

Session::~Session()
{
    // A destructor must not throw: exports that are missing are left out.
    if (auto destroy = library.Export<DestroyRunObjectFn>("DestroyRunObject", false))
        for (RUNDATA* rd : objects)
            destroy(rd, 0);
    if (auto free = library.Export<FreeFn>("Free", false))
        free(host.MV());
}

RUNDATA* Session::CreateObject()
{
    RUNDATA* rd = host.NewObject();
    library.Call("CreateRunObject", rd, reinterpret_cast<EDITDATA*>(editData.data()), nullptr);
    objects.push_back(rd);
    return rd;
}

void Session::DestroyObject(RUNDATA* rd)
{
    library.Call("DestroyRunObject", rd, 0);
    objects.erase(std::remove(objects.begin(), objects.end(), rd), objects.end());
}

std::int32_t Session::Call(const char* kind, void* table, std::uint16_t count, RUNDATA* rd, int id,
                           const std::vector<Arg>& args)
{
    if (table == nullptr || id < 0 || id >= count)
        throw std::out_of_range(std::string(kind) + " id " + std::to_string(id) +
                                " is outside the jump table of " + std::to_string(count));
    rd->rHo.eventNumber = static_cast<std::uint32_t>(id);
    rd->rHo.resultFlags = 0;
    host.DropParams();
    std::int32_t result;
    if (table == runInfo.expressions) {
        host.QueueExpressionParams(args);
        result = static_cast<ExpressionRoutine*>(table)[id](rd, 0);
    } else {
        host.QueueActionParams(args);
        const auto param = [&](std::size_t i) {
            return static_cast<std::int32_t>(i < args.size() ? host.ValueOf(args[i]) : 0);
        };
        result = static_cast<ActionRoutine*>(table)[id](rd, param(0), param(1));
    }
    host.DropParams();
    return result;
}

std::wstring Session::ExpressionText(RUNDATA* rd, int id, const std::vector<Arg>& args)
{
    auto text = reinterpret_cast<const wchar_t*>(static_cast<std::uintptr_t>(Expression(rd, id, args)));
    if (text == nullptr)
        throw std::runtime_error("expression " + std::to_string(id) + " answered a null text");
    return text;
}

} // namespace TestHost
