#include "PropertyExports.h"

#include "../Tovik/Boundary.h"
#include "Globals.h"
#include "JSONValues.h"
#include "Lib/Shared/Host/HostFunctions.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "MsgBox.h"
#include "PropertyValues.h"
#include "TextConversion.h"
#include "extension/Extension.h"
#include "json/json.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace Polvane {
namespace {

template <typename T> bool ReadStored(const Properties::Data& data, T& value)
{
    if (data.ReadPropValueSize() < sizeof value)
        return false;
    std::memcpy(&value, data.ReadPropValue(), sizeof value);
    return true;
}

Prop* ComboBoxValue(const json_value& property, std::uint32_t i, std::string_view stored)
{
    const json_value& items = property["Items"];
    const std::wstring title = UTF8ToTString(TextOf(property["Title"]));
    if (items.type != json_array) {
        MsgBox::Error(
            L"Property error",
            L"GetProperty error: JSON Items not valid in Combo Box property \"%s\", ID %i, language %s.",
            title.c_str(), static_cast<int>(i), GetCurLangName());
        return nullptr;
    }
    for (std::uint32_t item = 0; item < items.u.array.length; ++item) {
        if (TextOf(items[static_cast<int>(item)]) == stored)
            return new Prop_UInt(item);
    }
    MsgBox::Error(
        L"Property error",
        L"GetProperty error: JSON Items does not contain given value %s (Combo Box property \"%s\", ID "
        L"%zu, JSON language %s).",
        UTF8ToTString(stored).c_str(), title.c_str(), static_cast<std::size_t>(i), GetCurLangName());
    return nullptr;
}

// A type whose value the sheet cannot be given: a Size, an Image List, a Font, a custom type, or one the
// definition's reader refused.
Prop* UnexpectedType(const json_value& property)
{
    MsgBox::Error(L"Property error", L"GetProperty error: JSON property type \"%s\" is unexpected.",
                  UTF8ToTString(TextOf(property["Type"])).c_str());
    return nullptr;
}

// The value of a stored entry, by the definition's type; null after a box when it cannot be given.
Prop* StoredValue(const json_value& property, std::uint32_t i, const Properties::Data& data)
{
    const std::string_view stored(reinterpret_cast<const char*>(data.ReadPropValue()),
                                  data.ReadPropValueSize());
    if (IsStringPropType(PropTypeNameOf(i), false))
        return new Prop_WStr(UTF8ToTString(stored).c_str());
    switch (ClassOfPropType(PropTypeIDOf(i))) {
    case PropTypeClass::Integer: {
        std::int32_t value;
        if (ReadStored(data, value))
            return new Prop_SInt(value);
        break;
    }
    case PropTypeClass::Float: {
        float value;
        if (ReadStored(data, value))
            return new Prop_Float(value);
        break;
    }
    case PropTypeClass::ComboBox:
        return ComboBoxValue(property, i, stored);
    default:
        return UnexpectedType(property);
    }
    // A number whose entry holds fewer bytes than the number is damage.
    CorruptPropertiesWarning();
    return nullptr;
}

// The value's text: wide or ANSI NUL-terminated text that word 2 of the host's object points to.
std::string WideTextAt(const std::uint8_t* words)
{
    const wchar_t* text;
    std::memcpy(&text, words + 8, sizeof text);
    return TStringToUTF8(text != nullptr ? text : L"");
}

std::string ANSITextAt(const std::uint8_t* words)
{
    const char* text;
    std::memcpy(&text, words + 8, sizeof text);
    return ANSIToUTF8(text != nullptr ? text : "");
}

// A text for a combo box names one of its items; the change then stores that item, by its index.
void ChangeText(::mV* mV, EDITDATA** edPtr, std::uint32_t i, const json_value& property,
                const std::string& text)
{
    if (ClassOfPropType(PropTypeIDOf(i)) != PropTypeClass::ComboBox) {
        Properties::Internal_PropChange(mV, edPtr, i, text.data(), static_cast<std::uint32_t>(text.size()));
        return;
    }
    const json_value& items = property["Items"];
    for (std::uint32_t item = 0; items.type == json_array && item < items.u.array.length; ++item) {
        if (TextOf(items[static_cast<int>(item)]) == text) {
            Properties::Internal_PropChange(mV, edPtr, i, &item, sizeof item);
            return;
        }
    }
    MsgBox::Error(L"Polvane property error",
                  L"Combo Box property \"%s\" has no item \"%s\"; the value was not stored.",
                  UTF8ToTString(TextOf(property["Title"])).c_str(), UTF8ToTString(text).c_str());
}

// The checkbox byte of property i, when the block's checkbox bytes hold it and the record holds them.
std::uint8_t* CheckboxByte(Properties& block, std::uint32_t blockBytes, std::uint32_t i)
{
    if (blockBytes < sizeof(Properties) || i >= block.numProps || sizeof(Properties) + i / 8 >= blockBytes)
        return nullptr;
    return block.dataForProps + i / 8;
}

} // namespace

