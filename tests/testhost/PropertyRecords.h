// Property data as the host holds it: an object's EDITDATA laid out as the library stores its
// properties, the value objects the host hands to SetPropValue and answers to CallFunction 6, and the
// host's calls of a value object's slots.
#pragma once

#include "RecordBytes.h"

#include "Lib/Shared/Host/HostRecords.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace TestHost {

// One stored entry: the type id, the UTF-8 title and the value's bytes.
struct StoredProperty {
    std::uint16_t typeID;
    std::string title;
    std::string value;
};

// The record's bytes: the header (total size, maximum size, version 1, identifier 0, block offset 20),
// then the block (magic, the complemented hashes of a definition without value properties, the count,
// the total size again), the checkbox bytes (zero when not given) and the entries. maximumSize 0
// stands for the total size.
std::vector<std::uint8_t> StoredEditData(const std::vector<StoredProperty>& properties,
                                         const std::vector<std::uint8_t>& checkboxBytes = {},
                                         std::uint32_t maximumSize = 0);

inline EDITDATA* AsEditData(std::vector<std::uint8_t>& record)
{
    return reinterpret_cast<EDITDATA*>(record.data());
}

// The record's bytes, header included, as far as its total size goes.
std::vector<std::uint8_t> BytesOf(const EDITDATA* edPtr);

// The 32-bit word at byte at of a record.
std::uint32_t U32At(const std::vector<std::uint8_t>& bytes, std::size_t at);

// An image list's value bytes: the count, then the ids.
std::string U16Bytes(std::initializer_list<std::uint16_t> values);

// The slots of a value object's virtual table, in the host's order.
namespace Slot {
constexpr int DeletingDestructor = 0;
constexpr int Delete = 1;
constexpr int CreateCopy = 2;
constexpr int IsEqual = 3;
constexpr int GetClassID = 4;
constexpr int CopyToHostValue = 5;
constexpr int SetByteFlag = 6;
} // namespace Slot

// Calls slot `slot` of a value object's virtual table as the host does.
template <typename R, typename... Args> R CallSlot(const void* object, int slot, Args... args)
{
    using Fn = R(HOST_THISCALL*)(void* self, Args...);
    Fn const* table = *static_cast<Fn const* const*>(object);
    return table[slot](const_cast<void*>(object), args...);
}

// A value object as the host hands it over: the host's virtual slots, then the value's words from byte
// 4. The library reads slot 4 (the class id) and releases, through slot 1, a value it asked the host
// for; the other slots hold their places. Texts are kept by the object, which its maker owns.
class HostValue {
public:
    HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> words);
    // Word 2 points to the object's copy of the text: wide for STRW and DATA, ANSI for STRA.
    HostValue(std::uint32_t classID, const std::wstring& text);
    HostValue(std::uint32_t classID, const std::string& ansiText);
    HostValue(const HostValue&) = delete;
    HostValue& operator=(const HostValue&) = delete;

    virtual void* DeletingDestructor(unsigned flag);
    virtual void Delete();
    virtual HostValue* CreateCopy() const;
    virtual std::int32_t IsEqual(const HostValue* other) const;
    virtual std::uint32_t GetClassID() const;

    // How many times slot 4 and slot 1 were called.
    int ClassIDReads() const { return classIDReads; }
    int Releases() const { return releases; }

    std::uint32_t words[3]; // bytes 4 to 15

private:
    std::uint32_t classID;
    mutable int classIDReads = 0;
    int releases = 0;
    std::wstring wideText;
    std::string ansiText;
};

} // namespace TestHost
