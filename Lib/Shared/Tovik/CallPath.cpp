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
#include <cstring>
#include <string>
#include <vector>

namespace {

using Tovik::ACEItem;
using Tovik::CallHost;
using Tovik::CallPlan;
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
        id < ::SDK->Conditions.size()
            ? L"Missing condition ID %d in extension %s. Condition existed in vector, but was "
              L"NULL. Might not be linked."
            : L"Missing condition ID %d in extension %s. This ID was not linked in Extension "
              L"ctor with LinkCondition().",
        static_cast<int>(id), Polvane::ProjectName.c_str());
    return ext->UnlinkedCondition(static_cast<int>(id));
}

// The item of id when a member is linked to it, else null.
const ACEItem* LinkedItem(const std::vector<ACEItem>& items, std::uint32_t id)
{
    return id < items.size() && items[id].Function != nullptr ? &items[id] : nullptr;
}

// What the host is asked for (the callback's w) by the reads that go to it: Integer, Float, Text.
constexpr std::int8_t ActionAsks[] = {0, 2, -1};
constexpr std::int8_t ExpressionAsks[] = {0, 2, 1};

bool AsksTheHost(ParamRead read) { return read <= ParamRead::Text; }

bool RefusesNull(const CallPlan& plan, int i, std::uint32_t value)
{
    return value == 0 && ((plan.refusesNull >> i) & 1) != 0;
}

// Reads the parameters of one action or condition call. The direct values are those the Runtime
// keeps for the call.
class ConditionOrActionManager_Windows {
public:
    ConditionOrActionManager_Windows(bool isCondition, RUNDATA* rdPtr, Extension* ext)
        : rdPtr(rdPtr), ext(ext), isCondition(isCondition)
    {
    }

    std::uint32_t Read(const CallPlan& plan, int i) const
    {
        const ParamRead read = plan.reads[i];
        if (AsksTheHost(read))
            return Next(plan.asks[i]);
        if (read == ParamRead::Direct)
            return static_cast<std::uint32_t>(i == 0 ? ext->Runtime.param1 : ext->Runtime.param2);
        return ReadOther(read, i);
    }

private:
    // Callback 17 answers the next parameter and moves the host on to the one after it.
    std::uint32_t Next(std::int32_t w) const { return CallHost(rdPtr, HostCallback::GetActionParam, w, 0); }

    [[gnu::noinline]] std::uint32_t ReadOther(ParamRead read, int i) const
    {
        if (read == ParamRead::DirectObject)
            return static_cast<std::uint32_t>(static_cast<std::int16_t>(
                ext->Runtime.GetOIListIndexFromObjectParam(static_cast<std::uint32_t>(i))));
        if (read == ParamRead::NewDirection)
            return static_cast<std::uint32_t>(NewDirection());
        const std::uint32_t raw = Next(-1);
        if (!isCondition)
            return raw;
        const auto* param = reinterpret_cast<const EventParam*>(static_cast<std::uintptr_t>(raw));
        if (param->code != ObjectCode)
            Polvane::Log(6, L"GetOIFromExtParam: Returning a OiList index for a non-Object parameter.\n");
        return static_cast<std::uint32_t>(param->value16[0]);
    }

    std::int32_t NewDirection() const
    {
        // A direction chosen in the event editor is stored in the parameter record itself.
        const EventParam* param = rdPtr->rHo.currentParam;
        if (param != nullptr && param->code == NewDirectionCode) {
            std::int32_t stored;
            std::memcpy(&stored, param->value16, sizeof stored);
            return stored;
        }
        const auto v = static_cast<std::int32_t>(Next(0));
        if (v == -1)
            return 0;
        if (v >= 0 && v <= 31)
            return static_cast<std::int32_t>(1u << v);
        Polvane::Log(6, L"Invalid New Direction value %d passed by user, going with none.\n", v);
        return 0;
    }

    RUNDATA* rdPtr;
    Extension* ext;
    bool isCondition;
};

// Fills args as the plan says, checking each value; false when a text the member cannot take came as
// null (its box is shown, and nothing after it is read).
[[gnu::noinline]] bool ReadActionOrConditionParams(const CallPlan& plan, RUNDATA* rdPtr, Extension* ext,
                                                   bool isCondition, std::uint32_t* args)
{
    const ConditionOrActionManager_Windows reader(isCondition, rdPtr, ext);
    const int count = plan.count;
    for (int i = 0; i < count; ++i) {
        args[i] = reader.Read(plan, i);
        if (RefusesNull(plan, i, args[i])) {
            ReportNullText(isCondition, Tovik::GetEventNumber(rdPtr), i);
            return false;
        }
    }
    return true;
}

