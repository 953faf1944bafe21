#include "InProcess.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "extension/Extension.h"
#include "link/LinkAction.h"
#include "link/LinkExpression.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

const wchar_t ActionBox[] = L"Action linking error - Morvalex";
const wchar_t ConditionBox[] = L"Condition linking error - Morvalex";
const wchar_t ExpressionBox[] = L"Expression linking error - Morvalex";

// A definition: the identifier texts a root starts with, then one language.
std::string OneLanguage(const std::string& members)
{
    return R"({"Identifier": "MVLX", "Dependencies": "", "UK English": {"About": {"Name": "Morvalex"}, )" +
           members + "}}";
}

// A check of one signature against a definition root, as a link runs it.
using Check = void (*)(const json_value& root, std::uint32_t ID);

class LinkTest : public testing::Test {
protected:
    // The parsed document, kept until the test ends. The label names the case of a table, for the
    // failure messages.
    const json_value& Load(const std::string& text, const std::string& label = {})
    {
        json_value* root = InProcess::ParseDefinition(text, label);
        if (root == nullptr) {
            return json_value_none;
        }
        documents.emplace_back(root, json_value_free);
        return *root;
    }

    void ExpectOneBox(const wchar_t* title, const std::wstring& text, const std::string& label = {})
    {
        ASSERT_EQ(boxes.size(), 1u) << label;
        EXPECT_EQ(boxes[0].title, title) << label;
        EXPECT_EQ(boxes[0].text, text) << label;
    }

    void ExpectNoBox(const std::string& label = {})
    {
        for (const TestHost::RecordedBox& box : boxes) {
            ADD_FAILURE() << label << (label.empty() ? "" : ": ")
                          << "unexpected box: " << testing::PrintToString(box.title) << " "
                          << testing::PrintToString(box.text);
        }
    }

    InProcess::RunningAs builtApplication{Polvane::MFXRunMode::BuiltEXE};
    InProcess::BoxRecorder recorder;
    std::vector<TestHost::RecordedBox>& boxes = recorder.boxes;

private:
    std::vector<std::unique_ptr<json_value, void (*)(json_value*)>> documents;
};

template <typename Sig> void CheckActionLink(const json_value& root, std::uint32_t ID)
{
    Linking::ShowFindings(Linking::CheckAction(root, ID, Linking::SignatureOf<Sig>), L"Action linking error");
}
template <typename Sig> void CheckConditionLink(const json_value& root, std::uint32_t ID)
{
    Linking::ShowFindings(Linking::CheckCondition(root, ID, Linking::SignatureOf<Sig>), L"Condition linking error");
}
template <typename Sig> void CheckExpressionLink(const json_value& root, std::uint32_t ID)
{
    Linking::ShowFindings(Linking::CheckExpression(root, ID, Linking::SignatureOf<Sig>), L"Expression linking error");
}

// One parameter of the given type; message is what the box shows after the header, or null when the
// member's type is accepted.
struct ParamCase {
    const char* type;
    Check check;
    const wchar_t* message;
};

const ParamCase actionParamCases[] = {
    {"Integer", CheckActionLink<void(int)>, nullptr},
    {"Integer", CheckActionLink<void(unsigned int)>,
     L"Has JSON parameter P, JSON type Integer; expected C++ type int, but actual C++ type is unsigned int."},
    {"Time", CheckActionLink<void(int)>, nullptr},
    {"Time", CheckActionLink<void(float)>,
     L"Has JSON parameter P, JSON type Time; expected C++ type int, but actual C++ type is float."},
    {"Float", CheckActionLink<void(float)>, nullptr},
    {"FLOAT", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type FLOAT; expected C++ type float, but actual C++ type is int."},
    {"Text", CheckActionLink<void(const wchar_t*)>, nullptr},
    {"Text", CheckActionLink<void(wchar_t*)>,
     L"Has JSON parameter P, JSON type Text; expected C++ type const TCHAR *, but actual C++ type is "
     L"wchar_t*."},
    {"String", CheckActionLink<void(float)>,
     L"Has JSON parameter P, JSON type String; expected C++ type const TCHAR *, but actual C++ type is "
     L"float."},
    {"File", CheckActionLink<void(const wchar_t*)>, nullptr},
    {"Filename", CheckActionLink<void(float)>,
     L"Has JSON parameter P, JSON type Filename; expected C++ type const TCHAR *, but actual C++ type is "
     L"float."},
    {"Unsigned Integer", CheckActionLink<void(unsigned int)>, nullptr},
    {"unsigned INTEGER", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type unsigned INTEGER; expected C++ type unsigned int, but actual C++ type "
     L"is "
     L"int."},
    {"Colour", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type Colour; expected C++ type unsigned int, but actual C++ type is int."},
    {"Color", CheckActionLink<void(unsigned int)>, nullptr},
    {"JoyDirection", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type JoyDirection; expected C++ type unsigned int, but actual C++ type is "
     L"int."},
    {"NewDirection", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type NewDirection; expected C++ type unsigned int, but actual C++ type is "
     L"int."},
    {"Object", CheckActionLink<void(RunObject*)>, nullptr},
    {"Object", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type Object; expected C++ type RunObject *, but actual C++ type is int."},
    {"Comparison", CheckActionLink<void(int)>,
     L"Action Act %0 uses a comparison JSON parameter, but comparison parameters can only be used in "
     L"conditions."},
    {"StringComparison", CheckActionLink<void(const wchar_t*)>,
     L"Action Act %0 uses a comparison JSON parameter, but comparison parameters can only be used in "
     L"conditions."},
    {"StringComparison", CheckActionLink<void(int)>,
     L"Action Act %0 uses a comparison JSON parameter, but comparison parameters can only be used in "
     L"conditions.\r\nHas JSON parameter P, JSON type StringComparison; expected C++ type const TCHAR *, but "
     L"actual C++ type is int."},
    {"Position", CheckActionLink<void(int)>,
     L"Has JSON parameter P, JSON type Position; C++ type is int, but Polvane SDK does not test that type "
     L"yet. "
     L"Please report it to Vaskor."},
    {"Zone", CheckActionLink<void(const wchar_t*)>,
     L"Has JSON parameter P, JSON type Zone; C++ type is const wchar_t*, but Polvane SDK does not test that "
     L"type "
     L"yet. Please report it to Vaskor."},
    {"Custom7", CheckActionLink<void(float)>,
     L"Has JSON parameter P, JSON type Custom7; C++ type is float, but Polvane SDK does not test that type "
     L"yet. "
     L"Please report it to Vaskor."},
};

TEST_F(LinkTest, ActionParameterTypes)
{
    for (const ParamCase& row : actionParamCases) {
        boxes.clear();
        const json_value& root = Load(OneLanguage(R"("Actions": [{"Title": "Act %0", "Parameters": [[")" +
                                                  std::string(row.type) + R"(", "P"]]}])"),
                                      row.type);
        row.check(root, 0);
        if (row.message == nullptr) {
            ExpectNoBox(row.type);
        } else {
            ExpectOneBox(ActionBox,
                         std::wstring(L"UK English: error in linking action ID 0, Act %0:\r\n") + row.message,
                         row.type);
        }
    }
}

