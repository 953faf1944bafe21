// The framework's single state object: the parsed definition, one item per action, condition and
// expression (its host record, how its parameters are read, its linked member), the jump tables handed
// to the host, the property table and the icon.
#pragma once

#include "../Host/HostRecords.h"
#include "../Polvane/PropertyDefinitions.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
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

// How the call path reads one parameter: decided from its code and float flag when the record is
// built, so that a call does no more than follow it. The first three ask the host for its value.
enum class ParamRead : std::uint8_t {
    Integer,      // the host's value as an integer
    Float,        // the host's value as a float
    Text,         // the host's value as a text (and the codes that pass unchanged)
    Direct,       // the call's direct argument: param1 for the first parameter, param2 for the second
    DirectObject, // a condition's object among the direct arguments: the OiList index its record holds
    NewDirection, // an integer that becomes a direction mask, unless the parameter record holds one
    Object,       // an action takes the host's value, a condition the OiList index of the record it names
    Unrecognised, // an expression code that no reader knows: the call is refused
};

struct CallPlan {
    std::uint8_t count = 0; // parameters read and passed: "NumAutoProps" within the record's count
    bool direct = false;    // the values are the call's direct arguments as they come: no text to check
    bool asksOnly = false;  // every value is asked of the host, with `asks`, and no text is checked
    std::uint16_t refusesNull = 0;    // bit i: parameter i is a text the member cannot be given as null
    std::uint16_t resultFlag = 0;     // an expression's result mark: float, text or none
    std::uint32_t resultMask = 0xFF;  // a condition answers its member's low byte, all of it when it compares
    std::int8_t asks[MaxParams] = {}; // the host's w for each value asked of it
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

struct FreeRecord {
    void operator()(ACEInfo* record) const { std::free(record); }
};

// One action, condition or expression, at the index that is its id.
struct ACEItem {
    MemberCall Function = nullptr; // the linked member; null until linked
    CallPlan Plan;
    std::unique_ptr<ACEInfo, FreeRecord> Info; // the host's record
    LinkFindings Findings;
};

class SDK {
public:
    json_value* Root;
    std::vector<ACEItem> Actions;
    std::vector<ACEItem> Conditions;
    std::vector<ACEItem> Expressions;
    ActionRoutine* ActionJumpTable;
    ConditionRoutine* ConditionJumpTable;
    ExpressionRoutine* ExpressionJumpTable;
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
