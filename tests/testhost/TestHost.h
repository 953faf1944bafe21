// The test host: plays the Fusion host for the library. It builds the host's records (mV with
// CallFunction, a RunHeader with the run-time callback table, per-object RUNDATA), answers parameters from
// queues the test fills, hands out string space, logs every call, and holds property values as the host's
// objects and calls the library's through their slots.
#pragma once

#include "Lib/Shared/Host/HostRecords.h"
#include "Lib/Shared/Host/Platform.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

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

// One parameter value as the host passes it: 32 bits, with the host keeping any text alive.
struct Arg {
    enum class Kind { Integer, Float, Text, Raw } kind;
    std::uint32_t bits;
    std::wstring text;

    Arg(int value) : kind(Kind::Integer), bits(static_cast<std::uint32_t>(value)) {}
    Arg(float value) : kind(Kind::Float), bits(0) { std::memcpy(&bits, &value, sizeof bits); }
    // A null pointer is passed as a null text: Raw(0).
    Arg(const wchar_t* value) : kind(value ? Kind::Text : Kind::Raw), bits(0), text(value ? value : L"") {}
    static Arg Raw(std::uint32_t bits) { return Arg(Kind::Raw, bits); }
    float AsFloat() const
    {
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    Arg(Kind kind, std::uint32_t bits) : kind(kind), bits(bits) {}
};

class Host {
public:
    // mainWindow is what mV+0x10 holds: null for a built application, any non-null value for the editor.
    // As in Fusion, the host's surface library (the fake MMFS2.dll) is loaded and mV names an image
    // filter manager before any library is initialised. CallFunction 112 and 113 answer 1.
    explicit Host(void* mainWindow = nullptr);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    ::mV* MV() { return &mv; }
    // A zero-filled 188-byte RUNDATA whose object header points at this host's run header.
    RUNDATA* NewObject();

    // CallFunction 5 resizes an object's EDITDATA: a new record of the asked size, kept by the host,
    // holding the old bytes up to the smaller size and the new total size; null when reallocRefused or
    // when no record is named. The sizes asked for, in order, and the latest record handed out.
    bool reallocRefused = false;
    std::vector<std::uint32_t> reallocRequests;
    EDITDATA* lastReallocated = nullptr;
    // CallFunction 6 for property 21, the object's name: a new host value object of class "STRW" holding
    // objectName, or null while it is empty. How often the library released those through their slot 1.
    std::wstring objectName;
    int ReleasedValues() const;

    // The value-editing dialogs, callbacks 20 (integer) and 21 (text), answer editAnswer. On 1 (the
    // user confirmed) the dialog writes editInteger, or a host copy of editText, into the record.
    std::uint32_t editAnswer = 0;
    std::int32_t editInteger = 0;
    std::wstring editText;
    // The record as the library handed it to the latest dialog, and a copy of the text it pointed to.
    HostEditRecord editReceived{};
    std::wstring editReceivedText;

    // Parameters answered in order by callback 17 (actions, conditions) and callbacks 4 and 5
    // (expressions). A text is answered with a pointer to the host's copy; an empty queue answers 0.
    // An Integer asked for as a float (w 2), or a Float asked for as an integer (w 0), is converted
    // as the host's evaluator does; Raw values go as they are.
    void QueueActionParams(const std::vector<Arg>& args)
    {
        actionParams.insert(actionParams.end(), args.begin(), args.end());
    }
    void QueueExpressionParams(const std::vector<Arg>& args)
    {
        expressionParams.insert(expressionParams.end(), args.begin(), args.end());
    }
    std::size_t PendingActionParams() const { return actionParams.size(); }
    void DropParams() { actionParams = expressionParams = {}; }
    // The 32 bits the host passes for arg: a text as a pointer to a fresh host copy.
    std::uint32_t ValueOf(const Arg& arg);

    // Calls received, in order: run-time callbacks by index, CallFunction with the words passed, and
    // the bytes asked for through callback 3. ResetCounts forgets them.
    struct CallbackCall {
        int index;
        std::int32_t w, l;
    };
    struct FunctionCall {
        EDITDATA* edPtr;
        std::int32_t id;
        std::int32_t p1, p2, p3;
    };
    std::vector<CallbackCall> callbackLog;
    std::vector<FunctionCall> functionLog;
    std::vector<std::int32_t> stringRequests;
    int CallbackCount(int index) const;
    int FunctionCount(int id) const;
    void ResetCounts();

    // The image editors of mV (+0x164 one image, +0x168 several) answer imageEditorAnswer. On 1 they
    // hand back editedImageIDs: the first as the one image's id; or their number as the new count, with
    // as many of them as the library's array has room for. The bytes of each record the editors received.
    std::int32_t imageEditorAnswer = 0;
    std::vector<std::uint16_t> editedImageIDs;
    std::vector<std::vector<std::uint8_t>> imageEditorRecords;
    // What the latest editor's record pointed to while it ran: its window title (empty for none) and, for
    // several images, the ids it held on entry (as many as its maximum) and its image titles up to the
    // closing null.
    std::wstring imageWindowTitle;
    std::vector<std::uint16_t> imageIDsOnEntry;
    std::vector<std::wstring> imageTitles;

private:
    struct Callbacks;
    // A zero-filled block that lives as long as the host.
    void* Keep(std::size_t bytes);

    ::mV mv{};
    RunHeader header{};
    HMODULE surfaceLibrary;               // null when the fake was not built
    std::uint32_t imageFilterManager = 0; // only its address is handed out
    std::deque<Arg> actionParams, expressionParams;
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks; // objects, texts, string space, records
    std::vector<std::unique_ptr<HostValue>> values;      // handed out by CallFunction 6
};

} // namespace TestHost
