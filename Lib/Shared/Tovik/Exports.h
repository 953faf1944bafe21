// The exports the host calls, all stdcall and exported under these names by the .def file.
#pragma once

#include "../Host/HostRecords.h"

#include <windows.h>

#include <cstdint>

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