// Reads the parameters of one expression call: the first through callback 4, the others through
// callback 5, each asked for by its index.
class ExpressionManager_Windows {
public:
    explicit ExpressionManager_Windows(RUNDATA* rdPtr) : rdPtr(rdPtr) {}

    std::uint32_t Read(const CallPlan& plan, int i) const
    {
        const int callback =
            i <= 0 ? HostCallback::GetFirstExpressionParam : HostCallback::GetNextExpressionParam;
        return CallHost(rdPtr, callback, plan.asks[i], i);
    }

    // The result's mark is only ever added, never cleared here.
    void SetReturnType(std::uint16_t resultFlag) const { rdPtr->rHo.resultFlags |= resultFlag; }

private:
    RUNDATA* rdPtr;
};

// Inlined into both routines: every action and condition call passes here.
[[gnu::always_inline]] inline std::uint32_t CallActionOrCondition(const ACEItem& item, RUNDATA* rdPtr,
                                                                  Extension* ext, std::int32_t param1,
                                                                  std::int32_t param2, bool isCondition)
{
    ext->Runtime.param1 = param1;
    ext->Runtime.param2 = param2;
    ext->Runtime.savedCurrentParam = rdPtr->rHo.currentParam;
    const CallPlan& plan = item.Plan;
    if (plan.direct) {
        // Nothing was read: the object header's currentParam is still the saved one.
        const std::uint32_t args[] = {static_cast<std::uint32_t>(param1), static_cast<std::uint32_t>(param2)};
        return item.Function(ext, args, plan.count) & plan.resultMask;
    }
    std::uint32_t args[Tovik::MaxParams];
    if (plan.asksOnly) {
        // Callback 17 answers each in turn; there is nothing to check.
        const std::int8_t* ask = plan.asks;
        for (std::uint32_t *value = args, *end = args + plan.count; value != end; ++value, ++ask)
            *value = CallHost(rdPtr, HostCallback::GetActionParam, *ask, 0);
    } else if (!ReadActionOrConditionParams(plan, rdPtr, ext, isCondition, args)) {
        return 0;
    }
    // Found again rather than kept across the host's calls, which would cost every call a spill.
    Extension* found = GetExtension(rdPtr);
    Tovik::RestoreCurrentParam(found);
    return item.Function(found, args, plan.count) & plan.resultMask;
}

// What an expression that could not be evaluated answers: an empty host text when its record says it
// returns text, else 0, marked as its record says.
[[gnu::noinline, gnu::cold]] std::int32_t NeutralExpressionAnswer(RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    const std::vector<ACEItem>& items = ::SDK->Expressions;
    if (id >= items.size())
        return 0;
    const std::uint16_t resultFlag = items[id].Plan.resultFlag;
    std::int32_t result = 0;
    if (resultFlag == ResultFlagText)
        result =
            static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(Tovik::CopyToStringSpace(rdPtr, L"")));
    ExpressionManager_Windows(rdPtr).SetReturnType(resultFlag);
    return result;
}

// The fallback's answer, marked as the id's record says when there is one.
[[gnu::noinline, gnu::cold]] std::int32_t UnlinkedExpression(Extension* ext, RUNDATA* rdPtr)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    const auto result = static_cast<std::int32_t>(ext->UnlinkedExpression(static_cast<int>(id)));
    const std::vector<ACEItem>& items = ::SDK->Expressions;
    if (id < items.size())
        ExpressionManager_Windows(rdPtr).SetReturnType(items[id].Plan.resultFlag);
    return result;
}

// Fills args as the item's plan says, checking each value; false when a code no reader knows or a null
// text stopped it (its box is shown, and nothing after it is read).
[[gnu::noinline]] bool ReadExpressionParams(const ACEItem& item, RUNDATA* rdPtr, std::uint32_t* args)
{
    const std::uint32_t id = Tovik::GetEventNumber(rdPtr);
    const ExpressionManager_Windows reader(rdPtr);
    const CallPlan& plan = item.Plan;
    const int count = plan.count;
    for (int i = 0; i < count; ++i) {
        if (!AsksTheHost(plan.reads[i])) {
            ReportExpressionParameter(id, i, L"has unrecognised ExpParams %hi.",
                                      static_cast<std::int16_t>(item.Info->Parameter[i]));
            return false;
        }
        args[i] = reader.Read(plan, i);
        if (RefusesNull(plan, i, args[i])) {
            ReportExpressionParameter(id, i,
                                      L"was given a null string pointer.\nWas the parameter type "
                                      L"different when the expression was created in the MFA?");
            return false;
        }
    }
    return true;
}

