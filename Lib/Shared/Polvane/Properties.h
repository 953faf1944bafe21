// The stored property block: the payload of EDITDATA that holds every property's value and checkbox
// state, the property type ids with their names and classes, and the accessors that read a block.
// Editor only; the run time never reads it.
#pragma once

#include "Lib/Shared/Host/HostRecords.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Prop;

namespace Polvane {

// Property type ids: the index of the type's name in PropTypes. A stored entry keeps the id, which is
// the property's host type word modulo 1000.
namespace PropTypeID {
enum : std::uint16_t {
    StartItem = 0,
    Text = 1,
    Folder = 2,
    FolderEnd = 3,
    EditButton = 4,
    EditboxString = 5,
    EditboxNumber = 6,
    ComboBox = 7,
    Size = 8,
    Color = 9,
    Checkbox = 10,
    EditSlider = 11,
    EditSpin = 12,
    EditDirection = 13,
    Group = 14,
    ListButton = 15,
    EditboxFile = 16,
    Font = 17,
    Custom = 18,
    EditboxImageFile = 19,
    ComboBoxButton = 20,
    EditboxFloat = 21,
    EditboxStringMultiline = 22,
    ImageList = 23,
    ComboBoxIcons = 24,
    URLButton = 25,
    EditboxFolder = 26,
    EditSpinFloat = 27,
    Count = 28,
};
} // namespace PropTypeID

// What a type stores as its value.
enum class PropTypeClass : std::uint8_t {
    Reserved,  // a name beginning with "!": a definition may not use it
    NoValue,   // no value bytes, and no title stored
    Checkbox,  // no value bytes: the checkbox bit is the value
    Text,      // UTF-8 text without a terminating NUL
    ComboBox,  // UTF-8 text of the selected item
    Integer,   // int32
    Float,     // float32
    Size,      // two int32
    ImageList, // u16 count, then count u16 image ids
    Font,      // begins with a u16 font id
    Custom,    // nothing written by this library
};

struct PropTypeInfo {
    const char* name;
    PropTypeClass typeClass;
};

// Indexed by type id; the definition's Type texts are matched against these names.
extern const PropTypeInfo PropTypes[PropTypeID::Count];

// A title is stored with a one-byte length.
constexpr std::uint32_t MaxStoredTitleLength = 254;
// The host keeps an object's EDITDATA size in 16 bits.
constexpr std::uint32_t MaxEditDataSize = 65535;

// The type id whose name is the whole text, ASCII case ignored; 0 when none is (id 0 is reserved).
std::uint16_t PropTypeIDFromName(std::string_view type);
// The class of a type id; an id past the table, as a damaged record may hold, counts as Custom.
PropTypeClass ClassOfPropType(std::uint16_t typeID);
// The type id of property i of the current definition: its host type word modulo 1000, so a refused
// element counts as the Text that stands in for it. A custom property's word (27 + its position) is
// not a type id, so it counts as Custom; 0 past the table. Every part that stores, sizes or reads a
// property classes it by this id, so that they all agree.
std::uint16_t PropTypeIDOf(std::uint32_t i);
// Bytes of a value whose size does not depend on the definition: 4 for numbers, 8 for a size, 2 for an
// empty image list; 0 for the others.
std::uint32_t FixedValueSize(PropTypeClass typeClass);
// A title as an entry stores it: its first MaxStoredTitleLength bytes.
std::string_view StoredTitle(std::string_view title);

// The name of the type property i was read as: its Type text, but for "Text" where the definition's
// reader refused the element and "Custom" for a custom property. The classes below are asked of it, so
// that every part agrees with the record built.
std::string_view PropTypeNameOf(std::uint32_t i);
// Whether the definition's reader refused property i, whose definition gives that Type text, for a type
// this library cannot store: it then stands in as a Text, which stores nothing, and the author is told
// wherever its value is sized or read. A refused type that has no value either is no loss.
bool IsRefusedProperty(std::uint32_t i, std::string_view type);

// Type classes by name, ASCII case ignored. No value: "Text", "Edit button", "Group", or any name that
// begins with "Folder"; the titles and types hashes leave such properties out.
bool IsNoValuePropType(std::string_view type);
// "Checkbox", or a type without a value.
bool IsCheckboxOrNoValuePropType(std::string_view type);
// A name that begins with "Editbox String", or "Editbox File", "Editbox Image File", "URL button" or
// "Editbox Folder"; with includeComboBoxes, also a name that begins with "Combo Box".
bool IsStringPropType(std::string_view type, bool includeComboBoxes);

// The longest default text the definition's reader stores. A longer one, or a combo box's default
// without items to choose from, cannot be stored: its property starts empty.
constexpr std::uint32_t MaxDefaultTextLength = 4095;

HOST_PACKED_BEGIN

// The property block, at the offset that EDITDATA's header names (20 in every record this library
// writes). Fields are little-endian and follow each other without gaps.
struct Properties {
    // The characters P, V, N, 1 from the most significant byte down.
    static constexpr std::uint32_t Magic = 0x50564E31;

