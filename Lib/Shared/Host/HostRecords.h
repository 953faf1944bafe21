// The host's records, as the library reads and writes them. Every field the library touches has its
// offset asserted; everything else is padding.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 4, "the host is a 32-bit process: every host pointer is 4 bytes");

struct RUNDATA;
struct EDITDATA;
struct RunHeader;
struct mV;
struct HostImageEditRecord;
struct HostImageListEditRecord;
class Extension;

// CallFunction(edPtr, id, p1, p2, p3): the host's function-call entry in mV.
using HostCallFunction = std::uint32_t(HOST_STDCALL*)(EDITDATA* edPtr, std::int32_t id, std::int32_t p1,
                                                      std::int32_t p2, std::int32_t p3);
// The routines EnumElts is given: (id, kind, word 1, word 2), 0 for success. Kind 1 is a font, 0 an
// image; enumerating may rewrite the id in place.
using HostEnumRoutine = std::int32_t(HOST_STDCALL*)(std::uint16_t* id, std::int32_t kind, std::int32_t w1,
                                                    std::int32_t w2);
// The image editors in mV: (edPtr, record, mV's word14), 1 when the author confirmed the edit.
using HostImageEditor = std::int32_t(HOST_STDCALL*)(EDITDATA* edPtr, HostImageEditRecord* record,
                                                    std::uint32_t word14);
using HostImageListEditor = std::int32_t(HOST_STDCALL*)(EDITDATA* edPtr, HostImageListEditRecord* record,
                                                        std::uint32_t word14);
// Run-time callback i is the routine at RunHeader + 0x35C + 4 * i.
using RuntimeCallback = std::uint32_t(HOST_STDCALL*)(RUNDATA* rdPtr, std::int32_t w, std::int32_t l);

// Ids of CallFunction that the library uses.
namespace HostFunction {
constexpr std::int32_t SetPropertyTable = 1;
constexpr std::int32_t ReallocEditData = 5;
constexpr std::int32_t GetPropertyValue = 6;
constexpr std::int32_t RefreshProperties = 18;
constexpr std::int32_t IsHardwareAccelerated = 112;
constexpr std::int32_t IsUnicode = 113;
} // namespace HostFunction

// Indexes of the run-time callbacks that the library uses.
namespace HostCallback {
constexpr int GetStringSpace = 3;
constexpr int GetFirstExpressionParam = 4;
constexpr int GetNextExpressionParam = 5;
constexpr int GetActionParam = 17;
constexpr int EditInteger = 20;
constexpr int EditText = 21;
constexpr int Count = 22;
} // namespace HostCallback

HOST_PACKED_BEGIN

struct mV {
    std::uint8_t pad00[0x04];
    std::uint32_t word04; // tested by GetObjInfos
    std::uint8_t pad08[0x04];
    std::uint32_t editorWindowId;
    void* mainWindow; // null outside the editor
    std::uint32_t word14;
    std::uint8_t pad18[0x10];
    void* imageFilterManager;
    std::uint8_t pad2C[0x08];
    std::uint32_t word34;
    std::uint8_t pad38[0x154 - 0x38];
    HostCallFunction CallFunction;
    std::uint8_t pad158[0x164 - 0x158];
    HostImageEditor imageEditor;
    HostImageListEditor imageListEditor;
};
static_assert(offsetof(mV, word04) == 0x04);
static_assert(offsetof(mV, editorWindowId) == 0x0C);
static_assert(offsetof(mV, mainWindow) == 0x10);
static_assert(offsetof(mV, word14) == 0x14);
static_assert(offsetof(mV, imageFilterManager) == 0x28);
static_assert(offsetof(mV, word34) == 0x34);
static_assert(offsetof(mV, CallFunction) == 0x154);
static_assert(offsetof(mV, imageEditor) == 0x164);
static_assert(offsetof(mV, imageListEditor) == 0x168);

// The single-image editor's record; imageID goes in as the first stored id and comes back edited.
struct HostImageEditRecord {
    std::uint32_t size;         // 24
    const wchar_t* windowTitle; // null for none
    std::uint16_t imageID;
    std::uint16_t zero;
    std::uint32_t options; // ImageEditorOption bits
    std::uint32_t width;
    std::uint32_t height;
};
static_assert(offsetof(HostImageEditRecord, size) == 0);
static_assert(offsetof(HostImageEditRecord, windowTitle) == 4);
static_assert(offsetof(HostImageEditRecord, imageID) == 8);
static_assert(offsetof(HostImageEditRecord, zero) == 10);
static_assert(offsetof(HostImageEditRecord, options) == 12);
static_assert(offsetof(HostImageEditRecord, width) == 16);
static_assert(offsetof(HostImageEditRecord, height) == 20);
static_assert(sizeof(HostImageEditRecord) == 24);

