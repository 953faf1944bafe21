#include "PropertyValues.h"

#include <cstring>
#include <cwchar>
#include <new>
#include <type_traits>

// Slot 0 only frees the storage, which is right as long as no class has anything to destroy.
static_assert(std::is_trivially_destructible_v<Prop_SInt> && std::is_trivially_destructible_v<Prop_UInt> &&
              std::is_trivially_destructible_v<Prop_Float> && std::is_trivially_destructible_v<Prop_WStr>);

void* Prop::DeletingDestructor(unsigned flag)
{
    if (flag & 1)
        ::operator delete(this);
    return this;
}

void Prop::Delete() { DeletingDestructor(1); }

bool Prop::IsSameClass(const Prop* other) const
{
    return other != nullptr && other->GetClassID() == GetClassID();
}

Prop* Prop_SInt::CreateCopy() const { return new Prop_SInt(Value); }

std::int32_t Prop_SInt::IsEqual(const Prop* other) const
{
    return IsSameClass(other) && static_cast<const Prop_SInt*>(other)->Value == Value;
}

std::uint32_t Prop_SInt::GetClassID() const { return ClassID; }

std::int32_t Prop_SInt::CopyToHostValue(HostPropValue* record) const
{
    record->Value = static_cast<std::uint32_t>(Value);
    return true;
}

Prop_SInt* Prop_SInt::SetByteFlag(std::uint8_t) { return this; }

Prop* Prop_UInt::CreateCopy() const { return new Prop_UInt(Value); }

std::int32_t Prop_UInt::IsEqual(const Prop* other) const
{
    return IsSameClass(other) && static_cast<const Prop_UInt*>(other)->Value == Value;
}

std::uint32_t Prop_UInt::GetClassID() const { return ClassID; }

std::int32_t Prop_UInt::CopyToHostValue(HostPropValue* record) const
{
    record->Value = Value;
    return true;
}

Prop* Prop_Float::CreateCopy() const { return new Prop_Float(Value); }

std::int32_t Prop_Float::IsEqual(const Prop* other) const
{
    // IEEE equality: a NaN equals nothing, and +0 equals -0.
    return IsSameClass(other) && static_cast<const Prop_Float*>(other)->Value == Value;
}

std::uint32_t Prop_Float::GetClassID() const { return ClassID; }

std::int32_t Prop_Float::CopyToHostValue(HostPropValue* record) const
{
    std::memcpy(&record->Value, &Value, sizeof Value);
    return true;
}

Prop_WStr::Prop_WStr(const wchar_t* text)
{
    if (text == nullptr)
        text = L"";
    const std::size_t length = std::wcslen(text);
    Text = new wchar_t[length + 1];
    std::wmemcpy(Text, text, length + 1);
}

void Prop_WStr::Delete()
{
    delete[] Text;
    Text = nullptr;
    Prop::Delete();
}

Prop* Prop_WStr::CreateCopy() const { return new Prop_WStr(Text); }

std::int32_t Prop_WStr::IsEqual(const Prop* other) const
{
    if (!IsSameClass(other))
        return false;
    const wchar_t* otherText = static_cast<const Prop_WStr*>(other)->Text;
    // A value without a text matches any text.
    if (Text == otherText || Text == nullptr || otherText == nullptr)
        return true;
    return std::wcscmp(Text, otherText) == 0;
}

std::uint32_t Prop_WStr::GetClassID() const { return ClassID; }

std::int32_t Prop_WStr::CopyToHostValue(HostPropValue* record) const
{
    record->Value = Reserved;
    record->Text = record->TextBuffer;
    // The host sizes its record for the text it asked for.
    return wcscpy_s(record->TextBuffer, std::wcslen(Text) + 1, Text) == 0;
}
