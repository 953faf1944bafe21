// The host's property value objects, and its calls of the library's value objects through their slots.
#pragma once

#include "Lib/Shared/Host/Platform.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace TestHost {

// The slots of a value object's virtual table, in the host's order.
enum class Slot { DeletingDestructor, Delete, CreateCopy, IsEqual, GetClassID, CopyToHostValue, SetByteFlag };

template <typename R, typename... Args> R CallSlot(const void* object, Slot slot, Args... args)
{
    using Fn = R(HOST_THISCALL*)(void* self, Args...);
    return (*static_cast<Fn const* const*>(object))[int(slot)](const_cast<void*>(object), args...);
}

inline std::uint32_t Address(const void* p) { return std::uint32_t(reinterpret_cast<std::uintptr_t>(p)); }

// A value object as the host hands it over: its slots, then its words from byte 4; word 2 points to its text.
struct HostValue {
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
    std::uint32_t words[3] = {};
    const std::uint32_t classID;
    mutable int classIDReads = 0;
    int releases = 0;
    const std::wstring text;
};

} // namespace TestHost
