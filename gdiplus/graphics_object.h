#pragma once
// GraphicsObject: a GDI+ graphics handle. Its operations follow the base
// ones in the order of its flat-function list: GdipDeleteGraphics (delete)
// first, then creating, rendering state, coordinates, outlines, fills, text,
// images, metafiles, clipping and state.
#include <memory>
#include <span>
#include <vector>

#include "gdiplus/gdiplus_object.h"
#include "gdiplus/object_operations.h"
#include "gdiplus/region_object.h"

// The operations written out by hand, in their place in the list.
#define SNIPORA_HAND_GdipDeleteGraphics                                                            \
  /* false, and nothing called, when there is no graphics */                                       \
  virtual bool GdipDeleteGraphics();
#define SNIPORA_HAND_GdipFillRectangle                                                             \
  virtual bool GdipFillRectangle(const GdiplusObject& brush, float x, float y, float width, float height); \
  virtual bool GdipFillRectangle(const GdiplusObject& brush, const RectF& rect);
#define SNIPORA_HAND_GdipMeasureCharacterRanges                                                    \
  /* replaces the objects `regions` held by `count` new regions, one per character range of   */  \
  /* `format`, each created before the call: GDI+ fills regions that exist                     */  \
  virtual bool GdipMeasureCharacterRanges(TextView text, const GdiplusObject& font, const RectF& layout, \
                                          const GdiplusObject* format, int32_t count,            \
                                          std::vector<std::unique_ptr<RegionObject>>& regions);
#define SNIPORA_HAND_GdipDrawDriverString                                                          \
  /* GDI+ reads one position per character, or one in all with flag 4 (realized advance): */   \
  /* missing positions reach it as (0, 0)                                                   */   \
  virtual bool GdipDrawDriverString(TextView text, const GdiplusObject& font, const GdiplusObject& brush, \
                                    std::span<PointF> positions, int32_t flags = 1,               \
                                    const GdiplusObject* matrix = nullptr);
#define SNIPORA_HAND_GdipDrawCachedBitmap                                                          \
  /* x and y truncated toward zero */                                                              \
  virtual bool GdipDrawCachedBitmap(const GdiplusObject& cachedBitmap, float x, float y);
#define SNIPORA_HAND_GdipDrawImageRectRect                                                         \
  /* the whole image, its size read from GDI+, into a destination rectangle */                     \
  virtual bool GdipDrawImageRectRect(const GdiplusObject& image, float x, float y, float width, float height); \
  virtual bool GdipDrawImageRectRect(const GdiplusObject& image, float x, float y, float width, float height, \
                                     float srcX, float srcY, float srcWidth, float srcHeight,     \
                                     int32_t srcUnit = kUnitPixel, const GdiplusObject* attributes = nullptr);
#define SNIPORA_HAND_GdipDrawImageRectRectI                                                        \
  virtual bool GdipDrawImageRectRectI(const GdiplusObject& image, int32_t x, int32_t y, int32_t width, \
                                      int32_t height);                                             \
  virtual bool GdipDrawImageRectRectI(const GdiplusObject& image, int32_t x, int32_t y, int32_t width, \
                                      int32_t height, int32_t srcX, int32_t srcY, int32_t srcWidth, \
                                      int32_t srcHeight, int32_t srcUnit = kUnitPixel,            \
                                      const GdiplusObject* attributes = nullptr);

namespace snipora {

class GraphicsObject : public GdiplusObject {
 public:
  GraphicsObject() noexcept = default;
  ~GraphicsObject() override;  // runs GdipDeleteGraphics
  [[nodiscard]] std::unique_ptr<GdiplusObject> Clone() const override;
  void OnNativeChanged(void* handle) override;
  SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_OPERATION_DECLARATION)

  GpGraphics* graphics() const noexcept { return graphics_; }

 protected:
  GraphicsObject(const GraphicsObject&) = default;  // for Clone

 private:
  void ReleaseHandle() { GdipDeleteGraphics(); }

  GpGraphics* graphics_ = nullptr;
};

}  // namespace snipora
