// Property values as the editor's property sheet exchanges them: objects that the host owns once
// handed over and drives through their virtual table, by slot. The slot order is the host's, and the
// classes use single inheritance without a virtual destructor so that GCC lays the table out as the
// host expects; member functions are __thiscall on this target, as the host calls them.
#pragma once

#include "Lib/Shared/Host/Platform.h"

#include <cstddef>
#include <cstdint>

HOST_PACKED_BEGIN

// The host's record that CopyToHostValue fills. Word 0 and everything past the text belong to the
// host; a text value goes into the record's own buffer.
struct HostPropValue {
    std::uint32_t Reserved;
    std::uint32_t Value;
    wchar_t* Text;
    wchar_t TextBuffer[];
};

static_assert(offsetof(HostPropValue, Value) == 4);
static_assert(offsetof(HostPropValue, Text) == 8);
static_assert(offsetof(HostPropValue, TextBuffer) == 12);

HOST_PACKED_END

class Prop {
public:
    // Slot 0, where the host expects a deleting destructor: frees the object when bit 0 of flag is set.
    // Gives the object's address back, as the host's compiler does.
    virtual void* DeletingDestructor(unsigned flag);
    // Slot 1: the host releases an object it was handed through this.
    virtual void Delete();
    virtual Prop* CreateCopy() const = 0;
    // A 32-bit boolean; objects of different classes are never equal.
    virtual std::int32_t IsEqual(const Prop* other) const = 0;
    virtual std::uint32_t GetClassID() const = 0;
    // True when the value was written into the record.
    virtual std::int32_t CopyToHostValue(HostPropValue* record) const = 0;

protected:
    Prop() = default;
    ~Prop() = default;
    bool IsSameClass(const Prop* other) const;
};

// The class ids: four characters, the first in the most significant byte.
constexpr std::uint32_t FourCharID(char a, char b, char c, char d)
{
    return std::uint32_t(std::uint8_t(a)) << 24 | std::uint32_t(std::uint8_t(b)) << 16 |
           std::uint32_t(std::uint8_t(c)) << 8 | std::uint8_t(d);
}

class Prop_SInt : public Prop {
public:
    static constexpr std::uint32_t ClassID = FourCharID('I', 'N', 'T', ' ');

    explicit Prop_SInt(std::int32_t value) : Value(value) {}
    Prop* CreateCopy() const override;
    std::int32_t IsEqual(const Prop* other) const override;
    std::uint32_t GetClassID() const override;
    std::int32_t CopyToHostValue(HostPropValue* record) const override;
    // Slot 6, which the host's integer value has; there is nowhere to keep the byte, so it is ignored.
    virtual Prop_SInt* SetByteFlag(std::uint8_t flag);

    std::int32_t Value;
};

class Prop_UInt : public Prop {
public:
    static constexpr std::uint32_t ClassID = FourCharID('D', 'W', 'R', 'D');

    explicit Prop_UInt(std::uint32_t value) : Value(value) {}
    Prop* CreateCopy() const override;
    std::int32_t IsEqual(const Prop* other) const override;
    std::uint32_t GetClassID() const override;
    std::int32_t CopyToHostValue(HostPropValue* record) const override;

    std::uint32_t Value;
};

class Prop_Float : public Prop {
public:
    static constexpr std::uint32_t ClassID = FourCharID('F', 'L', 'O', 'T');

    explicit Prop_Float(float value) : Value(value) {}
    Prop* CreateCopy() const override;
    std::int32_t IsEqual(const Prop* other) const override;
    std::uint32_t GetClassID() const override;
    std::int32_t CopyToHostValue(HostPropValue* record) const override;

    float Value;
};

class Prop_WStr : public Prop {
public:
    static constexpr std::uint32_t ClassID = FourCharID('S', 'T', 'R', 'W');

    // Keeps its own copy of text; a null text is kept as the empty text.
    explicit Prop_WStr(const wchar_t* text);
    // Frees the text too: the destructor leaves it alone.
    void Delete() override;
    Prop* CreateCopy() const override;
    std::int32_t IsEqual(const Prop* other) const override;
    std::uint32_t GetClassID() const override;
    std::int32_t CopyToHostValue(HostPropValue* record) const override;

    std::uint32_t Reserved = 0; // the host's layout has this always-0 word before the text
    wchar_t* Text;
};
