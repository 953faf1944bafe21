#include "PropertyReaders.h"

#include "Format.h"
#include "JSONValues.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "MsgBox.h"
#include "TextConversion.h"
#include "json/json.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <iterator>
#include <new>
#include <string_view>

namespace Polvane {
namespace {

using ConverterReturn = Properties::ConverterReturn;

// Offsets in a record of the layout from before property blocks.
constexpr std::uint32_t PreSmartSizeWordOffset = 20;
constexpr std::uint32_t PreSmartCheckboxesOffset = 24;
// A definition with more properties than this is not read.
constexpr std::uint32_t MaxJSONProperties = 1000;

constexpr const wchar_t* NoDefaultValueError =
    L"JSONPropertyReader: JSON item %s, ID %zu, language %s has no default value.";

// Error texts of every reader; overwritten by the next error.
wchar_t outputBuff[2048];

// A number that an answer points to, until the reader's next answer.
alignas(4) std::uint8_t numberStorage[8];

// The number, copied where the answer that points to it can find it.
template <typename Number> const void* KeptNumber(const Number& number)
{
    static_assert(sizeof number <= sizeof numberStorage);
    std::memcpy(numberStorage, &number, sizeof number);
    return numberStorage;
}

void FreeCopy(const void* data) { std::free(const_cast<void*>(data)); }

// A copy the caller frees through FreeCopy once it has taken the bytes.
char* CopyForCaller(std::string_view text)
{
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy == nullptr)
        throw std::bad_alloc();
    std::memcpy(copy, text.data(), text.size());
    copy[text.size()] = '\0';
    return copy;
}

std::wstring TitleOrMissing(const json_value& property)
{
    const json_value& title = property["Title"];
    return title.type == json_string ? UTF8ToTString(TextOf(title)) : L"<missing title>";
}

} // namespace

Properties::ConverterState::ConverterState(EDITDATA* oldEdPtr, Properties* oldEdPtrProps,
                                           const json_value& jsonProps)
    : oldEdPtr(oldEdPtr), oldEdPtrProps(oldEdPtrProps), jsonProps(&jsonProps)
{
}

ConverterReturn* ConverterReturn::Return_OK(const void* data, std::uint32_t size, FreeFunction freeData,
                                            int checkboxState)
{
    if (checkboxState < -1 || checkboxState > 1)
        MsgBox::Error(L"Checkbox error", L"Checkbox state of %i is invalid.", checkboxState);
    kind = Found;
    this->data = data;
    dataSize = size;
    this->freeData = freeData;
    this->checkboxState = checkboxState;
    return this;
}

ConverterReturn* ConverterReturn::Return_Pass()
{
    kind = Pass;
    return this;
}

ConverterReturn* ConverterReturn::Return_Error(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatArgs(outputBuff, std::size(outputBuff), format, args);
    va_end(args);
    kind = Error;
    data = outputBuff;
    return this;
}

ConverterReturn* ConverterReturn::Return_ConverterUnsuitable()
{
    kind = ConverterUnsuitable;
    return this;
}

// Pre-smart reader.

void Properties::PreSmartPropertyReader::Initialize(ConverterState& state, ConverterReturn* convRet)
{
    convState = &state;
    nextIndex = 0;
    lastCheckboxIndex = -1;
    checkboxes = nullptr;
    const EDITDATA* record = state.oldEdPtr;
    // The size word itself must be inside the record.
    if (record == nullptr || record->eHeader.propertiesOffset != 0 ||
        record->eHeader.totalSize < PreSmartCheckboxesOffset)
        return KillConverter(convRet);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(record);
    std::int32_t sizeWord;
    std::memcpy(&sizeWord, bytes + PreSmartSizeWordOffset, sizeof sizeWord);
    if (sizeWord < static_cast<std::int32_t>(PreSmartSizeWordOffset))
        return KillConverter(convRet);

    // Whatever the size word says, nothing past the record's total size is read.
    const std::uint32_t total = record->eHeader.totalSize;
    const std::uint32_t endOffset = std::min(static_cast<std::uint32_t>(sizeWord), total);
    const std::uint32_t checkboxBytes = CheckboxByteCount(ArrayLength(*state.jsonProps));
    checkboxes = bytes + PreSmartCheckboxesOffset;
    lastCheckboxIndex = std::min<std::int64_t>(8 * std::int64_t(checkboxBytes),
                                               8 * std::int64_t(total - PreSmartCheckboxesOffset)) -
                        1;
    end = bytes + endOffset;
    pos = bytes + std::min<std::uint64_t>(PreSmartCheckboxesOffset + std::uint64_t(checkboxBytes), endOffset);
    convRet->Return_OK(nullptr, 0);
}

