#pragma once
// Comparing what the glass window's header and footer panels show with the
// artwork as it should be drawn.
#include <windows.h>

#include <cstdint>
#include <span>
#include <vector>

namespace snipora::test {

struct Panel {
  HWND hwnd = nullptr;
  RECT visible{};  // the part inside the window's client area, in panel coordinates
};

// The drawing panel of `window` whose client area starts at (left, top) of
// the window's.
Panel FindPanel(HWND window, int left, int top);

// The PNG drawn at 96/90 of its size (a 96-dpi screen over the image's 90
// dpi) over black, on a canvas the size of `panel`, as 0x00RRGGBB.
std::vector<uint32_t> ExpectedArtwork(std::span<const unsigned char> png, HWND panel);

// How many pixels the screen shows in the panel's visible part differ from
// `expected` by more than rounding.
int Mismatches(const Panel& panel, const std::vector<uint32_t>& expected);

}  // namespace snipora::test