const ParamCase conditionParamCases[] = {
    {"Integer", CheckConditionLink<bool(int)>, nullptr},
    {"Float", CheckConditionLink<bool(float)>, nullptr},
    {"Float", CheckConditionLink<bool(int)>,
     L"Has JSON parameter P, JSON type Float; expected C++ type float, but actual C++ type is int."},
    {"Object", CheckConditionLink<bool(int)>, nullptr},
    {"Object", CheckConditionLink<bool(RunObject*)>,
     L"Has JSON parameter P, JSON type Object; expected C++ type int, but actual C++ type is RunObject*."},
    {"Integer", CheckConditionLink<int(int)>,
     L"Condition has return type int instead of the expected type bool in the C++ function definition."},
    {"Comparison", CheckConditionLink<int(int)>, nullptr},
    {"Comparison", CheckConditionLink<bool(int)>,
     L"Condition has a integer/time comparison parameter, but has return type bool instead of the expected "
     L"type "
     L"int in the C++ function definition."},
    {"Comparison", CheckConditionLink<float(int)>,
     L"Condition has a integer/time comparison parameter, but has return type float instead of the expected "
     L"type int in the C++ function definition."},
    {"StringComparison", CheckConditionLink<const wchar_t*(const wchar_t*)>, nullptr},
    {"StringComparison", CheckConditionLink<bool(const wchar_t*)>,
     L"Condition has a string-comparison parameter, but has return type bool instead of the expected type "
     L"const "
     L"TCHAR * in the C++ function definition."},
    {"StringComparison", CheckConditionLink<bool(int)>,
     L"Has JSON parameter P, JSON type StringComparison; expected C++ type const TCHAR *, but actual C++ "
     L"type is "
     L"int.\r\nCondition has a string-comparison parameter, but has return type bool instead of the expected "
     L"type const TCHAR * in the C++ function definition."},
    {"Position", CheckConditionLink<bool(int)>,
     L"Has JSON parameter P, JSON type Position; C++ type is int, but Polvane SDK does not test that type "
     L"yet. "
     L"Please report it to Vaskor."},
};

TEST_F(LinkTest, ConditionParameterAndResultTypes)
{
    for (const ParamCase& row : conditionParamCases) {
        boxes.clear();
        const json_value& root = Load(OneLanguage(R"("Conditions": [{"Title": "Cond %0", "Parameters": [[")" +
                                                  std::string(row.type) + R"(", "P"]]}])"),
                                      row.type);
        row.check(root, 0);
        if (row.message == nullptr) {
            ExpectNoBox(row.type);
        } else {
            ExpectOneBox(ConditionBox,
                         std::wstring(L"UK English: error in linking condition ID 0, Cond %0\r\n") +
                             row.message,
                         row.type);
        }
    }
}

TEST_F(LinkTest, ParametersAreReportedFromLastToFirst)
{
    const json_value& root = Load(OneLanguage(
        R"("Actions": [{"Title": "Act", "Parameters": [["Float", "First"], ["Text", "Second"]]}])"));
    CheckActionLink<void(int, int)>(root, 0);
    ExpectOneBox(ActionBox,
                 L"UK English: error in linking action ID 0, Act:\r\n"
                 L"Has JSON parameter Second, JSON type Text; expected C++ type const TCHAR *, but actual "
                 L"C++ type is int.\r\n"
                 L"Has JSON parameter First, JSON type Float; expected C++ type float, but actual C++ type "
                 L"is int.");
}

