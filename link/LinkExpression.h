// Linking of expressions: the member's result and parameter types against the item of the same id in
// every language of the definition, then the member is stored in its function table.
#pragma once

#include "LinkCheck.h"

#include "../Lib/Shared/Tovik/MemberCall.h"

#include <cstdint>
#include <string>

namespace Linking {

// Parameter i of an expression item against the member's parameter type at that position.
void ExpParamTypeCheck(const json_value& item, std::int32_t i, const MemberType& actual, std::string& report);

void CheckExpression(const json_value& root, std::uint32_t ID, const MemberSignature& member);

// The check of a member of signature Sig (a function type R(P...)) against the definition root;
// nothing is stored.
template <typename Sig> void CheckExpressionLink(const json_value& root, std::uint32_t ID)
{
    CheckExpression(root, ID, DescribeSignature(static_cast<Sig*>(nullptr)));
}

} // namespace Linking

// Links expression ID to Member (e.g. LinkExpression<&Extension::Add>(0)): reports what disagrees with
// the definition, then stores the member whatever was found.
template <auto Member> void LinkExpression(std::uint32_t ID)
{
    Linking::CheckExpressionLink<typename Linking::FunctionTypeOf<decltype(Member)>::type>(*::SDK->Root, ID);
    Linking::StoreLink(::SDK->ExpressionFunctions, ID, Tovik::MemberFunctionToPointer<Member>());
}
