#pragma once
// What the stand-in dwmapi.dll saw when the glass frame was extended, read
// by the test through the stand-in's own export.
#include <windows.h>

#include <uxtheme.h>

struct FrameRecord {
  int compositionQueries;
  int extendCalls;
  HWND window;
  MARGINS margins;
  // the window as it was at that moment
  LONG exStyle;
  BOOL layered;  // GetLayeredWindowAttributes answered
  COLORREF key;
  DWORD layeredFlags;
};

using FrameRecordExport = const FrameRecord*(WINAPI*)();
inline constexpr char kFrameRecordExport[] = "StandInFrameRecord";
