// The definition's Properties array turned into the host's property table, and the two hashes that
// fingerprint the list of properties in every stored property block.
#pragma once

#include "Lib/Shared/Host/Platform.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

static_assert(sizeof(void*) == 4, "the host reads each descriptor as six 32-bit words");

// Option bits of a descriptor, as the host reads them.
namespace PropOption {
constexpr std::uint32_t CheckBox = 0x1;
constexpr std::uint32_t Bold = 0x2;
constexpr std::uint32_t CreateParam = 0x4;
constexpr std::uint32_t Removable = 0x8;
constexpr std::uint32_t Renameable = 0x10;
constexpr std::uint32_t Moveable = 0x20;
constexpr std::uint32_t List = 0x40;
constexpr std::uint32_t SingleSelect = 0x80;
constexpr std::uint32_t EditPassword = 0x10000;
constexpr std::uint32_t EditLowerCase = 0x20000;
constexpr std::uint32_t EditUpperCase = 0x40000;
} // namespace PropOption

HOST_PACKED_BEGIN

// The host's record of one property in the table handed to the property sheet.
struct HostPropertyDescriptor {
    static constexpr std::uint32_t FirstID = 0x80000;

    std::uint32_t ID;        // FirstID + position in the table; 0x7FFFF for a FolderEnd
    const wchar_t* Title;    // null for FolderEnd and custom properties
    const wchar_t* Info;     // null for FolderEnd and custom properties
    std::uint32_t Type;      // 1000 + type id; 3 for FolderEnd; 27 + position for a custom property
    std::uint32_t Options;   // PropOption bits
    const void* CreateParam; // by type; null when there is none

    // Index -1 gives the id 0x7FFFF that a FolderEnd carries.
    HostPropertyDescriptor(int index, std::uint32_t type);
    // A create parameter also sets PropOption::CreateParam, which tells the host to read it.
    void SetOptions(std::uint32_t options, const void* createParam);
    // The all-zero descriptor that ends the host's table.
    static HostPropertyDescriptor TableEnd();
};

static_assert(offsetof(HostPropertyDescriptor, ID) == 0);
static_assert(offsetof(HostPropertyDescriptor, Title) == 4);
static_assert(offsetof(HostPropertyDescriptor, Info) == 8);
static_assert(offsetof(HostPropertyDescriptor, Type) == 12);
static_assert(offsetof(HostPropertyDescriptor, Options) == 16);
static_assert(offsetof(HostPropertyDescriptor, CreateParam) == 20);
static_assert(sizeof(HostPropertyDescriptor) == 24);

HOST_PACKED_END

// 32-bit FNV-1a of the bytes.
std::uint32_t FNV1a32(std::string_view bytes);

namespace Polvane {

// Builds the state object's EdittimeProperties, PropertyTitlesHash and PropertyTypesHash from the
// current language's Properties. Once per process, from the state object's constructor.
void ParsePropertiesFromJSON();

} // namespace Polvane
