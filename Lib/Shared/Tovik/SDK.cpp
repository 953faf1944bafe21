#include "SDK.h"

#include "../Host/SurfaceLibrary.h"
#include "../Polvane/Globals.h"
#include "../Polvane/JSONValues.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/PropertyDefinitions.h"
#include "../Polvane/TextConversion.h"
#include "../Polvane/UpdateCheck.h"
#include "CallPath.h"
#include "EditorMenus.h"
#include "Icon.h"
#include "Startup.h"
#include "json/json.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace {

struct TypeName {
    const char* name;
    std::uint16_t code;
    bool isFloat;
};

constexpr TypeName ParamsTable[] = {
    {"Text", 45, false},
    {"String", 45, false},
    {"Filename", 40, false},
    {"File", 40, false},
    {"Float", 22, true},
    {"Integer", 22, false},
    {"Unsigned Integer", 22, false},
    {"Object", 1, false},
    {"Time", 2, false},
    {"Position", 8, false},
    {"Create", 9, false},
    {"SysCreate", 20, false},
    {"Animation", 10, false},
    {"Nop", 11, false},
    {"Player", 12, false},
    {"Every", 13, false},
    {"Key", 14, false},
    {"Speed", 15, false},
    {"JoyDirection", 17, false},
    {"Shoot", 18, false},
    {"Zone", 19, false},
    {"Comparison", 23, false},
    {"StringComparison", 46, false},
    {"Colour", 24, false},
    {"Color", 24, false},
    {"Frame", 26, false},
    {"SampleLoop", 27, false},
    {"MusicLoop", 28, false},
    {"NewDirection", 29, false},
    {"TextNumber", 30, false},
    {"Click", 31, false},
    {"Program", 33, false},
};

constexpr TypeName ExpParamsTable[] = {
    {"Text", 3, false},    {"String", 3, false},           {"Float", 1, true},
    {"Integer", 1, false}, {"Unsigned Integer", 1, false},
};

constexpr TypeName ExpReturnTypeTable[] = {
    {"Integer", 0, false}, {"Float", 2, false}, {"Text", 1, false},
    {"String", 1, false},  {"Short", 0, false}, {"Unsigned Integer", 0, false},
};

template <std::size_t N> const TypeName* FindType(const TypeName (&table)[N], const char* name)
{
    for (const TypeName& entry : table)
        if (_stricmp(entry.name, name) == 0)
            return &entry;
    return nullptr;
}

// A name that matched nothing gives code 0: shown now, or kept for the caller to show.
std::uint16_t Unknown(Tovik::UnknownTypeName name, std::vector<Tovik::UnknownTypeName>* unknown)
{
    if (unknown != nullptr)
        unknown->push_back(std::move(name));
    else
        Tovik::ShowUnknownTypeName(name);
    return 0;
}

// What differs between the three kinds of record.
struct Kind {
    const char* arrayKey;
    std::vector<ACEInfo*> Tovik::SDK::*infos;
    std::vector<Tovik::CallPlan> Tovik::SDK::*plans;
    std::vector<Tovik::LinkFindings> Tovik::SDK::*findings;
    const wchar_t* readTitle;
    const wchar_t* notObject;
    const wchar_t* tooMany;
    const wchar_t* createTitle;
    const wchar_t* noMemory;
    bool isCondition;
    bool isExpression;
};

const Kind ActionKind = {"Actions",
                         &Tovik::SDK::ActionInfos,
                         &Tovik::SDK::ActionPlans,
                         &Tovik::SDK::ActionFindings,
                         L"Error reading action JSON",
                         L"Invalid JSON reference for action ID %zu, expected object.",
                         L"Too many parameters in action ID %zu.",
                         L"Error creating action info",
                         L"Could not allocate memory for action ID %zu return.",
                         false,
                         false};
const Kind ConditionKind = {"Conditions",
                            &Tovik::SDK::ConditionInfos,
                            &Tovik::SDK::ConditionPlans,
                            &Tovik::SDK::ConditionFindings,
                            L"Error reading condition JSON",
                            L"Invalid JSON reference for condition ID %zu, expected a JSON object.",
                            L"Too many parameters in condition ID %zu.",
                            L"Error creating condition info",
                            L"Could not allocate memory for condition ID %zu return.",
                            true,
                            false};
const Kind ExpressionKind = {"Expressions",
                             &Tovik::SDK::ExpressionInfos,
                             &Tovik::SDK::ExpressionPlans,
                             &Tovik::SDK::ExpressionFindings,
                             L"Error reading expression JSON",
                             L"Invalid JSON reference for expression ID %zu, expected a JSON object.",
                             L"Too many JSON parameters in expression ID %zu.",
                             L"Error creating expression info",
                             L"Could not allocate memory for expression ID %zu return.",
                             false,
                             true};

using OwnedRecord = std::unique_ptr<ACEInfo, decltype(&std::free)>;

// Appends a record, with its plan and a place for its link findings; the table owns the record from
// here. A failure to append leaves the record to its owner.
void Append(const Kind& kind, OwnedRecord record, const Tovik::CallPlan& plan)
{
    Tovik::SDK& state = *::SDK;
    (state.*kind.infos).push_back(record.get());
    record.release();
    (state.*kind.plans).push_back(plan);
    (state.*kind.findings).emplace_back();
}

