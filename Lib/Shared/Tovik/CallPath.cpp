#include "CallPath.h"

#include "../Polvane/Globals.h"
#include "../Polvane/Log.h"
#include "../Polvane/MsgBox.h"
#include "../Polvane/TextConversion.h"
#include "Boundary.h"
#include "ObjectLife.h"
#include "SDK.h"
#include "Startup.h"
#include "extension/Extension.h"
#include "json/json.h"

#include <cassert>
#include <cstring>

namespace {

constexpr std::uint16_t ObjectCode = 1;
constexpr std::uint16_t TimeCode = 2;
constexpr std::uint16_t NumberCode = 22;
constexpr std::uint16_t ComparisonCode = 23;
constexpr std::uint16_t AlternateComparisonCode = 42;
constexpr std::uint16_t NewDirectionCode = 29;
constexpr std::uint16_t FilenameCode = 40;
constexpr std::uint16_t TextCode = 45;
constexpr std::uint16_t StringComparisonCode = 46;

constexpr std::uint16_t ExpressionNumberCode = 1;
constexpr std::uint16_t ExpressionTextCode = 3;
constexpr std::uint16_t ReturnsFloat = 2;
constexpr std::uint16_t ReturnsText = 1;

std::uint32_t CallHost(RUNDATA* rdPtr, int index, std::int32_t w, std::int32_t l)
{
    return rdPtr->GetRunHeader()->RuntimeCallbacks[index](rdPtr, w, l);
}

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
    return Polvane::UTF8ToTString(static_cast<const char*>(Polvane::CurLang()[arrayKey][static_cast<int>(id)]["Title"]));
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
    Polvane::MsgBox::Error(L"ActionOrCondition() error",
                           L"Error calling %s \"%s\" (ID %i); text parameter index %i was given a null string "
                           L"pointer.\nWas the parameter type different when the %s was created in the MFA?",
                           kind, ItemTitle(isCondition ? "Conditions" : "Actions", id).c_str(), static_cast<int>(id),
                           i, kind);
}

std::uint32_t ActionOrCondition(Tovik::MemberCall fn, std::uint32_t id, Extension* ext, const ACEInfo* info,
                                std::uint8_t count, ACEParamReader& reader, bool isCondition)
{
    std::uint32_t args[Tovik::MaxParams];
    bool hasComparison = false;
    for (int i = 0; i < count; ++i) {
        const std::uint16_t code = info->Parameter[i];
        switch (code) {
        case ObjectCode:
            args[i] = static_cast<std::uint32_t>(reader.GetObject(i));
            break;
        case NumberCode:
            args[i] = (info->FloatFlags >> i) & 1 ? Bits(reader.GetFloat(i))
                                                  : static_cast<std::uint32_t>(reader.GetInteger(i, code));
            break;
        case ComparisonCode:
        case AlternateComparisonCode:
            hasComparison = true;
            args[i] = static_cast<std::uint32_t>(reader.GetInteger(i, code));
            break;
        case TimeCode:
        case NewDirectionCode:
            args[i] = static_cast<std::uint32_t>(reader.GetInteger(i, code));
            break;
        case FilenameCode:
        case TextCode:
        case StringComparisonCode:
            args[i] = reader.GetString(i);
            if (args[i] == 0) {
                ReportNullText(isCondition, id, i);
                return 0;
            }
            if (code == StringComparisonCode)
                hasComparison = true;
            break;
        default:
            args[i] = reader.GetString(i);
            break;
        }
    }
    Tovik::RestoreCurrentParam(ext);
    const std::uint32_t result = fn(ext, args, count);
    return hasComparison ? result : (result & 0xFF);
}

} // namespace

