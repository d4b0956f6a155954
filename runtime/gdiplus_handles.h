#pragma once
// The opaque handle types of GDI+'s flat interface, as the late-bound
// declarations name them. A bitmap is an image: the flat functions that take
// an image take a bitmap too.
#include <cstdint>

namespace snipora {

struct GpGraphicsHandle;
struct GpImageHandle;
struct GpRegionHandle;
struct GpMatrixHandle;
struct GpPenHandle;
struct GpBrushHandle;
struct GpFontHandle;
struct GpStringFormatHandle;
struct GpPathHandle;
struct GpImageAttributesHandle;
struct GpCachedBitmapHandle;
struct GpMetafileHandle;
struct GpEffectHandle;
using GpGraphics = GpGraphicsHandle;
using GpImage = GpImageHandle;
using GpBitmap = GpImageHandle;
using GpRegion = GpRegionHandle;
using GpMatrix = GpMatrixHandle;
using GpPen = GpPenHandle;
using GpBrush = GpBrushHandle;
using GpFont = GpFontHandle;
using GpStringFormat = GpStringFormatHandle;
using GpPath = GpPathHandle;
using GpImageAttributes = GpImageAttributesHandle;
using GpCachedBitmap = GpCachedBitmapHandle;
using GpMetafile = GpMetafileHandle;
using CGpEffect = GpEffectHandle;

// GDI+'s start-up input record: version, debug-event callback, and whether
// to suppress the background thread and the external codecs.
struct GdiplusStartupInput {
  uint32_t version = 1;
  void* debugEventCallback = nullptr;
  int32_t suppressBackgroundThread = 0;
  int32_t suppressExternalCodecs = 0;
};
#if defined(__i386__)
static_assert(sizeof(GdiplusStartupInput) == 16, "four 32-bit fields on 32-bit Windows");
#endif

// The status every flat function answers; 0 is Ok.
using GpStatus = int32_t;
inline constexpr GpStatus kGdiplusOk = 0;

}  // namespace snipora
