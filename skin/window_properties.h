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
// PngControl_BackType values: where the image is drawn; any other value
// places it as kNaturalSize does.
enum BackType : int32_t {
  kNaturalSize = 0,  // at the top-left corner, cut off at the window's edges
  kStretched = 1,    // to the window's size
  kFitted = 2,       // shrunk to fit with its aspect kept, centred, never enlarged
};
// Vaziz_DrawState values; any other value shows the normal image.
enum DrawState : int32_t { kNormalState = 0, kHotState = 1, kPressedState = 2, kDisabledState = 3 };

// A property's datum; 0 when absent. Values are handle-sized: images and
// bitmaps are stored as they are.
intptr_t GetProperty(HWND window, const char* name);
bool SetProperty(HWND window, const char* name, intptr_t value);

template <class Handle>
Handle GetHandleProperty(HWND window, const char* name) {
  return reinterpret_cast<Handle>(GetProperty(window, name));
}

}  // namespace snipora::skin
