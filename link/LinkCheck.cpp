#include "LinkCheck.h"

#include "../Lib/Shared/Polvane/JSONValues.h"
#include "../Lib/Shared/Polvane/MsgBox.h"
#include "../Lib/Shared/Polvane/TextConversion.h"
#include "../json/json.h"

namespace Linking {
namespace {

// A root member is a language when it is an object with an About Name text; the identifier and
// dependency texts at the top of the document are not.
bool IsLanguage(const json_value& value)
{
    return value.type == json_object && value["About"]["Name"].type == json_string;
}

} // namespace

const char* ExpectedTypeText(CppType type)
{
    switch (type) {
    case CppType::Int:
        return "int";
    case CppType::UnsignedInt:
        return "unsigned int";
    case CppType::Float:
        return "float";
    case CppType::Text:
        return "const TCHAR *";
    case CppType::RunObjectPointer:
        return "RunObject *";
    default:
        return "<unknown>";
    }
}

std::string TypeText(const MemberType& type)
{
    const static_string name = type.name();
    return std::string(name.begin(), name.end());
}

Tovik::LinkFindings CheckEveryLanguage(const json_value& root, const LanguageSteps& steps)
{
    Tovik::LinkFindings findings;
    if (root.type == json_object) {
        for (std::uint32_t i = 0; i < root.u.object.length; ++i) {
            const json_object_entry& member = root.u.object.values[i];
            if (!IsLanguage(*member.value)) {
                continue;
            }
            if (steps(member.name, *member.value, findings) == Walk::Leave) {
                break;
            }
        }
    }
    return findings;
}

void ShowFindings(const Tovik::LinkFindings& findings, const wchar_t* boxTitle)
{
    for (const Tovik::UnknownTypeName& name : findings.unknownNames) {
        Tovik::ShowUnknownTypeName(name);
    }
    if (!findings.report.empty()) {
        Polvane::MsgBox::Error(boxTitle, L"%s",
                               Polvane::MsgBox::FitText(Polvane::UTF8ToTString(findings.report)).c_str());
    }
}

void Link(std::vector<Tovik::MemberCall>& functions, std::vector<Tovik::LinkFindings>& findings,
          std::uint32_t ID, Tovik::MemberCall member, const SignatureTypes& signature, Check check,
          const wchar_t* boxTitle)
{
    if (ID >= functions.size() || ID >= findings.size()) {
        ShowFindings(check(*::SDK->Root, ID, signature), boxTitle);
        return;
    }
    Tovik::LinkFindings& kept = findings[ID];
    if (kept.member != member) {
        kept = check(*::SDK->Root, ID, signature);
        kept.member = member;
    }
    ShowFindings(kept, boxTitle);
    functions[ID] = member;
}

const json_value* FindItem(const json_value& language, const char* arrayName, std::uint32_t ID)
{
    const json_value& items = language[arrayName];
    if (items.type != json_array || ID >= items.u.array.length) {
        return nullptr;
    }
    return items.u.array.values[ID];
}

std::string LinkErrorStart(const char* languageName, const char* kind, std::uint32_t ID)
{
    return std::string(languageName) + ": error in linking " + kind + " ID " + std::to_string(ID);
}

std::string ItemTitle(const json_value& item) { return static_cast<const char*>(item["Title"]); }

std::int32_t ParameterCount(const json_value& item, bool useAutoProps)
{
    const json_value& autoProps = item["NumAutoProps"];
    if (useAutoProps && autoProps.type == json_integer) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(autoProps.u.integer));
    }
    return static_cast<std::int32_t>(Polvane::ArrayLength(item["Parameters"]));
}

void PutHeaderInFront(std::string& report, const std::string& header)
{
    report = header + report;
    report.resize(report.size() - 2);
}

} // namespace Linking
