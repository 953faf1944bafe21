// Property data as the host holds it: an object's EDITDATA laid out as the library stores its
// properties, and the value objects the host hands to SetPropValue.
#pragma once

#include "RecordBytes.h"

#include "Lib/Shared/Host/HostRecords.h"

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

// An image list's value bytes: the count, then the ids.
std::string U16Bytes(std::initializer_list<std::uint16_t> values);

// A value object as the host hands it over: the host's virtual slots, of which the library calls only
// slot 4 (the class id), then the value's words from byte 4. Texts are kept by the object.
class HostValue {
public:
    HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> words);
    // Word 2 points to the object's copy of the text: wide for STRW and DATA, ANSI for STRA.
    HostValue(std::uint32_t classID, const std::wstring& text);
    HostValue(std::uint32_t classID, const std::string& ansiText);
    HostValue(const HostValue&) = delete;
    HostValue& operator=(const HostValue&) = delete;

    // Slots 0 to 3 hold slot 4 in its place; the library never calls them.
    virtual void* DeletingDestructor(unsigned flag);
    virtual void Delete();
    virtual HostValue* CreateCopy() const;
    virtual std::int32_t IsEqual(const HostValue* other) const;
    virtual std::uint32_t GetClassID() const;

    // How many times slot 4 was called.
    int ClassIDReads() const { return classIDReads; }

    std::uint32_t words[3]; // bytes 4 to 15

private:
    std::uint32_t classID;
    mutable int classIDReads = 0;
    std::wstring wideText;
    std::string ansiText;
};

} // namespace TestHost
