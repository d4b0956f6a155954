#pragma once
// Painting PNG controls: a snapshot of what lies under the control, the
// control's image blended over it by GDI+ in a memory bitmap, and one BitBlt
// to the window, so a half-drawn state never shows.
#include <windows.h>

#include <cstdint>

#include "runtime/gdiplus_handles.h"

namespace snipora::skin {

struct FittedSize {
  int32_t width, height;
  bool operator==(const FittedSize&) const = default;
};
// The image's size shrunk to fit the box with its aspect kept; never enlarged.
FittedSize FitSize(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight);

struct Placement {
  float x, y, width, height;
  bool operator==(const Placement&) const = default;
};
// Where an image of iw x ih is drawn in a w x h window for a back type: 1
// stretches, 2 shrinks to fit and centres, anything else is natural size at
// the top-left corner.
Placement PlaceImage(intptr_t backType, float imageWidth, float imageHeight, int32_t width, int32_t height);

// What the device context shows now, window-sized, kept in the window's
// PngControl_CacheBitmap (the previous snapshot deleted first).
HBITMAP SnapshotBackground(HWND window, HDC dc);

// The custom-drawn control's state image, with the normal image standing in
// for a state that has none.
GpImage* StateImage(HWND window);

// Composes snapshot and image and shows them; without a snapshot nothing is
// drawn. Without a device context the window's own is taken and released.
void DrawStateImage(HWND window, HDC dc = nullptr);
void DrawBackImage(HWND window, HDC dc = nullptr);

// A picture box's WM_PAINT: a new snapshot, then DrawBackImage over it.
void PaintPictureBox(HWND window, HDC dc);

}  // namespace snipora::skin
