// The generic routines of the three jump tables: find the item's member, read its parameters from
// the host, call it, and hand its result back as the host expects.
#pragma once

#include "../Host/HostRecords.h"

#include <windows.h>

#include <cstdint>

// <wingdi.h> maps GetObject to GetObjectW; the reader's slot keeps its own name.
#undef GetObject

namespace Tovik {

std::int32_t HOST_STDCALL Action(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Condition(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
std::int32_t HOST_STDCALL Expression(RUNDATA* rdPtr, std::int32_t param);

void RestoreCurrentParam(Extension* ext);
std::uint32_t GetEventNumber(RUNDATA* rdPtr);

} // namespace Tovik

// Reads the parameters of one call. Slot order is part of the design: float, string, integer, object.
class ACEParamReader {
public:
    ACEParamReader() = default;
    ACEParamReader(const ACEParamReader&) = default;
    virtual float GetFloat(int i) = 0;
    virtual std::uint32_t GetString(int i) = 0;
    virtual std::int32_t GetInteger(int i, std::uint16_t code) = 0;
    virtual std::int32_t GetObject(int i) = 0;

protected:
    ~ACEParamReader() = default;
};

class ConditionOrActionManager_Windows final : public ACEParamReader {
public:
    ConditionOrActionManager_Windows(bool isCondition, RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
    float GetFloat(int i) override;
    std::uint32_t GetString(int i) override;
    std::int32_t GetInteger(int i, std::uint16_t code) override;
    std::int32_t GetObject(int i) override;

    RUNDATA* rdPtr;
    Extension* ext;
    bool isTwoOrLess;
    bool isCondition;

private:
    std::uint32_t Direct(int i) const;
    std::uint32_t Next(std::int32_t w) const;
};

class ExpressionManager_Windows final : public ACEParamReader {
public:
    explicit ExpressionManager_Windows(RUNDATA* rdPtr);
    ExpressionManager_Windows(const ExpressionManager_Windows&) = default;
    float GetFloat(int i) override;
    std::uint32_t GetString(int i) override;
    std::int32_t GetInteger(int i, std::uint16_t code) override;
    std::int32_t GetObject(int i) override;
    void SetFirstValue(std::uint32_t v);
    void SetReturnType(std::uint16_t retType);
    std::uint32_t SetValue(std::uint32_t v) { return v; }

    RUNDATA* rdPtr;
    bool firstValueGiven;
    std::uint32_t firstValue;

private:
    std::uint32_t Read(int i, std::int32_t w) const;
};
