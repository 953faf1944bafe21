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

json_value* ParseDefinition(const std::string& text)
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    std::memcpy(copy, text.c_str(), text.size() + 1);
    json_settings settings = {};
    char error[256] = {};
    json_value* root = json_parse_ex(&settings, copy, text.size(), error, sizeof error);
    EXPECT_NE(root, nullptr) << error;
    return root;
}

Tovik::SDK* BuildState(const std::string& definition)
{
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    ::SDK = nullptr;
    return new Tovik::SDK(nullptr, ParseDefinition(definition));
}

} // namespace InProcess
