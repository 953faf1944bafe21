// The exports the host calls, all stdcall and exported under these names by the .def file.
#pragma once

#include "../Host/HostRecords.h"

#include <windows.h>

#include <cstdint>

class HostSurface;
class Prop;

HOST_EXPORT BOOL HOST_STDCALL DllMain(HINSTANCE module, DWORD reason, LPVOID reserved);
HOST_EXPORT std::int32_t HOST_STDCALL Initialize(::mV* mV, std::int32_t quiet);
HOST_EXPORT std::int32_t HOST_STDCALL Free(::mV* mV);
HOST_EXPORT std::uint32_t HOST_STDCALL GetInfos(std::int32_t info);
HOST_EXPORT const wchar_t** HOST_STDCALL GetDependencies();
HOST_EXPORT std::int32_t HOST_STDCALL GetRunObjectInfos(::mV* mV, HostRunInfo* info);
HOST_EXPORT std::uint32_t HOST_STDCALL GetRunObjectDataSize(std::int32_t, std::int32_t);
HOST_EXPORT std::int32_t HOST_STDCALL CreateRunObject(RUNDATA* rdPtr, EDITDATA* edPtr, void* cobPtr);
HOST_EXPORT std::int32_t HOST_STDCALL DestroyRunObject(RUNDATA* rdPtr, std::int32_t fast);
HOST_EXPORT std::int32_t HOST_STDCALL HandleRunObject(RUNDATA* rdPtr);
HOST_EXPORT std::int32_t HOST_STDCALL PauseRunObject(RUNDATA* rdPtr);
HOST_EXPORT std::int32_t HOST_STDCALL ContinueRunObject(RUNDATA* rdPtr);
HOST_EXPORT std::int32_t HOST_STDCALL LoadObject(::mV* mV, std::int32_t, EDITDATA* edPtr, std::int32_t);
HOST_EXPORT void HOST_STDCALL UnloadObject(std::int32_t, std::int32_t, std::int32_t);
HOST_EXPORT std::uint16_t* HOST_STDCALL GetDebugTree(RUNDATA* rdPtr);
HOST_EXPORT void HOST_STDCALL GetDebugItem(wchar_t* buffer, RUNDATA* rdPtr, std::int32_t id);
HOST_EXPORT void HOST_STDCALL EditDebugItem(RUNDATA* rdPtr, std::int32_t id);

// Editor menus, texts and records. code is an item's index; max a buffer's size in characters with the
// terminator. The code-from-menu answers are 16-bit, zero-extended.
HOST_EXPORT std::uint32_t HOST_STDCALL GetActionCodeFromMenu(::mV* mV, std::uint16_t menuId);
HOST_EXPORT std::uint32_t HOST_STDCALL GetConditionCodeFromMenu(::mV* mV, std::uint16_t menuId);
HOST_EXPORT std::uint32_t HOST_STDCALL GetExpressionCodeFromMenu(::mV* mV, std::uint16_t menuId);
HOST_EXPORT void* HOST_STDCALL GetActionInfos(::mV* mV, std::int16_t code);
HOST_EXPORT void* HOST_STDCALL GetConditionInfos(::mV* mV, std::int16_t code);
HOST_EXPORT void* HOST_STDCALL GetExpressionInfos(::mV* mV, std::int16_t code);
HOST_EXPORT HMENU HOST_STDCALL GetActionMenu(::mV* mV, std::int32_t, std::int32_t);
HOST_EXPORT HMENU HOST_STDCALL GetConditionMenu(::mV* mV, std::int32_t, std::int32_t);
HOST_EXPORT HMENU HOST_STDCALL GetExpressionMenu(::mV* mV, std::int32_t, std::int32_t);
HOST_EXPORT void HOST_STDCALL GetActionString(::mV* mV, std::int16_t code, wchar_t* buffer, std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetConditionString(::mV* mV, std::int16_t code, wchar_t* buffer,
                                                 std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetExpressionString(::mV* mV, std::int16_t code, wchar_t* buffer,
                                                  std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetExpressionTitle(::mV* mV, std::int16_t code, wchar_t* buffer,
                                                 std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetActionTitle(::mV* mV, std::int16_t code, std::int16_t param, wchar_t* buffer,
                                             std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetConditionTitle(::mV* mV, std::int16_t code, std::int16_t param,
                                                wchar_t* buffer, std::int16_t max);
HOST_EXPORT void HOST_STDCALL GetExpressionParam(::mV* mV, std::int16_t code, std::int16_t param,
                                                 wchar_t* buffer, std::int16_t max);
// Each buffer holds 260 characters.
HOST_EXPORT void HOST_STDCALL GetObjInfos(::mV* mV, std::int32_t, wchar_t* name, wchar_t* author,
                                          wchar_t* copyright, wchar_t* comment, wchar_t* url);
HOST_EXPORT const wchar_t* HOST_STDCALL GetHelpFileName();
HOST_EXPORT std::int32_t HOST_STDCALL EnumElts(::mV* mV, EDITDATA* edPtr, HostEnumRoutine enumerate,
                                               HostEnumRoutine undo, std::int32_t w1, std::int32_t w2);
// A new object's EDITDATA filled with the definition's defaults: 0, or -1 when it could not be.
HOST_EXPORT std::int32_t HOST_STDCALL CreateObject(::mV* mV, std::int32_t, EDITDATA* edPtr);
// Stored EDITDATA of another version or property list, rebuilt in global memory the host then owns;
// null keeps the stored record.
HOST_EXPORT HGLOBAL HOST_STDCALL UpdateEditStructure(::mV* mV, EDITDATA* oldEdPtr);

// The icon: drawn at the object's place in the frame editor, and copied into a surface of the host's.
HOST_EXPORT void HOST_STDCALL EditorDisplay(::mV* mV, std::int32_t, std::int32_t, EDITDATA* edPtr, RECT* rc);
HOST_EXPORT std::int32_t HOST_STDCALL MakeIconEx(::mV* mV, HostSurface* icon, std::int32_t, std::int32_t,
                                                 std::int32_t);

// The property sheet. id is a host property id, 0x80000 + the property's index; a value object handed
// out by GetPropValue belongs to the host, one handed to SetPropValue stays the host's.
HOST_EXPORT BOOL HOST_STDCALL GetProperties(::mV* mV, EDITDATA* edPtr, BOOL masterItem);
HOST_EXPORT void HOST_STDCALL ReleaseProperties(::mV* mV, EDITDATA* edPtr, BOOL masterItem);
HOST_EXPORT Prop* HOST_STDCALL GetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id);
HOST_EXPORT void HOST_STDCALL SetPropValue(::mV* mV, EDITDATA* edPtr, std::uint32_t id, Prop* value);
HOST_EXPORT BOOL HOST_STDCALL GetPropCheck(::mV* mV, EDITDATA* edPtr, std::uint32_t id);
HOST_EXPORT void HOST_STDCALL SetPropCheck(::mV* mV, EDITDATA* edPtr, std::uint32_t id, BOOL check);
HOST_EXPORT BOOL HOST_STDCALL IsPropEnabled(::mV* mV, EDITDATA* edPtr, std::uint32_t id);
HOST_EXPORT BOOL HOST_STDCALL EditProp(::mV* mV, EDITDATA* edPtr, std::uint32_t id);
