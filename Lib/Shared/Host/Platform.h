// Compiler-specific spellings, kept in one place so that another Windows compiler can build the
// library by changing only this file.
#pragma once

#if defined(_MSC_VER)
#define HOST_STDCALL __stdcall
#define HOST_THISCALL __thiscall
#define HOST_PACKED_BEGIN __pragma(pack(push, 1))
#define HOST_PACKED_END __pragma(pack(pop))
#else
#define HOST_STDCALL __attribute__((stdcall))
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_PACKED_BEGIN _Pragma("pack(push, 1)")
#define HOST_PACKED_END _Pragma("pack(pop)")
#endif

// Exports are named by the .def file, so they need C linkage only.
#define HOST_EXPORT extern "C"
