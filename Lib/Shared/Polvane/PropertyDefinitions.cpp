#include "PropertyDefinitions.h"

#include "JSONValues.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "MsgBox.h"
#include "Properties.h"
#include "TextConversion.h"
#include "json/json.h"

#include <cstring>
#include <deque>
#include <string>
#include <utility>
#include <vector>

HostPropertyDescriptor::HostPropertyDescriptor(int index, std::uint32_t type)
    : ID(FirstID + index), Title(nullptr), Info(nullptr), Type(type), Options(0), CreateParam(nullptr)
{
}

void HostPropertyDescriptor::SetOptions(std::uint32_t options, const void* createParam)
{
    Options = createParam != nullptr ? options | PropOption::CreateParam : options;
    CreateParam = createParam;
}

HostPropertyDescriptor HostPropertyDescriptor::TableEnd()
{
    HostPropertyDescriptor end(0, 0);
    end.ID = 0;
    return end;
}

std::uint32_t FNV1a32(std::string_view bytes)
{
    std::uint32_t hash = 0x811C9DC5;
    for (const char byte : bytes) {
        hash ^= static_cast<std::uint8_t>(byte);
        hash *= 0x01000193;
    }
    return hash;
}

namespace Polvane {
namespace {

constexpr const wchar_t* ParserTitle = L"Polvane JSON property parser";
constexpr const wchar_t* PropertyTitle = L"Polvane JSON property";

// The host keeps the table's texts and arrays for as long as the library is loaded, so they stay until
// the process ends; a deque keeps every element in place as it grows.
template <typename T> const T& Keep(T value)
{
    static std::deque<T> kept;
    kept.push_back(std::move(value));
    return kept.back();
}

// Texts are read with their length everywhere, so that a NUL inside one never makes it two texts.
const wchar_t* KeepText(const json_value& utf8) { return Keep(UTF8ToTString(TextOf(utf8))).c_str(); }

std::wstring Wide(const json_value& utf8) { return UTF8ToTString(TextOf(utf8)); }

std::uint32_t CommonOptions(const json_value& property)
{
    // Any CheckboxDefaultState, even null, asks for the check box; the others count only when true.
    std::uint32_t options = property["CheckboxDefaultState"].type != json_none ? PropOption::CheckBox : 0;
    const std::pair<const char*, std::uint32_t> flags[] = {
        {"Bold", PropOption::Bold},
        {"Removable", PropOption::Removable},
        {"Renameable", PropOption::Renameable},
        {"Moveable", PropOption::Moveable},
        {"List", PropOption::List},
        {"SingleSelect", PropOption::SingleSelect},
    };
    for (const auto& [key, bit] : flags) {
        if (static_cast<bool>(property[key]))
            options |= bit;
    }
    return options;
}

std::uint32_t EditboxStringOptions(const json_value& property)
{
    std::uint32_t options = static_cast<bool>(property["Password"]) ? PropOption::EditPassword : 0;
    const std::string_view letterCase = TextOf(property["Case"]);
    if (EqualsIgnoringCase(letterCase, "Lower"))
        options |= PropOption::EditLowerCase;
    else if (EqualsIgnoringCase(letterCase, "Upper"))
        options |= PropOption::EditUpperCase;
    return options;
}

// Only the single-line Editbox String can mask or fold its text; the author learns that the keys
// do nothing on the other text editors.
void WarnIgnoredEditOptions(const json_value& property, std::uint16_t typeID)
{
    const std::wstring title = Wide(property["Title"]);
    const std::wstring typeName = UTF8ToTString(PropTypes[typeID].name);
    if (property["Case"].type != json_none)
        MsgBox::WarningOK(
            PropertyTitle,
            L"Property \"%s\" is set to \"Case\"=\"%s\", but that won't work with property type %s.",
            title.c_str(), Wide(property["Case"]).c_str(), typeName.c_str());
    if (property["Password"].type != json_none)
        MsgBox::WarningOK(
            PropertyTitle,
            L"Property \"%s\" is set to password mask, but that won't work with property type %s.",
            title.c_str(), typeName.c_str());
}

const void* MaxLength(const json_value& property)
{
    const json_value& maxLength = property["MaxLength"];
    if (maxLength.type != json_integer)
        return nullptr;
    return Keep(std::vector<std::int32_t>{static_cast<std::int32_t>(maxLength.u.integer)}).data();
}

const void* Range(const json_value& property)
{
    const auto low32 = [](const json_value& value) {
        return static_cast<std::int32_t>(static_cast<json_int_t>(value));
    };
    return Keep(std::vector<std::int32_t>{low32(property["Minimum"]), low32(property["Maximum"])}).data();
}

// Null, the item texts, null: the host's list for a combo box.
const void* ComboItems(const json_value& property)
{
    const json_value& items = property["Items"];
    std::vector<const wchar_t*> list{nullptr};
    if (items.type != json_array || items.u.array.length == 0)
        MsgBox::Error(PropertyTitle, L"No Items detected in combobox property %s.",
                      Wide(property["Title"]).c_str());
    else
        for (std::uint32_t i = 0; i < items.u.array.length; ++i)
            list.push_back(KeepText(items[static_cast<int>(i)]));
    list.push_back(nullptr);
    return Keep(std::move(list)).data();
}

HostPropertyDescriptor Titled(int index, std::uint16_t typeID, const json_value& property)
{
    HostPropertyDescriptor descriptor(index, 1000 + typeID);
    descriptor.Title = KeepText(property["Title"]);
    descriptor.Info = KeepText(property["Info"]);
    return descriptor;
}

// Stands in for an element that was refused, so that every later property keeps the host id of its
// position in Properties, by which the stored block and the property changes find it.
HostPropertyDescriptor Placeholder(int index, const json_value& property)
{
    return Titled(index, PropTypeID::Text, property);
}

HostPropertyDescriptor Describe(const json_value& property, int index, std::vector<std::string>& openFolders)
{
    if (property.type == json_string) {
        MsgBox::Error(ParserTitle,
                      L"Properties contains a string \"%s\" instead of an object. Multiple categories of "
                      L"properties not currently implemented. (%s)",
                      Wide(property).c_str(), GetCurLangName());
        return Placeholder(index, property);
    }
    const std::string_view type = TextOf(property["Type"]);
    if (!type.empty() && type[0] == '!') {
        MsgBox::Error(ParserTitle,
                      L"You have specified an invalid Parameter type \"%s\". These types are reserved. (%s)",
                      UTF8ToTString(type).c_str(), GetCurLangName());
        return Placeholder(index, property);
    }
    if (StartsWithIgnoringCase(type, "Custom")) {
        MsgBox::Info(ParserTitle, L"Detected a custom property.");
        return HostPropertyDescriptor(index, 27 + index);
    }
    if (EqualsIgnoringCase(type, "FolderEnd")) {
        if (openFolders.empty())
            MsgBox::Error(ParserTitle, L"Too many FolderEnd properties! Extra one found at index %i.", index);
        else
            openFolders.pop_back();
        return HostPropertyDescriptor(-1, PropTypeID::FolderEnd);
    }
    const std::uint16_t typeID = PropTypeIDFromName(type);
    if (typeID == 0) {
        MsgBox::Error(
            ParserTitle,
            L"Property index %zu \"%s\" has an unrecognised property type \"%s\" in the JSON (under %s "
            L"language).\nCheck your spelling of the \"Type\" Parameter.",
            static_cast<std::size_t>(index), Wide(property["Title"]).c_str(), UTF8ToTString(type).c_str(),
            GetCurLangName());
        return Placeholder(index, property);
    }

    HostPropertyDescriptor descriptor = Titled(index, typeID, property);
    std::uint32_t options = CommonOptions(property);
    const void* createParam = nullptr;
    switch (typeID) {
    case PropTypeID::Folder:
        openFolders.emplace_back(TextOf(property["Title"]));
        break;
    case PropTypeID::EditboxString:
        options |= EditboxStringOptions(property);
        createParam = MaxLength(property);
        break;
    case PropTypeID::EditboxStringMultiline:
    case PropTypeID::EditboxFolder:
        WarnIgnoredEditOptions(property, typeID);
        createParam = MaxLength(property);
        break;
    case PropTypeID::EditButton:
        if (property["DefaultState"].type == json_string)
            createParam = KeepText(property["DefaultState"]);
        break;
    case PropTypeID::EditSlider:
    case PropTypeID::EditSpin:
        createParam = Range(property);
        break;
    case PropTypeID::ComboBox:
    case PropTypeID::ComboBoxButton:
        createParam = ComboItems(property);
        break;
    case PropTypeID::Checkbox:
        options |= PropOption::CheckBox;
        break;
    }
    descriptor.SetOptions(options, createParam);
    return descriptor;
}

} // namespace

void ParsePropertiesFromJSON()
{
    const json_value& properties = CurLang()["Properties"];
    const int count = static_cast<int>(ArrayLength(properties));

    // One descriptor per element, refused ones included: descriptor i is always element i.
    std::vector<HostPropertyDescriptor> table;
    std::vector<std::string> openFolders;
    for (int i = 0; i < count; ++i)
        table.push_back(Describe(properties[i], i, openFolders));
    if (!openFolders.empty())
        MsgBox::Error(L"JSON verification error",
                      L"There was a Folder [%s] that does not have a FolderEnd property.",
                      UTF8ToTString(openFolders.back()).c_str());

    // Properties without a value store nothing, so they stay out of the fingerprint: adding or
    // renaming a label or folder keeps every stored block valid.
    std::string titles, types;
    for (int j = 0; j < count; ++j) {
        const json_value& property = properties[j];
        if (IsNoValuePropType(TextOf(property["Type"])))
            continue;
        const std::string typeID = std::to_string(table[j].Type % 1000);
        titles += LowerASCII(TextOf(property["Title"])) + "|" + typeID + " | ";
        types += typeID + "|";
    }

    table.push_back(HostPropertyDescriptor::TableEnd());
    ::SDK->EdittimeProperties = std::move(table);
    ::SDK->PropertyTitlesHash = FNV1a32(titles);
    ::SDK->PropertyTypesHash = FNV1a32(types);
}

} // namespace Polvane
