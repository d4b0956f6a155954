#include "tests/app/artwork_check.h"

#include <string>

#include "gdiplus/image_from_bytes.h"
#include "runtime/system_functions.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/support/screen_pixels.h"

namespace snipora::test {

Panel FindPanel(HWND window, int left, int top) {
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[32];
    GetClassNameA(child, name, sizeof name);
    POINT origin{0, 0};
    MapWindowPoints(child, window, &origin, 1);
    if (std::string(name) != "SniporaDrawPanel" || origin.x != left || origin.y != top) continue;
    RECT panel, client;
    GetClientRect(child, &panel);
    GetClientRect(window, &client);
    OffsetRect(&client, -origin.x, -origin.y);
    Panel found{child, {}};
    IntersectRect(&found.visible, &panel, &client);
    return found;
  }
  return {};
}

std::vector<uint32_t> ExpectedArtwork(std::span<const unsigned char> png, HWND panel) {
  GdiplusSession gdiplus;
  RECT size;
  GetClientRect(panel, &size);
  DibCanvas canvas(size.right, size.bottom, 0);
  GpImage* image = LoadImageFromBytes(Bytes::Copy(png.data(), png.size()), nullptr);
  float width = 0, height = 0;
  sys::GdipGetImageDimension(image, &width, &height);
  GpGraphics* graphics = nullptr;
  sys::GdipCreateFromHDC(canvas.dc(), &graphics);
  sys::GdipDrawImageRect(graphics, image, 0, 0, width * 96 / 90, height * 96 / 90);
  sys::GdipDeleteGraphics(graphics);
  sys::GdipDisposeImage(image);
  return canvas.Pixels();
}

int Mismatches(const Panel& panel, const std::vector<uint32_t>& expected) {
  RECT client;
  GetClientRect(panel.hwnd, &client);
  const std::vector<uint32_t> shown = ClientPixels(panel.hwnd);
  int mismatches = 0;
  for (int y = panel.visible.top; y < panel.visible.bottom; ++y)
    for (int x = panel.visible.left; x < panel.visible.right; ++x) {
      const std::size_t at = std::size_t(y) * client.right + x;
      mismatches += ColourDistance(shown[at], expected[at]) > 3;
    }
  return mismatches;
}

}  // namespace snipora::test