void Properties::PreSmartPropertyReader::GetProperty(std::uint32_t i, ConverterReturn* convRet)
{
    if (pos == nullptr)
        return (void)convRet->Return_ConverterUnsuitable();
    // Values have no sizes: the one of property i is found by reading every value before it.
    while (nextIndex < i) {
        if (!ReadNextProperty(nullptr))
            return KillConverter(convRet);
        ++nextIndex;
    }
    if (!ReadNextProperty(convRet))
        KillConverter(convRet);
    ++nextIndex;
}

void Properties::PreSmartPropertyReader::GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet)
{
    if (std::int64_t(i) <= lastCheckboxIndex)
        convRet->Return_OK(nullptr, 0, nullptr, CheckboxBit(i));
    else
        convRet->Return_ConverterUnsuitable();
}

bool Properties::PreSmartPropertyReader::CheckboxBit(std::uint32_t i) const
{
    return (checkboxes[i / 8] >> (i % 8)) & 1;
}

bool Properties::PreSmartPropertyReader::ReadNextProperty(ConverterReturn* convRet)
{
    using namespace PropTypeID;
    const std::uint32_t k = nextIndex;
    const std::uint16_t type = PropTypeIDOf(k);
    const int state = convRet != nullptr && std::int64_t(k) <= lastCheckboxIndex ? CheckboxBit(k) : -1;
    const std::size_t remaining = end - pos;

    // After the values, only a checkbox can still be answered: its value is its bit.
    if (remaining == 0) {
        if (type != Checkbox)
            return false;
        if (convRet == nullptr)
            return true;
        if (state == -1)
            return false;
        convRet->Return_OK(nullptr, 0, nullptr, state);
        return true;
    }

    // Answers the next size bytes as found (when a result is wanted) and moves past them.
    const auto take = [&](std::size_t size) {
        if (remaining < size)
            return false;
        if (convRet != nullptr)
            convRet->Return_OK(pos, static_cast<std::uint32_t>(size), nullptr, state);
        pos += size;
        return true;
    };
    switch (type) {
    case EditboxString:
    case EditboxFile:
    case EditboxImageFile:
    case EditboxStringMultiline:
    case URLButton:
    case EditboxFolder: {
        const auto* nul = static_cast<const std::uint8_t*>(std::memchr(pos, 0, remaining));
        if (nul == nullptr)
            return false;
        const std::size_t length = nul - pos;
        if (convRet != nullptr)
            convRet->Return_OK(length != 0 ? pos : nullptr, static_cast<std::uint32_t>(length), nullptr,
                               state);
        pos = nul + 1;
        return true;
    }
    case EditboxNumber:
    case Color:
    case EditSlider:
    case EditSpin:
    case EditDirection:
    case EditboxFloat:
    case EditSpinFloat:
        return take(4);
    case Size:
        return take(8);
    case ComboBox:
    case ComboBoxButton:
    case ComboBoxIcons: {
        // The stored item index is 4 bytes whatever the definition says, so it is always stepped over.
        if (remaining < 4)
            return false;
        std::uint32_t index;
        std::memcpy(&index, pos, sizeof index);
        pos += sizeof index;
        if (convRet == nullptr)
            return true;
        const json_value& items = (*convState->jsonProps)[static_cast<int>(k)]["Items"];
        if (items.type != json_array) {
            convRet->Return_Pass();
            return true;
        }
        // An index past the items reads as the none node, whose text is empty.
        const std::string_view text =
            index <= INT32_MAX ? TextOf(items[static_cast<int>(index)]) : std::string_view();
        if (text.empty())
            convRet->Return_OK(nullptr, 0, nullptr, state);
        else
            convRet->Return_OK(CopyForCaller(text), static_cast<std::uint32_t>(text.size()), FreeCopy, state);
        return true;
    }
    case Checkbox:
        if (convRet != nullptr)
            convRet->Return_OK(nullptr, 0, nullptr, state);
        return true;
    case StartItem:
        return false;
    default:
        // Types without a value, and fonts, custom properties and image lists, which this layout never
        // held: the cursor stays.
        if (convRet != nullptr)
            convRet->Return_Pass();
        return true;
    }
}

