// The property readers: each knows one source of property values (an old record in the layout from
// before property blocks, an old property block, the definition's defaults) and answers, for property
// i of the current definition, its value and checkbox state. The upgrade asks them in a chain.
// Editor only, on the host's main thread.
#pragma once

#include "Properties.h"

#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

struct json_value;

namespace Polvane {

// What one upgrade shares with every reader.
struct Properties::ConverterState {
    EDITDATA* oldEdPtr;                      // null when a new object's data is built
    Properties* oldEdPtrProps;               // null without an old record, or when its offset word is 0
    const json_value* jsonProps;             // the current language's Properties (the empty node when absent)
    std::uint32_t numPropsReset = 0;         // properties the JSON reader gave their default
    std::stringstream resetPropertiesStream; // "• title\n" for each of them

    ConverterState(EDITDATA* oldEdPtr, Properties* oldEdPtrProps, const json_value& jsonProps);
};

// A reader's answer for one property. The caller copies a found value before it asks again, then
// calls freeData on it when set.
struct Properties::ConverterReturn {
    enum Kind : int { None = 0, Found = 1, Pass = 2, Error = 3, ConverterUnsuitable = 4 };
    using FreeFunction = void (*)(const void* data);

    int kind = None;
    const void* data = nullptr; // found: the value bytes (null for none); error: the wide text
    std::uint32_t dataSize = 0; // found: bytes of value
    int checkboxState = -1;     // -1 none given, 0 clear, 1 set
    FreeFunction freeData = nullptr;

    ConverterReturn* Return_OK(const void* data, std::uint32_t size, FreeFunction freeData = nullptr,
                               int checkboxState = -1);
    ConverterReturn* Return_Pass();
    // printf-style, wide %s; the text goes into one buffer shared by every reader, cut to 2047
    // characters, and stays until the next error.
    ConverterReturn* Return_Error(const wchar_t* format, ...);
    ConverterReturn* Return_ConverterUnsuitable();
};

// The interface the upgrade calls, slot by slot. Initialize answers found when the reader can take
// part in this upgrade.
struct Properties::PropertyReader {
    virtual void Initialize(ConverterState& convState, ConverterReturn* convRet) = 0;
    virtual void GetProperty(std::uint32_t i, ConverterReturn* convRet) = 0;
    virtual void GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet) = 0;
};

// Records whose offset word is 0: a size word at offset 20, the checkbox bits, then the values packed
// in definition order without titles or sizes. Strictly sequential.
struct Properties::PreSmartPropertyReader : Properties::PropertyReader {
    void Initialize(ConverterState& convState, ConverterReturn* convRet) override;
    void GetProperty(std::uint32_t i, ConverterReturn* convRet) override;
    void GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet) override;

private:
    // Reads (or, without a result, skips) the value of property nextIndex at the cursor; false when it
    // cannot be read.
    bool ReadNextProperty(ConverterReturn* convRet);
    // Ends the reader: every later question is unsuitable, and no checkbox from property nextIndex on
    // is answered.
    void KillConverter(ConverterReturn* convRet);
    bool CheckboxBit(std::uint32_t i) const;

    const std::uint8_t* pos = nullptr; // null: not initialised, or killed
    std::uint32_t nextIndex = 0;
    const std::uint8_t* end = nullptr; // never past the record's total size
    ConverterState* convState = nullptr;
    // Signed so that -1 can say that no bit may be read; never beyond the record's total size.
    std::int64_t lastCheckboxIndex = -1;
    const std::uint8_t* checkboxes = nullptr;
};

// Old property blocks: each property is found by its old title or its title, from an entry whose
// stored type may feed the property's type.
struct Properties::SmartPropertyReader : Properties::PropertyReader {
    void Initialize(ConverterState& convState, ConverterReturn* convRet) override;
    void GetProperty(std::uint32_t i, ConverterReturn* convRet) override;
    void GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet) override;

private:
    // Position in data of the first entry titled title (ASCII case ignored) whose type may feed
    // typeID; data.size() when there is none.
    std::size_t Find(const std::string& title, std::uint16_t typeID) const;

    std::vector<Data*> data; // the old entries in stored order, each checked to lie in the record
    ConverterState* convState = nullptr;
};

// The definition's defaults; a property given its default is counted and listed as reset.
struct Properties::JSONPropertyReader : Properties::PropertyReader {
    void Initialize(ConverterState& convState, ConverterReturn* convRet) override;
    void GetProperty(std::uint32_t i, ConverterReturn* convRet) override;
    void GetPropertyCheckbox(std::uint32_t i, ConverterReturn* convRet) override;

private:
    // The definition of property i; null, with the error answered, when there is none. ending closes
    // each error text.
    const json_value* Item(std::uint32_t i, ConverterReturn* convRet, const wchar_t* ending) const;
    // Answers a default of property i and lists the property as reset, once however many of its parts
    // took their default.
    void ReturnDefault(std::uint32_t i, const json_value& property, ConverterReturn* convRet,
                       const void* data, std::uint32_t size, ConverterReturn::FreeFunction freeData = nullptr,
                       int checkboxState = -1);

    ConverterState* convState = nullptr;
    std::vector<bool> counted;
};

} // namespace Polvane
