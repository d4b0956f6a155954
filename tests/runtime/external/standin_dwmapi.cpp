// Stands in for the system's dwmapi.dll in the test program's folder.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  *enabled = TRUE;
  return S_OK;
}

// Only this library exports it: binding it proves which file was loaded.
extern "C" __declspec(dllexport) int WINAPI SniporaStandInMarker() { return 0x5A5A; }