namespace Tovik {

void RestoreCurrentParam(Extension* ext)
{
    ext->rdPtr->rHo.currentParam = ext->Runtime.savedCurrentParam;
}

std::uint32_t GetEventNumber(RUNDATA* rdPtr) { return rdPtr->rHo.eventNumber; }

std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Action", 0, [&]() -> std::int32_t {
        const std::uint32_t id = GetEventNumber(rdPtr);
        Extension* ext = GetExtension(rdPtr);
        if (id >= ::SDK->ActionFunctions.size() || ::SDK->ActionFunctions[id] == nullptr) {
            ext->UnlinkedAction(static_cast<int>(id));
            return 0;
        }
        ConditionOrActionManager_Windows reader(false, rdPtr, param1, param2);
        ActionOrCondition(::SDK->ActionFunctions[id], id, ext, ::SDK->ActionInfos[id], ::SDK->ActionArgCounts[id],
                          reader, false);
        return 0;
    });
}

std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2)
{
    return Guard("Condition", 0, [&]() -> std::int32_t {
        const std::uint32_t id = GetEventNumber(rdPtr);
        Extension* ext = GetExtension(rdPtr);
        if (id >= ::SDK->ConditionFunctions.size()) {
            Polvane::MsgBox::Error(L"Condition linking error",
                                   L"Missing condition ID %d in extension %s. This ID was not linked in Extension ctor "
                                   L"with LinkCondition().",
                                   static_cast<int>(id), Polvane::ProjectName.c_str());
            return ext->UnlinkedCondition(static_cast<int>(id));
        }
        if (::SDK->ConditionFunctions[id] == nullptr) {
            Polvane::MsgBox::Error(L"Condition linking error",
                                   L"Missing condition ID %d in extension %s. Condition existed in vector, but was NULL. "
                                   L"Might not be linked.",
                                   static_cast<int>(id), Polvane::ProjectName.c_str());
            return ext->UnlinkedCondition(static_cast<int>(id));
        }
        ConditionOrActionManager_Windows reader(true, rdPtr, param1, param2);
        return static_cast<std::int32_t>(ActionOrCondition(::SDK->ConditionFunctions[id], id, ext,
                                                           ::SDK->ConditionInfos[id], ::SDK->ConditionArgCounts[id],
                                                           reader, true));
    });
}

std::int32_t HOST_STDCALL Expression(RUNDATA* rdPtr, std::int32_t)
{
    return Guard("Expression", 0, [&]() -> std::int32_t {
        const std::uint32_t id = GetEventNumber(rdPtr);
        Extension* ext = GetExtension(rdPtr);
        ExpressionManager_Windows reader(rdPtr);
        if (id >= ::SDK->ExpressionFunctions.size() || ::SDK->ExpressionFunctions[id] == nullptr) {
            const auto result = static_cast<std::int32_t>(ext->UnlinkedExpression(static_cast<int>(id)));
            if (id < ::SDK->ExpressionInfos.size())
                reader.SetReturnType(::SDK->ExpressionInfos[id]->FlagsOrReturnType);
            return result;
        }
        const ACEInfo* info = ::SDK->ExpressionInfos[id];
        const std::uint16_t retType = info->FlagsOrReturnType;
        const std::uint8_t count = ::SDK->ExpressionArgCounts[id];
        std::uint32_t args[MaxParams];
        std::uint32_t result = 0;
        bool failed = false;
        for (int i = 0; i < count && !failed; ++i) {
            const auto code = static_cast<std::int16_t>(info->Parameter[i]);
            if (code == ExpressionNumberCode) {
                args[i] = (info->FloatFlags >> i) & 1 ? Bits(reader.GetFloat(i))
                                                      : static_cast<std::uint32_t>(reader.GetInteger(i, 0));
            } else if (code == ExpressionTextCode) {
                args[i] = reader.GetString(i);
                failed = args[i] == 0;
                if (failed)
                    ReportExpressionParameter(id, i, L"was given a null string pointer.\nWas the parameter type "
                                                     L"different when the expression was created in the MFA?");
            } else {
                failed = true;
                ReportExpressionParameter(id, i, L"has unrecognised ExpParams %hi.", code);
            }
        }
        if (failed) {
            if (retType == ReturnsText)
                result = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(ext->Runtime.CopyString(L"")));
        } else {
            result = ::SDK->ExpressionFunctions[id](ext, args, count);
        }
        reader.SetReturnType(retType);
        return static_cast<std::int32_t>(result);
    });
}

} // namespace Tovik

