#pragma once
// What the object-layer tests need besides the layer: the kinds of GDI+
// object the layer leaves to its callers (pens, brushes, fonts, string
// formats, matrices), stand-ins for flat functions, and reading a bitmap's
// pixels back.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gdiplus/flat_functions.h"
#include "gdiplus/gdiplus_object.h"
#include "gdiplus/image_object.h"

namespace snipora::test {

class TestPen : public GdiplusObject {
 public:
  TestPen(ARGB colour, float width);
  ~TestPen() override;
};

class TestBrush : public GdiplusObject {
 public:
  explicit TestBrush(ARGB colour);
  ~TestBrush() override;
};

class TestMatrix : public GdiplusObject {
 public:
  TestMatrix(float m11, float m12, float m21, float m22, float dx, float dy);
  ~TestMatrix() override;
  std::vector<float> Elements() const;
};

// The set-up's CJK font (the one family GDI+ finds under Wine) at `size`
// pixels.
class TestFont : public GdiplusObject {
 public:
  explicit TestFont(float size);
  ~TestFont() override;
};

// A string format measuring the given (first, length) character ranges.
class TestStringFormat : public GdiplusObject {
 public:
  explicit TestStringFormat(const std::vector<std::pair<int, int>>& ranges = {});
  ~TestStringFormat() override;
};

// Puts `standIn` in the cache slot of a flat function's entry, so that calls
// reach it instead of GDI+, for as long as this lives.
class ScopedStandIn {
 public:
  template <class Function>
  ScopedStandIn(flat::FlatFunction function, Function* standIn)
      : ScopedStandIn(function, reinterpret_cast<void*>(standIn)) {}
  ScopedStandIn(flat::FlatFunction function, void* standIn);
  ScopedStandIn(const ScopedStandIn&) = delete;
  ScopedStandIn& operator=(const ScopedStandIn&) = delete;
  ~ScopedStandIn();

 private:
  ExternalEntry& entry_;
  void* address_;
  HMODULE module_;
};

// The real export of gdiplus.dll, for a stand-in that passes calls on.
template <class Function>
Function RealGdiplus(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("gdiplus.dll"), name)));
}

// The bitmap's pixels as 0xAARRGGBB, top row first, read through the layer.
std::vector<uint32_t> LockedPixels(ImageObject& bitmap);

}  // namespace snipora::test
