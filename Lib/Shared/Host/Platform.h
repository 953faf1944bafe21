// Compiler-specific spellings, kept in one place so that another Windows compiler can build the
// library by changing only this file.
#pragma once

// HOST_EXPORT: exports are named by the .def file, so they need C linkage; the whole-program link of
// the library must also keep them. IN_REGISTERS: the call path hands a member's values over in
// registers. INLINE_CALLEES: a member's trampoline takes the member's body in, so a call costs one
// indirect call and no more.
#if defined(_MSC_VER)
#define HOST_STDCALL __stdcall
#define HOST_THISCALL __thiscall
#define HOST_PACKED_BEGIN __pragma(pack(push, 1))
#define HOST_PACKED_END __pragma(pack(pop))
#define HOST_EXPORT extern "C"
#define IN_REGISTERS __fastcall
#define INLINE_CALLEES
#else
#define HOST_STDCALL __attribute__((stdcall))
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_PACKED_BEGIN _Pragma("pack(push, 1)")
#define HOST_PACKED_END _Pragma("pack(pop)")
#define HOST_EXPORT extern "C" __attribute__((externally_visible))
#define IN_REGISTERS __attribute__((regparm(3)))
#define INLINE_CALLEES __attribute__((flatten))
#endif
