#include "CallPath.h"

#include "../Polvane/Globals.h"
#include "../Polvane/Log.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/TextConversion.h"
#include "../Tovik.Runtime/Runtime.h"
#include "Boundary.h"
#include "ObjectLife.h"
#include "Startup.h"
#include "extension/Extension.h"
#include "json/json.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Tovik::CallHost;
using Tovik::CallPlan;
using Tovik::MemberCall;
using Tovik::ParamRead;

// Params codes.
constexpr std::uint16_t ObjectCode = 1;
constexpr std::uint16_t TimeCode = 2;
constexpr std::uint16_t NumberCode = 22;
constexpr std::uint16_t ComparisonCode = 23;
constexpr std::uint16_t AlternateComparisonCode = 42;
constexpr std::uint16_t NewDirectionCode = 29;
constexpr std::uint16_t FilenameCode = 40;
constexpr std::uint16_t TextCode = 45;
constexpr std::uint16_t StringComparisonCode = 46;

// ExpParams and ExpReturnType codes.
constexpr std::int16_t ExpressionNumberCode = 1;
constexpr std::int16_t ExpressionTextCode = 3;
constexpr std::uint16_t ReturnsText = 1;
constexpr std::uint16_t ReturnsFloat = 2;

float AsFloat(std::uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

std::uint32_t Bits(float f)
{
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

std::wstring ItemTitle(const char* arrayKey, std::uint32_t id)
{
    return Polvane::UTF8ToTString(
        static_cast<const char*>(Polvane::CurLang()[arrayKey][static_cast<int>(id)]["Title"]));
}

// The failure reports stay out of the call path's own frame: they are the rare case.
[[gnu::noinline, gnu::cold]] void ReportExpressionParameter(std::uint32_t id, int i, const wchar_t* problem,
                                                            std::int16_t code = 0)
{
    std::wstring format = L"Error calling expression \"%s\" (ID %i); parameter index %i ";
    format += problem;
    Polvane::MsgBox::Error(L"Tovik::Expression() error", format.c_str(), ItemTitle("Expressions", id).c_str(),
                           static_cast<int>(id), i, code);
}

[[gnu::noinline, gnu::cold]] void ReportNullText(bool isCondition, std::uint32_t id, int i)
{
    const wchar_t* kind = isCondition ? L"condition" : L"action";
    Polvane::MsgBox::Error(
        L"ActionOrCondition() error",
        L"Error calling %s \"%s\" (ID %i); text parameter index %i was given a null string "
        L"pointer.\nWas the parameter type different when the %s was created in the MFA?",
        kind, ItemTitle(isCondition ? "Conditions" : "Actions", id).c_str(), static_cast<int>(id), i, kind);
}

// The fallbacks of ids without a member, out of the routines' way. Like every rare path here they find
// the id themselves, so that the routines need not keep it.
[[gnu::noinline, gnu::cold]] void UnlinkedAction(Extension* ext, RUNDATA* rdPtr)
{
    ext->UnlinkedAction(static_cast<int>(Tovik::GetEventNumber(rdPtr)));
}

[[gnu::noinline, gnu::cold]] std::int32_t UnlinkedCondition(Extension* ext, RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    Polvane::MsgBox::Error(
        L"Condition linking error",
        id < ::SDK->ConditionFunctions.size()
            ? L"Missing condition ID %d in extension %s. Condition existed in vector, but was "
              L"NULL. Might not be linked."
            : L"Missing condition ID %d in extension %s. This ID was not linked in Extension "
              L"ctor with LinkCondition().",
        static_cast<int>(id), Polvane::ProjectName.c_str());
    return ext->UnlinkedCondition(static_cast<int>(id));
}

// The member linked to id, or null when the table has none there.
MemberCall LinkedMember(const std::vector<MemberCall>& functions, std::uint32_t id)
{
    return id < functions.size() ? functions[id] : nullptr;
}

bool RefusesNull(const CallPlan& plan, int i, std::uint32_t value)
{
    return value == 0 && ((plan.refusesNull >> i) & 1) != 0;
}

// A NewDirection parameter, when the reader asks the host: rare, so out of line, and given what it
// needs rather than the reader, which then stays in registers.
[[gnu::noinline]] std::int32_t NewDirection(RUNDATA* rdPtr)
{
    // A direction chosen in the event editor is stored in the parameter record itself.
    const EventParam* param = rdPtr->rHo.currentParam;
    if (param != nullptr && param->code == NewDirectionCode) {
        std::int32_t stored;
        std::memcpy(&stored, param->value16, sizeof stored);
        return stored;
    }
    const auto v = static_cast<std::int32_t>(CallHost(rdPtr, HostCallback::GetActionParam, 0, 0));
    if (v == -1)
        return 0;
    if (v >= 0 && v <= 31)
        return static_cast<std::int32_t>(1u << v);
    Polvane::Log(6, L"Invalid New Direction value %d passed by user, going with none.\n", v);
    return 0;
}

// A condition's object parameter record, as the host answered it: its OiList index.
[[gnu::noinline]] std::int32_t OIListIndexOf(const EventParam* param)
{
    if (param->code != ObjectCode)
        Polvane::Log(6, L"GetOIFromExtParam: Returning a OiList index for a non-Object parameter.\n");
    return param->value16[0];
}

} // namespace

// The readers' operations are defined before the routines that use them and taken in line into them:
// a reader then never leaves the routine's registers.

[[gnu::always_inline]] ConditionOrActionManager_Windows::ConditionOrActionManager_Windows(bool isCondition,
                                                                                          RUNDATA* rdPtr,
                                                                                          std::int32_t param1,
                                                                                          std::int32_t param2)
    : rdPtr(rdPtr), ext(GetExtension(rdPtr)), isTwoOrLess(false), isCondition(isCondition)
{
    // The record's test (NumOfParams below 3, and neither parameter 0 nor parameter 1 a float), worked
    // out once with the record.
    isTwoOrLess =
        (isCondition ? ::SDK->ConditionPlans : ::SDK->ActionPlans)[Tovik::GetEventNumber(rdPtr)].isTwoOrLess;
    ext->Runtime.param1 = param1;
    ext->Runtime.param2 = param2;
    ext->Runtime.savedCurrentParam = rdPtr->rHo.currentParam;
}

[[gnu::always_inline]] std::uint32_t ConditionOrActionManager_Windows::Direct(int i) const
{
    return static_cast<std::uint32_t>(i == 0 ? ext->Runtime.param1 : ext->Runtime.param2);
}

[[gnu::always_inline]] std::uint32_t ConditionOrActionManager_Windows::Next(std::int32_t w) const
{
    return CallHost(rdPtr, HostCallback::GetActionParam, w, 0);
}

[[gnu::always_inline]] float ConditionOrActionManager_Windows::GetFloat(int)
{
    assert(!isTwoOrLess && "!isTwoOrLess");
    return AsFloat(Next(2));
}

[[gnu::always_inline]] std::uint32_t ConditionOrActionManager_Windows::GetString(int i)
{
    return isTwoOrLess ? Direct(i) : Next(-1);
}

[[gnu::always_inline]] std::int32_t ConditionOrActionManager_Windows::GetInteger(int i, std::uint16_t code)
{
    if (isTwoOrLess)
        return static_cast<std::int32_t>(Direct(i));
    if (code != NewDirectionCode)
        return static_cast<std::int32_t>(Next(0));
    return NewDirection(rdPtr);
}

[[gnu::always_inline]] std::int32_t ConditionOrActionManager_Windows::GetObject(int i)
{
    if (isTwoOrLess) {
        if (!isCondition)
            return static_cast<std::int32_t>(Direct(i));
        return static_cast<std::int16_t>(
            ext->Runtime.GetOIListIndexFromObjectParam(static_cast<std::uint32_t>(i)));
    }
    const std::uint32_t raw = Next(-1);
    if (!isCondition)
        return static_cast<std::int32_t>(raw);
    return OIListIndexOf(reinterpret_cast<const EventParam*>(static_cast<std::uintptr_t>(raw)));
}

ExpressionManager_Windows::ExpressionManager_Windows(RUNDATA* rdPtr)
    : rdPtr(rdPtr), firstValueGiven(false), firstValue(0)
{
}

[[gnu::always_inline]] std::uint32_t ExpressionManager_Windows::Read(int i, std::int32_t w) const
{
    if (firstValueGiven && i == 0)
        return firstValue;
    const int callback =
        i <= 0 ? HostCallback::GetFirstExpressionParam : HostCallback::GetNextExpressionParam;
    return CallHost(rdPtr, callback, w, i);
}

[[gnu::always_inline]] float ExpressionManager_Windows::GetFloat(int i) { return AsFloat(Read(i, 2)); }
[[gnu::always_inline]] std::uint32_t ExpressionManager_Windows::GetString(int i) { return Read(i, 1); }
[[gnu::always_inline]] std::int32_t ExpressionManager_Windows::GetInteger(int i, std::uint16_t)
{
    return static_cast<std::int32_t>(Read(i, 0));
}
std::int32_t ExpressionManager_Windows::GetObject(int) { return 0; }

void ExpressionManager_Windows::SetFirstValue(std::uint32_t v)
{
    firstValueGiven = true;
    firstValue = v;
}

void ExpressionManager_Windows::SetReturnType(std::uint16_t retType)
{
    if (retType == ReturnsFloat)
        rdPtr->rHo.resultFlags |= ResultFlagFloat;
    else if (retType == ReturnsText)
        rdPtr->rHo.resultFlags |= ResultFlagText;
}

namespace {

// Value i of an action or condition, through the reader's slot that its plan names.
[[gnu::always_inline]] inline std::uint32_t ReadValue(const CallPlan& plan, const ACEInfo* info,
                                                      ConditionOrActionManager_Windows& reader, int i)
{
    switch (plan.reads[i]) {
    case ParamRead::Integer:
        return static_cast<std::uint32_t>(reader.GetInteger(i, info->Parameter[i]));
    case ParamRead::Float:
        return Bits(reader.GetFloat(i));
    case ParamRead::Object:
        return static_cast<std::uint32_t>(reader.GetObject(i));
    default:
        return reader.GetString(i);
    }
}

// The values of an action or condition whose plan reads more than numbers, each through the reader's slot
// that its plan names; false after the box when a text the member cannot take came as null. Out of the
// routines' way, with a copy of their reader: their common cases then keep everything in registers.
[[gnu::noinline]] bool ReadValues(const CallPlan& plan, const ACEInfo* info,
                                  ConditionOrActionManager_Windows reader, std::uint32_t id,
                                  std::uint32_t* args)
{
    for (int i = 0; i < plan.count; ++i) {
        args[i] = ReadValue(plan, info, reader, i);
        if (RefusesNull(plan, i, args[i])) {
            ReportNullText(reader.isCondition, id, i);
            return false;
        }
    }
    return true;
}

// Reads the values of an action or condition as its plan says and calls the member; a text the member
// cannot take that came as null is refused with a box and answers 0. A condition answers its member's
// low byte unless it compares. Taken in line into both routines: every action and condition call
// passes here. The record is taken as its table's entry, read only where a value needs its code.
[[gnu::always_inline]] inline std::uint32_t ActionOrCondition(MemberCall fn, std::uint32_t id, Extension* ext,
                                                              ACEInfo* const& info,
                                                              ConditionOrActionManager_Windows& reader,
                                                              bool isCondition)
{
    const CallPlan& plan = (isCondition ? ::SDK->ConditionPlans : ::SDK->ActionPlans)[id];
    if (plan.direct) {
        // Nothing is asked of the host: the object header's currentParam is still the saved one.
        const std::uint32_t args[] = {reader.Direct(0), reader.Direct(1)};
        return fn(ext, args, plan.count) & plan.resultMask;
    }
    std::uint32_t args[Tovik::MaxParams];
    if (plan.numbersOnly && !reader.isTwoOrLess) {
        // The common case, in a loop of its own: every value a number the host answers, none checked.
        // Such a plan is direct whenever its values come as the direct arguments; the reader's own test
        // above only lets the compiler see that GetInteger asks the host.
        for (int i = 0; i < plan.count; ++i)
            args[i] = static_cast<std::uint32_t>(reader.GetInteger(i, NumberCode));
    } else if (!ReadValues(plan, info, reader, id, args)) {
        return 0;
    }
    Tovik::RestoreCurrentParam(ext);
    return fn(ext, args, plan.count) & plan.resultMask;
}

// What an expression that could not be evaluated answers: an empty host text when its record says it
// returns text, else 0, marked as its record says.
[[gnu::noinline, gnu::cold]] std::int32_t NeutralExpressionAnswer(RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    const std::vector<ACEInfo*>& infos = ::SDK->ExpressionInfos;
    if (id >= infos.size())
        return 0;
    const std::uint16_t retType = infos[id]->FlagsOrReturnType;
    std::int32_t result = 0;
    if (retType == ReturnsText)
        result =
            static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(Tovik::CopyToStringSpace(rdPtr, L"")));
    ExpressionManager_Windows(rdPtr).SetReturnType(retType);
    return result;
}

// The fallback's answer, marked as the id's record says when there is one.
[[gnu::noinline, gnu::cold]] std::int32_t UnlinkedExpression(Extension* ext, RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    const auto result = static_cast<std::int32_t>(ext->UnlinkedExpression(static_cast<int>(id)));
    const std::vector<ACEInfo*>& infos = ::SDK->ExpressionInfos;
    if (id < infos.size())
        ExpressionManager_Windows(rdPtr).SetReturnType(infos[id]->FlagsOrReturnType);
    return result;
}

// The values of an expression whose plan reads more than numbers, each through the reader's slot that its
// plan names; false after the box when a text came as null or a code no reader knows stopped it. Out of
// the routine's way, with a copy of its reader, as for actions.
[[gnu::noinline]] bool ReadExpressionValues(const CallPlan& plan, ExpressionManager_Windows reader,
                                            std::uint32_t id, std::uint32_t* args)
{
    for (int i = 0; i < plan.count; ++i) {
        switch (plan.reads[i]) {
        case ParamRead::Integer:
            args[i] = static_cast<std::uint32_t>(reader.GetInteger(i, 0));
            break;
        case ParamRead::Float:
            args[i] = Bits(reader.GetFloat(i));
            break;
        case ParamRead::Text:
            args[i] = reader.GetString(i);
            if (args[i] == 0) {
                ReportExpressionParameter(id, i,
                                          L"was given a null string pointer.\nWas the parameter type "
                                          L"different when the expression was created in the MFA?");
                return false;
            }
            break;
        default:
            ReportExpressionParameter(id, i, L"has unrecognised ExpParams %hi.",
                                      static_cast<std::int16_t>(::SDK->ExpressionInfos[id]->Parameter[i]));
            return false;
        }
    }
    return true;
}

[[gnu::always_inline]] inline std::int32_t EvaluateExpression(RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    Extension* ext = GetExtension(rdPtr);
    if (ext == nullptr)
        return NeutralExpressionAnswer(rdPtr);
    ExpressionManager_Windows reader(rdPtr);
    const MemberCall fn = LinkedMember(::SDK->ExpressionFunctions, id);
    if (fn == nullptr)
        return UnlinkedExpression(ext, rdPtr);
    const CallPlan& plan = ::SDK->ExpressionPlans[id];
    std::uint32_t args[Tovik::MaxParams];
    if (plan.numbersOnly) {
        // The common case, in a loop of its own: every value an integer, none checked.
        for (int i = 0; i < plan.count; ++i)
            args[i] = static_cast<std::uint32_t>(reader.GetInteger(i, 0));
    } else if (!ReadExpressionValues(plan, reader, id, args)) {
        return NeutralExpressionAnswer(rdPtr);
    }
    const std::uint32_t result = fn(ext, args, plan.count);
    reader.SetReturnType(plan.returnType);
    return static_cast<std::int32_t>(result);
}

// The routines' work, in line inside their boundary's handler: found, read through a reader and called
// as the routine's steps say, or the fallback's box.
[[gnu::always_inline]] inline std::int32_t RunAction(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    Extension* ext = GetExtension(rdPtr);
    if (ext == nullptr)
        return 0;
    const MemberCall fn = LinkedMember(::SDK->ActionFunctions, id);
    if (fn == nullptr) {
        UnlinkedAction(ext, rdPtr);
        return 0;
    }
    ConditionOrActionManager_Windows reader(false, rdPtr, param1, param2);
    ActionOrCondition(fn, id, ext, ::SDK->ActionInfos[id], reader, false);
    return 0;
}

[[gnu::always_inline]] inline std::int32_t RunCondition(RUNDATA* rdPtr, std::int32_t param1,
                                                        std::int32_t param2)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    Extension* ext = GetExtension(rdPtr);
    if (ext == nullptr)
        return 0;
    const MemberCall fn = LinkedMember(::SDK->ConditionFunctions, id);
    if (fn == nullptr)
        return UnlinkedCondition(ext, rdPtr);
    ConditionOrActionManager_Windows reader(true, rdPtr, param1, param2);
    return static_cast<std::int32_t>(ActionOrCondition(fn, id, ext, ::SDK->ConditionInfos[id], reader, true));
}

} // namespace

