// Property data as the host exchanges it: the host's value objects and its calls of their slots, stored
// EDITDATA written field by field (little-endian, as a project file holds it), and the boxes shown.
#pragma once

#include "MessageBoxRecorder.h"

#include "Lib/Shared/Host/HostRecords.h"
#include "Lib/Shared/Host/Platform.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>
#include <windows.h>

namespace TestHost {

// The slots of a value object's virtual table, in the host's order.
enum class Slot { DeletingDestructor, Delete, CreateCopy, IsEqual, GetClassID, CopyToHostValue, SetByteFlag };

template <typename R, typename... Args> R CallSlot(const void* object, Slot slot, Args... args)
{
    using Fn = R(HOST_THISCALL*)(void* self, Args...);
    return (*static_cast<Fn const* const*>(object))[int(slot)](const_cast<void*>(object), args...);
}

inline std::uint32_t Address(const void* p) { return std::uint32_t(reinterpret_cast<std::uintptr_t>(p)); }

// A value object as the host sees it: its class id (slot 4) and its value copied into the host's value
// record (slot 5) as "id:word 1" (a float as its bits) or "id:text", then released (slot 1); null for none.
inline std::wstring TakeValue(const void* object)
{
    if (object == nullptr)
        return L"null";
    const auto id = CallSlot<std::uint32_t>(object, Slot::GetClassID);
    std::uint32_t value[256];
    const auto copied = CallSlot<std::int32_t>(object, Slot::CopyToHostValue, static_cast<void*>(value));
    CallSlot<void>(object, Slot::Delete);
    return std::wstring{wchar_t(id >> 24), wchar_t(id >> 16 & 255), wchar_t(id >> 8 & 255),
                        wchar_t(id & 255)} +
           (copied != 1 ? L"!" : L":") +
           (id == 0x53545257 ? reinterpret_cast<const wchar_t*>(value[2]) : std::to_wstring(value[1]));
}

// A value object as the host hands it over: the host's slots, then the value's words from byte 4 (up to
// three); a text is kept by the object and word 2 points to it.
class HostValue {
public:
    HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> values) : classID(classID)
    {
        std::copy(values.begin(), values.end(), words);
    }
    HostValue(std::uint32_t classID, const std::wstring& text) : classID(classID), text(text)
    {
        words[1] = Address(this->text.c_str());
    }
    HostValue(const HostValue&) = delete;
    virtual void* DeletingDestructor(unsigned) { return this; }
    virtual void Delete() { ++releases; }
    virtual HostValue* CreateCopy() const { return nullptr; }
    virtual std::int32_t IsEqual(const HostValue*) const { return 0; }
    virtual std::uint32_t GetClassID() const { return ++classIDReads, classID; }
    int Releases() const { return releases; }
    std::uint32_t words[3] = {};
    const std::uint32_t classID;
    mutable int classIDReads = 0;
    int releases = 0;
    const std::wstring text;
};

// A definition of one language, "UK English", whose Properties member is the JSON text given.
inline std::string PropertyDefinition(const std::string& properties)
{
    return R"({"Identifier": "ZOBU", "Dependencies": "", "UK English": {"Properties": )" + properties + "}}";
}

// The boxes as "E title: text" (E, W, I or Q for the icon, - for none; the title without " - Morvalex"),
// joined by " ## ".
inline std::wstring Shown(const std::vector<RecordedBox>& boxes)
{
    std::wstring shown;
    for (const RecordedBox& box : boxes) {
        const unsigned icon = box.style & MB_ICONMASK;
        shown += (shown.empty() ? L"" : L" ## ") +
                 std::wstring(1, icon <= 0x40 ? L"-EQWI"[icon >> 4] : L'?') + L" " +
                 box.title.substr(0, box.title.rfind(L" - Morvalex")) + L": " + box.text;
    }
    return shown;
}

using Bytes = std::vector<std::uint8_t>;
template <typename T> std::string ValueBytes(T value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}
inline std::string N(std::int32_t value) { return ValueBytes(value); }

