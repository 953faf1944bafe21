// Linking of expressions: the member's result and parameter types against the item of the same id in
// every language of the definition, then the member is stored in its function table.
#pragma once

#include "LinkCheck.h"

#include "../Lib/Shared/Tovik/MemberCall.h"

#include <cstdint>

namespace Linking {

// Parameter i of an expression item against the member's parameter type at that position, then parameter
// i - 1, down to parameter 0, after which ExpParamTypeCheckEnd ends the chain.
void ExpParamTypeCheck(const json_value& item, std::int32_t i, const SignatureTypes& member,
                       Tovik::LinkFindings& findings);
// The end of the chain: nothing is left to test.
void ExpParamTypeCheckEnd(const json_value& item, const SignatureTypes& member,
                          Tovik::LinkFindings& findings);

Tovik::LinkFindings CheckExpression(const json_value& root, std::uint32_t ID, const SignatureTypes& member);

} // namespace Linking

// Links expression ID to Member (e.g. LinkExpression<&Extension::Add>(0)): reports what disagrees with
// the definition, then stores the member whatever was found.
template <auto Member> void LinkExpression(std::uint32_t ID)
{
    using Function = typename Tovik::MemberPointerTraits<decltype(Member)>::Function;
    Linking::Link(::SDK->ExpressionFunctions, ::SDK->ExpressionFindings, ID,
                  Tovik::MemberFunctionToPointer<Member>(), Linking::SignatureOf<Function>,
                  Linking::CheckExpression, L"Expression linking error");
}
