#include "skin/load_dialog.h"

#include "runtime/system_functions.h"
#include "skin/window_properties.h"

namespace snipora::skin {

#if defined(__i386__)
static_assert(sizeof(WNDCLASSEXA) == 48, "the class record is 48 bytes on 32-bit Windows");
#endif

void RegisterLoadDialogClass() {
  WNDCLASSEXA record{};
  record.cbSize = sizeof record;
  record.style = CS_VREDRAW | CS_HREDRAW;
  record.lpfnWndProc = LoadDialogProc;
  record.hInstance = sys::GetModuleHandleA(nullptr);
  record.hCursor = sys::LoadCursorA(nullptr, IDC_ARROW);
  record.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  record.lpszClassName = kLoadDialogClass;
  sys::RegisterClassExA(&record);
}

LRESULT CALLBACK LoadDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY: {
      // the thread may still be drawing from the image: it goes first, and
      // has ended (termination is asynchronous) before the image is disposed
      if (const auto thread = GetHandleProperty<HANDLE>(window, prop::kThread)) {
        sys::TerminateThread(thread, 0);
        sys::WaitForSingleObject(thread, INFINITE);
        sys::CloseHandle(thread);
      }
      if (const auto image = GetHandleProperty<GpImage*>(window, prop::kImage)) sys::GdipDisposeImage(image);
      if (const auto memory = GetHandleProperty<HGLOBAL>(window, prop::kStream)) sys::GlobalFree(memory);
      break;
    }
    case WM_LBUTTONDOWN: {
      const LRESULT result = sys::DefWindowProcA(window, message, wParam, lParam);
      if (GetProperty(window, prop::kHitMove) == 1) {
        sys::ReleaseCapture();
        // the system's move loop, as if the title bar had been pressed; it
        // returns when the button is released
        sys::SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
      }
      return result;
    }
  }
  return sys::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace snipora::skin