// A failed item still gets a record of no parameters, so that every id below the array's count has
// one and later items keep their own ids; its call reads nothing.
void AppendPlaceholder(const Kind& kind, std::size_t idx)
{
    OwnedRecord placeholder(Tovik::AllocACEInfo(0), &std::free);
    if (placeholder == nullptr)
        throw std::bad_alloc();
    placeholder->ID = static_cast<std::uint16_t>(idx);
    Append(kind, std::move(placeholder), Tovik::CallPlan());
}

// "NumAutoProps" replaces the record's count, within what the record and the argument list hold.
std::uint8_t ArgCount(const json_value& item, std::uint32_t n)
{
    const json_value& autoProps = item["NumAutoProps"];
    if (autoProps.type != json_integer)
        return static_cast<std::uint8_t>(n);
    const auto wanted = static_cast<std::int32_t>(autoProps.u.integer);
    if (wanted < 0)
        return 0;
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(wanted) < n ? wanted : n);
}

bool BuildInfo(const Kind& kind)
{
    const std::size_t idx = (::SDK->*kind.infos).size();
    const json_value& definition = Polvane::CurLang()[kind.arrayKey][static_cast<int>(idx)];
    if (definition.type != json_object) {
        Polvane::MsgBox::Error(kind.readTitle, kind.notObject, idx);
        AppendPlaceholder(kind, idx);
        return false;
    }
    const json_value& params = definition["Parameters"];
    const std::uint32_t n = Polvane::ArrayLength(params);
    if (n > Tovik::MaxParams) {
        Polvane::MsgBox::Error(kind.readTitle, kind.tooMany, idx);
        AppendPlaceholder(kind, idx);
        return false;
    }
    OwnedRecord owned(Tovik::AllocACEInfo(n), &std::free);
    ACEInfo* record = owned.get();
    if (record == nullptr) {
        Polvane::MsgBox::Error(kind.createTitle, kind.noMemory, idx);
        AppendPlaceholder(kind, idx);
        return false;
    }
    record->ID = static_cast<std::uint16_t>(idx);
    record->NumOfParams = static_cast<std::uint16_t>(n);
    if (kind.isCondition) {
        const json_value& triggered = definition["Triggered"];
        record->FlagsOrReturnType = (triggered.type == json_boolean && triggered.u.boolean) ? 0 : 0x0220;
    } else if (kind.isExpression) {
        record->FlagsOrReturnType = Tovik::ReadExpressionReturnType(definition["Returns"]);
    }
    for (std::uint32_t i = 0; i < n; ++i) {
        bool isFloat = false;
        const char* type = params[static_cast<int>(i)][0];
        record->Parameter[i] = kind.isExpression ? Tovik::ReadExpressionParameterType(type, &isFloat)
                                                 : Tovik::ReadParameterType(type, &isFloat);
        if (isFloat)
            record->FloatFlags |= static_cast<std::uint16_t>(1u << i);
    }
    const std::uint8_t count = ArgCount(definition, n);
    const Tovik::CallPlan plan = kind.isExpression
                                     ? Tovik::PlanExpression(*record, count)
                                     : Tovik::PlanActionOrCondition(*record, count, kind.isCondition);
    Append(kind, std::move(owned), plan);
    return true;
}

// The jump table of a kind, one routine per item and a null end; then per item a function table entry
// waiting for its member, and the record its builder makes.
template <typename Routine>
void BuildKind(Routine*& jumpTable, Routine routine, std::vector<Tovik::MemberCall>& functions,
               std::size_t count, bool (*build)())
{
    jumpTable = new Routine[count + 1];
    for (std::size_t i = 0; i < count; ++i)
        jumpTable[i] = routine;
    jumpTable[count] = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        functions.push_back(nullptr);
        build();
    }
}

void CheckTemplateDefaults(const json_value& about)
{
    const auto isPlaceholder = [&about](const char* key, std::string_view placeholder) {
        return Polvane::EqualsIgnoringCase(static_cast<const char*>(about[key]), placeholder);
    };
    bool unedited = isPlaceholder("Name", "Polvane Template") || isPlaceholder("Author", "Your Name") ||
                    isPlaceholder("Comment", "A sentence or two to describe your extension") ||
                    isPlaceholder("Help", "Help/Example.chm") ||
                    isPlaceholder("URL", "https://www.example.com/");
    if (!unedited) {
        const std::string copyright = Polvane::LowerASCII(static_cast<const char*>(about["Copyright"]));
        unedited = copyright.find("by your name") != std::string::npos;
    }
    if (unedited)
        Polvane::MsgBox::WarningOK(
            L"Polvane SDK warning",
            L"Template properties are unedited in %s's JSON file. Please amend them.\n\nYou need to update "
            L"the "
            L"About section of your JSON file. Make sure to do it for all languages in the JSON.",
            Polvane::ProjectName.c_str());
}

