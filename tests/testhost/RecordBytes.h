// Stored EDITDATA written field by field, little-endian, as a project file holds it: for tests that
// hand the library old, current or damaged records.
#pragma once

#include "Lib/Shared/Host/HostRecords.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace TestHost {

// The bytes of an int32 or a float32, as a value is stored.
inline std::string ValueBytes(std::int32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

inline std::string ValueBytes(float value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class RecordBytes {
public:
    RecordBytes& U8(std::uint8_t value)
    {
        bytes.push_back(value);
        return *this;
    }
    RecordBytes& U16(std::uint16_t value) { return U8(value & 0xFF).U8(value >> 8); }
    RecordBytes& U32(std::uint32_t value) { return U16(value & 0xFFFF).U16(value >> 16); }
    RecordBytes& Text(const std::string& text)
    {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    // The host's header; End writes the total size.
    RecordBytes& Header(std::uint32_t maximumSize, std::uint32_t version, std::uint32_t identifier,
                        std::uint32_t blockOffset)
    {
        return U32(0).U32(maximumSize).U32(version).U32(identifier).U32(blockOffset);
    }
    // A block's fixed fields (magic 1NVP, the stored hashes, the count); End writes its size word.
    RecordBytes& Block(std::uint16_t numProps, std::uint32_t hashTitles, std::uint32_t hashTypes)
    {
        return Text("1NVP").U32(hashTitles).U32(hashTypes).U16(numProps).U16(0).U32(0);
    }
    RecordBytes& Entry(std::uint16_t typeID, const std::string& title, const std::string& value)
    {
        return U32(static_cast<std::uint32_t>(7 + title.size() + value.size()))
            .U16(typeID)
            .U8(static_cast<std::uint8_t>(title.size()))
            .Text(title)
            .Text(value);
    }
    // The record ends here: its total size goes into the header and, when the offset word names a block
    // that fits, into the block. Bytes added later lie outside the record.
    RecordBytes& End()
    {
        const auto size = static_cast<std::uint32_t>(bytes.size());
        Put(0, size);
        std::uint32_t offset;
        std::memcpy(&offset, bytes.data() + 16, sizeof offset);
        if (offset != 0 && std::uint64_t(offset) + 20 <= size)
            Put(offset + 16, size);
        return *this;
    }
    void Put(std::size_t at, std::uint32_t value) { std::memcpy(bytes.data() + at, &value, sizeof value); }

    // Valid until more bytes are added.
    EDITDATA* Record() { return reinterpret_cast<EDITDATA*>(bytes.data()); }

    std::vector<std::uint8_t> bytes;
};

} // namespace TestHost