TEST_F(LinkTest, UnknownParameterTypeIsReportedByTheReaderAndLeftUntested)
{
    struct {
        const char* parameters;
        const wchar_t* message;
    } const cases[] = {
        {R"([["Bogus", "P"]])",
         L"Has JSON parameter P, JSON type Bogus; C++ type is int, but Polvane SDK does not "
         L"test that type yet. Please report it to Vaskor."},
        // An entry that is not an array has neither a type nor a name.
        {R"(["Integer"])",
         L"Has JSON parameter , JSON type ; C++ type is int, but Polvane SDK does not test that "
         L"type yet. Please report it to Vaskor."},
    };
    for (const auto& row : cases) {
        boxes.clear();
        const json_value& root = Load(OneLanguage(R"("Actions": [{"Title": "Act", "Parameters": )" +
                                                  std::string(row.parameters) + "}]"),
                                      row.parameters);
        CheckActionLink<void(int)>(root, 0);
        ASSERT_EQ(boxes.size(), 2u) << row.parameters;
        EXPECT_EQ(boxes[0].title, L"Polvane Params error - Morvalex") << row.parameters;
        EXPECT_EQ(boxes[1].title, ActionBox) << row.parameters;
        EXPECT_EQ(boxes[1].text,
                  std::wstring(L"UK English: error in linking action ID 0, Act:\r\n") + row.message)
            << row.parameters;
    }
}

TEST_F(LinkTest, MissingActionItem)
{
    struct {
        const char* members;
        std::uint32_t ID;
        const wchar_t* text;
    } const cases[] = {
        {R"("Actions": [])", 0,
         L"UK English: error in linking action ID 0; it has no Actions JSON item.\r\n"},
        {R"("Actions": [{"Title": "A"}, {"Title": "B"}])", 2,
         L"UK English: error in linking action ID 2; it has no Actions JSON item.\r\n"},
        {R"("Conditions": [{"Title": "A"}])", 0,
         L"UK English: error in linking action ID 0; it has no Actions JSON item.\r\n"},
        {R"("Actions": {"0": {"Title": "A"}})", 0,
         L"UK English: error in linking action ID 0; it has no Actions JSON item.\r\n"},
        {R"("Actions": [{"Title": "A"}])", 4294967295u,
         L"UK English: error in linking action ID 4294967295; it has no Actions JSON item.\r\n"},
    };
    for (const auto& row : cases) {
        boxes.clear();
        CheckActionLink<void()>(Load(OneLanguage(row.members), row.members), row.ID);
        ExpectOneBox(ActionBox, row.text, row.members);
    }
}

TEST_F(LinkTest, ActionParameterCounts)
{
    const wchar_t* const countThreeButTwo =
        L"UK English: error in linking action ID 0, Act; it has 3 parameters in "
        L"the Actions JSON item, but 2 parameters in the C++ function definition.";
    const std::string threeParameters =
        R"("Parameters": [["Integer", "A"], ["Integer", "B"], ["Text", "C"]])";
    struct {
        std::string item;
        Check check;
        const wchar_t* text;
    } const cases[] = {
        {"", CheckActionLink<void()>, nullptr},
        {R"("Parameters": [])", CheckActionLink<void()>, nullptr},
        // Only the parameters NumAutoProps counts are checked: the third would not match.
        {threeParameters + R"(, "NumAutoProps": 2)", CheckActionLink<void(int, int)>, nullptr},
        {threeParameters + R"(, "NumAutoProps": 4294967298)", CheckActionLink<void(int, int)>, nullptr},
        {threeParameters + R"(, "NumAutoProps": "2")", CheckActionLink<void(int, int)>, countThreeButTwo},
        {threeParameters + R"(, "NumAutoProps": 2.0)", CheckActionLink<void(int, int)>, countThreeButTwo},
        {R"("NumAutoProps": -1)", CheckActionLink<void()>,
         L"UK English: error in linking action ID 0, Act; it has -1 parameters in the Actions JSON item, but "
         L"0 "
         L"parameters in the C++ function definition."},
        // A count that differs stops the check before the parameters: the Float would not match either.
        {R"("Parameters": [["Float", "A"]])", CheckActionLink<void()>,
         L"UK English: error in linking action ID 0, Act; it has 1 parameters in the Actions JSON item, but "
         L"0 "
         L"parameters in the C++ function definition."},
        {R"("Parameters": [["Float", "A"]])", CheckActionLink<void(int, int)>,
         L"UK English: error in linking action ID 0, Act; it has 1 parameters in the Actions JSON item, but "
         L"2 "
         L"parameters in the C++ function definition."},
    };
    for (const auto& row : cases) {
        boxes.clear();
        const std::string separator = row.item.empty() ? "" : ", ";
        row.check(Load(OneLanguage(R"("Actions": [{"Title": "Act")" + separator + row.item + "}]"), row.item),
                  0);
        if (row.text == nullptr) {
            ExpectNoBox(row.item);
        } else {
            ExpectOneBox(ActionBox, row.text, row.item);
        }
    }
}

