#pragma once
// The opaque handle types of GDI+'s flat interface, as the late-bound
// declarations name them. A bitmap is an image: the flat functions that take
// an image take a bitmap too.
#include <cstdint>

namespace snipora {

struct GpGraphicsHandle;
struct GpImageHandle;
struct GpRegionHandle;
using GpGraphics = GpGraphicsHandle;
using GpImage = GpImageHandle;
using GpBitmap = GpImageHandle;
using GpRegion = GpRegionHandle;

// The status every flat function answers; 0 is Ok.
using GpStatus = int32_t;
inline constexpr GpStatus kGdiplusOk = 0;

}  // namespace snipora