std::int32_t EvaluateExpression(RUNDATA* rdPtr)
{
    Extension* ext = GetExtension(rdPtr);
    if (ext == nullptr)
        return NeutralExpressionAnswer(rdPtr);
    const ACEItem* item = LinkedItem(::SDK->Expressions, Tovik::GetEventNumber(rdPtr));
    if (item == nullptr)
        return UnlinkedExpression(ext, rdPtr);
    const ExpressionManager_Windows reader(rdPtr);
    const CallPlan& plan = item->Plan;
    std::uint32_t result;
    if (plan.count == 0) {
        // Nothing to read: the member is called at once.
        result = item->Function(ext, nullptr, 0);
    } else {
        // Read here rather than out of line: an expression's values cost less this way.
        std::uint32_t args[Tovik::MaxParams];
        if (plan.asksOnly) {
            // Callbacks 4 and 5 answer each in turn; there is nothing to check.
            for (int i = 0; i < plan.count; ++i)
                args[i] = reader.Read(plan, i);
        } else if (!ReadExpressionParams(*item, rdPtr, args)) {
            return NeutralExpressionAnswer(rdPtr);
        }
        // Found again rather than kept across the host's calls, which would cost every call a spill.
        result = item->Function(GetExtension(rdPtr), args, plan.count);
    }
    reader.SetReturnType(plan.resultFlag);
    return static_cast<std::int32_t>(result);
}

} // namespace

namespace Tovik {

void RestoreCurrentParam(Extension* ext) { ext->rdPtr->rHo.currentParam = ext->Runtime.savedCurrentParam; }

std::uint32_t GetEventNumber(RUNDATA* rdPtr) { return rdPtr->rHo.eventNumber; }

// A routine called for an object that was never built, or is already destroyed, answers neutrally.
std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Action", 0, [&]() -> std::int32_t {
        Extension* ext = GetExtension(rdPtr);
        if (ext == nullptr)
            return 0;
        if (const ACEItem* item = LinkedItem(::SDK->Actions, GetEventNumber(rdPtr)))
            CallActionOrCondition(*item, rdPtr, ext, param1, param2, false);
        else
            UnlinkedAction(ext, rdPtr);
        return 0;
    });
}

std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Condition", 0, [&]() -> std::int32_t {
        Extension* ext = GetExtension(rdPtr);
        if (ext == nullptr)
            return 0;
        if (const ACEItem* item = LinkedItem(::SDK->Conditions, GetEventNumber(rdPtr)))
            return static_cast<std::int32_t>(CallActionOrCondition(*item, rdPtr, ext, param1, param2, true));
        return UnlinkedCondition(ext, rdPtr);
    });
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
    const bool direct = info.NumOfParams < 3 && (info.FloatFlags & 3) == 0;
    for (int i = 0; i < count; ++i) {
        ParamRead read = ParamRead::Text; // any other code passes unchanged
        switch (info.Parameter[i]) {
        case ObjectCode:
            read = ParamRead::Object;
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
            read = ParamRead::Integer;
            break;
        case NewDirectionCode:
            read = ParamRead::NewDirection;
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
        if (direct)
            read = read == ParamRead::Object && isCondition ? ParamRead::DirectObject : ParamRead::Direct;
        plan.reads[i] = read;
        if (AsksTheHost(read))
            plan.asks[i] = ActionAsks[static_cast<int>(read)];
    }
    // Nothing to ask the host, no record to read and no text to check: the call takes the direct
    // arguments as they come.
    plan.direct = direct && plan.refusesNull == 0 &&
                  std::find(plan.reads, plan.reads + count, ParamRead::DirectObject) == plan.reads + count;
    plan.asksOnly =
        !direct && plan.refusesNull == 0 && std::all_of(plan.reads, plan.reads + count, AsksTheHost);
    return plan;
}

CallPlan PlanExpression(const ACEInfo& info, std::uint8_t count)
{
    CallPlan plan;
    plan.count = count;
    if (info.FlagsOrReturnType == ReturnsFloat)
        plan.resultFlag = ResultFlagFloat;
    else if (info.FlagsOrReturnType == ReturnsText)
        plan.resultFlag = ResultFlagText;
    for (int i = 0; i < count; ++i) {
        const auto code = static_cast<std::int16_t>(info.Parameter[i]);
        ParamRead read = ParamRead::Unrecognised;
        if (code == ExpressionNumberCode) {
            read = ((info.FloatFlags >> i) & 1) != 0 ? ParamRead::Float : ParamRead::Integer;
        } else if (code == ExpressionTextCode) {
            read = ParamRead::Text;
            plan.refusesNull |= static_cast<std::uint16_t>(1u << i);
        }
        plan.reads[i] = read;
        if (AsksTheHost(read))
            plan.asks[i] = ExpressionAsks[static_cast<int>(read)];
    }
    plan.asksOnly = plan.refusesNull == 0 && std::all_of(plan.reads, plan.reads + count, AsksTheHost);
    return plan;
}

} // namespace Tovik
