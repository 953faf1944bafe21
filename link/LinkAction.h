// Linking of actions and conditions: the member's signature against the item of the same id in every
// language of the definition, parameter by parameter, then the member is stored in its function table.
#pragma once

#include "LinkCheck.h"

#include "../Lib/Shared/Tovik/MemberCall.h"

#include <cstdint>
#include <string>

namespace Linking {

// Parameter i of an action or condition item against the member's parameter type at that position, then
// parameter i - 1, down to parameter 0, after which ParamTypeCheckEnd ends the chain. comparison is null
// for an action; for a condition it receives the code of its comparison parameter.
void ParamTypeCheck(const json_value& item, std::int32_t i, const SignatureTypes& member,
                    Tovik::LinkFindings& findings, std::uint16_t* comparison);
// The end of the chain: nothing is left to test.
void ParamTypeCheckEnd(const json_value& item, const SignatureTypes& member, Tovik::LinkFindings& findings,
                       std::uint16_t* comparison);

// A comparison parameter of the given code was found: only conditions may have one, and only one.
void ComparisonParamCheck(const json_value& item, std::uint16_t code, std::string& report,
                          std::uint16_t* comparison);

Tovik::LinkFindings CheckAction(const json_value& root, std::uint32_t ID, const SignatureTypes& member);
Tovik::LinkFindings CheckCondition(const json_value& root, std::uint32_t ID, const SignatureTypes& member);

} // namespace Linking

// Links action ID to Member (e.g. LinkAction<&Extension::CopyBytes>(4)): reports what disagrees with the
// definition, then stores the member whatever was found.
template <auto Member> void LinkAction(std::uint32_t ID)
{
    using Function = typename Tovik::MemberPointerTraits<decltype(Member)>::Function;
    Linking::Link(::SDK->ActionFunctions, ::SDK->ActionFindings, ID, Tovik::MemberFunctionToPointer<Member>(),
                  Linking::SignatureOf<Function>, Linking::CheckAction, L"Action linking error");
}

template <auto Member> void LinkCondition(std::uint32_t ID)
{
    using Function = typename Tovik::MemberPointerTraits<decltype(Member)>::Function;
    Linking::Link(::SDK->ConditionFunctions, ::SDK->ConditionFindings, ID,
                  Tovik::MemberFunctionToPointer<Member>(), Linking::SignatureOf<Function>,
                  Linking::CheckCondition, L"Condition linking error");
}
