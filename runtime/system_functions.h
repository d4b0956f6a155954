#pragma once
// The program's late-bound system functions: one line each, (name used in the
// code, library file as written, exported name or "#ordinal", signature).
// Each is called as snipora::sys::Name(args...), bound at its first call.
#include <windows.h>
#include <objidl.h>
#include <wininet.h>

#include "runtime/external_call.h"
#include "runtime/gdiplus_handles.h"

// A window's procedure is a 32-bit value on 32-bit Windows, where user32 has
// no ...LongPtr exports (the headers make those names macros); the 64-bit
// test build needs the pointer-sized ones.
#if defined(_WIN64)
#define SNIPORA_WINDOW_LONG_PTR(verb) #verb "WindowLongPtrA"
#else
#define SNIPORA_WINDOW_LONG_PTR(verb) #verb "WindowLongA"
#endif

#define SNIPORA_SYSTEM_FUNCTIONS(X)                                                                  \
  X(GetVersionExA, "kernel32", "GetVersionExA", BOOL(OSVERSIONINFOA*))                             \
  X(GetProductInfo, "Kernel32.dll", "GetProductInfo", BOOL(DWORD, DWORD, DWORD, DWORD, DWORD*))    \
  X(GdiplusStartup, "gdiplus.dll", "GdiplusStartup", GpStatus(ULONG_PTR*, const GdiplusStartupInput*, void*)) \
  X(DwmIsCompositionEnabled, "dwmapi.dll", "DwmIsCompositionEnabled", HRESULT(BOOL*))              \
  X(DwmExtendFrameIntoClientArea, "dwmapi.dll", "DwmExtendFrameIntoClientArea",                    \
    HRESULT(HWND, const void*))                                                                     \
  X(SetWindowLongA, "user32", "SetWindowLongA", LONG(HWND, int, LONG))                              \
  X(SetLayeredWindowAttributes, "user32.dll", "SetLayeredWindowAttributes", BOOL(HWND, COLORREF, BYTE, DWORD)) \
  /* memory and streams */                                                                          \
  X(GlobalAlloc, "kernel32", "GlobalAlloc", HGLOBAL(UINT, SIZE_T))                                  \
  X(GlobalLock, "kernel32", "GlobalLock", void*(HGLOBAL))                                           \
  X(GlobalUnlock, "kernel32", "GlobalUnlock", BOOL(HGLOBAL))                                        \
  X(GlobalSize, "kernel32", "GlobalSize", SIZE_T(HGLOBAL))                                          \
  X(GlobalFree, "kernel32", "GlobalFree", HGLOBAL(HGLOBAL))                                         \
  X(CreateStreamOnHGlobal, "ole32.dll", "CreateStreamOnHGlobal", HRESULT(HGLOBAL, BOOL, IStream**)) \
  X(GetHGlobalFromStream, "ole32.dll", "GetHGlobalFromStream", HRESULT(IStream*, HGLOBAL*))         \
  X(CLSIDFromString, "ole32.dll", "CLSIDFromString", HRESULT(const wchar_t*, GUID*))                \
  X(MultiByteToWideChar, "kernel32", "MultiByteToWideChar",                                         \
    int(UINT, DWORD, const char*, int, wchar_t*, int))                                              \
  /* GDI+ images and drawing */                                                                     \
  X(GdipLoadImageFromStream, "gdiplus.dll", "GdipLoadImageFromStream", GpStatus(IStream*, GpImage**)) \
  X(GdipImageSelectActiveFrame, "gdiplus.dll", "GdipImageSelectActiveFrame",                        \
    GpStatus(GpImage*, const GUID*, UINT))                                                          \
  X(GdipGetImageDimension, "gdiplus.dll", "GdipGetImageDimension", GpStatus(GpImage*, float*, float*)) \
  X(GdipDisposeImage, "gdiplus.dll", "GdipDisposeImage", GpStatus(GpImage*))                         \
  X(GdipCreateFromHDC, "gdiplus.dll", "GdipCreateFromHDC", GpStatus(HDC, GpGraphics**))              \
  X(GdipDeleteGraphics, "gdiplus.dll", "GdipDeleteGraphics", GpStatus(GpGraphics*))                  \
  X(GdipCreateBitmapFromHBITMAP, "gdiplus.dll", "GdipCreateBitmapFromHBITMAP",                       \
    GpStatus(HBITMAP, HPALETTE, GpBitmap**))                                                        \
  X(GdipDrawImageRect, "gdiplus.dll", "GdipDrawImageRect",                                          \
    GpStatus(GpGraphics*, GpImage*, float, float, float, float))                                    \
  /* windows, properties and subclassing */                                                         \
  X(IsWindow, "user32", "IsWindow", BOOL(HWND))                                                     \
  X(GetParent, "user32", "GetParent", HWND(HWND))                                                   \
  X(GetPropA, "user32", "GetPropA", HANDLE(HWND, const char*))                                      \
  X(SetPropA, "user32", "SetPropA", BOOL(HWND, const char*, HANDLE))                                \
  X(GetWindowLongA, "user32", "GetWindowLongA", LONG(HWND, int))                                    \
  X(SetWindowLongPointer, "user32", SNIPORA_WINDOW_LONG_PTR(Set), LONG_PTR(HWND, int, LONG_PTR))    \
  X(CallWindowProcA, "user32", "CallWindowProcA", LRESULT(WNDPROC, HWND, UINT, WPARAM, LPARAM))     \
  X(DefWindowProcA, "user32", "DefWindowProcA", LRESULT(HWND, UINT, WPARAM, LPARAM))                \
  X(SendMessageA, "user32", "SendMessageA", LRESULT(HWND, UINT, WPARAM, LPARAM))                    \
  X(SetWindowPos, "user32", "SetWindowPos", BOOL(HWND, HWND, int, int, int, int, UINT))             \
  X(GetWindowRect, "user32", "GetWindowRect", BOOL(HWND, RECT*))                                    \
  X(GetClientRect, "user32", "GetClientRect", BOOL(HWND, RECT*))                                    \
  X(ScreenToClient, "user32", "ScreenToClient", BOOL(HWND, POINT*))                                 \
  X(InvalidateRect, "user32", "InvalidateRect", BOOL(HWND, const RECT*, BOOL))                      \
  X(CreateWindowExA, "user32", "CreateWindowExA",                                                   \
    HWND(DWORD, const char*, const char*, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE, void*)) \
  X(SetWindowTextA, "user32", "SetWindowTextA", BOOL(HWND, const char*))                            \
  X(RegisterClassExA, "user32", "RegisterClassExA", ATOM(const WNDCLASSEXA*))                       \
  X(LoadCursorA, "user32", "LoadCursorA", HCURSOR(HINSTANCE, const char*))                          \
  X(GetModuleHandleA, "kernel32", "GetModuleHandleA", HMODULE(const char*))                         \
  X(ReleaseCapture, "user32", "ReleaseCapture", BOOL())                                             \
  /* painting */                                                                                    \
  X(BeginPaint, "user32", "BeginPaint", HDC(HWND, PAINTSTRUCT*))                                    \
  X(EndPaint, "user32", "EndPaint", BOOL(HWND, const PAINTSTRUCT*))                                 \
  X(GetWindowDC, "user32", "GetWindowDC", HDC(HWND))                                                \
  X(ReleaseDC, "user32", "ReleaseDC", int(HWND, HDC))                                               \
  X(CreateCompatibleDC, "gdi32", "CreateCompatibleDC", HDC(HDC))                                    \
  X(CreateCompatibleBitmap, "gdi32", "CreateCompatibleBitmap", HBITMAP(HDC, int, int))              \
  X(SelectObject, "gdi32", "SelectObject", HGDIOBJ(HDC, HGDIOBJ))                                   \
  X(BitBlt, "gdi32", "BitBlt", BOOL(HDC, int, int, int, int, HDC, int, int, DWORD))                 \
  X(DeleteDC, "gdi32", "DeleteDC", BOOL(HDC))                                                       \
  X(DeleteObject, "gdi32", "DeleteObject", BOOL(HGDIOBJ))                                           \
  X(SetTextColor, "gdi32", "SetTextColor", COLORREF(HDC, COLORREF))                                 \
  X(SetBkMode, "gdi32", "SetBkMode", int(HDC, int))                                                 \
  X(GetStockObject, "gdi32", "GetStockObject", HGDIOBJ(int))                                        \
  /* threads */                                                                                     \
  X(TerminateThread, "kernel32", "TerminateThread", BOOL(HANDLE, DWORD))                            \
  X(WaitForSingleObject, "kernel32", "WaitForSingleObject", DWORD(HANDLE, DWORD))                   \
  X(CloseHandle, "kernel32", "CloseHandle", BOOL(HANDLE))                                          \
  /* glass and regions */                                                                           \
  /* the same export declared without a library: the standard libraries are searched */         \
  X(SetLayeredWindowAttributesSearched, "", "SetLayeredWindowAttributes", BOOL(HWND, COLORREF, BYTE, DWORD)) \
  X(SetWindowRgn, "user32", "SetWindowRgn", int(HWND, HRGN, BOOL))                                 \
  X(CreateRoundRectRgn, "gdi32.dll", "CreateRoundRectRgn", HRGN(int, int, int, int, int, int)) \
  /* the fetch, links and the drawing panels' pictures: loaded at first use, not at start-up */                       \
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
  X(ShellExecuteA, "shell32.dll", "ShellExecuteA",                                                             \
    HINSTANCE(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT))                                                       \
  X(CoInitializeEx, "ole32.dll", "CoInitializeEx", HRESULT(LPVOID, DWORD))                                     \
  X(CoUninitialize, "ole32.dll", "CoUninitialize", void())                                                     \
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