// Steps of the constructor that read the current language: jump tables, records, property table,
// menus and the template check.
void BuildFromLanguage(Tovik::SDK& state)
{
    const json_value& lang = Polvane::CurLang();
    if (lang.type != json_object) {
        Polvane::MsgBox::Error(L"Internal JSON error",
                               L"The JSON parser could not find a JSON object to use for current language.");
        return;
    }
    BuildKind(state.ActionJumpTable, &Tovik::Action, state.ActionFunctions,
              Polvane::ArrayLength(lang["Actions"]), Tovik::BuildActionInfo);
    BuildKind(state.ConditionJumpTable, &Tovik::Condition, state.ConditionFunctions,
              Polvane::ArrayLength(lang["Conditions"]), Tovik::BuildConditionInfo);
    BuildKind(state.ExpressionJumpTable, &Tovik::Expression, state.ExpressionFunctions,
              Polvane::ArrayLength(lang["Expressions"]), Tovik::BuildExpressionInfo);

    Polvane::ParsePropertiesFromJSON();

    Tovik::BuildEditorMenus(lang);

    CheckTemplateDefaults(lang["About"]);
}

// What the object owns beside its vectors, for the destructor and for a construction that failed.
void Release(Tovik::SDK& state)
{
    if (::SDK == &state) {
        ::SDK = nullptr;
        Polvane::ForgetCurrentLanguage();
    }
    json_value_free(state.Root);
    delete[] state.ActionJumpTable;
    delete[] state.ConditionJumpTable;
    delete[] state.ExpressionJumpTable;
    delete state.Icon;
    for (auto* infos : {&state.ExpressionInfos, &state.ConditionInfos, &state.ActionInfos})
        for (ACEInfo* record : *infos)
            std::free(record);
}

} // namespace

namespace Tovik {

SDK::SDK(::mV* mV, json_value* root)
    : Root(root), ActionJumpTable(nullptr), ConditionJumpTable(nullptr), ExpressionJumpTable(nullptr), mV(mV),
      PropertyTitlesHash(0), PropertyTypesHash(0), Icon(nullptr)
{
    // The builders and the current-language lookup reach this object through ::SDK.
    if (::SDK == nullptr)
        ::SDK = this;

    try {
        // The editor icon belongs to the editor interface.
        Icon = BuildIcon(mV);
        BuildFromLanguage(*this);
    } catch (...) {
        // The exception leaves Initialize: what was built goes, and no half-built object stays reachable,
        // so that a later Initialize can build afresh.
        Release(*this);
        throw;
    }

    // Started last: an object that failed to build has left no worker behind, whose handle would make
    // the next attempt's start fail.
    if (Polvane::RunMode == Polvane::MFXRunMode::Editor)
        Polvane::StartUpdateCheck();
}

SDK::~SDK() { Release(*this); }

ACEInfo* AllocACEInfo(std::uint32_t n)
{
    return static_cast<ACEInfo*>(std::calloc(1, 8 + 4 * static_cast<std::size_t>(n)));
}

bool BuildActionInfo() { return BuildInfo(ActionKind); }
bool BuildConditionInfo() { return BuildInfo(ConditionKind); }
bool BuildExpressionInfo() { return BuildInfo(ExpressionKind); }

std::uint16_t ReadParameterType(const char* name, bool* isFloat, std::vector<UnknownTypeName>* unknown)
{
    if (const TypeName* found = FindType(ParamsTable, name)) {
        if (found->isFloat)
            *isFloat = true;
        return found->code;
    }
    if (_strnicmp(name, "Custom", 6) == 0)
        return static_cast<std::uint16_t>(1000 +
                                          static_cast<std::int16_t>(std::strtol(name + 6, nullptr, 10)));
    return Unknown({TypeTable::Params, name}, unknown);
}

std::uint16_t ReadExpressionParameterType(const char* name, bool* isFloat,
                                          std::vector<UnknownTypeName>* unknown)
{
    if (const TypeName* found = FindType(ExpParamsTable, name)) {
        if (found->isFloat)
            *isFloat = true;
        return found->code;
    }
    return Unknown({TypeTable::ExpParams, name}, unknown);
}

std::uint16_t ReadExpressionReturnType(const char* name, std::vector<UnknownTypeName>* unknown)
{
    if (const TypeName* found = FindType(ExpReturnTypeTable, name))
        return found->code;
    return Unknown({TypeTable::ExpReturnType, name}, unknown);
}

void ShowUnknownTypeName(const UnknownTypeName& unknown)
{
    static constexpr const wchar_t* boxes[][2] = {
        {L"Polvane Params error",
         L"Error reading parameter type \"%s\", couldn't match it to a Params value."},
        {L"Polvane ExpParams error",
         L"Error reading expression parameter type \"%s\", couldn't match it to a ExpParams value."},
        {L"Polvane ExpReturnType error",
         L"Error reading expression return type \"%s\", couldn't match it to a ExpReturnType value."},
    };
    const auto* box = boxes[static_cast<std::size_t>(unknown.table)];
    Polvane::MsgBox::Error(box[0], box[1], Polvane::UTF8ToTString(unknown.name).c_str());
}

} // namespace Tovik