void Properties::PreSmartPropertyReader::KillConverter(ConverterReturn* convRet)
{
    lastCheckboxIndex = std::min<std::int64_t>(lastCheckboxIndex, std::int64_t(nextIndex) - 1);
    pos = nullptr;
    end = nullptr;
    convRet->Return_ConverterUnsuitable();
}

// Smart reader.

void Properties::SmartPropertyReader::Initialize(ConverterState& state, ConverterReturn* convRet)
{
    convState = &state;
    data.clear();
    const EDITDATA* record = state.oldEdPtr;
    Properties* props = state.oldEdPtrProps;
    if (record == nullptr || props == nullptr || record->eHeader.propertiesOffset == 0 ||
        record->eHeader.propertiesOffset >= record->eHeader.totalSize)
        return (void)convRet->Return_ConverterUnsuitable();

    // Every field is checked to lie inside the record before it is read: the record comes from a
    // project file.
    const std::uint64_t offset =
        reinterpret_cast<const std::uint8_t*>(props) - reinterpret_cast<const std::uint8_t*>(record);
    const std::uint64_t total = record->eHeader.totalSize;
    if (offset + sizeof(Properties) > total || props->magic != Magic)
        return (void)convRet->Return_ConverterUnsuitable();

    const std::size_t count = props->numProps;
    data = props->EntriesWithin(total - offset, props->numProps);
    if (data.size() != count) {
        const std::size_t j = data.size();
        data.clear();
        return (void)convRet->Return_Error(
            L"SmartPropertyReader: failed to read Data for property %zu / %zu.\n", j, count);
    }
    convRet->Return_OK(nullptr, 0);
}

std::size_t Properties::SmartPropertyReader::Find(const std::string& title, std::uint16_t typeID) const
{
    for (std::size_t j = 0; j < data.size(); ++j) {
        const Data* entry = data[j];
        if (IsPropTypeCompatible(entry->propTypeID, typeID) &&
            EqualsIgnoringCase(entry->ReadPropName(), title))
            return j;
    }
    return data.size();
}

void Properties::SmartPropertyReader::GetProperty(std::uint32_t i, ConverterReturn* convRet)
{
    const json_value& property = (*convState->jsonProps)[static_cast<int>(i)];
    const std::string_view type = TextOf(property["Type"]);
    const std::uint16_t typeID = PropTypeIDFromName(type);
    if (typeID == 0)
        return (void)convRet->Return_Error(
            L"SmartPropertyReader: failed to read Data for property %zu. Type ID in JSON %s could not be "
            L"converted to ID.\n",
            static_cast<std::size_t>(i), UTF8ToTString(type).c_str());

    // Titles are stored cut to their longest stored length: compare what was stored.
    const std::string oldTitle(StoredTitle(TextOf(property["OldTitle"])));
    std::size_t j = oldTitle.empty() ? data.size() : Find(oldTitle, typeID);
    if (j == data.size())
        j = Find(std::string(StoredTitle(TextOf(property["Title"]))), typeID);
    if (j == data.size())
        return (void)convRet->Return_Pass();

    const Data* entry = data[j];
    const int checked = convState->oldEdPtrProps->IsPropChecked(static_cast<std::uint32_t>(j));
    // An integer now edited as a float keeps its number, not its bit pattern.
    if (ClassOfPropType(entry->propTypeID) == PropTypeClass::Integer &&
        ClassOfPropType(typeID) == PropTypeClass::Float && entry->ReadPropValueSize() == 4) {
        std::int32_t integer;
        std::memcpy(&integer, entry->ReadPropValue(), sizeof integer);
        const float value = static_cast<float>(integer);
        return (void)convRet->Return_OK(KeptNumber(value), sizeof value, nullptr, checked);
    }
    convRet->Return_OK(entry->ReadPropValue(), entry->ReadPropValueSize(), nullptr, checked);
}