const json_value* PropertyDefinition(std::uint32_t i)
{
    const json_value& props = CurLang()["Properties"];
    return i < ArrayLength(props) ? &props[static_cast<int>(i)] : nullptr;
}

Properties* StoredBlock(EDITDATA* edPtr)
{
    return reinterpret_cast<Properties*>(reinterpret_cast<std::uint8_t*>(edPtr) + sizeof(EditDataHeader));
}

std::uint32_t StoredBlockBytes(const EDITDATA* edPtr)
{
    const std::uint32_t total = edPtr->eHeader.totalSize;
    return total > sizeof(EditDataHeader) ? total - sizeof(EditDataHeader) : 0;
}

Properties::Data* DataWithin(Properties& block, std::uint32_t blockBytes, std::uint32_t i)
{
    if (block.EntriesWithin(blockBytes, i + 1).size() != std::size_t(i) + 1)
        return nullptr;
    return block.Internal_DataAt(i);
}

void CorruptPropertiesWarning()
{
    MsgBox::WarningOK(
        L"Polvane property error",
        L"Warning: Returned null Data. Properties are corrupt; replace the existing %s, by creating a "
        L"new one and using \"Replace by another object\" in event editor.",
        ProjectName.c_str());
}

Prop* Properties::GetProperty(std::uint32_t id, std::uint32_t blockBytes)
{
    const std::uint32_t i = PropIndexFromHostID(id);
    const json_value* property = PropertyDefinition(i);
    if (property == nullptr)
        return nullptr;
    if (blockBytes < sizeof(Properties) || sizeBytes == 0) {
        MsgBox::Error(L"Premature function call",
                      L"GetProperty() called without edPtr->Polvane::Properties being valid.");
        return nullptr;
    }
    if (IsRefusedProperty(i, TextOf((*property)["Type"])))
        return UnexpectedType(*property);
    // A Text shows its default, and an Edit button its button text; neither stores anything.
    const std::string_view name = PropTypeNameOf(i);
    if (EqualsIgnoringCase(name, "Text") || EqualsIgnoringCase(name, "Edit button"))
        return new Prop_WStr(UTF8ToTString(TextOf((*property)["DefaultState"])).c_str());
    if (IsCheckboxOrNoValuePropType(name))
        return nullptr;
    const Data* data = DataWithin(*this, blockBytes, i);
    if (data == nullptr) {
        CorruptPropertiesWarning();
        return nullptr;
    }
    return StoredValue(*property, i, *data);
}

Prop* DLL_GetPropValue(::mV*, EDITDATA* edPtr, std::uint32_t id)
{
    const std::uint32_t extVersion = edPtr->eHeader.extVersion;
    if (extVersion != Extension::Version) {
        if (extVersion != 0)
            MsgBox::Error(
                L"Version upgrade failure",
                L"Extension version mismatch (MFA is %lu, real ext is %i). You should update the %s "
                L"extension immediately, WITHOUT saving the MFA first.",
                static_cast<unsigned long>(extVersion), Extension::Version, ProjectName.c_str());
        else
            MsgBox::Error(
                L"Version upgrade failure",
                L"Extension version mismatch (MFA is %lu, real ext is %i). Fusion should have called "
                L"UpdateEditStructure, but didn't.",
                static_cast<unsigned long>(extVersion), Extension::Version);
        return nullptr;
    }
    if (edPtr->eHeader.propertiesOffset == 0) {
        MsgBox::Error(
            L"No smart properties",
            L"MFA ext version %lu was saved WITHOUT smart properties, but current extension has same "
            L"version %d WITH smart properties.\n\nDid the extension developer upgrade the extension to "
            L"smart properties without incrementing Extension::Version?",
            static_cast<unsigned long>(extVersion), Extension::Version);
        return nullptr;
    }
    return StoredBlock(edPtr)->GetProperty(id, StoredBlockBytes(edPtr));
}

