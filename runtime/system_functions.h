#pragma once
// The program's late-bound system functions: one line each, (name used in the
// code, library file as written, exported name or "#ordinal", signature).
// Each is called as snipora::sys::Name(args...), bound at its first call.
#include <windows.h>

#include "runtime/external_call.h"

#define SNIPORA_SYSTEM_FUNCTIONS(X)                                                                  \
  X(GetVersionExA, "kernel32", "GetVersionExA", BOOL(OSVERSIONINFOA*))                             \
  X(GetProductInfo, "Kernel32.dll", "GetProductInfo", BOOL(DWORD, DWORD, DWORD, DWORD, DWORD*))    \
  X(GdiplusStartup, "gdiplus.dll", "GdiplusStartup", int(ULONG_PTR*, const void*, void*))          \
  X(DwmIsCompositionEnabled, "dwmapi.dll", "DwmIsCompositionEnabled", HRESULT(BOOL*))              \
  X(DwmExtendFrameIntoClientArea, "dwmapi.dll", "DwmExtendFrameIntoClientArea",                    \
    HRESULT(HWND, const void*))                                                                     \
  X(SetWindowLongA, "user32", "SetWindowLongA", LONG(HWND, int, LONG))                              \
  X(SetLayeredWindowAttributes, "user32.dll", "SetLayeredWindowAttributes", BOOL(HWND, COLORREF, BYTE, DWORD))

namespace snipora::sys {

enum class SystemFunction : int {
#define SNIPORA_SYSTEM_FUNCTION_ID(id, library, name, ...) id,
  SNIPORA_SYSTEM_FUNCTIONS(SNIPORA_SYSTEM_FUNCTION_ID)
#undef SNIPORA_SYSTEM_FUNCTION_ID
      Count
};

extern ExternalEntry systemFunctionTable[static_cast<int>(SystemFunction::Count)];

#define SNIPORA_SYSTEM_FUNCTION_ACCESSOR(id, library, name, ...) \
  inline constexpr ExternalFunction<__VA_ARGS__> id{systemFunctionTable[static_cast<int>(SystemFunction::id)]};
SNIPORA_SYSTEM_FUNCTIONS(SNIPORA_SYSTEM_FUNCTION_ACCESSOR)
#undef SNIPORA_SYSTEM_FUNCTION_ACCESSOR

// At the end of the process: every library the table loaded is left loaded
// until the process has ended (ReleaseExternalLibraries).
void ReleaseSystemFunctions();

}  // namespace snipora::sys
