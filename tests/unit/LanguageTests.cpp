// The choice of the current language object: the settings file's "Languages" in the editor, the default
// language elsewhere. Each case runs in its own process (the settings are read once per process).
#include "InProcess.h"
#include "TempTree.h"

#include "Lib/Shared/Polvane/Globals.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "json/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char* const TwoLanguages = R"({"Identifier": "ZOBU", "Dependencies": "",
    "Default": {"About": {"Name": "First"}, "Actions": [{"Title": "a"}]},
    "UK English": {"About": {"Name": "Second"}, "Actions": [{"Title": "a"}, {"Title": "b"}]}})";

// The library's folder is a copy of a small system library in ...\Extensions\Unicode\, with the settings
// file in ...\Extensions\.
class Language : public testing::Test {
protected:
    TestHost::TempTree tree;
    InProcess::LibraryCopy library{tree, L"Extensions\\Unicode\\Lib.dll"};
    InProcess::BoxRecorder boxes;

    const json_value& Choose(Polvane::MFXRunMode mode, const std::string& settings)
    {
        tree.Write(L"Extensions\\Polvane.ini", settings);
        Polvane::RunMode = mode;
        ::SDK = nullptr;
        new Tovik::SDK(nullptr, InProcess::ParseDefinition(TwoLanguages));
        return Polvane::CurLang();
    }
};

} // namespace

TEST_F(Language, EditorTakesTheFirstListedLanguageThatExistsIgnoringCase)
{
    const json_value& lang = Choose(Polvane::MFXRunMode::Editor, "Languages = Deutsch; uk english\r\n");
    EXPECT_EQ(&lang, &(*::SDK->Root)["UK English"]);
    EXPECT_STREQ(Polvane::GetCurLangName(), L"UK English");
    EXPECT_EQ(::SDK->Actions.size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(Language, OnlyOneBlankIsDroppedBeforeAName)
{
    const json_value& lang = Choose(Polvane::MFXRunMode::Editor, "Languages=Deutsch;  UK English\n");
    EXPECT_EQ(&lang, &(*::SDK->Root)["Default"]);
}

TEST_F(Language, NoListedLanguageGivesTheDefault)
{
    const json_value& lang = Choose(Polvane::MFXRunMode::QuietLoad, "Languages=Klingon;Deutsch");
    EXPECT_EQ(&lang, &(*::SDK->Root)["Default"]);
    EXPECT_STREQ(Polvane::GetCurLangName(), L"Default");
    EXPECT_EQ(::SDK->Actions.size(), 1u);
}

TEST_F(Language, BuiltApplicationsNeverReadTheSettings)
{
    for (auto mode : {Polvane::MFXRunMode::BuiltEXE, Polvane::MFXRunMode::RunApplication}) {
        Polvane::ForgetCurrentLanguage();
        const json_value& lang = Choose(mode, "Languages=UK English");
        EXPECT_EQ(&lang, &(*::SDK->Root)["Default"]);
    }
}

TEST_F(Language, WithoutALanguageObjectTheLastRootMemberIsTheDefault)
{
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    ::SDK = nullptr;
    new Tovik::SDK(nullptr, InProcess::ParseDefinition(R"({"Identifier": "ZOBU", "Dependencies": ""})"));
    EXPECT_EQ(Polvane::CurLang().type, json_string);
    EXPECT_STREQ(Polvane::GetCurLangName(), L"Dependencies");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"Internal JSON error - Morvalex");
}

TEST(LanguageBeforeStartUp, ReadsAsEmptyAfterABox)
{
    InProcess::BoxRecorder boxes;
    Polvane::RunMode = Polvane::MFXRunMode::BuiltEXE;
    EXPECT_EQ(Polvane::CurLang().type, json_none);
    EXPECT_EQ(Polvane::CurLang()["Actions"].type, json_none);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].title, L"Polvane error - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text,
              L"Premature function call!\n  Called DefaultLanguageIndex() before ::SDK was a valid pointer.");
}