void DLL_SetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id, Prop* value)
{
    if (value == nullptr)
        return;
    const std::uint32_t classID = value->GetClassID();
    const std::uint32_t i = PropIndexFromHostID(id);
    const json_value* property = PropertyDefinition(i);
    if (property == nullptr)
        return;
    // The value sits in the object's words after its virtual table.
    const auto* words = reinterpret_cast<const std::uint8_t*>(value);
    switch (classID) {
    case Prop_SInt::ClassID:
    case Prop_UInt::ClassID:
    case Prop_Float::ClassID:
        Properties::Internal_PropChange(mV, &edPtr, i, words + 4, 4);
        return;
    case FourCharID('S', 'I', 'Z', 'E'):
        Properties::Internal_PropChange(mV, &edPtr, i, words + 4, 8);
        return;
    case FourCharID('I', 'N', 'T', '2'):
    case FourCharID('D', 'B', 'L', 'E'):
        Properties::Internal_PropChange(mV, &edPtr, i, words + 8, 8);
        return;
    case Prop_WStr::ClassID:
        ChangeText(mV, &edPtr, i, *property, WideTextAt(words));
        return;
    case FourCharID('S', 'T', 'R', 'A'):
        ChangeText(mV, &edPtr, i, *property, ANSITextAt(words));
        return;
    case FourCharID('D', 'A', 'T', 'A'):
        if (IsStringPropType(PropTypeNameOf(i), true))
            ChangeText(mV, &edPtr, i, *property, WideTextAt(words));
        else
            MsgBox::Error(L"Polvane property error", L"Got Buff type for non-string property \"%s\".",
                          UTF8ToTString(TextOf((*property)["Title"])).c_str());
        return;
    default:
        MsgBox::Info(L"Custom property", L"Assuming class ID %i is custom - but no custom code yet written.",
                     static_cast<int>(classID));
    }
}

} // namespace Polvane

BOOL DLL_GetProperties(::mV* mV, EDITDATA* edPtr, BOOL)
{
    const HostPropertyDescriptor* table = nullptr;
    if (::SDK != nullptr && !::SDK->EdittimeProperties.empty())
        table = ::SDK->EdittimeProperties.data();
    else
        Polvane::MsgBox::Error(L"Property error",
                               L"Call to DLL_GetProperties without valid EdittimeProperties.");
    mvInsertProps(mV, edPtr, table, 1, 1);
    mvCallFunction18(mV, edPtr);
    return TRUE;
}

HOST_EXPORT BOOL HOST_STDCALL GetProperties(::mV* mV, EDITDATA* edPtr, BOOL masterItem)
{
    return Tovik::Guard("GetProperties", FALSE, [&] { return DLL_GetProperties(mV, edPtr, masterItem); });
}

HOST_EXPORT void HOST_STDCALL ReleaseProperties(::mV*, EDITDATA*, BOOL) {}

HOST_EXPORT Prop* HOST_STDCALL GetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id)
{
    return Tovik::Guard("GetPropValue", nullptr, [&] { return Polvane::DLL_GetPropValue(mV, edPtr, id); });
}

HOST_EXPORT void HOST_STDCALL SetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id, Prop* value)
{
    Tovik::GuardVoid("SetPropValue", [&] { Polvane::DLL_SetPropValue(mV, edPtr, id, value); });
}

HOST_EXPORT BOOL HOST_STDCALL GetPropCheck(::mV*, EDITDATA* edPtr, std::uint32_t id)
{
    return Tovik::Guard("GetPropCheck", FALSE, [&] {
        using namespace Polvane;
        const std::uint32_t i = PropIndexFromHostID(id);
        if (PropertyDefinition(i) == nullptr)
            return FALSE;
        Properties* block = StoredBlock(edPtr);
        const std::uint32_t blockBytes = StoredBlockBytes(edPtr);
        if (CheckboxByte(*block, blockBytes, i) != nullptr)
            return block->IsPropChecked(i) ? TRUE : FALSE;
        // Past the stored count IsPropChecked explains itself; a record too small for the bit goes unread.
        return blockBytes >= sizeof(Properties) && i >= block->numProps ? block->IsPropChecked(i) : FALSE;
    });
}

HOST_EXPORT void HOST_STDCALL SetPropCheck(::mV*, EDITDATA* edPtr, std::uint32_t id, BOOL check)
{
    Tovik::GuardVoid("SetPropCheck", [&] {
        using namespace Polvane;
        const std::uint32_t i = PropIndexFromHostID(id);
        if (PropertyDefinition(i) == nullptr)
            return;
        // A block stored for fewer properties has no bit for this one: its bytes there belong to an entry.
        std::uint8_t* byte = CheckboxByte(*StoredBlock(edPtr), StoredBlockBytes(edPtr), i);
        if (byte == nullptr)
            return;
        const std::uint8_t bit = static_cast<std::uint8_t>(1u << (i % 8));
        *byte = check != 0 ? *byte | bit : *byte & ~bit;
    });
}

HOST_EXPORT BOOL HOST_STDCALL IsPropEnabled(::mV*, EDITDATA*, std::uint32_t) { return TRUE; }

HOST_EXPORT BOOL HOST_STDCALL EditProp(::mV* mV, EDITDATA* edPtr, std::uint32_t id)
{
    return Tovik::Guard("EditProp", FALSE, [&] { return Polvane::DLL_EditProp(mV, edPtr, id); });
}
