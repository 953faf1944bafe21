#include "InProcess.h"

#include "Lib/Shared/Host/Seam.h"
#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace InProcess {
namespace {

BoxRecorder* activeRecorder = nullptr;

int WINAPI RecordBox(HWND owner, LPCWSTR text, LPCWSTR title, UINT style)
{
    activeRecorder->boxes.push_back({title, text, style, owner});
    return activeRecorder->answer;
}

} // namespace

BoxRecorder::BoxRecorder() : saved(reinterpret_cast<void*>(Host::Seam.MessageBoxW))
{
    activeRecorder = this;
    Host::Seam.MessageBoxW = RecordBox;
}

BoxRecorder::~BoxRecorder()
{
    Host::Seam.MessageBoxW = reinterpret_cast<decltype(Host::Seam.MessageBoxW)>(saved);
    activeRecorder = nullptr;
}

RunningAs::RunningAs(Polvane::MFXRunMode mode)
    : savedRunMode(Polvane::RunMode), savedMainThread(Polvane::MainThreadID), savedOwner(Polvane::OwnerWindow)
{
    Polvane::RunMode = mode;
    Polvane::MainThreadID = GetCurrentThreadId();
}

RunningAs::~RunningAs()
{
    Polvane::RunMode = savedRunMode;
    Polvane::MainThreadID = savedMainThread;
    Polvane::OwnerWindow = savedOwner;
}

json_value* ParseDefinition(const std::string& text, const std::string& label)
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    json_settings settings = {};
    char error[256] = {};
    json_value* root = json_parse_ex(&settings, copy, text.size(), error, sizeof error);
    if (root == nullptr)
        ADD_FAILURE() << label << (label.empty() ? "" : ": ") << "definition does not parse: " << error
                      << "\n"
                      << text;
    return root;
}

Tovik::SDK* BuildState(const std::string& definition)
{
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    ::SDK = nullptr;
    return new Tovik::SDK(nullptr, ParseDefinition(definition));
}

std::filesystem::path SystemLibrary()
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    return std::filesystem::path(system) / L"version.dll";
}

LibraryCopy::LibraryCopy(const TestHost::TempTree& tree, const std::wstring& relative,
                         const std::filesystem::path& from)
    : path(tree.Copy(from, relative)), library(path.wstring()), savedModule(Polvane::ModuleHandle)
{
    Polvane::ModuleHandle = library.Module();
}

LibraryCopy::~LibraryCopy() { Polvane::ModuleHandle = savedModule; }

} // namespace InProcess
