#include "gdiplus/graphics_object.h"

#include <algorithm>

namespace snipora {
namespace {

// The whole image as a source rectangle: each size read goes to LastStatus.
SIZE ImageSize(const GdiplusObject& image) {
  UINT width = 0, height = 0;
  Succeeded(flat::GdipGetImageWidth(NativeOf<GpImage*>(image), &width));
  Succeeded(flat::GdipGetImageHeight(NativeOf<GpImage*>(image), &height));
  return {static_cast<LONG>(width), static_cast<LONG>(height)};
}

}  // namespace

GraphicsObject::~GraphicsObject() { GdipDeleteGraphics(); }

std::unique_ptr<GdiplusObject> GraphicsObject::Clone() const {
  return std::unique_ptr<GdiplusObject>(new GraphicsObject(*this));
}

void GraphicsObject::OnNativeChanged(void* handle) { graphics_ = static_cast<GpGraphics*>(handle); }

bool GraphicsObject::GdipDeleteGraphics() {
  if (!graphics_) return false;
  const GpStatus status = flat::GdipDeleteGraphics(graphics_);
  SetNative(nullptr);
  return Succeeded(status);
}

bool GraphicsObject::GdipFillRectangle(const GdiplusObject& brush, float x, float y, float width, float height) {
  return Succeeded(flat::GdipFillRectangle(graphics_, NativeOf<GpBrush*>(brush), x, y, width, height));
}

bool GraphicsObject::GdipFillRectangle(const GdiplusObject& brush, const RectF& rect) {
  return Succeeded(
      flat::GdipFillRectangle(graphics_, NativeOf<GpBrush*>(brush), rect.x, rect.y, rect.width, rect.height));
}

bool GraphicsObject::GdipMeasureCharacterRanges(TextView text, const GdiplusObject& font, const RectF& layout,
                                                const GdiplusObject* format, int32_t count,
                                                std::vector<std::unique_ptr<RegionObject>>& regions) {
  regions.clear();
  std::vector<GpRegion*> handles;
  for (int32_t i = 0; i < count; ++i) {
    auto region = std::make_unique<RegionObject>();
    region->GdipCreateRegion();
    handles.push_back(region->region());
    regions.push_back(std::move(region));
  }
  const WideText wide(text);
  if (!Succeeded(flat::GdipMeasureCharacterRanges(graphics_, wide.data(), wide.length(), NativeOf<const GpFont*>(font),
                                                  &layout, NativeOf<const GpStringFormat*>(format),
                                                  std::max(count, 0), handles.empty() ? nullptr : handles.data())))
    return false;
  for (std::size_t i = 0; i < regions.size(); ++i) regions[i]->SetNative(handles[i]);
  return true;
}

bool GraphicsObject::GdipDrawDriverString(TextView text, const GdiplusObject& font, const GdiplusObject& brush,
                                          std::span<PointF> positions, int32_t flags, const GdiplusObject* matrix) {
  constexpr int32_t kRealizedAdvance = 4;
  const WideText wide(text);
  const std::size_t needed = (flags & kRealizedAdvance) ? 1 : static_cast<std::size_t>(wide.length());
  std::vector<PointF> padded(positions.begin(), positions.end());
  if (padded.size() < needed) padded.resize(needed, PointF{0, 0});
  const GpStatus status = flat::GdipDrawDriverString(
      graphics_, reinterpret_cast<const UINT16*>(wide.data()), wide.length(), NativeOf<const GpFont*>(font),
      NativeOf<const GpBrush*>(brush), padded.empty() ? nullptr : padded.data(), flags,
      NativeOf<const GpMatrix*>(matrix));
  return Succeeded(status);
}

bool GraphicsObject::GdipDrawCachedBitmap(const GdiplusObject& cachedBitmap, float x, float y) {
  return Succeeded(flat::GdipDrawCachedBitmap(graphics_, NativeOf<GpCachedBitmap*>(cachedBitmap), TruncateToInt(x),
                                              TruncateToInt(y)));
}

bool GraphicsObject::GdipDrawImageRectRect(const GdiplusObject& image, float x, float y, float width, float height) {
  const SIZE source = ImageSize(image);
  return GdipDrawImageRectRect(image, x, y, width, height, 0, 0, static_cast<float>(source.cx),
                               static_cast<float>(source.cy));
}

bool GraphicsObject::GdipDrawImageRectRect(const GdiplusObject& image, float x, float y, float width, float height,
                                           float srcX, float srcY, float srcWidth, float srcHeight, int32_t srcUnit,
                                           const GdiplusObject* attributes) {
  return Succeeded(flat::GdipDrawImageRectRect(graphics_, NativeOf<GpImage*>(image), x, y, width, height, srcX, srcY,
                                               srcWidth, srcHeight, srcUnit,
                                               NativeOf<const GpImageAttributes*>(attributes), nullptr, nullptr));
}

bool GraphicsObject::GdipDrawImageRectRectI(const GdiplusObject& image, int32_t x, int32_t y, int32_t width,
                                            int32_t height) {
  const SIZE source = ImageSize(image);
  return GdipDrawImageRectRectI(image, x, y, width, height, 0, 0, source.cx, source.cy);
}

bool GraphicsObject::GdipDrawImageRectRectI(const GdiplusObject& image, int32_t x, int32_t y, int32_t width,
                                            int32_t height, int32_t srcX, int32_t srcY, int32_t srcWidth,
                                            int32_t srcHeight, int32_t srcUnit, const GdiplusObject* attributes) {
  return Succeeded(flat::GdipDrawImageRectRectI(graphics_, NativeOf<GpImage*>(image), x, y, width, height, srcX, srcY,
                                                srcWidth, srcHeight, srcUnit,
                                                NativeOf<const GpImageAttributes*>(attributes), nullptr, nullptr));
}

#define SNIPORA_GRAPHICS_OPERATION(...) SNIPORA_OPERATION_DEFINITION(GraphicsObject, graphics_, __VA_ARGS__)
SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_GRAPHICS_OPERATION)

}  // namespace snipora
