// The test host: plays the Fusion host for the library. It builds the host's records (mV with
// CallFunction, a RunHeader with the run-time callback table, per-object RUNDATA, EventParam chains),
// answers parameters from queues the test fills, hands out string space, and counts every call.
#pragma once

#include "PropertyRecords.h"

#include "Lib/Shared/Host/HostRecords.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace TestHost {

// One parameter value as the host passes it: 32 bits, with the host keeping any text alive.
struct Arg {
    enum class Kind { Integer, Float, Text, Raw } kind;
    std::uint32_t bits;
    std::wstring text;

    Arg(int value);
    Arg(float value);
    Arg(const wchar_t* value); // a null pointer is passed as a null text: Raw(0)
    static Arg Raw(std::uint32_t bits);
    float AsFloat() const;

private:
    Arg(Kind kind, std::uint32_t bits) : kind(kind), bits(bits) {}
};

class Host {
public:
    // mainWindow is what mV+0x10 holds: null for a built application, any non-null value for the editor.
    // As in Fusion, the host's surface library (the fake MMFS2.dll) is loaded and mV names an image
    // filter manager before any library is initialised.
    explicit Host(void* mainWindow = nullptr);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    ::mV* MV() { return mv.get(); }
    RunHeader* Header();
    // A zero-filled 188-byte RUNDATA whose object header points at this host's run header.
    RUNDATA* NewObject();

    // Answers of CallFunction 112 (hardware accelerated) and 113 (Unicode host).
    std::uint32_t hardwareAccelerated = 1;
    std::uint32_t unicodeHost = 1;

    // CallFunction 5 resizes an object's EDITDATA: a new record of the asked size, kept by the host,
    // holding the old bytes up to the smaller size and the new total size; null when reallocRefused or
    // when no record is named.
    bool reallocRefused = false;
    // The sizes asked for, in order, and the latest record handed out (null before the first).
    const std::vector<std::uint32_t>& ReallocRequests() const { return reallocRequests; }
    EDITDATA* LastReallocated() const { return lastReallocated; }
    // CallFunction 6 for property 21, the object's name: a new host value object of class "STRW"
    // holding objectName, or null while objectName is empty. How often the library released the host's
    // value objects through their slot 1.
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
    void QueueActionParams(const std::vector<Arg>& args);
    void QueueExpressionParams(const std::vector<Arg>& args);
    std::size_t PendingActionParams() const { return actionParams.size(); }
    std::size_t PendingExpressionParams() const { return expressionParams.size(); }
    // Drops what is still queued, so that the next call starts from an empty queue.
    void DropParams();
    // The 32 bits the host passes for arg: a text as a pointer to a fresh host copy.
    std::uint32_t ValueOf(const Arg& arg);
    // Cheap mode for timing: callbacks 4 and 5 answer `first` and `next` on every call without
    // touching the queue or the call log (they are still counted).
    void FixExpressionParams(std::uint32_t first, std::uint32_t next);

    // A chain of EventParam records for object parameters and parameter-record tests; the object
    // header's currentParam is set to the first one.
    struct ParamRecord {
        std::int16_t code;
        std::vector<std::int16_t> values; // 16-bit value fields from byte 4
    };
    void SetParamChain(RUNDATA* rd, const std::vector<ParamRecord>& records);

    // Calls received, by run-time callback index and by CallFunction id.
    int CallbackCount(int index) const;
    int FunctionCount(int id) const;
    struct CallbackCall {
        int index;
        std::int32_t w;
        std::int32_t l;
        RUNDATA* rd; // the record the library passed
    };
    const std::vector<CallbackCall>& CallbackLog() const { return callbackLog; }
    void ResetCounts();

    // Bytes requested through callback 3, in order.
    const std::vector<std::int32_t>& StringSpaceRequests() const { return stringRequests; }

    // Every CallFunction call, in order, with the words the library passed.
    struct FunctionCall {
        EDITDATA* edPtr;
        std::int32_t id;
        std::int32_t p1;
        std::int32_t p2;
        std::int32_t p3;
    };
    const std::vector<FunctionCall>& FunctionLog() const { return functionLog; }

