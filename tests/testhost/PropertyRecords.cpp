#include "PropertyRecords.h"

#include <algorithm>
#include <cstring>

namespace TestHost {

namespace {

std::uint32_t Word(const void* pointer)
{
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Both hashes of a definition whose properties all lack a value, complemented as a block stores them.
constexpr std::uint32_t StoredEmptyHash = ~0x811C9DC5u;

} // namespace

std::vector<std::uint8_t> StoredEditData(const std::vector<StoredProperty>& properties,
                                         const std::vector<std::uint8_t>& checkboxBytes,
                                         std::uint32_t maximumSize)
{
    RecordBytes record;
    record.Header(0, 1, 0, 20)
        .Block(static_cast<std::uint16_t>(properties.size()), StoredEmptyHash, StoredEmptyHash);
    std::vector<std::uint8_t> checks = checkboxBytes;
    checks.resize((properties.size() + 7) / 8, 0);
    for (std::uint8_t check : checks)
        record.U8(check);
    for (const StoredProperty& property : properties)
        record.Entry(property.typeID, property.title, property.value);
    record.End();
    record.Put(4, maximumSize != 0 ? maximumSize : static_cast<std::uint32_t>(record.bytes.size()));
    return record.bytes;
}

std::vector<std::uint8_t> BytesOf(const EDITDATA* edPtr)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(edPtr);
    return {bytes, bytes + edPtr->eHeader.totalSize};
}

std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at)
{
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
}

std::string U16Bytes(std::initializer_list<std::uint16_t> values)
{
    std::string bytes;
    for (std::uint16_t value : values) {
        bytes += static_cast<char>(value & 0xFF);
        bytes += static_cast<char>(value >> 8);
    }
    return bytes;
}

HostValue::HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> values)
    : words{}, classID(classID)
{
    std::copy(values.begin(), values.begin() + std::min<std::size_t>(values.size(), 3), words);
}

HostValue::HostValue(std::uint32_t classID, const std::wstring& text)
    : words{}, classID(classID), wideText(text)
{
    words[1] = Word(wideText.c_str());
}

HostValue::HostValue(std::uint32_t classID, const std::string& text)
    : words{}, classID(classID), ansiText(text)
{
    words[1] = Word(ansiText.c_str());
}

void* HostValue::DeletingDestructor(unsigned) { return this; }

void HostValue::Delete() { ++releases; }

HostValue* HostValue::CreateCopy() const { return nullptr; }

std::int32_t HostValue::IsEqual(const HostValue*) const { return 0; }

std::uint32_t HostValue::GetClassID() const
{
    ++classIDReads;
    return classID;
}

} // namespace TestHost
