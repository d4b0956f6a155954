#pragma once
// The named window properties in which the skin keeps all its state: nothing
// is kept in tables of windows, so whoever holds a window handle can read or
// change a PNG control's settings. Names are case-sensitive.
#include <windows.h>

#include <cstdint>

namespace snipora::skin {

namespace prop {
inline constexpr char kType[] = "PngControl_Type";
inline constexpr char kWndProc[] = "PngControl_WndProc";
inline constexpr char kBackType[] = "PngControl_BackType";
inline constexpr char kCacheBitmap[] = "PngControl_CacheBitmap";
inline constexpr char kBackImage[] = "PngControl_BackImage";
inline constexpr char kDrawState[] = "Vaziz_DrawState";
inline constexpr char kNormalImage[] = "PngControl_NormalImage";
inline constexpr char kOverImage[] = "PngControl_OverlImage";
inline constexpr char kDownImage[] = "PngControl_DownImage";
inline constexpr char kDisableImage[] = "PngControl_DisableImage";
inline constexpr char kTextColor[] = "PngControl_TextColor";
inline constexpr char kToolTips[] = "Vaziz_ToolTips";
// of a load-dialog window
inline constexpr char kThread[] = "Vaziz_Thread";
inline constexpr char kImage[] = "Vaziz_Image";
inline constexpr char kStream[] = "Vaziz_Stream";
inline constexpr char kHitMove[] = "VazizHitMove";
}  // namespace prop

// PngControl_Type values.
enum ControlType : int32_t { kNotPng = 0, kPictureBox = 2, kCustomDrawn = 3, kEditControl = 4 };

// A property's datum; 0 when absent. Values are handle-sized: images and
// bitmaps are stored as they are.
intptr_t GetProperty(HWND window, const char* name);
bool SetProperty(HWND window, const char* name, intptr_t value);

template <class Handle>
Handle GetHandleProperty(HWND window, const char* name) {
  return reinterpret_cast<Handle>(GetProperty(window, name));
}

}  // namespace snipora::skin
