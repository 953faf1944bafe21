#include "Properties.h"

#include "JSONValues.h"
#include "Lib/Shared/Tovik/SDK.h"
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

constexpr std::uint32_t HeaderAndBlockFixedSize = sizeof(EditDataHeader) + sizeof(Properties);

bool IsOneOf(std::uint16_t id, std::initializer_list<std::uint16_t> ids)
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

} // namespace

std::uint16_t PropTypeIDFromName(std::string_view type)
{
    for (std::uint16_t id = 1; id < PropTypeID::Count; ++id) {
        if (EqualsIgnoringCase(type, PropTypes[id].name))
            return id;
    }
    return 0;
}

PropTypeClass ClassOfPropType(std::uint16_t typeID)
{
    return typeID < PropTypeID::Count ? PropTypes[typeID].typeClass : PropTypeClass::Custom;
}

std::uint16_t PropTypeIDOf(std::uint32_t i)
{
    if (::SDK == nullptr || std::uint64_t(i) + 1 >= ::SDK->EdittimeProperties.size())
        return PropTypeID::StartItem; // the last descriptor closes the table
    const std::uint32_t word = ::SDK->EdittimeProperties[i].Type;
    if (word < 1000 && word != PropTypeID::FolderEnd)
        return PropTypeID::Custom;
    return static_cast<std::uint16_t>(word % 1000);
}

std::uint32_t FixedValueSize(PropTypeClass typeClass)
{
    switch (typeClass) {
    case PropTypeClass::Integer:
    case PropTypeClass::Float:
        return 4;
    case PropTypeClass::Size:
        return 8;
    case PropTypeClass::ImageList:
        return 2; // the image count, 0
    default:
        return 0;
    }
}

std::string_view StoredTitle(std::string_view title) { return title.substr(0, MaxStoredTitleLength); }

std::string_view PropTypeNameOf(std::uint32_t i) { return PropTypes[PropTypeIDOf(i)].name; }

bool IsRefusedProperty(std::uint32_t i, std::string_view type)
{
    return PropTypeIDOf(i) == PropTypeID::Text && !IsNoValuePropType(type);
}

bool IsNoValuePropType(std::string_view type)
{
    return StartsWithIgnoringCase(type, "Folder") ||
           ClassOfPropType(PropTypeIDFromName(type)) == PropTypeClass::NoValue;
}

bool IsCheckboxOrNoValuePropType(std::string_view type)
{
    return EqualsIgnoringCase(type, "Checkbox") || IsNoValuePropType(type);
}

bool IsStringPropType(std::string_view type, bool includeComboBoxes)
{
    if (StartsWithIgnoringCase(type, "Editbox String") ||
        ClassOfPropType(PropTypeIDFromName(type)) == PropTypeClass::Text)
        return true;
    return includeComboBoxes && StartsWithIgnoringCase(type, "Combo Box");
}

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

std::uint32_t Properties::Data::ReadPropValueSize() const { return sizeBytes - sizeof(Data) - propNameSize; }

std::vector<Properties::Data*> Properties::EntriesWithin(std::uint64_t blockBytes, std::uint32_t count)
{
    std::vector<Data*> entries;
    if (blockBytes < sizeof(Properties))
        return entries;
    auto* start = reinterpret_cast<std::uint8_t*>(this);
    // 64 bits: no stored size can wrap the sum.
    std::uint64_t at = sizeof(Properties) + CheckboxByteCount(numProps);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + sizeof(Data) > blockBytes)
            break;
        auto* entry = reinterpret_cast<Data*>(start + at);
        if (entry->sizeBytes < sizeof(Data) + entry->propNameSize || at + entry->sizeBytes > blockBytes)
            break;
        entries.push_back(entry);
        at += entry->sizeBytes;
    }
    return entries;
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
    if (IsCheckboxOrNoValuePropType(PropTypeNameOf(i)))
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

namespace {

void CantSizeBox(std::string_view type)
{
    using namespace Polvane;
    MsgBox::Error(L"GetEDITDATASizeFromJSON failed",
                  L"Calculation of edittime property size can't understand property type \"%s\". (%s)",
                  UTF8ToTString(type).c_str(), GetCurLangName());
}

// The bytes a new record holds for a text or combo box's default: none when the definition's reader
// cannot store it.
std::uint32_t DefaultTextBytes(const json_value& property, Polvane::PropTypeClass typeClass)
{
    using namespace Polvane;
    const std::size_t length = TextOf(property["DefaultState"]).size();
    if (length > MaxDefaultTextLength ||
        (typeClass == PropTypeClass::ComboBox && property["Items"].type != json_array))
        return 0;
    return static_cast<std::uint32_t>(length);
}

} // namespace

std::uint16_t GetEDITDATASizeFromJSON()
{
    using namespace Polvane;
    const json_value& props = CurLang()["Properties"];
    const std::uint32_t numProps = ArrayLength(props);

    // Wide enough that no definition can wrap it.
    std::uint64_t total = HeaderAndBlockFixedSize + CheckboxByteCount(numProps);
    for (std::uint32_t i = 0; i < numProps; ++i) {
        const json_value& property = props[static_cast<int>(i)];
        const std::string_view type = TextOf(property["Type"]);
        const std::string_view name = PropTypeNameOf(i);
        total += sizeof(Properties::Data);
        if (IsNoValuePropType(name)) {
            // A refused property stands in as such a Text: the author is told it cannot be sized.
            if (IsRefusedProperty(i, type))
                CantSizeBox(type);
            continue;
        }
        total += StoredTitle(TextOf(property["Title"])).size();
        if (EqualsIgnoringCase(name, "Checkbox"))
            continue; // its value is its checkbox bit
        const PropTypeClass typeClass = ClassOfPropType(PropTypeIDOf(i));
        if (IsStringPropType(name, true)) {
            total += DefaultTextBytes(property, typeClass);
            continue;
        }
        const std::uint32_t fixed = FixedValueSize(typeClass);
        if (fixed == 0)
            CantSizeBox(type); // a Font, or a custom type: nothing of the library's own to store
        total += fixed;
    }
    if (total > MaxEditDataSize)
        MsgBox::Error(L"EDITDATA too large!",
                      L"The JSON extension properties use more than %u bytes to store, and are too large for "
                      L"Fusion. (%s)",
                      MaxEditDataSize, GetCurLangName());
    return static_cast<std::uint16_t>(total);
}