// One stored entry: its size, type id, title length, title and value.
inline std::string E(std::uint16_t typeID, const std::string& title, const std::string& value)
{
    return N(7 + title.size() + value.size()) + ValueBytes(typeID) + char(title.size()) + title + value;
}

// The host's header, and a block's fixed fields (magic 1NVP, the stored hashes, the count): Ended fills in
// their size words.
inline std::string HeaderBytes(std::uint32_t maximum, std::uint32_t version, std::uint32_t id,
                               std::uint32_t offset)
{
    return N(0) + ValueBytes(maximum) + ValueBytes(version) + ValueBytes(id) + ValueBytes(offset);
}
inline std::string BlockBytes(std::uint16_t count, std::uint32_t hashTitles, std::uint32_t hashTypes)
{
    return "1NVP" + ValueBytes(hashTitles) + ValueBytes(hashTypes) + ValueBytes(count) + std::string(6, '\0');
}

inline std::uint32_t U32At(const Bytes& bytes, std::size_t at)
{
    std::uint32_t value;
    std::memcpy(&value, &bytes[at], 4);
    return value;
}
inline Bytes& Put(Bytes& bytes, std::size_t at, std::uint32_t value) // returns bytes
{
    std::memcpy(&bytes[at], &value, 4);
    return bytes;
}

// A record of those bytes: its total size goes into the header and, when the offset word names a block
// that fits, into the block.
inline Bytes Ended(const std::string& text)
{
    Bytes bytes(text.begin(), text.end());
    const auto size = std::uint32_t(bytes.size()), offset = U32At(Put(bytes, 0, size), 16);
    return offset != 0 && offset + 20ull <= size ? Put(bytes, offset + 16, size) : bytes;
}

// A record of the current version, its block at 20 with both hashes of a list without value properties.
inline Bytes Stored(std::uint16_t count, const std::string& checkboxesAndEntries)
{
    return Ended(HeaderBytes(0, 1, 0, 20) + BlockBytes(count, ~0x811C9DC5u, ~0x811C9DC5u) +
                 checkboxesAndEntries);
}

inline EDITDATA* AsRecord(Bytes& bytes) { return reinterpret_cast<EDITDATA*>(bytes.data()); }
// A record's bytes as far as its total size goes.
inline Bytes BytesOf(const EDITDATA* edPtr)
{
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(edPtr);
    return Bytes(bytes, bytes + edPtr->eHeader.totalSize);
}

// A copy of a record's bytes that ends where readable memory ends: a read past it faults, and the test
// fails as a crash.
struct Fenced {
    explicit Fenced(const Bytes& bytes)
        : base(static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 0x20000, MEM_COMMIT, PAGE_READWRITE))),
          data(base + 0x10000 - bytes.size())
    {
        DWORD old;
        VirtualProtect(base + 0x10000, 0x10000, PAGE_NOACCESS, &old);
        std::copy(bytes.begin(), bytes.end(), data);
    }
    Fenced(const Fenced&) = delete;
    ~Fenced() { VirtualFree(base, 0, MEM_RELEASE); }
    EDITDATA* Record() const { return reinterpret_cast<EDITDATA*>(data); }
    std::uint8_t *const base, *const data;
};

// Calls check with the record cut at every length from 20 bytes up to the whole (true), then with any byte
// but its size word set to a few values, one just short of its size (false). The callers fence each record.
template <typename Check> void Sweep(const Bytes& whole, Check check)
{
    for (std::size_t cut = 20; cut <= whole.size(); ++cut)
        check(Ended(std::string(whole.begin(), whole.begin() + cut)), true);
    for (std::size_t at = 4; at < whole.size(); ++at)
        for (std::uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0xFF, int(whole.size() - 10)}) {
            Bytes damaged = whole;
            damaged[at] = value;
            check(damaged, false);
        }
}

} // namespace TestHost
