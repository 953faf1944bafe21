// The framework's single state object: the parsed definition, one record per action, condition and
// expression, the jump tables handed to the host, and the tables the extension object links into.
#pragma once

#include "../Host/HostRecords.h"
#include "../Polvane/PropertyDefinitions.h"

#include <cstdint>
#include <vector>

struct json_value;
class Extension;
class HostSurface;

namespace Tovik {

// A linked member, called with the object and the `count` 32-bit values read for it (at most 16); a
// parameter past `count` reaches the member as 0. Answers the member's result as 32 bits (a float as
// its bit pattern, a text as its pointer, void as 0).
using MemberCall = std::uint32_t (*)(Extension* ext, const std::uint32_t* args, int count);

constexpr std::size_t MaxParams = 16;

class SDK {
public:
    json_value* Root;
    std::vector<ACEInfo*> ActionInfos;
    std::vector<ACEInfo*> ConditionInfos;
    std::vector<ACEInfo*> ExpressionInfos;
    ActionRoutine* ActionJumpTable;
    ConditionRoutine* ConditionJumpTable;
    ExpressionRoutine* ExpressionJumpTable;
    std::vector<MemberCall> ActionFunctions;
    std::vector<MemberCall> ConditionFunctions;
    std::vector<MemberCall> ExpressionFunctions;
    // Per id, how many parameters the call path reads and passes: "NumAutoProps" when the item has
    // it, else the record's count, never more than the record holds. Worked out once with the records.
    std::vector<std::uint8_t> ActionArgCounts;
    std::vector<std::uint8_t> ConditionArgCounts;
    std::vector<std::uint8_t> ExpressionArgCounts;
    ::mV* mV;
    std::uint32_t PropertyTitlesHash;
    std::uint32_t PropertyTypesHash;
    HostSurface* Icon; // owned; null when the host's surface library could not be bound
    // The host's property table: one descriptor per property, then the all-zero closing one.
    std::vector<HostPropertyDescriptor> EdittimeProperties;

    SDK(::mV* mV, json_value* root);
    ~SDK();
    SDK(const SDK&) = delete;
    SDK& operator=(const SDK&) = delete;
};

ACEInfo* AllocACEInfo(std::uint32_t n);
bool BuildActionInfo();
bool BuildConditionInfo();
bool BuildExpressionInfo();

// Type names of the definition to the host's codes; *isFloat is set for "Float" and never cleared.
std::uint16_t ReadParameterType(const char* name, bool* isFloat);
std::uint16_t ReadExpressionParameterType(const char* name, bool* isFloat);
std::uint16_t ReadExpressionReturnType(const char* name);

// Menu-code bases of the three kinds.
constexpr int ActionID(int index) { return 25000 + index; }
constexpr int ConditionID(int index) { return 26000 + index; }
constexpr int ExpressionID(int index) { return 27000 + index; }

} // namespace Tovik

// The state object, once built.
extern Tovik::SDK* SDK;
