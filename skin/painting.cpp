#include "skin/painting.h"

#include "runtime/system_functions.h"
#include "skin/window_properties.h"

namespace snipora::skin {
namespace {

struct WindowSize {
  int32_t width, height;
};
WindowSize SizeOf(HWND window) {
  RECT rect{};
  sys::GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

enum class ImageSource { State, Back };

// `snapshot`: the one SnapshotBackground has just stored, or none to read it
// from the property (a property read is a wineserver round trip under Wine,
// a tenth of a repaint's time).
void DrawControl(HWND window, HDC dc, ImageSource source, HBITMAP snapshot = nullptr) {
  if (!snapshot) snapshot = GetHandleProperty<HBITMAP>(window, prop::kCacheBitmap);
  if (!snapshot) return;
  const WindowSize size = SizeOf(window);
  HDC target = dc ? dc : sys::GetWindowDC(window);
  HDC memory = sys::CreateCompatibleDC(target);
  HBITMAP bitmap = sys::CreateCompatibleBitmap(target, size.width, size.height);
  HGDIOBJ previous = sys::SelectObject(memory, bitmap);

  // GDI+'s defaults: source-over, so the image's alpha blends over the snapshot
  GpGraphics* graphics = nullptr;
  sys::GdipCreateFromHDC(memory, &graphics);
  GpBitmap* background = nullptr;
  sys::GdipCreateBitmapFromHBITMAP(snapshot, nullptr, &background);
  sys::GdipDrawImageRect(graphics, background, 0, 0, float(size.width), float(size.height));
  sys::GdipDisposeImage(background);

  GpImage* image = source == ImageSource::State ? StateImage(window)
                                                : GetHandleProperty<GpImage*>(window, prop::kBackImage);
  if (image) {
    float imageWidth = 0, imageHeight = 0;
    sys::GdipGetImageDimension(image, &imageWidth, &imageHeight);
    // An image of the window's size covers it whatever the placement, so the
    // placement's property need not be read (the banner's case).
    const bool windowSized = imageWidth == float(size.width) && imageHeight == float(size.height);
    const Placement at = windowSized ? Placement{0, 0, imageWidth, imageHeight}
                                     : PlaceImage(GetProperty(window, prop::kBackType), imageWidth, imageHeight,
                                                  size.width, size.height);
    sys::GdipDrawImageRect(graphics, image, at.x, at.y, at.width, at.height);  // the property keeps the image
  }
  sys::BitBlt(target, 0, 0, size.width, size.height, memory, 0, 0, SRCCOPY);

  sys::GdipDeleteGraphics(graphics);
  sys::SelectObject(memory, previous);
  sys::DeleteObject(bitmap);
  sys::DeleteDC(memory);
  if (!dc) sys::ReleaseDC(window, target);
}

}  // namespace

FittedSize FitSize(int32_t imageWidth, int32_t imageHeight, int32_t boxWidth, int32_t boxHeight) {
  FittedSize size{imageWidth, imageHeight};
  if (imageWidth > boxWidth) {
    size.width = boxWidth;
    size.height = static_cast<int32_t>(double(imageHeight) * boxWidth / imageWidth);
  }
  if (size.height > boxHeight) {
    size.width = static_cast<int32_t>(double(size.width) * boxHeight / size.height);
    size.height = boxHeight;
  }
  return size;
}

Placement PlaceImage(intptr_t backType, float imageWidth, float imageHeight, int32_t width, int32_t height) {
  switch (backType) {
    case 1:
      return {0, 0, float(width), float(height)};
    case 2: {
      const FittedSize fit =
          FitSize(static_cast<int32_t>(imageWidth), static_cast<int32_t>(imageHeight), width, height);
      return {float(static_cast<int32_t>((width - fit.width) / 2.0)),
              float(static_cast<int32_t>((height - fit.height) / 2.0)), float(fit.width), float(fit.height)};
    }
    default:
      return {0, 0, imageWidth, imageHeight};
  }
}

HBITMAP SnapshotBackground(HWND window, HDC dc) {
  const WindowSize size = SizeOf(window);
  if (const auto old = GetHandleProperty<HBITMAP>(window, prop::kCacheBitmap)) sys::DeleteObject(old);
  HDC memory = sys::CreateCompatibleDC(dc);
  HBITMAP bitmap = sys::CreateCompatibleBitmap(dc, size.width, size.height);
  HGDIOBJ previous = sys::SelectObject(memory, bitmap);
  sys::BitBlt(memory, 0, 0, size.width, size.height, dc, 0, 0, SRCCOPY);
  sys::SelectObject(memory, previous);
  sys::DeleteDC(memory);
  SetProperty(window, prop::kCacheBitmap, reinterpret_cast<intptr_t>(bitmap));
  return bitmap;
}

GpImage* StateImage(HWND window) {
  const char* name = nullptr;
  switch (GetProperty(window, prop::kDrawState)) {
    case 1: name = prop::kOverImage; break;
    case 2: name = prop::kDownImage; break;
    case 3: name = prop::kDisableImage; break;
  }
  if (name)
    if (auto image = GetHandleProperty<GpImage*>(window, name)) return image;
  return GetHandleProperty<GpImage*>(window, prop::kNormalImage);
}

void DrawStateImage(HWND window, HDC dc) { DrawControl(window, dc, ImageSource::State); }

void DrawBackImage(HWND window, HDC dc) { DrawControl(window, dc, ImageSource::Back); }

void PaintPictureBox(HWND window, HDC dc) {
  DrawControl(window, dc, ImageSource::Back, SnapshotBackground(window, dc));
}

}  // namespace snipora::skin
