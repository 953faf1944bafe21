// Property data as the host exchanges it: the value objects the host hands to SetPropValue and answers
// to CallFunction 6, the host's calls of a value object's slots, and what tests compare: a definition
// around a Properties value, and the message boxes shown.
#pragma once

#include "MessageBoxRecorder.h"
#include "RecordBytes.h"

#include "Lib/Shared/Host/Platform.h"

#include <initializer_list>
#include <memory>

struct HostRunInfo;

namespace TestHost {

class Host;
class Session;
class TempTree;

// The slots of a value object's virtual table, in the host's order.
enum class Slot { DeletingDestructor, Delete, CreateCopy, IsEqual, GetClassID, CopyToHostValue, SetByteFlag };

template <typename R, typename... Args> R CallSlot(const void* object, Slot slot, Args... args)
{
    using Fn = R(HOST_THISCALL*)(void* self, Args...);
    return (*static_cast<Fn const* const*>(object))[int(slot)](const_cast<void*>(object), args...);
}

// A value object as the host hands it over: the host's virtual slots, then the value's words from byte 4.
// The library reads slot 4 (the class id) and releases, through slot 1, a value it asked the host for. A
// text is kept by the object (wide, or ANSI for STRA) and word 2 points to it.
class HostValue {
public:
    HostValue(std::uint32_t classID, std::initializer_list<std::uint32_t> words);
    HostValue(std::uint32_t classID, const std::wstring& text);
    HostValue(std::uint32_t classID, const std::string& ansiText);
    HostValue(const HostValue&) = delete;

    virtual void* DeletingDestructor(unsigned) { return this; }
    virtual void Delete() { ++releases; }
    virtual HostValue* CreateCopy() const { return nullptr; }
    virtual std::int32_t IsEqual(const HostValue*) const { return 0; }
    virtual std::uint32_t GetClassID() const { return ++classIDReads, classID; }

    int ClassIDReads() const { return classIDReads; }
    int Releases() const { return releases; }

    std::uint32_t words[3] = {}; // bytes 4 to 15

private:
    std::uint32_t classID;
    mutable int classIDReads = 0;
    int releases = 0;
    std::wstring wideText;
    std::string ansiText;
};

// The built library in an editor session (any non-null main window), copied beside a definition of its
// own when one is given; the update check is off.
class EditorSession {
public:
    explicit EditorSession(const std::string& properties = "");
    ~EditorSession(); // the library goes before the tree that holds it

    // Calls an export as the host does, with the host's mV first.
    template <typename R, typename... Args> R Call(const char* name, Args... args)
    {
        return reinterpret_cast<R(HOST_STDCALL*)(::mV*, Args...)>(Export(name))(MV(), args...);
    }
    Host& TheHost();
    ::mV* MV();
    const HostRunInfo& RunInfo();
    std::wstring Boxes(); // the boxes shown since the last call

private:
    void* Export(const char* name);

    std::unique_ptr<TempTree> tree;
    std::unique_ptr<Session> session;
};

// A definition of one language, "UK English", whose Properties member is the JSON text given.
std::string PropertyDefinition(const std::string& properties);

// The boxes as "E title: text" (E, W, I or Q for the icon, - for none; the title without " - Morvalex"),
// joined by " ## ".
std::wstring Shown(const std::vector<RecordedBox>& boxes);

} // namespace TestHost