namespace Tovik {

void RestoreCurrentParam(Extension* ext) { ext->rdPtr->rHo.currentParam = ext->Runtime.savedCurrentParam; }

std::uint32_t GetEventNumber(RUNDATA* rdPtr) { return rdPtr->rHo.eventNumber; }

// A routine called for an object that was never built, or is already destroyed, answers neutrally.
std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Action", 0, [&] { return RunAction(rdPtr, param1, param2); });
}

std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Condition", 0, [&] { return RunCondition(rdPtr, param1, param2); });
}

// Stopped by an exception, an expression still answers the type its record promises.
std::int32_t HOST_STDCALL Expression(RUNDATA* rdPtr, std::int32_t)
{
    return GuardWith(
        "Expression", [&] { return EvaluateExpression(rdPtr); },
        [&] { return NeutralExpressionAnswer(rdPtr); });
}

CallPlan PlanActionOrCondition(const ACEInfo& info, std::uint8_t count, bool isCondition)
{
    CallPlan plan;
    plan.count = count;
    bool objectOfCondition = false;
    for (int i = 0; i < count; ++i) {
        ParamRead read = ParamRead::Text; // any other code passes unchanged
        switch (info.Parameter[i]) {
        case ObjectCode:
            read = ParamRead::Object;
            objectOfCondition = isCondition;
            break;
        case NumberCode:
            read = ((info.FloatFlags >> i) & 1) != 0 ? ParamRead::Float : ParamRead::Integer;
            break;
        case ComparisonCode:
        case AlternateComparisonCode:
            plan.resultMask = 0xFFFFFFFF;
            read = ParamRead::Integer;
            break;
        case TimeCode:
        case NewDirectionCode:
            read = ParamRead::Integer;
            break;
        case StringComparisonCode:
            plan.resultMask = 0xFFFFFFFF;
            [[fallthrough]];
        case FilenameCode:
        case TextCode:
            plan.refusesNull |= static_cast<std::uint16_t>(1u << i);
            break;
        default:
            break;
        }
        plan.reads[i] = read;
    }
    // Values that come as the direct arguments, with no text to check and no object record to read, are
    // taken as they come.
    plan.isTwoOrLess = info.NumOfParams < 3 && (info.FloatFlags & 3) == 0;
    plan.direct = plan.isTwoOrLess && plan.refusesNull == 0 && !objectOfCondition;
    plan.numbersOnly = std::all_of(plan.reads, plan.reads + count,
                                   [](ParamRead read) { return read == ParamRead::Integer; }) &&
                       std::all_of(info.Parameter, info.Parameter + count,
                                   [](std::uint16_t code) { return code == NumberCode; });
    return plan;
}

CallPlan PlanExpression(const ACEInfo& info, std::uint8_t count)
{
    CallPlan plan;
    plan.count = count;
    plan.returnType = info.FlagsOrReturnType;
    for (int i = 0; i < count; ++i) {
        const auto code = static_cast<std::int16_t>(info.Parameter[i]);
        ParamRead read = ParamRead::Unrecognised;
        if (code == ExpressionNumberCode)
            read = ((info.FloatFlags >> i) & 1) != 0 ? ParamRead::Float : ParamRead::Integer;
        else if (code == ExpressionTextCode)
            read = ParamRead::Text;
        plan.reads[i] = read;
    }
    plan.numbersOnly = std::all_of(plan.reads, plan.reads + count,
                                   [](ParamRead read) { return read == ParamRead::Integer; });
    return plan;
}

} // namespace Tovik
