// The framework's single state object: the parsed definition, one record per action, condition and
// expression, the jump tables handed to the host, the tables the extension object links its members
// into, the property table and the icon.
#pragma once

#include "../Host/HostRecords.h"
#include "../Polvane/PropertyDefinitions.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

struct json_value;
class Extension;
class HostSurface;

namespace Tovik {

// A linked member, called with the object and the `count` 32-bit values read for it (at most 16); a
// parameter past `count` reaches the member as 0, or as an empty text. Answers the member's result as
// 32 bits (a float as its bit pattern, a text as its pointer, void as 0).
using MemberCall = std::uint32_t(IN_REGISTERS*)(Extension* ext, const std::uint32_t* args, int count);

constexpr std::size_t MaxParams = 16;

// Which of its reader's operations the call path reads one parameter with: decided from the parameter's
// code and float flag when the record is built, so that a call does no more than follow it.
enum class ParamRead : std::uint8_t {
    Integer,      // GetInteger, with the parameter's code
    Float,        // GetFloat
    Text,         // GetString: a text, or the codes that pass unchanged
    Object,       // GetObject
    Unrecognised, // an expression code that no reader knows: the call is refused
};

// What a call of one item does beyond what its record says, worked out once with the record.
struct CallPlan {
    std::uint8_t count = 0;          // parameters read and passed: "NumAutoProps" within the record's count
    bool isTwoOrLess = false;        // the record's at most two parameters come as the direct arguments
    bool direct = false;             // the values are the call's direct arguments as they come
    bool numbersOnly = false;        // every value read is an integer Number
    std::uint16_t refusesNull = 0;   // bit i: parameter i is a text the member cannot be given as null
    std::uint16_t returnType = 0;    // an expression's ExpReturnType code, which marks its result
    std::uint32_t resultMask = 0xFF; // a condition answers its member's low byte, all of it when it compares
    ParamRead reads[MaxParams] = {};
};

// The tables that turn the definition's type names into the host's codes.
enum class TypeTable : std::uint8_t { Params, ExpParams, ExpReturnType };

// A type name that matched nothing in its table; its reader's error box names it.
struct UnknownTypeName {
    TypeTable table;
    std::string name;
};

// What linking a member to an item found: the boxes of one link, kept so that a later object's link
// shows the same boxes without reading the definition again. The names the type readers could not
// match come first, then the link's report (UTF-8; empty when nothing disagrees).
struct LinkFindings {
    MemberCall member = nullptr; // the member these are the findings for
    std::vector<UnknownTypeName> unknownNames;
    std::string report;
};

class SDK {
public:
    json_value* Root;
    // The record of item i at index i: owned, one for every item of the current language.
    std::vector<ACEInfo*> ActionInfos;
    std::vector<ACEInfo*> ConditionInfos;
    std::vector<ACEInfo*> ExpressionInfos;
    // One routine per item, then a null entry; owned.
    ActionRoutine* ActionJumpTable;
    ConditionRoutine* ConditionJumpTable;
    ExpressionRoutine* ExpressionJumpTable;
    // The member linked to item i at index i; null until linked.
    std::vector<MemberCall> ActionFunctions;
    std::vector<MemberCall> ConditionFunctions;
    std::vector<MemberCall> ExpressionFunctions;
    ::mV* mV;
    std::uint32_t PropertyTitlesHash;
    std::uint32_t PropertyTypesHash;
    HostSurface* Icon; // owned; null when the host's surface library could not be bound
    // The host's property table: one descriptor per property, then the all-zero closing one.
    std::vector<HostPropertyDescriptor> EdittimeProperties;

    // Beside the tables, per item: how its calls read their parameters, and what linking found.
    std::vector<CallPlan> ActionPlans;
    std::vector<CallPlan> ConditionPlans;
    std::vector<CallPlan> ExpressionPlans;
    std::vector<LinkFindings> ActionFindings;
    std::vector<LinkFindings> ConditionFindings;
    std::vector<LinkFindings> ExpressionFindings;

    SDK(::mV* mV, json_value* root);
    ~SDK();
    SDK(const SDK&) = delete;
    SDK& operator=(const SDK&) = delete;
};

ACEInfo* AllocACEInfo(std::uint32_t n);
bool BuildActionInfo();
bool BuildConditionInfo();
bool BuildExpressionInfo();

// Type names of the definition to the host's codes; *isFloat is set for "Float" and never cleared. A
// name that matches nothing gives 0 and is shown in the reader's error box, or, given `unknown`, added
// there to be shown later with ShowUnknownTypeName.
std::uint16_t ReadParameterType(const char* name, bool* isFloat,
                                std::vector<UnknownTypeName>* unknown = nullptr);
std::uint16_t ReadExpressionParameterType(const char* name, bool* isFloat,
                                          std::vector<UnknownTypeName>* unknown = nullptr);
std::uint16_t ReadExpressionReturnType(const char* name, std::vector<UnknownTypeName>* unknown = nullptr);
void ShowUnknownTypeName(const UnknownTypeName& unknown);

// Menu-code bases of the three kinds.
constexpr int ActionID(int index) { return 25000 + index; }
constexpr int ConditionID(int index) { return 26000 + index; }
constexpr int ExpressionID(int index) { return 27000 + index; }

} // namespace Tovik

// The state object, once built.
extern Tovik::SDK* SDK;
