// A new value for one stored property. A value of the same size is written in place; any other size
// means a new record: the library builds it whole, asks the host for a record of the new size, and only
// then copies it over, so a host that refuses leaves the object's data as it was.
#include "JSONValues.h"
#include "Lib/Shared/Host/HostFunctions.h"
#include "MsgBox.h"
#include "Properties.h"
#include "PropertyExports.h"
#include "TextConversion.h"
#include "json/json.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace Polvane {

void Properties::Internal_PropChange(::mV* mV, EDITDATA** edPtr, std::uint32_t i, const void* value,
                                     std::uint32_t size)
{
    constexpr const wchar_t* ErrorTitle = L"Polvane property error";
    const json_value* property = PropertyDefinition(i);
    const json_value& definition = property != nullptr ? *property : json_value_none;
    const std::wstring title = UTF8ToTString(TextOf(definition["Title"]));
    const std::wstring type = UTF8ToTString(TextOf(definition["Type"]));

    auto* record = reinterpret_cast<std::uint8_t*>(*edPtr);
    Properties* block = StoredBlock(*edPtr);
    Data* data = DataWithin(*block, StoredBlockBytes(*edPtr), i);
    if (data == nullptr) {
        MsgBox::Error(ErrorTitle, L"Couldn't find property %s (JSON type %s), failed to edit it.",
                      title.c_str(), type.c_str());
        return;
    }
    const std::uint32_t oldSize = data->ReadPropValueSize();

    // A combo box stores the text of the chosen item, not its index.
    std::string item;
    if (ClassOfPropType(data->propTypeID) == PropTypeClass::ComboBox) {
        // Anything but a 4-byte item index names no item.
        std::uint32_t index = UINT32_MAX;
        if (size == sizeof index)
            std::memcpy(&index, value, sizeof index);
        const json_value& items = definition["Items"];
        if (index < ArrayLength(items))
            item = TextOf(items[static_cast<int>(index)]);
        value = item.data();
        size = static_cast<std::uint32_t>(item.size());
    }

    if (size == oldSize) {
        std::memcpy(data->ReadPropValue(), value, size);
        return;
    }
    // Numbers, sizes and image lists always have bytes: storing none would lose the value for good.
    if (size == 0 && !IsStringPropType(PropTypeNameOf(i), true)) {
        MsgBox::Error(ErrorTitle, L"Property size of property %s (JSON type %s) is 0!", title.c_str(),
                      type.c_str());
        return;
    }
    if ((*edPtr)->eHeader.totalSize != block->sizeBytes) {
        if (MsgBox::WarningYesNo(
                L"Polvane property warning",
                L"Change to property \"%s\" (JSON type \"%s\") caused reserved size to be different "
                L"to actual size. Press Yes to set it to Fusion's size (may corrupt properties).\n"
                L"Press No to cancel property change.",
                title.c_str(), type.c_str()) != IDYES)
            return;
        block->sizeBytes = (*edPtr)->eHeader.totalSize;
    }

    // The entry lies inside the record, whose size the block's size word now repeats.
    const std::uint32_t total = block->sizeBytes;
    const std::size_t prefix = data->ReadPropValue() - record;
    const std::size_t tail = total - prefix - oldSize;
    // 64 bits: a damaged size word near 4 GiB must not wrap the new total into a small buffer. The host
    // cannot keep a larger record; going on would lose the object's data.
    const std::uint64_t newTotal = std::uint64_t(total) - oldSize + size;
    if (newTotal > MaxEditDataSize) {
        MsgBox::Error(ErrorTitle, L"Need %llu bytes, but EDITDATA can only store %u bytes!",
                      static_cast<unsigned long long>(newTotal), MaxEditDataSize);
        return;
    }
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[newTotal]());
    if (buffer == nullptr) {
        MsgBox::Error(ErrorTitle, L"Out of memory attempting to rewrite properties!");
        return;
    }
    std::memcpy(buffer.get(), record, prefix);
    std::memcpy(buffer.get() + prefix, value, size);
    std::memcpy(buffer.get() + prefix + size, record + prefix + oldSize, tail);
    const std::uint32_t newTotalWord = static_cast<std::uint32_t>(newTotal);
    std::memcpy(buffer.get() + sizeof(EditDataHeader) + offsetof(Properties, sizeBytes), &newTotalWord,
                sizeof newTotalWord);
    const std::uint32_t entrySize = sizeof(Data) + data->propNameSize + size;
    std::memcpy(buffer.get() + (reinterpret_cast<std::uint8_t*>(data) - record) + offsetof(Data, sizeBytes),
                &entrySize, sizeof entrySize);

    EDITDATA* resized = mvReAllocEditData(mV, *edPtr, newTotalWord);
    if (resized == nullptr) {
        MsgBox::Error(L"Property Error",
                      L"NULL returned from EDITDATA reallocation. Property changed cancelled.");
        return;
    }
    // The header is the host's: its resize set the total size. Both blocks are found through their offset
    // words; when those lead to different places, the copy stops where either record ends.
    auto* built = reinterpret_cast<EDITDATA*>(buffer.get());
    Properties* from = GetPropertiesFromEditData(built);
    Properties* to = GetPropertiesFromEditData(resized);
    const std::size_t fromOffset = reinterpret_cast<std::uint8_t*>(from) - buffer.get();
    const std::size_t toOffset =
        reinterpret_cast<std::uint8_t*>(to) - reinterpret_cast<std::uint8_t*>(resized);
    const std::size_t start = std::max(fromOffset, toOffset);
    if (start < newTotal)
        std::memcpy(to, from, newTotal - start);
    *edPtr = resized;
}

} // namespace Polvane
