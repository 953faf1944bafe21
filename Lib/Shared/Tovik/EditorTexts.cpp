// The editor's texts and records of actions, conditions and expressions, the object's information and
// its help file, all read from the current language of the definition.
#include "../Polvane/TextConversion.h"
#include "Boundary.h"
#include "Exports.h"
#include "SDK.h"
#include "Startup.h"
#include "json/json.h"

#include <string>
#include <vector>

namespace {

// Host buffers of the object's information and the help file name.
constexpr std::size_t InfoBufferSize = 260;
wchar_t helpFileName[InfoBufferSize];

// The host's buffer sizes are 16-bit: none at all leaves the buffer untouched.
void WriteText(const char* text, wchar_t* buffer, std::int16_t max)
{
    if (max > 0)
        Tovik::UTF8ToWideBuffer(buffer, text, static_cast<std::size_t>(max));
}

const json_value& Item(const char* arrayKey, std::int16_t code) { return Polvane::CurLang()[arrayKey][code]; }

void WriteTitle(const char* arrayKey, std::int16_t code, wchar_t* buffer, std::int16_t max)
{
    WriteText(Item(arrayKey, code)["Title"], buffer, max);
}

// Element 1 of a parameter is its display name.
void WriteParamName(const char* arrayKey, std::int16_t code, std::int16_t param, wchar_t* buffer,
                    std::int16_t max)
{
    WriteText(Item(arrayKey, code)["Parameters"][param][1], buffer, max);
}

// The host's part of a record; an index the records do not have answers null, and so does every index
// before a state object exists (Initialize not called, or failed).
void* HostRecordOf(const std::vector<ACEInfo*> Tovik::SDK::*infos, std::int16_t code)
{
    if (::SDK == nullptr)
        return nullptr;
    const std::vector<ACEInfo*>& list = ::SDK->*infos;
    if (code < 0 || static_cast<std::size_t>(code) >= list.size())
        return nullptr;
    return list[static_cast<std::size_t>(code)]->HostRecord();
}

std::uint32_t CodeFromMenu(std::uint16_t menuId, int base)
{
    return static_cast<std::uint16_t>(menuId - base);
}

// The definition is laid out as Identifier, Dependencies, then the languages: the third member is the
// first language. A root without one, or no definition yet, gives no name.
const json_value& ThirdRootMember()
{
    if (::SDK == nullptr)
        return json_value_none;
    const json_value& root = *::SDK->Root;
    if (root.type != json_object || root.u.object.length < 3)
        return json_value_none;
    return *root.u.object.values[2].value;
}

} // namespace

HOST_EXPORT std::uint32_t HOST_STDCALL GetActionCodeFromMenu(::mV*, std::uint16_t menuId)
{
    return Tovik::Guard("GetActionCodeFromMenu", 0u,
                        [&] { return CodeFromMenu(menuId, Tovik::ActionID(0)); });
}

HOST_EXPORT std::uint32_t HOST_STDCALL GetConditionCodeFromMenu(::mV*, std::uint16_t menuId)
{
    return Tovik::Guard("GetConditionCodeFromMenu", 0u,
                        [&] { return CodeFromMenu(menuId, Tovik::ConditionID(0)); });
}

HOST_EXPORT std::uint32_t HOST_STDCALL GetExpressionCodeFromMenu(::mV*, std::uint16_t menuId)
{
    return Tovik::Guard("GetExpressionCodeFromMenu", 0u,
                        [&] { return CodeFromMenu(menuId, Tovik::ExpressionID(0)); });
}

HOST_EXPORT void* HOST_STDCALL GetActionInfos(::mV*, std::int16_t code)
{
    return Tovik::Guard("GetActionInfos", nullptr,
                        [&] { return HostRecordOf(&Tovik::SDK::ActionInfos, code); });
}

HOST_EXPORT void* HOST_STDCALL GetConditionInfos(::mV*, std::int16_t code)
{
    return Tovik::Guard("GetConditionInfos", nullptr,
                        [&] { return HostRecordOf(&Tovik::SDK::ConditionInfos, code); });
}

