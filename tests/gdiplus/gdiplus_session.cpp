#include "tests/gdiplus/gdiplus_session.h"

#include <cstring>

#include "runtime/system_functions.h"
#include "tests/support/screen_pixels.h"

namespace snipora::test {

GdiplusSession::GdiplusSession() {
  static const bool started = [] {
    const GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return sys::GdiplusStartup(&token, &input, nullptr) == kGdiplusOk;
  }();
  (void)started;
}

std::vector<uint32_t> DrawImage(GpImage* image, int width, int height, uint32_t background) {
  DibCanvas canvas(width, height, background);
  GpGraphics* graphics = nullptr;
  sys::GdipCreateFromHDC(canvas.dc(), &graphics);
  float w = 0, h = 0;
  sys::GdipGetImageDimension(image, &w, &h);
  sys::GdipDrawImageRect(graphics, image, 0, 0, w, h);
  sys::GdipDeleteGraphics(graphics);
  return canvas.Pixels();
}

}  // namespace snipora::test
