#include "LinkExpression.h"

#include "../Lib/Shared/Polvane/TextConversion.h"
#include "../Lib/Shared/Tovik/SDK.h"
#include "../json/json.h"

namespace Linking {
namespace {

// ExpReturnType and ExpParams codes.
constexpr std::uint16_t TextResultCode = 1;
constexpr std::uint16_t FloatResultCode = 2;
constexpr std::uint16_t NumberParamCode = 1;
constexpr std::uint16_t TextParamCode = 3;

// The member result the item's "Returns" calls for; an unknown name has had the reader's box and
// expects int, as an integer does.
CppType RequiredResult(const char* returns, std::vector<Tovik::UnknownTypeName>& unknownNames)
{
    switch (Tovik::ReadExpressionReturnType(returns, &unknownNames)) {
    case FloatResultCode:
        return CppType::Float;
    case TextResultCode:
        return CppType::Text;
    default:
        return Polvane::EqualsIgnoringCase(returns, "Unsigned Integer") ? CppType::UnsignedInt : CppType::Int;
    }
}

// Expression titles end in the "(" that opens the editor's argument list; the messages leave it out.
std::string TitleWithoutParenthesis(const json_value& item)
{
    std::string title = ItemTitle(item);
    if (!title.empty() && title.back() == '(') {
        title.pop_back();
    }
    return title;
}

// The expression steps for one language.
Walk CheckExpressionIn(const char* name, const json_value& language, Tovik::LinkFindings& findings,
                       std::uint32_t ID, const SignatureTypes& member)
{
    std::string& report = findings.report;
    const std::string start = LinkErrorStart(name, "expression", ID);
    const json_value* item = FindItem(language, "Expressions", ID);
    if (item == nullptr) {
        report += start + "; it has no Expressions JSON item.\r\n";
        return Walk::NextLanguage;
    }
    const char* returns = (*item)["Returns"];
    const CppType required = RequiredResult(returns, findings.unknownNames);
    const std::string title = TitleWithoutParenthesis(*item);
    // A wrong result is wrong in every language: one message is enough.
    if (member.result.type != required) {
        report += start + ", " + title + "; it has return type " + returns + " in the JSON (C++ type " +
                  ExpectedTypeText(required) + "), but " + TypeText(member.result) +
                  " in the C++ function definition.";
        return Walk::Leave;
    }
    const std::int32_t count = ParameterCount(*item, true);
    if (count != member.count) {
        report += start + ", " + title + "; it has " + std::to_string(count) +
                  " parameters in the Expressions JSON item, but " + std::to_string(member.count) +
                  " parameters in the C++ function definition.";
        return Walk::NextLanguage;
    }
    if (count > 0) {
        ExpParamTypeCheck(*item, count - 1, member, findings);
        if (!report.empty()) {
            PutHeaderInFront(report, start + ", " + title + ":\r\n");
        }
    }
    return Walk::NextLanguage;
}

} // namespace

namespace {

// Parameter i of the item against the member's type at that position.
void CheckExpressionParameterType(const json_value& item, std::int32_t i, const MemberType& actual,
                                  Tovik::LinkFindings& findings)
{
    const json_value& parameter = item["Parameters"][i];
    const char* type = parameter[0];
    const char* name = parameter[1];
    bool isFloat = false;
    const std::uint16_t code = Tovik::ReadExpressionParameterType(type, &isFloat, &findings.unknownNames);

    CppType expected;
    if (isFloat) {
        expected = CppType::Float;
    } else if (code == TextParamCode) {
        expected = CppType::Text;
    } else if (code == NumberParamCode) {
        expected =
            Polvane::EqualsIgnoringCase(type, "Unsigned Integer") ? CppType::UnsignedInt : CppType::Int;
    } else {
        // An unknown type name has already had the reader's own box.
        return;
    }
    if (actual.type != expected) {
        findings.report += std::string("Has JSON parameter \"") + name + "\", JSON type \"" + type +
                           "\"; expected C++ type " + ExpectedTypeText(expected) +
                           ", but actual C++ type is " + TypeText(actual) + ".\r\n";
    }
}

} // namespace

void ExpParamTypeCheck(const json_value& item, std::int32_t i, const SignatureTypes& member,
                       Tovik::LinkFindings& findings)
{
    CheckExpressionParameterType(item, i, member.params[i], findings);
    // From the last parameter to the first, so that the messages stand in the report in that order.
    if (i > 0)
        ExpParamTypeCheck(item, i - 1, member, findings);
    else
        ExpParamTypeCheckEnd(item, member, findings);
}

void ExpParamTypeCheckEnd(const json_value&, const SignatureTypes&, Tovik::LinkFindings&) {}

Tovik::LinkFindings CheckExpression(const json_value& root, std::uint32_t ID, const SignatureTypes& member)
{
    return CheckEveryLanguage(
        root, [&](const char* name, const json_value& language, Tovik::LinkFindings& findings) {
            return CheckExpressionIn(name, language, findings, ID, member);
        });
}

} // namespace Linking
