#pragma once
// The skinned load dialog's window class. A window of the class owns a
// worker thread, a GDI+ image and the global memory under the image's
// stream, named by its Vaziz_Thread, Vaziz_Image and Vaziz_Stream
// properties, and frees them when destroyed: the thread first, then the
// image, then the memory. With VazizHitMove 1 a press anywhere in its client
// area drags it.
#include <windows.h>

namespace snipora::skin {

inline constexpr char kLoadDialogClass[] = "VazizLoadDialog";

// Once per process, at the skin's start-up; a failure is not reported.
void RegisterLoadDialogClass();

LRESULT CALLBACK LoadDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace snipora::skin
