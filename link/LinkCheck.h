// The frame that every linking check shares: each member function the extension object links is
// compared with its item in every language of the definition, the disagreements are collected in one
// report, a non-empty report is shown in one error box, and the member is stored in its function table
// whatever was found. The definition's author learns of a mismatch from the box.
#pragma once

#include "TypeName.h"

#include "../Lib/Shared/Tovik/SDK.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

struct json_value;
// The host's run-time object, taken by actions with an "Object" parameter.
struct RunObject;

namespace Linking {

// The member types the checks tell apart; every other type is Other and matches nothing.
enum class CppType { Other, Void, Bool, Int, UnsignedInt, Float, Text, RunObjectPointer };

template <typename T> constexpr CppType CppTypeOf()
{
    if constexpr (std::is_void_v<T>) {
        return CppType::Void;
    } else if constexpr (std::is_same_v<T, bool>) {
        return CppType::Bool;
    } else if constexpr (std::is_same_v<T, int>) {
        return CppType::Int;
    } else if constexpr (std::is_same_v<T, unsigned int>) {
        return CppType::UnsignedInt;
    } else if constexpr (std::is_same_v<T, float>) {
        return CppType::Float;
    } else if constexpr (std::is_same_v<T, const wchar_t*>) {
        return CppType::Text;
    } else if constexpr (std::is_same_v<T, RunObject*>) {
        return CppType::RunObjectPointer;
    } else {
        return CppType::Other;
    }
}

// How a message names the type a definition calls for.
const char* ExpectedTypeText(CppType type);

// One type of the member's signature: what the checks compare, and the name the messages print.
struct MemberType {
    CppType type;
    static_string (*name)();
};

template <typename T> constexpr MemberType DescribeType() { return {CppTypeOf<T>(), &type_name<T>}; }

// The type's name as a message prints it.
std::string TypeText(const MemberType& type);

// The types of a member's signature as the checks read them: fixed at build time, compared at run time.
struct SignatureTypes {
    MemberType result;
    std::int32_t count;
    std::array<MemberType, Tovik::MaxParams> params;
};

template <typename R, typename... P> constexpr SignatureTypes DescribeSignature(R (*)(P...))
{
    static_assert(sizeof...(P) <= Tovik::MaxParams, "a member takes at most 16 parameters");
    return {DescribeType<R>(), static_cast<std::int32_t>(sizeof...(P)), {DescribeType<P>()...}};
}

// The signature types of a function type R(P...).
template <typename Sig>
inline constexpr SignatureTypes SignatureOf = DescribeSignature(static_cast<Sig*>(nullptr));

// Whether the walk goes on with the next language or ends.
enum class Walk { NextLanguage, Leave };

// The steps of one kind of check for one language: its name (the root member's key), its object, and
// what the link has found so far.
using LanguageSteps =
    std::function<Walk(const char* name, const json_value& language, Tovik::LinkFindings& findings)>;

// Runs steps for every language object of the definition root in document order; shows nothing.
Tovik::LinkFindings CheckEveryLanguage(const json_value& root, const LanguageSteps& steps);

// The check of one kind: what a member of the given signature disagrees with in the item ID of every
// language.
using Check = Tovik::LinkFindings (*)(const json_value& root, std::uint32_t ID, const SignatureTypes& member);

// The boxes of one link: the type names the readers could not match, each in its reader's box, then
// the report in one error box with the given title, cut to what the box can hold.
void ShowFindings(const Tovik::LinkFindings& findings, const wchar_t* boxTitle);

// Links member to item ID: shows what check finds, then stores the member in functions[ID] whatever was
// found; an id beyond the table (the definition has fewer items) stores nothing. The findings depend
// only on the definition and the member, so each item keeps them in findings[ID]: a later object's link
// shows them again without reading the definition.
void Link(std::vector<Tovik::MemberCall>& functions, std::vector<Tovik::LinkFindings>& findings,
          std::uint32_t ID, Tovik::MemberCall member, const SignatureTypes& signature, Check check,
          const wchar_t* boxTitle);

// Element ID of language[arrayName], or null when the array has no such element.
const json_value* FindItem(const json_value& language, const char* arrayName, std::uint32_t ID);

// The start of every message that names the language: "<name>: error in linking <kind> ID <ID>".
std::string LinkErrorStart(const char* languageName, const char* kind, std::uint32_t ID);

// The item's "Title" text; "" when it is absent or not a text.
std::string ItemTitle(const json_value& item);

// The element count of the item's "Parameters"; with useAutoProps an integer "NumAutoProps" counts
// instead, since the call path then passes that many.
std::int32_t ParameterCount(const json_value& item, bool useAutoProps);

// Puts header in front of everything the report holds, dropping the report's last two characters (the
// line end of its last message).
void PutHeaderInFront(std::string& report, const std::string& header);

} // namespace Linking