ConditionOrActionManager_Windows::ConditionOrActionManager_Windows(bool isCondition, RUNDATA* rdPtr,
                                                                   std::int32_t param1, std::int32_t param2)
    : rdPtr(rdPtr), ext(GetExtension(rdPtr)), isTwoOrLess(false), isCondition(isCondition)
{
    const auto& infos = isCondition ? ::SDK->ConditionInfos : ::SDK->ActionInfos;
    const ACEInfo* info = infos[rdPtr->rHo.eventNumber];
    isTwoOrLess = info->NumOfParams < 3 && (info->FloatFlags & 3) == 0;
    ext->Runtime.param1 = param1;
    ext->Runtime.param2 = param2;
    ext->Runtime.savedCurrentParam = rdPtr->rHo.currentParam;
}

std::uint32_t ConditionOrActionManager_Windows::Direct(int i) const
{
    return static_cast<std::uint32_t>(i == 0 ? ext->Runtime.param1 : ext->Runtime.param2);
}

std::uint32_t ConditionOrActionManager_Windows::Next(std::int32_t w) const
{
    return CallHost(rdPtr, HostCallback::GetActionParam, w, 0);
}

float ConditionOrActionManager_Windows::GetFloat(int)
{
    assert(!isTwoOrLess && "!isTwoOrLess");
    return AsFloat(Next(2));
}

std::uint32_t ConditionOrActionManager_Windows::GetString(int i)
{
    return isTwoOrLess ? Direct(i) : Next(-1);
}

std::int32_t ConditionOrActionManager_Windows::GetInteger(int i, std::uint16_t code)
{
    if (isTwoOrLess)
        return static_cast<std::int32_t>(Direct(i));
    if (code != NewDirectionCode)
        return static_cast<std::int32_t>(Next(0));
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

std::int32_t ConditionOrActionManager_Windows::GetObject(int i)
{
    if (isTwoOrLess) {
        if (!isCondition)
            return static_cast<std::int32_t>(Direct(i));
        return static_cast<std::int16_t>(ext->Runtime.GetOIListIndexFromObjectParam(static_cast<std::uint32_t>(i)));
    }
    const std::uint32_t raw = Next(-1);
    if (!isCondition)
        return static_cast<std::int32_t>(raw);
    const auto* param = reinterpret_cast<const EventParam*>(static_cast<std::uintptr_t>(raw));
    if (param->code != ObjectCode)
        Polvane::Log(6, L"GetOIFromExtParam: Returning a OiList index for a non-Object parameter.\n");
    return param->value16[0];
}

ExpressionManager_Windows::ExpressionManager_Windows(RUNDATA* rdPtr)
    : rdPtr(rdPtr), firstValueGiven(false), firstValue(0)
{
}

std::uint32_t ExpressionManager_Windows::Read(int i, std::int32_t w) const
{
    if (firstValueGiven && i == 0)
        return firstValue;
    const int callback = i <= 0 ? HostCallback::GetFirstExpressionParam : HostCallback::GetNextExpressionParam;
    return CallHost(rdPtr, callback, w, i);
}

float ExpressionManager_Windows::GetFloat(int i) { return AsFloat(Read(i, 2)); }
std::uint32_t ExpressionManager_Windows::GetString(int i) { return Read(i, 1); }
std::int32_t ExpressionManager_Windows::GetInteger(int i, std::uint16_t) { return static_cast<std::int32_t>(Read(i, 0)); }
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
