// Stored EDITDATA written field by field, little-endian, as a project file holds it: for tests that
// hand the library old, current or damaged records.
#pragma once

#include "Lib/Shared/Host/HostRecords.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace TestHost {

using Bytes = std::vector<std::uint8_t>;

template <typename T> std::string ValueBytes(T value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// One stored entry: its size, type id, title length, title and value.
inline std::string EntryBytes(std::uint16_t typeID, const std::string& title, const std::string& value)
{
    return ValueBytes(std::uint32_t(7 + title.size() + value.size())) + ValueBytes(typeID) +
           char(title.size()) + title + value;
}

// The host's header, and a block's fixed fields (magic 1NVP, the stored hashes, the count): Ended fills in
// their size words.
inline std::string HeaderBytes(std::uint32_t maximum, std::uint32_t version, std::uint32_t id,
                               std::uint32_t offset)
{
    return ValueBytes(0u) + ValueBytes(maximum) + ValueBytes(version) + ValueBytes(id) + ValueBytes(offset);
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
inline Bytes& Put(Bytes& bytes, std::size_t at, std::uint32_t value)
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

} // namespace TestHost
