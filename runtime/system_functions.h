#pragma once
// The program's late-bound system functions: one line each, (name used in the
// code, library file as written, exported name or "#ordinal", signature).
// Each is called as snipora::sys::Name(args...), bound at its first call.
#include <windows.h>
#include <objidl.h>
#include <wininet.h>

#include "runtime/external_call.h"

#define SNIPORA_SYSTEM_FUNCTIONS(X)                                                                  \
  X(GetVersionExA, "kernel32", "GetVersionExA", BOOL(OSVERSIONINFOA*))                             \
  X(GetProductInfo, "Kernel32.dll", "GetProductInfo", BOOL(DWORD, DWORD, DWORD, DWORD, DWORD*))    \
  X(GdiplusStartup, "gdiplus.dll", "GdiplusStartup", int(ULONG_PTR*, const void*, void*))          \
  X(DwmIsCompositionEnabled, "dwmapi.dll", "DwmIsCompositionEnabled", HRESULT(BOOL*))              \
  X(DwmExtendFrameIntoClientArea, "dwmapi.dll", "DwmExtendFrameIntoClientArea",                    \
    HRESULT(HWND, const void*))                                                                     \
  X(SetWindowLongA, "user32", "SetWindowLongA", LONG(HWND, int, LONG))                              \
  X(SetLayeredWindowAttributes, "user32.dll", "SetLayeredWindowAttributes", BOOL(HWND, COLORREF, BYTE, DWORD))   \
  /* the fetch and the drawing panels' pictures: loaded at first use, not at start-up */                       \
  X(InternetOpenA, "wininet.dll", "InternetOpenA", HINTERNET(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD))            \
  X(InternetConnectA, "wininet.dll", "InternetConnectA",                                                        \
    HINTERNET(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR))                       \
  X(InternetSetOptionA, "wininet.dll", "InternetSetOptionA", BOOL(HINTERNET, DWORD, LPVOID, DWORD))            \
  X(InternetCanonicalizeUrlA, "wininet.dll", "InternetCanonicalizeUrlA", BOOL(LPCSTR, LPSTR, LPDWORD, DWORD))  \
  X(InternetCrackUrlA, "wininet.dll", "InternetCrackUrlA", BOOL(LPCSTR, DWORD, DWORD, URL_COMPONENTSA*))       \
  X(InternetCombineUrlA, "wininet.dll", "InternetCombineUrlA", BOOL(LPCSTR, LPCSTR, LPSTR, LPDWORD, DWORD))    \
  X(HttpOpenRequestA, "wininet.dll", "HttpOpenRequestA",                                                        \
    HINTERNET(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD, DWORD_PTR))                           \
  X(HttpSendRequestA, "wininet.dll", "HttpSendRequestA", BOOL(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD))        \
  X(HttpQueryInfoA, "wininet.dll", "HttpQueryInfoA", BOOL(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD))         \
  X(InternetReadFile, "wininet.dll", "InternetReadFile", BOOL(HINTERNET, LPVOID, DWORD, LPDWORD))              \
  X(InternetCloseHandle, "wininet.dll", "InternetCloseHandle", BOOL(HINTERNET))                                \
  X(CoInitializeEx, "ole32.dll", "CoInitializeEx", HRESULT(LPVOID, DWORD))                                     \
  X(CoUninitialize, "ole32.dll", "CoUninitialize", void())                                                     \
  X(CreateStreamOnHGlobal, "ole32.dll", "CreateStreamOnHGlobal", HRESULT(HGLOBAL, BOOL, IStream**))            \
  X(OleLoadPicture, "oleaut32.dll", "OleLoadPicture", HRESULT(IStream*, LONG, BOOL, const IID*, void**))       \
  X(AlphaBlend, "msimg32.dll", "AlphaBlend", BOOL(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION))

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
