// The generic routines of the three jump tables: find the item's member, read its parameters from
// the host through a parameter reader, call it, and hand its result back as the host expects.
#pragma once

#include "../Host/HostRecords.h"
#include "SDK.h"

#include <windows.h>

#include <cstdint>

// <wingdi.h> maps GetObject to GetObjectW; the reader's slot keeps its own name.
#undef GetObject

namespace Tovik {

std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Expression(RUNDATA* rdPtr, std::int32_t param);

// How a call reads the parameters of an item, worked out from its record and the number of
// parameters read (count, at most the record's).
CallPlan PlanActionOrCondition(const ACEInfo& info, std::uint8_t count, bool isCondition);
CallPlan PlanExpression(const ACEInfo& info, std::uint8_t count);

void RestoreCurrentParam(Extension* ext);
std::uint32_t GetEventNumber(RUNDATA* rdPtr);

} // namespace Tovik

// Reads the parameters of one call. The slots' order is part of the design: float, string, integer,
// object. Readers live on the stack of one routine call.
class ACEParamReader {
public:
    ACEParamReader() = default;
    ACEParamReader(const ACEParamReader&) = default;
    virtual float GetFloat(int i) = 0;
    // A text parameter as its pointer; the host's raw value for the kinds that pass unchanged.
    virtual std::uint32_t GetString(int i) = 0;
    virtual std::int32_t GetInteger(int i, std::uint16_t code) = 0;
    virtual std::int32_t GetObject(int i) = 0;

protected:
    ~ACEParamReader() = default;
};

// Actions and conditions: at most two parameters, neither of the first two a float, come as the
// call's two direct arguments (isTwoOrLess); otherwise callback 17 answers each in turn.
class ConditionOrActionManager_Windows final : public ACEParamReader {
public:
    // Keeps the direct arguments and the host's current parameter in the object's Runtime.
    ConditionOrActionManager_Windows(bool isCondition, RUNDATA* rdPtr, std::int32_t param1,
                                     std::int32_t param2);
    float GetFloat(int i) override;
    std::uint32_t GetString(int i) override;
    std::int32_t GetInteger(int i, std::uint16_t code) override;
    std::int32_t GetObject(int i) override;

    // The direct argument for parameter i: param1 for the first, param2 for the others.
    std::uint32_t Direct(int i) const;

    RUNDATA* rdPtr;
    Extension* ext;
    bool isTwoOrLess;
    bool isCondition;

private:
    // Callback 17: the current parameter, and the host moves on to the next.
    std::uint32_t Next(std::int32_t w) const;
};

// Expressions: parameter 0 through callback 4, the others through callback 5, each by its index.
class ExpressionManager_Windows final : public ACEParamReader {
public:
    explicit ExpressionManager_Windows(RUNDATA* rdPtr);
    ExpressionManager_Windows(const ExpressionManager_Windows&) = default;
    float GetFloat(int i) override;
    std::uint32_t GetString(int i) override;
    std::int32_t GetInteger(int i, std::uint16_t code) override;
    std::int32_t GetObject(int i) override;

    // Parameter 0 is answered with v from now on, without asking the host.
    void SetFirstValue(std::uint32_t v);
    // Marks the result in the object header as its ExpReturnType code says: 2 float, 1 text. The marks are
    // only ever added, never cleared here.
    void SetReturnType(std::uint16_t retType);
    std::uint32_t SetValue(std::uint32_t v) { return v; }

    RUNDATA* rdPtr;
    bool firstValueGiven;
    std::uint32_t firstValue;

private:
    std::uint32_t Read(int i, std::int32_t w) const;
};