// The several-images editor's record; count and the ids come back edited.
struct HostImageListEditRecord {
    std::uint32_t size;         // 40
    const wchar_t* windowTitle; // null for none
    std::uint32_t count;
    std::uint32_t maxCount;
    std::uint32_t zero;
    std::uint16_t* imageIDs;           // room for maxCount ids
    const wchar_t* const* imageTitles; // closed by a null pointer; null for none
    std::uint32_t options;             // ImageEditorOption bits
    std::uint32_t width;
    std::uint32_t height;
};
static_assert(offsetof(HostImageListEditRecord, size) == 0);
static_assert(offsetof(HostImageListEditRecord, windowTitle) == 4);
static_assert(offsetof(HostImageListEditRecord, count) == 8);
static_assert(offsetof(HostImageListEditRecord, maxCount) == 12);
static_assert(offsetof(HostImageListEditRecord, zero) == 16);
static_assert(offsetof(HostImageListEditRecord, imageIDs) == 20);
static_assert(offsetof(HostImageListEditRecord, imageTitles) == 24);
static_assert(offsetof(HostImageListEditRecord, options) == 28);
static_assert(offsetof(HostImageListEditRecord, width) == 32);
static_assert(offsetof(HostImageListEditRecord, height) == 36);
static_assert(sizeof(HostImageListEditRecord) == 40);

// Options of both image editors.
namespace ImageEditorOption {
constexpr std::uint32_t FixedImageSize = 0x1;
constexpr std::uint32_t HotSpotAndActionPoint = 0x2 | 0x4;
constexpr std::uint32_t SixteenColors = 0x8;
constexpr std::uint32_t FixedNumOfImages = 0x10;
constexpr std::uint32_t NoTransparentColor = 0x20;
constexpr std::uint32_t NoAlphaChannel = 0x40;
constexpr std::uint32_t AllowEmpty = 0x80;
} // namespace ImageEditorOption

// One parameter of an event, in a chain: the next one starts `size` bytes on.
struct EventParam {
    std::int16_t size;
    std::int16_t code;
    std::int16_t value16[2]; // the value starts here; object parameters hold OiList index and oi
};
static_assert(offsetof(EventParam, size) == 0);
static_assert(offsetof(EventParam, code) == 2);
static_assert(offsetof(EventParam, value16) == 4);

struct ObjectHeader {
    std::uint8_t pad00[0x08];
    RunHeader* runHeader;
    std::uint8_t pad0C[0x3C - 0x0C];
    std::uint32_t eventNumber; // index of the called action, condition or expression
    std::uint8_t pad40[0x78 - 0x40];
    std::uint32_t oeFlags;
    std::uint16_t resultFlags;
    std::uint8_t pad7E[0xAC - 0x7E];
    EventParam* currentParam;
    std::uint8_t padB0[0xB8 - 0xB0];
};
static_assert(offsetof(ObjectHeader, runHeader) == 0x08);
static_assert(offsetof(ObjectHeader, eventNumber) == 0x3C);
static_assert(offsetof(ObjectHeader, oeFlags) == 0x78);
static_assert(offsetof(ObjectHeader, resultFlags) == 0x7C);
static_assert(offsetof(ObjectHeader, currentParam) == 0xAC);
static_assert(sizeof(ObjectHeader) == 184);

constexpr std::uint16_t ResultFlagFloat = 0x4000;
constexpr std::uint16_t ResultFlagText = 0x8000;

struct RUNDATA {
    ObjectHeader rHo;
    Extension* pExtension;

    ObjectHeader* GetObjectHeader() { return &rHo; }
    RunHeader* GetRunHeader() { return rHo.runHeader; }
};
static_assert(offsetof(RUNDATA, pExtension) == 184);
static_assert(sizeof(RUNDATA) == 188);

struct RunHeader {
    std::uint8_t pad00[0x54];
    std::int32_t NumberOi;
    std::uint8_t* OiList;
    std::uint8_t pad5C[0x90 - 0x5C];
    std::uint8_t* QualToOiList;
    std::uint8_t pad94[0x35C - 0x94];
    RuntimeCallback RuntimeCallbacks[HostCallback::Count];
    std::uint8_t pad3B4[0x4F4 - 0x3B4];
    mV* mvPtr;
    std::uint8_t pad4F8[0x1278 - 0x4F8];
    void* ObjectList;

