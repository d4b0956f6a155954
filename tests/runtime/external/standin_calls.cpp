// Functions for the late-bound call tests, some of them deliberately not
// matching the declarations the tests give them.
#include <windows.h>

#include <cstdint>

#define EXPORT __declspec(dllexport)

extern "C" {

EXPORT int WINAPI AddTwo(int a, int b) { return a + b; }

// cdecl: the caller must remove the arguments, a stdcall declaration does not
EXPORT int __cdecl AddTwoCdecl(int a, int b) { return a + b; }

EXPORT int WINAPI SumThree(int a, int b, int c) { return a + b + c; }

// 8-byte argument and result: two stack words each way
EXPORT int64_t WINAPI ScaleWide(int64_t value, int32_t factor) { return value * factor; }

EXPORT void WINAPI FillPoint(POINT* point, BYTE x, WORD y) {
  point->x = x;
  point->y = y;
}

// found by its ordinal in the tests
EXPORT int WINAPI Magic() { return 4242; }
}
