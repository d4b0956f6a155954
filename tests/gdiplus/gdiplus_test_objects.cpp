#include "tests/gdiplus/gdiplus_test_objects.h"

#include <cstring>

namespace snipora::test {

struct GpFontFamilyHandle;
struct CharacterRange {
  INT first, length;
};

// The test's own calls of GDI+ go through its import library.
extern "C" {
GpStatus WINAPI GdipCreatePen1(ARGB, float, INT, GpPen**);
GpStatus WINAPI GdipDeletePen(GpPen*);
GpStatus WINAPI GdipCreateSolidFill(ARGB, GpBrush**);
GpStatus WINAPI GdipDeleteBrush(GpBrush*);
GpStatus WINAPI GdipCreateMatrix2(float, float, float, float, float, float, GpMatrix**);
GpStatus WINAPI GdipDeleteMatrix(GpMatrix*);
GpStatus WINAPI GdipGetMatrixElements(const GpMatrix*, float*);
GpStatus WINAPI GdipCreateFontFamilyFromName(const wchar_t*, void*, GpFontFamilyHandle**);
GpStatus WINAPI GdipDeleteFontFamily(GpFontFamilyHandle*);
GpStatus WINAPI GdipCreateFont(const GpFontFamilyHandle*, float, INT, INT, GpFont**);
GpStatus WINAPI GdipDeleteFont(GpFont*);
GpStatus WINAPI GdipCreateStringFormat(INT, LANGID, GpStringFormat**);
GpStatus WINAPI GdipDeleteStringFormat(GpStringFormat*);
GpStatus WINAPI GdipSetStringFormatMeasurableCharacterRanges(GpStringFormat*, INT, const CharacterRange*);
}

TestPen::TestPen(ARGB colour, float width) {
  GpPen* pen = nullptr;
  if (GdipCreatePen1(colour, width, kUnitPixel, &pen) == kGdiplusOk) SetNative(pen);
}
TestPen::~TestPen() {
  if (GetNative()) GdipDeletePen(NativeOf<GpPen*>(*this));
}

TestBrush::TestBrush(ARGB colour) {
  GpBrush* brush = nullptr;
  if (GdipCreateSolidFill(colour, &brush) == kGdiplusOk) SetNative(brush);
}
TestBrush::~TestBrush() {
  if (GetNative()) GdipDeleteBrush(NativeOf<GpBrush*>(*this));
}

TestMatrix::TestMatrix(float m11, float m12, float m21, float m22, float dx, float dy) {
  GpMatrix* matrix = nullptr;
  if (GdipCreateMatrix2(m11, m12, m21, m22, dx, dy, &matrix) == kGdiplusOk) SetNative(matrix);
}
TestMatrix::~TestMatrix() {
  if (GetNative()) GdipDeleteMatrix(NativeOf<GpMatrix*>(*this));
}
std::vector<float> TestMatrix::Elements() const {
  std::vector<float> elements(6, -1.0f);
  GdipGetMatrixElements(NativeOf<GpMatrix*>(*this), elements.data());
  return elements;
}

TestFont::TestFont(float size) {
  GpFontFamilyHandle* family = nullptr;
  if (GdipCreateFontFamilyFromName(L"WenQuanYi Micro Hei", nullptr, &family) != kGdiplusOk) return;
  GpFont* font = nullptr;
  if (GdipCreateFont(family, size, 0, kUnitPixel, &font) == kGdiplusOk) SetNative(font);
  GdipDeleteFontFamily(family);
}
TestFont::~TestFont() {
  if (GetNative()) GdipDeleteFont(NativeOf<GpFont*>(*this));
}

TestStringFormat::TestStringFormat(const std::vector<std::pair<int, int>>& ranges) {
  GpStringFormat* format = nullptr;
  if (GdipCreateStringFormat(0, LANG_NEUTRAL, &format) != kGdiplusOk) return;
  SetNative(format);
  std::vector<CharacterRange> list;
  for (auto [first, length] : ranges) list.push_back({first, length});
  if (!list.empty()) GdipSetStringFormatMeasurableCharacterRanges(format, INT(list.size()), list.data());
}
TestStringFormat::~TestStringFormat() {
  if (GetNative()) GdipDeleteStringFormat(NativeOf<GpStringFormat*>(*this));
}

ScopedStandIn::ScopedStandIn(flat::FlatFunction function, void* standIn)
    : entry_(flat::FlatEntry(function)), address_(entry_.address), module_(entry_.module) {
  entry_.address = standIn;
}
ScopedStandIn::~ScopedStandIn() {
  entry_.address = address_;
  entry_.module = module_;
}

std::vector<uint32_t> LockedPixels(ImageObject& bitmap) {
  const Rect all{0, 0, INT(bitmap.GdipGetImageWidth()), INT(bitmap.GdipGetImageHeight())};
  BitmapData data{};
  std::vector<uint32_t> pixels;
  if (!bitmap.GdipBitmapLockBits(all, 1 /* read */, kPixelFormat32bppArgb, data)) return pixels;
  for (uint32_t y = 0; y < data.height; ++y) {
    const auto* row = static_cast<const uint32_t*>(data.scan0) + std::ptrdiff_t(y) * data.stride / 4;
    pixels.insert(pixels.end(), row, row + data.width);
  }
  bitmap.GdipBitmapUnlockBits(data);
  return pixels;
}

}  // namespace snipora::test
