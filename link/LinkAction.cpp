#include "LinkAction.h"

#include "../Lib/Shared/Polvane/TextConversion.h"
#include "../Lib/Shared/Tovik/SDK.h"
#include "../json/json.h"

#include <initializer_list>

namespace Linking {
namespace {

// Codes of the Params table (and codes the host defines without a type name) by the member type they
// call for.
constexpr std::uint16_t StringComparisonCode = 46;
constexpr std::uint16_t ObjectCode = 1;
constexpr std::initializer_list<std::uint16_t> TextCodes = {45, 40, 46, 41, 63};
constexpr std::initializer_list<std::uint16_t> IntegerCodes = {5, 22, 23, 42, 2, 24, 17, 56, 29};
constexpr std::initializer_list<std::uint16_t> UnsignedCodes = {24, 17, 56, 29};
constexpr std::initializer_list<std::uint16_t> IntegerComparisonCodes = {23, 42};

bool IsOneOf(std::uint16_t code, std::initializer_list<std::uint16_t> codes)
{
    for (const std::uint16_t candidate : codes) {
        if (code == candidate) {
            return true;
        }
    }
    return false;
}

// The result a condition needs follows from its comparison parameter, if it has one.
void CheckConditionResult(const MemberType& result, std::uint16_t comparison, std::string& report)
{
    const std::string type = TypeText(result);
    if (comparison == 0) {
        if (result.type != CppType::Bool) {
            report += "Condition has return type " + type +
                      " instead of the expected type bool in the C++ function definition.\r\n";
        }
    } else if (comparison == StringComparisonCode) {
        if (result.type != CppType::Text) {
            report += "Condition has a string-comparison parameter, but has return type " + type +
                      " instead of the expected type const TCHAR * in the C++ function definition.\r\n";
        }
    } else if (result.type != CppType::Int) {
        report += "Condition has a integer/time comparison parameter, but has return type " + type +
                  " instead of the expected type int in the C++ function definition.\r\n";
    }
}

// The action steps for one language.
Walk CheckActionIn(const char* name, const json_value& language, Tovik::LinkFindings& findings,
                   std::uint32_t ID, const SignatureTypes& member)
{
    std::string& report = findings.report;
    const std::string start = LinkErrorStart(name, "action", ID);
    const json_value* item = FindItem(language, "Actions", ID);
    if (item == nullptr) {
        report += start + "; it has no Actions JSON item.\r\n";
        return Walk::NextLanguage;
    }
    const std::string title = ItemTitle(*item);
    // A wrong result is wrong in every language: one message is enough.
    if (member.result.type != CppType::Void) {
        report += start + ", " + title + "; it has return type " + TypeText(member.result) +
                  " instead of void in the C++ function definition.";
        return Walk::Leave;
    }
    const std::int32_t count = ParameterCount(*item, true);
    if (count != member.count) {
        report += start + ", " + title + "; it has " + std::to_string(count) +
                  " parameters in the Actions JSON item, but " + std::to_string(member.count) +
                  " parameters in the C++ function definition.";
        return Walk::NextLanguage;
    }
    if (count > 0) {
        ParamTypeCheck(*item, count - 1, member, findings, nullptr);
        if (!report.empty()) {
            PutHeaderInFront(report, start + ", " + title + ":\r\n");
        }
    }
    return Walk::NextLanguage;
}

// The condition steps for one language.
Walk CheckConditionIn(const char* name, const json_value& language, Tovik::LinkFindings& findings,
                      std::uint32_t ID, const SignatureTypes& member)
{
    std::string& report = findings.report;
    const std::string start = LinkErrorStart(name, "condition", ID);
    const json_value* item = FindItem(language, "Conditions", ID);
    if (item == nullptr) {
        report += start + "; it has no Conditions JSON item.\r\n";
        return Walk::NextLanguage;
    }
    const std::string title = ItemTitle(*item);
    // Conditions are counted by their Parameters alone, whatever NumAutoProps says.
    const std::int32_t count = ParameterCount(*item, false);
    if (count != member.count) {
        report += start + ", " + title + "; it has " + std::to_string(count) +
                  " parameters in the Conditions JSON item, but " + std::to_string(member.count) +
                  " parameters in the C++ function definition.\r\n";
        return Walk::NextLanguage;
    }
    if (count == 0) {
        return Walk::NextLanguage;
    }
    std::uint16_t comparison = 0;
    ParamTypeCheck(*item, count - 1, member, findings, &comparison);
    CheckConditionResult(member.result, comparison, report);
    if (report.empty()) {
        return Walk::NextLanguage;
    }
    PutHeaderInFront(report, start + ", " + title + "\r\n");
    return Walk::Leave;
}

} // namespace

void ComparisonParamCheck(const json_value& item, std::uint16_t code, std::string& report,
                          std::uint16_t* comparison)
{
    if (comparison == nullptr) {
        report += "Action " + ItemTitle(item) +
                  " uses a comparison JSON parameter, but comparison parameters can only be used in "
                  "conditions.\r\n";
    } else if (*comparison != 0) {
        report += "Condition " + ItemTitle(item) +
                  " has two comparison JSON parameters. Only one comparison parameter can be used.\r\n";
    } else {
        *comparison = code;
    }
}

namespace {

// Parameter i of the item against the member's type at that position.
void CheckParameterType(const json_value& item, std::int32_t i, const MemberType& actual,
                        Tovik::LinkFindings& findings, std::uint16_t* comparison)
{
    std::string& report = findings.report;
    const json_value& parameter = item["Parameters"][i];
    const char* type = parameter[0];
    const char* name = parameter[1];
    bool isFloat = false;
    const std::uint16_t code = Tovik::ReadParameterType(type, &isFloat, &findings.unknownNames);

    CppType expected;
    if (isFloat) {
        expected = CppType::Float;
    } else if (IsOneOf(code, TextCodes)) {
        if (code == StringComparisonCode) {
            ComparisonParamCheck(item, code, report, comparison);
        }
        expected = CppType::Text;
    } else if (IsOneOf(code, IntegerCodes)) {
        if (IsOneOf(code, IntegerComparisonCodes)) {
            ComparisonParamCheck(item, code, report, comparison);
        }
        const bool isUnsigned =
            Polvane::EqualsIgnoringCase(type, "Unsigned Integer") || IsOneOf(code, UnsignedCodes);
        expected = isUnsigned ? CppType::UnsignedInt : CppType::Int;
    } else if (code == ObjectCode) {
        // Conditions receive an object as its index in the object list, actions as the object itself.
        expected = comparison != nullptr ? CppType::Int : CppType::RunObjectPointer;
    } else {
        report += std::string("Has JSON parameter ") + name + ", JSON type " + type + "; C++ type is " +
                  TypeText(actual) +
                  ", but Polvane SDK does not test that type yet. Please report it to Vaskor.\r\n";
        return;
    }
    if (actual.type != expected) {
        report += std::string("Has JSON parameter ") + name + ", JSON type " + type + "; expected C++ type " +
                  ExpectedTypeText(expected) + ", but actual C++ type is " + TypeText(actual) + ".\r\n";
    }
}

} // namespace

void ParamTypeCheck(const json_value& item, std::int32_t i, const SignatureTypes& member,
                    Tovik::LinkFindings& findings, std::uint16_t* comparison)
{
    CheckParameterType(item, i, member.params[i], findings, comparison);
    // From the last position to the first, so that the messages stand in the report in that order.
    if (i > 0)
        ParamTypeCheck(item, i - 1, member, findings, comparison);
    else
        ParamTypeCheckEnd(item, member, findings, comparison);
}

void ParamTypeCheckEnd(const json_value&, const SignatureTypes&, Tovik::LinkFindings&, std::uint16_t*) {}

Tovik::LinkFindings CheckAction(const json_value& root, std::uint32_t ID, const SignatureTypes& member)
{
    return CheckEveryLanguage(
        root, [&](const char* name, const json_value& language, Tovik::LinkFindings& findings) {
            return CheckActionIn(name, language, findings, ID, member);
        });
}

Tovik::LinkFindings CheckCondition(const json_value& root, std::uint32_t ID, const SignatureTypes& member)
{
    return CheckEveryLanguage(
        root, [&](const char* name, const json_value& language, Tovik::LinkFindings& findings) {
            return CheckConditionIn(name, language, findings, ID, member);
        });
}

} // namespace Linking