TEST_F(LinkTest, ActionResultIsTestedFirstAndEndsTheWalk)
{
    // Both languages have a wrong count as well: only the result of the first one is reported.
    const json_value& root = Load(R"({
        "UK English": {"About": {"Name": "Morvalex"}, "Actions": [{"Title": " Act %0 ( ", "Parameters": [["Integer", "A"]]}]},
        "Deutsch": {"About": {"Name": "Morvalex"}, "Actions": []}})");
    CheckActionLink<int()>(root, 0);
    ExpectOneBox(ActionBox,
                 L"UK English: error in linking action ID 0,  Act %0 ( ; it has return type int instead "
                 L"of void in the C++ function definition.");
}

TEST_F(LinkTest, TitlesAreTextFromTheDefinition)
{
    struct {
        const char* title;
        const wchar_t* text;
    } const cases[] = {
        {R"("Title": "Gr\u00f6\u00dfe \u20ac")", L"UK English: error in linking action ID 0, Gr\u00f6\u00dfe "
                                                 L"\u20ac; it has return type bool instead of "
                                                 L"void in the C++ function definition."},
        {"",
         L"UK English: error in linking action ID 0, ; it has return type bool instead of void in the C++ "
         L"function definition."},
        {R"("Title": 12)",
         L"UK English: error in linking action ID 0, ; it has return type bool instead of void in "
         L"the C++ function definition."},
    };
    for (const auto& row : cases) {
        boxes.clear();
        CheckActionLink<bool()>(
            Load(OneLanguage(R"("Actions": [{)" + std::string(row.title) + "}]"), row.title), 0);
        ExpectOneBox(ActionBox, row.text, row.title);
    }
}

TEST_F(LinkTest, LaterLanguageHeaderStandsInFrontOfEarlierMessages)
{
    const json_value& root = Load(R"({
        "UK English": {"About": {"Name": "Morvalex"}, "Actions": []},
        "Fran\u00e7ais": {"About": {"Name": "Morvalex FR"}, "Actions": [{"Title": "Agir", "Parameters": [["Integer", "A"]]}]}})");
    CheckActionLink<void(int)>(root, 0);
    ExpectOneBox(ActionBox, L"Fran\u00e7ais: error in linking action ID 0, Agir:\r\n"
                            L"UK English: error in linking action ID 0; it has no Actions JSON item.");
}

TEST_F(LinkTest, EveryLanguageWithAMismatchPutsItsHeaderInFront)
{
    // Each header rebuild drops the last line end, so the first language's message runs into the second's.
    const json_value& root = Load(R"({
        "UK English": {"About": {"Name": "Morvalex"}, "Actions": [{"Title": "Act", "Parameters": [["Float", "A"]]}]},
        "Deutsch": {"About": {"Name": "Morvalex"}, "Actions": [{"Title": "Tun", "Parameters": [["Text", "B"]]}]}})");
    CheckActionLink<void(int)>(root, 0);
    ExpectOneBox(ActionBox,
                 L"Deutsch: error in linking action ID 0, Tun:\r\n"
                 L"UK English: error in linking action ID 0, Act:\r\n"
                 L"Has JSON parameter A, JSON type Float; expected C++ type float, but actual C++ type is "
                 L"int.Has JSON parameter B, JSON type Text; expected C++ type const TCHAR *, but actual "
                 L"C++ type is int.");
}

TEST_F(LinkTest, OnlyObjectsWithAnAboutNameAreLanguages)
{
    const std::string notLanguages = R"("Identifier": "MVLX", "Version": 3, "Plain": {"Actions": []},
        "NumberName": {"About": {"Name": 3}, "Actions": []}, "NoName": {"About": {}, "Actions": []})";
    CheckActionLink<void(int)>(Load("{" + notLanguages + R"(, "UK English": {"About": {"Name": "Morvalex"},
        "Actions": [{"Title": "Act", "Parameters": [["Integer", "A"]]}]}})"),
                               0);
    ExpectNoBox();

    CheckActionLink<void(int)>(
        Load("{" + notLanguages + R"(, "UK English": {"About": {"Name": "Morvalex"}}})"), 0);
    ExpectOneBox(ActionBox, L"UK English: error in linking action ID 0; it has no Actions JSON item.\r\n");
}

TEST_F(LinkTest, NoLanguageNoBox)
{
    CheckActionLink<void()>(Load(R"({"Identifier": "MVLX"})"), 0);
    CheckConditionLink<bool()>(Load(R"({"UK English": "Morvalex"})"), 0);
    CheckExpressionLink<int()>(Load("{}"), 0);
    ExpectNoBox();
}

TEST_F(LinkTest, ConditionItemsAndCounts)
{
    struct {
        const char* members;
        std::uint32_t ID;
        Check check;
        const wchar_t* text;
    } const cases[] = {
        {R"("Conditions": [{"Title": "Cond", "Parameters": [["Integer", "A"], ["Integer", "B"]]}])", 0,
         CheckConditionLink<bool(int, int)>, nullptr},
        {R"("Conditions": [{"Title": "Cond"}])", 1, CheckConditionLink<bool()>,
         L"UK English: error in linking condition ID 1; it has no Conditions JSON item.\r\n"},
        // Conditions count their parameters, whatever NumAutoProps says.
        {R"("Conditions": [{"Title": "Cond", "Parameters": [["Integer", "A"], ["Integer", "B"]], "NumAutoProps": 1}])",
         0, CheckConditionLink<bool(int)>,
         L"UK English: error in linking condition ID 0, Cond; it has 2 parameters in the Conditions JSON "
         L"item, but 1 "
         L"parameters in the C++ function definition.\r\n"},
        // Without parameters nothing is tested, not even the result.
        {R"("Conditions": [{"Title": "Cond"}])", 0, CheckConditionLink<float()>, nullptr},
    };
    for (const auto& row : cases) {
        boxes.clear();
        row.check(Load(OneLanguage(row.members), row.members), row.ID);
        if (row.text == nullptr) {
            ExpectNoBox(row.members);
        } else {
            ExpectOneBox(ConditionBox, row.text, row.members);
        }
    }
}

