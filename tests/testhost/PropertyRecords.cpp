#include "PropertyRecords.h"

#include "Session.h"
#include "TempTree.h"

#include <algorithm>

namespace TestHost {

HostValue::HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> values) : classID(classID)
{
    std::copy(values.begin(), values.begin() + std::min<std::size_t>(values.size(), 3), words);
}

HostValue::HostValue(std::uint32_t classID, const std::wstring& text) : classID(classID), wideText(text)
{
    words[1] = std::uint32_t(reinterpret_cast<std::uintptr_t>(wideText.c_str()));
}

HostValue::HostValue(std::uint32_t classID, const std::string& text) : classID(classID), ansiText(text)
{
    words[1] = std::uint32_t(reinterpret_cast<std::uintptr_t>(ansiText.c_str()));
}

EditorSession::EditorSession(const std::string& properties) : tree(std::make_unique<TempTree>())
{
    tree->Write(L"Polvane.ini", "DisableUpdateCheckFor=*\r\n");
    std::wstring library = BuiltLibraryPath();
    if (!properties.empty()) {
        tree->Write(L"Morvalex.json", PropertyDefinition(properties));
        library = tree->Copy(library, L"Morvalex.mfx").wstring();
    }
    session = std::make_unique<Session>(library, GetDesktopWindow());
    if (session->InitializeResult() != 0)
        throw std::runtime_error("the library did not start");
    session->Boxes().Clear();
}

EditorSession::~EditorSession() { session.reset(); }
Host& EditorSession::TheHost() { return session->TheHost(); }
::mV* EditorSession::MV() { return session->TheHost().MV(); }
const HostRunInfo& EditorSession::RunInfo() { return session->RunInfo(); }
void* EditorSession::Export(const char* name) { return session->Lib().Export<void*>(name); }

std::wstring EditorSession::Boxes()
{
    const std::wstring shown = Shown(session->Boxes().Boxes());
    session->Boxes().Clear();
    return shown;
}

std::string PropertyDefinition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": )" + properties + "}}";
}

std::wstring Shown(const std::vector<RecordedBox>& boxes)
{
    std::wstring shown;
    for (const RecordedBox& box : boxes) {
        const unsigned icon = box.style & MB_ICONMASK;
        const std::size_t suffix = box.title.rfind(L" - Morvalex");
        shown += (shown.empty() ? L"" : L" ## ") +
                 std::wstring(1, icon <= 0x40 ? L"-EQWI"[icon >> 4] : L'?') + L" " +
                 box.title.substr(0, suffix) + L": " + box.text;
    }
    return shown;
}

} // namespace TestHost
