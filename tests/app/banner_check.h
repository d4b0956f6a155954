#pragma once
// What a window's banner picture box must show: the banner artwork blended
// over the window's white background, placed where the box lies.
#include <windows.h>

namespace snipora::test {

// The number of pixels of the window's client area, above `height` rows,
// that differ by more than 2 per channel from banner.png drawn over white
// with its top-left corner at client (left, top).
int BannerMismatches(HWND window, int left, int top, int height);

}  // namespace snipora::test
