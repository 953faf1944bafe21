#include "Properties.h"

#include "JSONValues.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "MsgBox.h"
#include "TextConversion.h"
#include "json/json.h"

#include <algorithm>
#include <initializer_list>

namespace Polvane {

const PropTypeInfo PropTypes[PropTypeID::Count] = {
    {"!Start item", PropTypeClass::Reserved},
    {"Text", PropTypeClass::NoValue},
    {"Folder", PropTypeClass::NoValue},
    {"FolderEnd", PropTypeClass::NoValue},
    {"Edit button", PropTypeClass::NoValue},
    {"Editbox String", PropTypeClass::Text},
    {"Editbox Number", PropTypeClass::Integer},
    {"Combo Box", PropTypeClass::ComboBox},
    {"Size", PropTypeClass::Size},
    {"Color", PropTypeClass::Integer},
    {"Checkbox", PropTypeClass::Checkbox},
    {"Edit slider", PropTypeClass::Integer},
    {"Edit spin", PropTypeClass::Integer},
    {"Edit direction", PropTypeClass::Integer},
    {"Group", PropTypeClass::NoValue},
    {"!List button", PropTypeClass::Reserved},
    {"Editbox File", PropTypeClass::Text},
    {"Font", PropTypeClass::Font},
    {"Custom", PropTypeClass::Custom},
    {"Editbox Image File", PropTypeClass::Text},
    {"Combo Box Button", PropTypeClass::ComboBox},
    {"Editbox Float", PropTypeClass::Float},
    {"Editbox String Multiline", PropTypeClass::Text},
    {"Image List", PropTypeClass::ImageList},
    {"Combo Box Icons", PropTypeClass::ComboBox},
    {"URL button", PropTypeClass::Text},
    {"Editbox Folder", PropTypeClass::Text},
    {"Edit spin float", PropTypeClass::Float},
};

namespace {

// Whether type is, as a whole, the name of a table type of that class. The prefix rules that some
// classes add (any "Folder...", "Editbox String...", "Combo Box...") are applied by the callers.
bool IsNameOfClass(std::string_view type, PropTypeClass typeClass)
{
    for (const PropTypeInfo& info : PropTypes) {
        if (info.typeClass == typeClass && EqualsIgnoringCase(type, info.name))
            return true;
    }
    return false;
}

constexpr std::uint32_t HeaderAndBlockFixedSize = sizeof(EditDataHeader) + sizeof(Properties);
constexpr std::uint32_t MaxStoredTitleLength = 254;
constexpr std::uint64_t MaxEditDataSize = 65535;

bool IsOneOf(std::uint16_t id, std::initializer_list<std::uint16_t> ids)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Bytes of a text member, 0 when it is absent or not a text.
std::uint32_t TextLength(const json_value& value)
{
    return value.type == json_string ? value.u.string.length : 0;
}

// Value bytes of a new property's default, by its type; false for a type whose default this library
// cannot store.
bool DefaultValueSize(const json_value& property, std::string_view type, std::uint32_t& size)
{
    if (IsStringPropType(type, true))
        size = TextLength(property["DefaultState"]);
    else if (IsIntegerPropType(type) || IsFloatPropType(type))
        size = 4;
    else if (IsSizePropType(type))
        size = 8;
    else if (IsImageListPropType(type))
        size = 2; // the image count, 0
    else
        return false;
    return true;
}

} // namespace

bool IsNoValuePropType(std::string_view type)
{
    return StartsWithIgnoringCase(type, "Folder") || IsNameOfClass(type, PropTypeClass::NoValue);
}

bool IsCheckboxOrNoValuePropType(std::string_view type)
{
    return IsNameOfClass(type, PropTypeClass::Checkbox) || IsNoValuePropType(type);
}

bool IsStringPropType(std::string_view type, bool includeComboBoxes)
{
    if (StartsWithIgnoringCase(type, "Editbox String") || IsNameOfClass(type, PropTypeClass::Text))
        return true;
    return includeComboBoxes && StartsWithIgnoringCase(type, "Combo Box");
}

bool IsIntegerPropType(std::string_view type) { return IsNameOfClass(type, PropTypeClass::Integer); }
bool IsFloatPropType(std::string_view type) { return IsNameOfClass(type, PropTypeClass::Float); }
bool IsSizePropType(std::string_view type) { return IsNameOfClass(type, PropTypeClass::Size); }
bool IsImageListPropType(std::string_view type) { return IsNameOfClass(type, PropTypeClass::ImageList); }

bool Properties::IsPropTypeCompatible(std::uint16_t oldTypeID, std::uint16_t newTypeID)
{
    using namespace PropTypeID;
    if (oldTypeID == newTypeID)
        return true;
    // Single-line texts feed any text; a multiline one feeds only its own kind.
    if (IsOneOf(oldTypeID, {EditboxString, EditboxFile, EditboxImageFile, EditboxFolder}) &&
        IsOneOf(newTypeID,
                {EditboxString, EditboxFile, EditboxImageFile, EditboxStringMultiline, EditboxFolder}))
        return true;
    if (IsOneOf(oldTypeID, {ComboBox, ComboBoxButton, ComboBoxIcons}) &&
        IsOneOf(newTypeID, {ComboBox, ComboBoxButton, ComboBoxIcons}))
        return true;
    if (IsOneOf(oldTypeID, {EditboxNumber, EditSlider, EditSpin}) &&
        IsOneOf(newTypeID, {EditboxNumber, EditSlider, EditSpin}))
        return true;
    // A float never goes back to an integer: its fraction would be lost.
    return IsOneOf(oldTypeID, {EditboxNumber, EditSlider, EditSpin, EditboxFloat, EditSpinFloat}) &&
           IsOneOf(newTypeID, {EditboxFloat, EditSpinFloat});
}

Properties::Data* Properties::Data::Next()
{
    return reinterpret_cast<Data*>(reinterpret_cast<std::uint8_t*>(this) + sizeBytes);
}

std::string Properties::Data::ReadPropName() const
{
    return std::string(reinterpret_cast<const char*>(propNameAndValue), propNameSize);
}

const std::uint8_t* Properties::Data::ReadPropValue() const { return propNameAndValue + propNameSize; }

std::uint8_t* Properties::Data::ReadPropValue() { return propNameAndValue + propNameSize; }

std::uint32_t Properties::Data::ReadPropValueSize() const
{
    return sizeBytes - sizeof(Data) - propNameSize;
}

Properties::Data* Properties::Internal_FirstData()
{
    return reinterpret_cast<Data*>(dataForProps + CheckboxByteCount(numProps));
}

Properties::Data* Properties::Internal_DataAt(std::uint32_t i)
{
    if (i >= numProps)
        return nullptr;
    const json_value& props = CurLang()["Properties"];
    if (props.type != json_array) {
        MsgBox::Error(
            L"Premature function call",
            L"Internal_DataAt() called for prop ID %u without Polvane_Props for language %s being valid.", i,
            GetCurLangName());
        return nullptr;
    }
    // Checkbox and no-value properties have an entry, but nothing in it to read.
    if (IsCheckboxOrNoValuePropType(static_cast<const char*>(props[static_cast<int>(i)]["Type"])))
        return nullptr;
    Data* data = Internal_FirstData();
    for (std::uint32_t step = 0; step < i; ++step)
        data = data->Next();
    return data;
}

bool Properties::IsPropChecked(std::uint32_t i) const
{
    if (i >= numProps) {
        MsgBox::Error(L"Polvane property error",
                      L"Can't read property checkbox for property ID %d, the valid ID range is 0 to %hu.",
                      static_cast<int>(i), numProps);
        return false;
    }
    return (dataForProps[i / 8] >> (i % 8)) & 1;
}

Properties* GetPropertiesFromEditData(EDITDATA* edPtr)
{
    std::uint32_t offset = edPtr->eHeader.propertiesOffset;
    if (offset < sizeof(EditDataHeader)) {
        MsgBox::WarningOK(L"Old Polvane props",
                          L"No offset found. Falling back to default. Resetting properties recommended.");
        offset = sizeof(EditDataHeader);
    }
    // The block's fixed part must lie inside the record; the sum cannot wrap in 64 bits.
    if (std::uint64_t(offset) + sizeof(Properties) > edPtr->eHeader.totalSize) {
        MsgBox::WarningOK(L"Polvane offset invalid", L"Offset is too high!");
        offset = sizeof(EditDataHeader);
    }
    return reinterpret_cast<Properties*>(reinterpret_cast<std::uint8_t*>(edPtr) + offset);
}

std::uint32_t PropIndexFromHostID(std::uint32_t hostID)
{
    constexpr std::uint32_t FirstHostID = 0x80000;
    return hostID >= FirstHostID ? hostID - FirstHostID : 0xFFFFFFFF;
}

std::uint32_t CheckboxByteCount(std::uint32_t numProps) { return numProps / 8 + (numProps % 8 != 0); }

} // namespace Polvane

