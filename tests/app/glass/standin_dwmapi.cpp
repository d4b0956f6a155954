// Stands in for dwmapi.dll beside a copy of the program: desktop composition
// is on (Wine never has it), and the frame the program asks for is written to
// the file that SNIPORA_GLASS_RECORD names.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) HRESULT WINAPI DwmIsCompositionEnabled(BOOL* enabled) {
  *enabled = TRUE;
  return S_OK;
}

struct Margins {
  int left, right, top, bottom;
};

extern "C" __declspec(dllexport) HRESULT WINAPI DwmExtendFrameIntoClientArea(HWND window, const Margins* margins) {
  char path[MAX_PATH];
  if (!GetEnvironmentVariableA("SNIPORA_GLASS_RECORD", path, MAX_PATH)) return E_FAIL;
  if (FILE* file = std::fopen(path, "w")) {
    std::fprintf(file, "%d %d %d %d %ld", margins->left, margins->right, margins->top, margins->bottom,
                 GetWindowLongA(window, GWL_EXSTYLE));
    std::fclose(file);
  }
  return S_OK;
}
