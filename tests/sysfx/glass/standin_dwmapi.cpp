// Stands in for dwmapi.dll beside the glass test: desktop composition is on
// (Wine never has it), and the frame the program asks for is recorded.
#include <windows.h>

#include "tests/sysfx/glass/frame_record.h"

namespace {
FrameRecord record;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  ++record.compositionQueries;
  *enabled = TRUE;
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DwmExtendFrameIntoClientArea(HWND window, const MARGINS* margins) {
  ++record.extendCalls;
  record.window = window;
  record.margins = *margins;
  record.exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  BYTE alpha = 0;
  record.layered = GetLayeredWindowAttributes(window, &record.key, &alpha, &record.layeredFlags);
  return S_OK;
}

extern "C" __declspec(dllexport) const FrameRecord* WINAPI StandInFrameRecord() { return &record; }