    // Defined with the run-time services.
    std::uint8_t* GetOIListByIndex(std::uint32_t index);
    std::uint8_t* GetQualToOiList(std::int32_t offset);
    void* GetObjectList() { return ObjectList; }
};
static_assert(offsetof(RunHeader, NumberOi) == 0x54);
static_assert(offsetof(RunHeader, OiList) == 0x58);
static_assert(offsetof(RunHeader, QualToOiList) == 0x90);
static_assert(offsetof(RunHeader, RuntimeCallbacks) == 0x35C);
static_assert(offsetof(RunHeader, mvPtr) == 0x4F4);
static_assert(offsetof(RunHeader, ObjectList) == 0x1278);

// The host's header of an object's edit-time data; the property block follows it.
struct EditDataHeader {
    std::uint32_t totalSize;
    std::uint32_t maximumSize;
    std::uint32_t extVersion;
    std::uint32_t identifier;
    std::uint32_t propertiesOffset;
};
static_assert(offsetof(EditDataHeader, totalSize) == 0);
static_assert(offsetof(EditDataHeader, maximumSize) == 4);
static_assert(offsetof(EditDataHeader, extVersion) == 8);
static_assert(offsetof(EditDataHeader, identifier) == 12);
static_assert(offsetof(EditDataHeader, propertiesOffset) == 16);
static_assert(sizeof(EditDataHeader) == 20);

struct EDITDATA {
    EditDataHeader eHeader;
    // The property block starts here (at the offset the header names).
};
static_assert(sizeof(EDITDATA) == 20);

// Filled by GetRunObjectInfos.
struct HostRunInfo {
    void* conditions;
    void* actions;
    void* expressions;
    std::uint16_t numOfConditions;
    std::uint16_t numOfActions;
    std::uint16_t numOfExpressions;
    std::uint16_t editDataSize;
    std::uint32_t objectFlags;
    std::uint8_t windowProcPriority;
    std::uint8_t pad19;
    std::uint16_t objectFlags2;
    char identifier[4];
    std::uint16_t version;
};
static_assert(offsetof(HostRunInfo, conditions) == 0x00);
static_assert(offsetof(HostRunInfo, actions) == 0x04);
static_assert(offsetof(HostRunInfo, expressions) == 0x08);
static_assert(offsetof(HostRunInfo, numOfConditions) == 0x0C);
static_assert(offsetof(HostRunInfo, numOfActions) == 0x0E);
static_assert(offsetof(HostRunInfo, numOfExpressions) == 0x10);
static_assert(offsetof(HostRunInfo, editDataSize) == 0x12);
static_assert(offsetof(HostRunInfo, objectFlags) == 0x14);
static_assert(offsetof(HostRunInfo, windowProcPriority) == 0x18);
static_assert(offsetof(HostRunInfo, objectFlags2) == 0x1A);
static_assert(offsetof(HostRunInfo, identifier) == 0x1C);
static_assert(offsetof(HostRunInfo, version) == 0x20);
static_assert(sizeof(HostRunInfo) == 0x22);

// The host's edit record for callbacks 20 and 21.
struct HostEditRecord {
    std::uint32_t reserved;
    std::int32_t integer;
    wchar_t* text;
    std::uint32_t textLength;
};
static_assert(offsetof(HostEditRecord, integer) == 4);
static_assert(offsetof(HostEditRecord, text) == 8);
static_assert(offsetof(HostEditRecord, textLength) == 12);
static_assert(sizeof(HostEditRecord) == 16);

// The record of one action, condition or expression: allocated zero-filled at 8 + 4n bytes for n
// parameters. The host is handed the address of ID and reads from there on.
struct ACEInfo {
    std::uint16_t FloatFlags; // bit i: parameter i is a float (the framework's own word)
    std::uint16_t ID;
    std::uint16_t FlagsOrReturnType; // conditions: Flags; expressions: ReturnType; actions: 0
    std::uint16_t NumOfParams;
    std::uint16_t Parameter[]; // NumOfParams codes, then NumOfParams zero words

    void* HostRecord() { return &ID; }
};
static_assert(offsetof(ACEInfo, FloatFlags) == 0);
static_assert(offsetof(ACEInfo, ID) == 2);
static_assert(offsetof(ACEInfo, FlagsOrReturnType) == 4);
static_assert(offsetof(ACEInfo, NumOfParams) == 6);
static_assert(offsetof(ACEInfo, Parameter) == 8);

// Jump-table entries handed to the host.
using ActionRoutine = std::int32_t(HOST_STDCALL*)(RUNDATA* rdPtr, std::int32_t param1, std::int32_t param2);
using ConditionRoutine = ActionRoutine;
using ExpressionRoutine = std::int32_t(HOST_STDCALL*)(RUNDATA* rdPtr, std::int32_t param);

HOST_PACKED_END