void Properties::SmartPropertyReader::GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet)
{
    // data holds every old entry once Initialize succeeded, so this is the old block's count.
    if (i < data.size())
        convRet->Return_OK(nullptr, 0, nullptr, convState->oldEdPtrProps->IsPropChecked(i));
    else
        convRet->Return_Pass();
}

// JSON reader.

void Properties::JSONPropertyReader::Initialize(ConverterState& state, ConverterReturn* convRet)
{
    convState = &state;
    const json_value& props = *state.jsonProps;
    if ((props.type != json_array && props.type != json_none) || ArrayLength(props) > MaxJSONProperties) {
        MsgBox::Error(L"Property error",
                      L"JSONPropertyReader: Properties is the wrong type, expected an array.\n");
        counted.clear();
        return (void)convRet->Return_ConverterUnsuitable();
    }
    counted.assign(ArrayLength(props), false);
    convRet->Return_OK(nullptr, 0);
}

const json_value* Properties::JSONPropertyReader::Item(std::uint32_t i, ConverterReturn* convRet,
                                                       const wchar_t* ending) const
{
    const json_value& props = *convState->jsonProps;
    const std::size_t index = i;
    if (i >= ArrayLength(props)) {
        convRet->Return_Error(
            L"JSONPropertyReader: no JSON item for property %zu, only %u items are stored%s", index,
            ArrayLength(props), ending);
        return nullptr;
    }
    const json_value& property = props[static_cast<int>(i)];
    if (property.type != json_object) {
        convRet->Return_Error(
            L"JSDNPropertyReader: Index %zu is not a json_object (but within Properties array)%s", index,
            ending);
        return nullptr;
    }
    return &property;
}

void Properties::JSONPropertyReader::ReturnDefault(std::uint32_t i, const json_value& property,
                                                   ConverterReturn* convRet, const void* data,
                                                   std::uint32_t size, ConverterReturn::FreeFunction freeData,
                                                   int checkboxState)
{
    if (!counted[i]) {
        counted[i] = true;
        convState->resetPropertiesStream << "\xE2\x80\xA2 " << TextOf(property["Title"]) << '\n';
        ++convState->numPropsReset;
    }
    convRet->Return_OK(data, size, freeData, checkboxState);
}