    // The image editors of mV (+0x164 one image, +0x168 several) answer imageEditorAnswer. On 1 they
    // hand back editedImageIDs: the first as the one image's id; or their number as the new count, with
    // as many of them as the library's array has room for.
    std::int32_t imageEditorAnswer = 0;
    std::vector<std::uint16_t> editedImageIDs;
    // What each editor call received: the record's bytes, and what its pointers led to at the time.
    struct ImageEditorCall {
        bool several;
        EDITDATA* edPtr;
        std::uint32_t word14;
        std::vector<std::uint8_t> record;
        bool hasWindowTitle;
        std::wstring windowTitle;
        std::vector<std::uint16_t> imageIDs; // several: the maximum count of ids from the ids pointer
        bool hasImageTitles;
        std::vector<std::wstring> imageTitles; // up to the closing null
    };
    const std::vector<ImageEditorCall>& ImageEditorCalls() const { return imageEditorCalls; }

private:
    struct Frame;
    static std::uint32_t HOST_STDCALL OnCallFunction(EDITDATA*, std::int32_t id, std::int32_t, std::int32_t,
                                                     std::int32_t);
    static std::uint32_t HOST_STDCALL OnStringSpace(RUNDATA*, std::int32_t, std::int32_t);
    static std::uint32_t HOST_STDCALL OnFirstExpressionParam(RUNDATA*, std::int32_t, std::int32_t);
    static std::uint32_t HOST_STDCALL OnNextExpressionParam(RUNDATA*, std::int32_t, std::int32_t);
    static std::uint32_t HOST_STDCALL OnActionParam(RUNDATA*, std::int32_t, std::int32_t);
    static std::uint32_t HOST_STDCALL OnEditInteger(RUNDATA*, std::int32_t, std::int32_t);
    static std::uint32_t HOST_STDCALL OnEditText(RUNDATA*, std::int32_t, std::int32_t);
    static std::int32_t HOST_STDCALL OnImageEditor(EDITDATA*, HostImageEditRecord*, std::uint32_t);
    static std::int32_t HOST_STDCALL OnImageListEditor(EDITDATA*, HostImageListEditRecord*, std::uint32_t);
    static Host* Of(RUNDATA* rd);
    void Record(int index, RUNDATA* rd, std::int32_t w, std::int32_t l);
    std::uint32_t Next(std::deque<Arg>& queue, int index, RUNDATA* rd, std::int32_t w, std::int32_t l);
    // An expression parameter: fixed while fixedParams holds (counted, not recorded), else the next queued.
    std::uint32_t ExpressionParam(int index, std::uint32_t fixed, RUNDATA* rd, std::int32_t w,
                                  std::int32_t i);
    // Records dialog index's call and keeps what the library handed it in record l; the record to write
    // into when editAnswer confirms, else null.
    HostEditRecord* Edit(int index, RUNDATA* rd, std::int32_t w, std::int32_t l);
    EDITDATA* Reallocate(EDITDATA* old, std::uint32_t size);

    std::unique_ptr<::mV> mv;
    HMODULE surfaceLibrary;               // null when the fake was not built
    std::uint32_t imageFilterManager = 0; // only its address is handed out
    std::unique_ptr<Frame> frame;
    std::vector<std::unique_ptr<std::uint8_t[]>> objects;
    std::vector<std::unique_ptr<std::uint8_t[]>> paramChains;
    std::deque<Arg> actionParams;
    std::deque<Arg> expressionParams;
    std::vector<std::unique_ptr<wchar_t[]>> texts;        // host copies of text parameters
    std::vector<std::unique_ptr<std::uint8_t[]>> strings; // string space handed out
    std::array<int, HostCallback::Count> callbackCounts{};
    std::map<int, int> functionCounts;
    std::vector<CallbackCall> callbackLog;
    std::vector<std::int32_t> stringRequests;
    std::vector<std::unique_ptr<std::uint8_t[]>> editRecords; // records resized by CallFunction 5
    std::vector<std::uint32_t> reallocRequests;
    EDITDATA* lastReallocated = nullptr;
    std::vector<std::unique_ptr<HostValue>> values; // handed out by CallFunction 6
    std::vector<FunctionCall> functionLog;
    std::vector<ImageEditorCall> imageEditorCalls;
    bool fixedParams = false;
    std::uint32_t fixedFirst = 0;
    std::uint32_t fixedNext = 0;
    // CallFunction gets no record to find its host by: it goes to the newest living host.
    static std::vector<Host*> living;
};

} // namespace TestHost