    std::uint32_t magic;
    std::uint32_t hashTitles; // complement of the definition's titles hash
    std::uint32_t hashTypes;  // complement of the definition's types hash
    std::uint16_t numProps;
    std::uint16_t pad;       // always 0
    std::uint32_t sizeBytes; // total size of the whole record, as in its header
    // ceil(numProps / 8) checkbox bytes, then numProps entries.
    std::uint8_t dataForProps[];

    // One property's entry. The next entry begins sizeBytes on.
    struct Data {
        std::uint32_t sizeBytes; // 7 + title length + value size
        std::uint16_t propTypeID;
        std::uint8_t propNameSize; // title length in bytes, at most 254
        // The UTF-8 title (no NUL), then the value.
        std::uint8_t propNameAndValue[];

        // No check against the end of the block: callers count entries against numProps.
        Data* Next();
        std::string ReadPropName() const;
        const std::uint8_t* ReadPropValue() const;
        std::uint8_t* ReadPropValue();
        // sizeBytes - 7 - title length; callers that trust no one check sizeBytes first.
        std::uint32_t ReadPropValueSize() const;
    };

    // The first count entries in stored order, as far as each lies within the block's first blockBytes
    // bytes and is large enough for its own title: the walk stops at the first that is not. None when
    // the block's fixed part does not fit.
    std::vector<Data*> EntriesWithin(std::uint64_t blockBytes, std::uint32_t count);

    // The readers that build a new block from an old record or the definition (PropertyReaders.h).
    struct ConverterState;
    struct ConverterReturn;
    struct PropertyReader;
    struct PreSmartPropertyReader;
    struct SmartPropertyReader;
    struct JSONPropertyReader;

    // Whether a value stored under oldTypeID may be taken over by a property now of newTypeID.
    static bool IsPropTypeCompatible(std::uint16_t oldTypeID, std::uint16_t newTypeID);

    Data* Internal_FirstData();
    // The entry of property i, found by position; null past the end and for types without a value.
    Data* Internal_DataAt(std::uint32_t i);
    bool IsPropChecked(std::uint32_t i) const;

    // A new value object for the property of that host id, or null. No read goes past the first
    // blockBytes bytes of the block (the rest of the record from the block on).
    Prop* GetProperty(std::uint32_t id, std::uint32_t blockBytes);
    // Stores a new value for property i of the record *edPtr; when the record has to be resized, *edPtr
    // becomes the host's resized record. A combo box takes a 4-byte item index and stores that item.
    static void Internal_PropChange(::mV* mV, EDITDATA** edPtr, std::uint32_t i, const void* value,
                                    std::uint32_t size);
};

static_assert(offsetof(Properties, magic) == 0);
static_assert(offsetof(Properties, hashTitles) == 4);
static_assert(offsetof(Properties, hashTypes) == 8);
static_assert(offsetof(Properties, numProps) == 12);
static_assert(offsetof(Properties, pad) == 14);
static_assert(offsetof(Properties, sizeBytes) == 16);
static_assert(offsetof(Properties, dataForProps) == 20);
static_assert(sizeof(Properties) == 20);
static_assert(offsetof(Properties::Data, sizeBytes) == 0);
static_assert(offsetof(Properties::Data, propTypeID) == 4);
static_assert(offsetof(Properties::Data, propNameSize) == 6);
static_assert(offsetof(Properties::Data, propNameAndValue) == 7);
static_assert(sizeof(Properties::Data) == 7);

HOST_PACKED_END

// The block of a record, through its offset word; a missing or too high offset falls back to 20 after
// a warning box.
Properties* GetPropertiesFromEditData(EDITDATA* edPtr);

// Host property ids are 0x80000 + index; anything below gives 0xFFFFFFFF, no property.
std::uint32_t PropIndexFromHostID(std::uint32_t hostID);

// Bytes of a block's checkbox bits: one bit a property, the last byte's spare bits zero.
std::uint32_t CheckboxByteCount(std::uint32_t numProps);

} // namespace Polvane

// The size of a new EDITDATA holding the definition's default values, as the host's 16-bit size.
std::uint16_t GetEDITDATASizeFromJSON();