void Properties::JSONPropertyReader::GetProperty(std::uint32_t i, ConverterReturn* convRet)
{
    using namespace PropTypeID;
    const json_value* item = Item(i, convRet, L"");
    if (item == nullptr)
        return;
    const json_value& property = *item;
    // The property's title, index and language come first in every error about its default.
    const auto defaultError = [&](const wchar_t* format, auto... more) {
        convRet->Return_Error(format, TitleOrMissing(property).c_str(), static_cast<std::size_t>(i),
                              GetCurLangName(), more...);
    };

    const json_value& defaultState = property["DefaultState"];
    const std::string_view defaultText = TextOf(defaultState);
    switch (PropTypeIDOf(i)) {
    case Text:
    case Folder:
    case FolderEnd:
    case EditButton:
    case Checkbox:
    case Group:
        return (void)convRet->Return_OK(nullptr, 0);
    case EditboxString:
    case EditboxFile:
    case EditboxImageFile:
    case EditboxStringMultiline:
    case URLButton:
    case EditboxFolder: {
        // A longer default is not taken: the reader leaves the chain.
        if (defaultText.size() > MaxDefaultTextLength)
            return (void)convRet->Return_ConverterUnsuitable();
        const std::string_view letterCase = TextOf(property["Case"]);
        std::string text(defaultText);
        if (EqualsIgnoringCase(letterCase, "Lower"))
            text = LowerASCII(text);
        else if (EqualsIgnoringCase(letterCase, "Upper"))
            text = UpperASCII(text);
        return ReturnDefault(i, property, convRet, CopyForCaller(text),
                             static_cast<std::uint32_t>(text.size()), FreeCopy);
    }
    case ComboBox:
    case ComboBoxButton:
    case ComboBoxIcons:
        if (property["Items"].type != json_array)
            return (void)convRet->Return_Pass();
        if (defaultText.size() > MaxDefaultTextLength)
            return (void)convRet->Return_ConverterUnsuitable();
        // The default is the item's text, which the definition keeps for the process.
        return ReturnDefault(i, property, convRet, defaultText.data(),
                             static_cast<std::uint32_t>(defaultText.size()));
    case Size: {
        if (ArrayLength(defaultState) != 2)
            return defaultError(L"JSONPropertyReader: Couldn't read default state for JSON item %s, ID %zu, "
                                L"language %s. Erroring.");
        const std::int32_t pair[2] = {static_cast<std::int32_t>(static_cast<json_int_t>(defaultState[0])),
                                      static_cast<std::int32_t>(static_cast<json_int_t>(defaultState[1]))};
        return ReturnDefault(i, property, convRet, KeptNumber(pair), sizeof pair);
    }
    case EditboxNumber:
    case Color:
    case EditSlider:
    case EditSpin:
    case EditDirection: {
        if (defaultState.type != json_integer)
            return defaultError(NoDefaultValueError);
        const json_int_t value = defaultState.u.integer;
        if (value < INT32_MIN || value > INT32_MAX)
            return defaultError(
                L"JSONPropertyReader: JSON item %s, ID %zu, language %s has default value that "
                L"can't be stored in 32-bit int (value is %lld).",
                static_cast<long long>(value));
        const std::int32_t stored = static_cast<std::int32_t>(value);
        return ReturnDefault(i, property, convRet, KeptNumber(stored), sizeof stored);
    }
    case EditboxFloat:
    case EditSpinFloat: {
        // Only a number written with a fraction or an exponent counts as a float default.
        if (defaultState.type != json_double)
            return defaultError(NoDefaultValueError);
        const float stored = static_cast<float>(defaultState.u.dbl);
        return ReturnDefault(i, property, convRet, KeptNumber(stored), sizeof stored);
    }
    case ImageList: {
        if (defaultState.type != json_none)
            return defaultError(
                L"JSONPropertyReader: JSON item %s, ID %zu, language %s has a default value, and "
                L"shouldn't have one.");
        const std::uint16_t noImages = 0;
        return ReturnDefault(i, property, convRet, KeptNumber(noImages), sizeof noImages);
    }
    default:
        convRet->Return_Pass();
    }
}

void Properties::JSONPropertyReader::GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet)
{
    const json_value* item = Item(i, convRet, L".\n");
    if (item == nullptr)
        return;
    const json_value& property = *item;

    if (PropTypeIDOf(i) == PropTypeID::Checkbox) {
        const json_value& defaultState = property["DefaultState"];
        if (defaultState.type != json_boolean)
            return (void)convRet->Return_Error(
                L"JSONPropertyReader: DefaultState is not set for checkbox property. "
                L"Property %s, ID %zu (language %s). Erroring.\n",
                TitleOrMissing(property).c_str(), static_cast<std::size_t>(i), GetCurLangName());
        return ReturnDefault(i, property, convRet, nullptr, 0, nullptr, defaultState.u.boolean ? 1 : 0);
    }
    const json_value& checkboxDefault = property["CheckboxDefaultState"];
    if (checkboxDefault.type == json_none)
        return (void)convRet->Return_Pass();
    if (checkboxDefault.type != json_boolean)
        return (void)convRet->Return_Error(
            L"JSONPropertyReader: the CheckboxDefaultState is not set for property "
            L"with checkbox flag. Property %s, ID %u (language %s). Erroring.\n",
            TitleOrMissing(property).c_str(), i, GetCurLangName());
    ReturnDefault(i, property, convRet, nullptr, 0, nullptr, checkboxDefault.u.boolean ? 1 : 0);
}

} // namespace Polvane
