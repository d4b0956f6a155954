#include "tests/app/banner_check.h"

#include <algorithm>

#include "artwork.h"
#include "gdiplus/image_from_bytes.h"
#include "runtime/system_functions.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/support/screen_pixels.h"

namespace snipora::test {

int BannerMismatches(HWND window, int left, int top, int height) {
  GdiplusSession gdiplus;
  GpImage* banner = LoadImageFromBytes(ToBytes(art::BannerPngBytes()), &kFrameDimensionTime);
  if (!banner) return -1;
  const std::vector<uint32_t> expected = DrawImage(banner, 400, 118, 0xFFFFFF);
  sys::GdipDisposeImage(banner);

  RECT client;
  GetClientRect(window, &client);
  const std::vector<uint32_t> shown = ClientPixels(window);
  int mismatches = 0;
  for (int y = std::max(0, top); y < std::min<int>(height, top + 118); ++y)
    for (int x = std::max(0, left); x < std::min<int>(client.right, left + 400); ++x)
      if (ColourDistance(shown[std::size_t(y) * client.right + x], expected[std::size_t(y - top) * 400 + (x - left)]) > 2)
        ++mismatches;
  return mismatches;
}

}  // namespace snipora::test
