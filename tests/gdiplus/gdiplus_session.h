#pragma once
// GDI+ for tests of the GDI+ layer and the skin: started once per test
// program and, as in the program, never shut down.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "runtime/gdiplus_handles.h"

namespace snipora::test {

class GdiplusSession {
 public:
  GdiplusSession();
};

// GDI+'s time frame dimension, {6AEDBD6D-3FB5-418A-83A6-7F45229DC872}.
inline constexpr GUID kFrameDimensionTime{0x6AEDBD6D, 0x3FB5, 0x418A, {0x83, 0xA6, 0x7F, 0x45, 0x22, 0x9D, 0xC8, 0x72}};

// Draws the image at (0, 0), natural size, over a width x height bitmap
// filled with `background` (0x00RRGGBB); answers the pixels as 0x00RRGGBB,
// top row first.
std::vector<uint32_t> DrawImage(GpImage* image, int width, int height, uint32_t background);

}  // namespace snipora::test