TEST_F(LinkTest, ConditionComparisonParameters)
{
    const std::wstring head = L"UK English: error in linking condition ID 0, Cond %0\r\n";
    const std::wstring twoComparisons =
        L"Condition Cond %0 has two comparison JSON parameters. Only one comparison parameter can be used.";
    const std::string twoIntegerComparisons = R"([["Comparison", "A"], ["Comparison", "B"]])";
    struct {
        std::string parameters;
        Check check;
        std::wstring text;
    } const cases[] = {
        // The second comparison is reported; the one recorded still asks for an int result.
        {twoIntegerComparisons, CheckConditionLink<int(int, int)>, head + twoComparisons},
        {twoIntegerComparisons, CheckConditionLink<bool(int, int)>,
         head + twoComparisons +
             L"\r\nCondition has a integer/time comparison parameter, but has return type bool instead of "
             L"the "
             L"expected type int in the C++ function definition."},
        // The last parameter is checked first, so its string comparison is the one recorded.
        {R"([["Comparison", "A"], ["StringComparison", "B"]])",
         CheckConditionLink<const wchar_t*(int, const wchar_t*)>, head + twoComparisons},
        {R"([["Comparison", "A"], ["StringComparison", "B"]])", CheckConditionLink<int(int, const wchar_t*)>,
         head + twoComparisons +
             L"\r\nCondition has a string-comparison parameter, but has return type int instead of the "
             L"expected "
             L"type const TCHAR * in the C++ function definition."},
    };
    for (const auto& row : cases) {
        boxes.clear();
        row.check(
            Load(OneLanguage(R"("Conditions": [{"Title": "Cond %0", "Parameters": )" + row.parameters + "}]"),
                 row.parameters),
            0);
        ExpectOneBox(ConditionBox, row.text, row.parameters);
    }
}

TEST_F(LinkTest, ConditionWalkEndsAtTheFirstLanguageWithAFinding)
{
    const std::string wrong = R"({"Title": "Cond", "Parameters": [["Float", "A"]]})";
    const std::string right = R"({"Title": "Cond", "Parameters": [["Integer", "A"]]})";
    const auto twoLanguages = [](const std::string& first, const std::string& second) {
        return R"({"UK English": {"About": {"Name": "M"}, "Conditions": [)" + first +
               R"(]}, "Deutsch": {"About": {"Name": "M"}, "Conditions": [)" + second + "]}}";
    };
    struct {
        std::string document;
        const wchar_t* text;
    } const cases[] = {
        {twoLanguages(wrong, wrong),
         L"UK English: error in linking condition ID 0, Cond\r\nHas JSON parameter A, "
         L"JSON type Float; expected C++ type float, but actual C++ type is int."},
        // The clean second language still finds the first one's message and puts its header in front.
        {twoLanguages("", right),
         L"Deutsch: error in linking condition ID 0, Cond\r\n"
         L"UK English: error in linking condition ID 0; it has no Conditions JSON item."},
        {twoLanguages("", wrong), L"Deutsch: error in linking condition ID 0, Cond\r\nUK English: error in "
                                  L"linking condition ID 0; it has no "
                                  L"Conditions JSON item.\r\nHas JSON parameter A, JSON type Float; expected "
                                  L"C++ type float, but actual C++ "
                                  L"type is int."},
        // Count messages take no header and keep their line ends.
        {twoLanguages(R"({"Title": "Cond"})", R"({"Title": "Bed"})"),
         L"UK English: error in linking condition ID 0, Cond; it has 0 parameters in the Conditions JSON "
         L"item, but 1 "
         L"parameters in the C++ function definition.\r\nDeutsch: error in linking condition ID 0, Bed; it "
         L"has 0 "
         L"parameters in the Conditions JSON item, but 1 parameters in the C++ function definition.\r\n"},
    };
    for (const auto& row : cases) {
        boxes.clear();
        CheckConditionLink<bool(int)>(Load(row.document, row.document), 0);
        ExpectOneBox(ConditionBox, row.text, row.document);
    }
}

TEST_F(LinkTest, ItemWithoutParametersPutsNoHeaderInFront)
{
    // The second language matches and has nothing to check, so the first one's message stays as it is.
    const json_value& root = Load(R"({
        "UK English": {"About": {"Name": "M"}, "Actions": [], "Conditions": [], "Expressions": []},
        "Deutsch": {"About": {"Name": "M"}, "Actions": [{"Title": "Tun"}], "Conditions": [{"Title": "Bed"}],
                    "Expressions": [{"Title": "Wert(", "Returns": "Integer"}]}})");
    CheckActionLink<void()>(root, 0);
    CheckConditionLink<bool()>(root, 0);
    CheckExpressionLink<int()>(root, 0);
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].text, L"UK English: error in linking action ID 0; it has no Actions JSON item.\r\n");
    EXPECT_EQ(boxes[1].text,
              L"UK English: error in linking condition ID 0; it has no Conditions JSON item.\r\n");
    EXPECT_EQ(boxes[2].text,
              L"UK English: error in linking expression ID 0; it has no Expressions JSON item.\r\n");
}