std::uint16_t GetEDITDATASizeFromJSON()
{
    using namespace Polvane;
    const json_value& props = CurLang()["Properties"];
    const std::uint32_t numProps = ArrayLength(props);

    // Wide enough that no definition can wrap it.
    std::uint64_t total = HeaderAndBlockFixedSize + CheckboxByteCount(numProps);
    for (std::uint32_t i = 0; i < numProps; ++i) {
        const json_value& property = props[static_cast<int>(i)];
        const char* type = property["Type"];
        total += sizeof(Properties::Data);
        if (IsNoValuePropType(type))
            continue;
        total += std::min(TextLength(property["Title"]), MaxStoredTitleLength);
        if (IsCheckboxOrNoValuePropType(type))
            continue; // a checkbox's value is its checkbox bit
        std::uint32_t valueSize = 0;
        if (DefaultValueSize(property, type, valueSize))
            total += valueSize;
        else
            MsgBox::Error(
                L"GetEDITDATASizeFromJSON failed",
                L"Calculation of edittime property size can't understand property type \"%s\". (%s)",
                UTF8ToTString(type).c_str(), GetCurLangName());
    }
    if (total > MaxEditDataSize)
        MsgBox::Error(L"EDITDATA too large!",
                      L"The JSON extension properties use more than %u bytes to store, and are too large for "
                      L"Fusion. (%s)",
                      static_cast<unsigned>(MaxEditDataSize), GetCurLangName());
    return static_cast<std::uint16_t>(total);
}
