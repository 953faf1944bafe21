// A new object's record, built from the definition's defaults, against the size the library reported to
// the host for it: the two agree whatever the definition holds, and what cannot be stored is told.
#include "Session.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The built library's own definition, with its Properties replaced.
std::string DefinitionWith(const std::string& properties)
{
    std::string definition = TestHost::EmbeddedDefinition();
    const std::size_t at = definition.find("\"Properties\": [");
    definition.replace(at, definition.find(']', at) + 1 - at, "\"Properties\": [" + properties + "]");
    return definition;
}

const std::wstring Parser = L"Polvane JSON property parser - Morvalex: ",
                   Failed =
                       L"Property conversion error - Morvalex: All converters have failed for property 0 ",
                   Corrupt =
                       L". Your property data is corrupt beyond recovery or reset. Please re-add the object "
                       L"to frame.|",
                   CantSize =
                       L"GetEDITDATASizeFromJSON failed - Morvalex: Calculation of edittime property size "
                       L"can't understand property type ",
                   Unexpected = L"Property error - Morvalex: GetProperty error: JSON property type ";

TEST(NewObject, ItsRecordIsTheSizeReportedAndWhatCannotBeStoredIsTold)
{
    const std::string a4095(4095, 'a'), a4096(4096, 'a');
    const struct {
        std::string properties;
        std::uint16_t size;           // reported by GetRunObjectInfos: 40, a checkbox byte, then the entry
        std::wstring startUp, create; // the boxes of Initialize and GetRunObjectInfos, then of CreateObject
        std::wstring value;           // the first property's value as the sheet reads it, and its boxes
    } cases[] = {
        // The longest default text that is stored, then one byte more: the property starts empty.
        {R"({"Title": "T", "Type": "Editbox String", "DefaultState": ")" + a4095 + "\"}", 49 + 4095, L"", L"",
         L"\"" + std::wstring(4095, L'a') + L"\""},
        {R"({"Title": "T", "Type": "Editbox String", "DefaultState": ")" + a4096 + "\"}", 49, L"",
         Failed + L"(T)" + Corrupt, L"\"\""},
        // A combo box's default names no item when it has none to choose from.
        {R"({"Title": "C", "Type": "Combo Box", "DefaultState": "x"})", 49,
         L"Polvane JSON property - Morvalex: No Items detected in combobox property C.|",
         Failed + L"(C)" + Corrupt,
         L"null Property error - Morvalex: GetProperty error: JSON Items not valid in Combo Box property "
         L"\"C\", "
         L"ID 0, language UK English.|"},
        // A type the definition's reader refuses stands in as a Text, which stores nothing: its entry is
        // 7 bytes, and the author is told when it is sized and when it is read.
        {R"({"Title": "B", "Type": "Bogus", "DefaultState": "x"})", 48,
         Parser +
             L"Property index 0 \"B\" has an unrecognised property type \"Bogus\" in the JSON (under UK "
             L"English language).\nCheck your spelling of the \"Type\" Parameter.|" +
             CantSize + L"\"Bogus\". (UK English)|",
         L"", L"null " + Unexpected + L"\"Bogus\" is unexpected.|"},
        {R"({"Title": "L", "Type": "!List button"})", 48,
         Parser +
             L"You have specified an invalid Parameter type \"!List button\". These types are reserved. (UK "
             L"English)|" +
             CantSize + L"\"!List button\". (UK English)|",
         L"", L"null " + Unexpected + L"\"!List button\" is unexpected.|"},
        // A type stored without a value of the library's own: its title only.
        {R"({"Title": "F", "Type": "Font"})", 49, CantSize + L"\"Font\". (UK English)|",
         Failed + L"(F)" + Corrupt, L"null " + Unexpected + L"\"Font\" is unexpected.|"},
    };
    for (const auto& c : cases) {
        TestHost::TempTree tree;
        const auto library = tree.Copy(TestHost::BuiltLibraryPath(), L"Extensions\\Morvalex.mfx");
        tree.Write(L"Extensions\\Morvalex.json", DefinitionWith(c.properties));
        TestHost::Session session(library.wstring());
        const std::uint16_t size = session.RunInfo().editDataSize;
        EXPECT_EQ(std::pair(size, TestHost::Joined(session.Boxes().Boxes())), std::pair(c.size, c.startUp))
            << c.properties.substr(0, 60);
        session.Boxes().Clear();
        std::vector<std::uint32_t> words((size + 3) / 4);
        words[0] = size;
        ::mV* mV = session.TheHost().MV();
        const std::int32_t created = session.Lib().Call("CreateObject", mV, 0, words.data());
        EXPECT_EQ(std::pair(created, TestHost::Joined(session.Boxes().Boxes())), std::pair(0, c.create))
            << c.properties.substr(0, 60);
        EXPECT_EQ(words[0], size) << "the record keeps the size it was given";
        session.Boxes().Clear();
        const void* value = session.Lib().Call<void*>("GetPropValue", mV, words.data(), 0x80000u);
        std::wstring read = L"null ";
        if (value != nullptr) {
            // The host's record, with room for the longest text after its three words.
            std::vector<std::uint32_t> copied(3 + 4096);
            TestHost::CallSlot<std::int32_t>(value, TestHost::Slot::CopyToHostValue, copied.data());
            read = L"\"" + std::wstring(reinterpret_cast<const wchar_t*>(copied[2])) + L"\"";
            TestHost::CallSlot<void>(value, TestHost::Slot::Delete);
        }
        EXPECT_EQ(read + TestHost::Joined(session.Boxes().Boxes()), c.value) << c.properties.substr(0, 60);
    }
}

} // namespace