struct ReturnCase {
    const char* returns;
    Check check;
    const wchar_t* text;
};

const ReturnCase expressionReturnCases[] = {
    {"Integer", CheckExpressionLink<int(int)>, nullptr},
    {"Short", CheckExpressionLink<int(int)>, nullptr},
    {"Float", CheckExpressionLink<float(int)>, nullptr},
    {"Text", CheckExpressionLink<const wchar_t*(int)>, nullptr},
    {"string", CheckExpressionLink<const wchar_t*(int)>, nullptr},
    {"Unsigned Integer", CheckExpressionLink<unsigned int(int)>, nullptr},
    {"unsigned INTEGER", CheckExpressionLink<int(int)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type unsigned INTEGER in the JSON "
     L"(C++ "
     L"type unsigned int), but int in the C++ function definition."},
    {"Short", CheckExpressionLink<unsigned int(int)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type Short in the JSON (C++ type "
     L"int), but "
     L"unsigned int in the C++ function definition."},
    {"Float", CheckExpressionLink<int(int)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type Float in the JSON (C++ type "
     L"float), "
     L"but int in the C++ function definition."},
    {"Integer", CheckExpressionLink<float(int)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type Integer in the JSON (C++ type "
     L"int), "
     L"but float in the C++ function definition."},
    {"Text", CheckExpressionLink<int(const wchar_t*)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type Text in the JSON (C++ type "
     L"const "
     L"TCHAR *), but int in the C++ function definition."},
    {"Text", CheckExpressionLink<wchar_t*(int)>,
     L"UK English: error in linking expression ID 0, Sum; it has return type Text in the JSON (C++ type "
     L"const "
     L"TCHAR *), but wchar_t* in the C++ function definition."},
};

TEST_F(LinkTest, ExpressionResultTypes)
{
    for (const ReturnCase& row : expressionReturnCases) {
        boxes.clear();
        row.check(Load(OneLanguage(R"("Expressions": [{"Title": "Sum(", "Returns": ")" +
                                   std::string(row.returns) + R"(", "Parameters": [["Integer", "A"]]}])"),
                       row.returns),
                  0);
        if (row.text == nullptr) {
            ExpectNoBox(row.returns);
        } else {
            ExpectOneBox(ExpressionBox, row.text, row.returns);
        }
    }
}

TEST_F(LinkTest, ExpressionResultEndsTheWalkAtTheFirstLanguage)
{
    const json_value& root = Load(R"({
        "UK English": {"About": {"Name": "M"}, "Expressions": [{}, {}, {}, {"Title": "Read(", "Returns": "Float", "Parameters": [["Integer", "A"]]}]},
        "Deutsch": {"About": {"Name": "M"}, "Expressions": []}})");
    CheckExpressionLink<int(int)>(root, 3);
    ExpectOneBox(ExpressionBox,
                 L"UK English: error in linking expression ID 3, Read; it has return type Float in "
                 L"the JSON (C++ type float), but int in the C++ function definition.");
}

TEST_F(LinkTest, UnknownExpressionResultExpectsInt)
{
    const json_value& root = Load(OneLanguage(R"("Expressions": [{"Title": "Sum(", "Returns": "Bogus"}])"));
    CheckExpressionLink<int()>(root, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, L"Polvane ExpReturnType error - Morvalex");

    boxes.clear();
    CheckExpressionLink<float()>(Load(OneLanguage(R"("Expressions": [{"Title": "Sum("}])")), 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, L"Polvane ExpReturnType error - Morvalex");
    EXPECT_EQ(boxes[1].title, ExpressionBox);
    EXPECT_EQ(boxes[1].text,
              L"UK English: error in linking expression ID 0, Sum; it has return type  in the JSON "
              L"(C++ type int), but float in the C++ function definition.");
}

TEST_F(LinkTest, ExpressionTitleLosesOneOpeningParenthesis)
{
    struct {
        const char* title;
        const wchar_t* shown;
    } const cases[] = {
        {R"(, "Title": "Sum((")", L"Sum("},  {R"(, "Title": "Sum")", L"Sum"}, {R"(, "Title": "(")", L""},
        {R"(, "Title": "Sum( ")", L"Sum( "}, {R"(, "Title": "")", L""},       {"", L""},
    };
    for (const auto& row : cases) {
        boxes.clear();
        CheckExpressionLink<int()>(
            Load(OneLanguage(R"("Expressions": [{"Returns": "Integer", "Parameters": [["Integer", "A"]])" +
                             std::string(row.title) + "}]"),
                 row.title),
            0);
        ExpectOneBox(ExpressionBox,
                     std::wstring(L"UK English: error in linking expression ID 0, ") + row.shown +
                         L"; it has 1 parameters in the Expressions JSON item, but 0 parameters in "
                         L"the C++ function definition.",
                     row.title);
    }
}

TEST_F(LinkTest, ExpressionItemsAndCounts)
{
    const std::string threeParameters =
        R"("Parameters": [["Integer", "A"], ["Integer", "B"], ["Text", "C"]])";
    const wchar_t* const countThreeButTwo =
        L"UK English: error in linking expression ID 0, Sum; it has 3 "
        L"parameters in the Expressions JSON item, but 2 parameters in the C++ "
        L"function definition.";
    struct {
        std::string members;
        std::uint32_t ID;
        const wchar_t* text;
    } const cases[] = {
        {R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", "Parameters": [["Integer", "A"], ["Integer", "B"]]}])",
         0, nullptr},
        {R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", "Parameters": []}])", 1,
         L"UK English: error in linking expression ID 1; it has no Expressions JSON item.\r\n"},
        {R"("Expressions": "Sum")", 0,
         L"UK English: error in linking expression ID 0; it has no Expressions JSON item.\r\n"},
        // Only the parameters NumAutoProps counts are checked: the third would not match.
        {R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", )" + threeParameters +
             R"(, "NumAutoProps": 2}])",
         0, nullptr},
        {R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", )" + threeParameters +
             R"(, "NumAutoProps": "2"}])",
         0, countThreeButTwo},
        {R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", )" + threeParameters +
             R"(, "NumAutoProps": 2.5}])",
         0, countThreeButTwo},
    };
    for (const auto& row : cases) {
        boxes.clear();
        CheckExpressionLink<int(int, int)>(Load(OneLanguage(row.members), row.members), row.ID);
        if (row.text == nullptr) {
            ExpectNoBox(row.members);
        } else {
            ExpectOneBox(ExpressionBox, row.text, row.members);
        }
    }
}

const ParamCase expressionParamCases[] = {
    {"Integer", CheckExpressionLink<int(int)>, nullptr},
    {"Integer", CheckExpressionLink<int(float)>,
     LR"(Has JSON parameter "A", JSON type "Integer"; expected C++ type int, but actual C++ type is float.)"},
    {"Integer", CheckExpressionLink<int(unsigned int)>,
     LR"(Has JSON parameter "A", JSON type "Integer"; expected C++ type int, but actual C++ type is unsigned int.)"},
    {"Float", CheckExpressionLink<int(float)>, nullptr},
    {"float", CheckExpressionLink<int(int)>,
     LR"(Has JSON parameter "A", JSON type "float"; expected C++ type float, but actual C++ type is int.)"},
    {"Text", CheckExpressionLink<int(const wchar_t*)>, nullptr},
    {"String", CheckExpressionLink<int(int)>,
     LR"(Has JSON parameter "A", JSON type "String"; expected C++ type const TCHAR *, but actual C++ type is int.)"},
    {"Unsigned Integer", CheckExpressionLink<int(unsigned int)>, nullptr},
    {"UNSIGNED integer", CheckExpressionLink<int(int)>,
     LR"(Has JSON parameter "A", JSON type "UNSIGNED integer"; expected C++ type unsigned int, but actual C++ type is int.)"},
};

TEST_F(LinkTest, ExpressionParameterTypes)
{
    for (const ParamCase& row : expressionParamCases) {
        boxes.clear();
        row.check(
            Load(OneLanguage(R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", "Parameters": [[")" +
                             std::string(row.type) + R"(", "A"]]}])"),
                 row.type),
            0);
        if (row.message == nullptr) {
            ExpectNoBox(row.type);
        } else {
            ExpectOneBox(ExpressionBox,
                         std::wstring(L"UK English: error in linking expression ID 0, Sum:\r\n") +
                             row.message,
                         row.type);
        }
    }
}

TEST_F(LinkTest, ExpressionParametersAreReportedFromLastToFirst)
{
    const json_value& root = Load(OneLanguage(
        R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", "Parameters": [["Float", "A"], ["Text", "B"]]}])"));
    CheckExpressionLink<int(int, int)>(root, 0);
    ExpectOneBox(
        ExpressionBox,
        L"UK English: error in linking expression ID 0, Sum:\r\n"
        LR"(Has JSON parameter "B", JSON type "Text"; expected C++ type const TCHAR *, but actual C++ type is int.)"
        L"\r\n"
        LR"(Has JSON parameter "A", JSON type "Float"; expected C++ type float, but actual C++ type is int.)");
}

TEST_F(LinkTest, UnknownExpressionParameterIsLeftToTheReader)
{
    const char* const items[] = {
        R"("Parameters": [["Position", "A"], ["Integer", "B"]])",
        // NumAutoProps counts a parameter that the list does not have.
        R"("Parameters": [["Integer", "A"]], "NumAutoProps": 2)",
    };
    for (const char* item : items) {
        boxes.clear();
        CheckExpressionLink<int(int, int)>(
            Load(OneLanguage(R"("Expressions": [{"Title": "Sum(", "Returns": "Integer", )" +
                             std::string(item) + "}]"),
                 item),
            0);
        ASSERT_EQ(boxes.size(), 1u) << item;
        EXPECT_EQ(boxes[0].title, L"Polvane ExpParams error - Morvalex") << item;
    }
}

TEST_F(LinkTest, LinkStoresTheMemberInItsTableWhateverItFound)
{
    json_value* root = InProcess::ParseDefinition(OneLanguage(R"(
        "Actions": [{"Title": "Example"}, {"Title": "Copy", "Parameters": [["Integer", "A"], ["Integer", "B"], ["Integer", "C"]]}],
        "Conditions": [{"Title": "Equal", "Parameters": [["Integer", "A"], ["Integer", "B"]]}],
        "Expressions": [{"Title": "Add(", "Returns": "Integer", "Parameters": [["Integer", "A"], ["Integer", "B"]]}])"));
    ASSERT_NE(root, nullptr);
    Tovik::SDK* const savedSDK = ::SDK;
    ::SDK = nullptr;
    {
        Tovik::SDK sdk(nullptr, root); // owns root from here on
        ASSERT_EQ(::SDK, &sdk);
        ASSERT_EQ(sdk.Actions.size(), 2u);
        ASSERT_EQ(sdk.Conditions.size(), 1u);
        ASSERT_EQ(sdk.Expressions.size(), 1u);
        boxes.clear();

        LinkAction<&Extension::CopyBytes>(1);
        LinkCondition<&Extension::AreEqual>(0);
        LinkExpression<&Extension::Add>(0);
        ExpectNoBox();
        EXPECT_EQ(sdk.Actions[0].Function, nullptr);
        EXPECT_EQ(sdk.Actions[1].Function, Tovik::MemberFunctionToPointer<&Extension::CopyBytes>());
        EXPECT_EQ(sdk.Conditions[0].Function, Tovik::MemberFunctionToPointer<&Extension::AreEqual>());
        EXPECT_EQ(sdk.Expressions[0].Function, Tovik::MemberFunctionToPointer<&Extension::Add>());

        // A mismatch is reported and the member stored all the same.
        LinkAction<&Extension::FreeMemoryBlock>(0);
        ExpectOneBox(ActionBox,
                     L"UK English: error in linking action ID 0, Example; it has 0 parameters in the "
                     L"Actions JSON item, but 1 parameters in the C++ function definition.");
        EXPECT_EQ(sdk.Actions[0].Function, Tovik::MemberFunctionToPointer<&Extension::FreeMemoryBlock>());

        // An id beyond the definition is reported and stores nothing.
        boxes.clear();
        LinkAction<&Extension::CopyBytes>(2);
        LinkCondition<&Extension::AreEqual>(1);
        LinkExpression<&Extension::Add>(1);
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[0].text,
                  L"UK English: error in linking action ID 2; it has no Actions JSON item.\r\n");
        EXPECT_EQ(boxes[1].text,
                  L"UK English: error in linking condition ID 1; it has no Conditions JSON item.\r\n");
        EXPECT_EQ(boxes[2].text,
                  L"UK English: error in linking expression ID 1; it has no Expressions JSON item.\r\n");
        EXPECT_EQ(sdk.Actions.size(), 2u);
        EXPECT_EQ(sdk.Conditions.size(), 1u);
        EXPECT_EQ(sdk.Expressions.size(), 1u);
    }
    ::SDK = savedSDK;
}

} // namespace

namespace {

// A report longer than a box holds is cut to fit, rather than lost to a formatting error.
TEST_F(LinkTest, ALongReportIsCutToFitTheBox)
{
    const std::string title(5000, 'T');
    CheckActionLink<void(int)>(Load(OneLanguage(R"("Actions": [{"Title": ")" + title + R"("}])")), 0);
    ASSERT_EQ(boxes.size(), 1u);
    const std::wstring start = L"UK English: error in linking action ID 0, TTT";
    EXPECT_EQ(boxes[0].text.size(), 4095u);
    EXPECT_EQ(boxes[0].text.substr(0, start.size()), start);
    EXPECT_EQ(boxes[0].text.substr(4092), L"...");
}

// Every object's construction shows the same boxes: the type readers' and the link's own, in order.
TEST_F(LinkTest, EveryLinkOfAMemberShowsTheSameBoxes)
{
    json_value* root = InProcess::ParseDefinition(OneLanguage(
        R"("Actions": [{"Title": "Free", "Parameters": [["Bogus", "A"], ["Float", "B"]]}])"));
    ASSERT_NE(root, nullptr);
    Tovik::SDK* const savedSDK = ::SDK;
    ::SDK = nullptr;
    {
        Tovik::SDK sdk(nullptr, root);
        boxes.clear();
        LinkAction<&Extension::WriteFloatToPointer>(0);
        const std::vector<TestHost::RecordedBox> first = boxes;
        ASSERT_EQ(first.size(), 2u);
        EXPECT_EQ(first[0].title, L"Polvane Params error - Morvalex");
        EXPECT_EQ(first[1].text, L"UK English: error in linking action ID 0, Free:\r\nHas JSON parameter A, JSON type "
                                 L"Bogus; C++ type is int, but Polvane SDK does not test that type yet. Please report "
                                 L"it to Vaskor.");
        boxes.clear();
        LinkAction<&Extension::WriteFloatToPointer>(0);
        ASSERT_EQ(boxes.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_TRUE(boxes[i].title == first[i].title && boxes[i].text == first[i].text) << i;
        EXPECT_EQ(sdk.Actions[0].Function, Tovik::MemberFunctionToPointer<&Extension::WriteFloatToPointer>());
    }
    ::SDK = savedSDK;
}

} // namespace