HOST_EXPORT void* HOST_STDCALL GetExpressionInfos(::mV*, std::int16_t code)
{
    return Tovik::Guard("GetExpressionInfos", nullptr,
                        [&] { return HostRecordOf(&Tovik::SDK::ExpressionInfos, code); });
}

HOST_EXPORT void HOST_STDCALL GetActionString(::mV*, std::int16_t code, wchar_t* buffer, std::int16_t max)
{
    Tovik::GuardVoid("GetActionString", [&] { WriteTitle("Actions", code, buffer, max); });
}

HOST_EXPORT void HOST_STDCALL GetConditionString(::mV*, std::int16_t code, wchar_t* buffer, std::int16_t max)
{
    Tovik::GuardVoid("GetConditionString", [&] { WriteTitle("Conditions", code, buffer, max); });
}

HOST_EXPORT void HOST_STDCALL GetExpressionString(::mV*, std::int16_t code, wchar_t* buffer, std::int16_t max)
{
    Tovik::GuardVoid("GetExpressionString", [&] { WriteTitle("Expressions", code, buffer, max); });
}

// The expression editor shows the title followed by the parameters, so it always opens a bracket.
HOST_EXPORT void HOST_STDCALL GetExpressionTitle(::mV*, std::int16_t code, wchar_t* buffer, std::int16_t max)
{
    Tovik::GuardVoid("GetExpressionTitle", [&] {
        std::string title = static_cast<const char*>(Item("Expressions", code)["Title"]);
        if (title.empty() || title.back() != '(')
            title += '(';
        WriteText(title.c_str(), buffer, max);
    });
}

HOST_EXPORT void HOST_STDCALL GetActionTitle(::mV*, std::int16_t code, std::int16_t param, wchar_t* buffer,
                                             std::int16_t max)
{
    Tovik::GuardVoid("GetActionTitle", [&] { WriteParamName("Actions", code, param, buffer, max); });
}

HOST_EXPORT void HOST_STDCALL GetConditionTitle(::mV*, std::int16_t code, std::int16_t param, wchar_t* buffer,
                                                std::int16_t max)
{
    Tovik::GuardVoid("GetConditionTitle", [&] { WriteParamName("Conditions", code, param, buffer, max); });
}

HOST_EXPORT void HOST_STDCALL GetExpressionParam(::mV*, std::int16_t code, std::int16_t param,
                                                 wchar_t* buffer, std::int16_t max)
{
    Tovik::GuardVoid("GetExpressionParam", [&] { WriteParamName("Expressions", code, param, buffer, max); });
}

HOST_EXPORT void HOST_STDCALL GetObjInfos(::mV* mV, std::int32_t, wchar_t* name, wchar_t* author,
                                          wchar_t* copyright, wchar_t* comment, wchar_t* url)
{
    Tovik::GuardVoid("GetObjInfos", [&] {
        const json_value& about = Polvane::CurLang()["About"];
        Tovik::UTF8ToWideBuffer(author, about["Author"], InfoBufferSize);
        Tovik::UTF8ToWideBuffer(copyright, about["Copyright"], InfoBufferSize);
        Tovik::UTF8ToWideBuffer(url, about["URL"], InfoBufferSize);
        // Asked without a full editor record, the object goes by the name of the definition's first language,
        // whichever language is current.
        const bool ownLanguage = mV != nullptr && mV->word04 != 0;
        const json_value& nameSource = ownLanguage ? about : ThirdRootMember()["About"];
        Tovik::UTF8ToWideBuffer(name, nameSource["Name"], InfoBufferSize);
        Tovik::UTF8ToWideBuffer(comment, about["Comment"], InfoBufferSize);
    });
}

HOST_EXPORT const wchar_t* HOST_STDCALL GetHelpFileName()
{
    return Tovik::Guard("GetHelpFileName", nullptr, [&] {
        return Tovik::UTF8ToWideBuffer(helpFileName, Polvane::CurLang()["About"]["Help"], InfoBufferSize);
    });
}
