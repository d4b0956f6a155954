#pragma once
// The records GDI+'s flat interface takes and fills, laid out as GDI+ lays
// them out, and the callback types it calls back through.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace snipora {

using ARGB = uint32_t;
using PROPID = uint32_t;
using GraphicsState = uint32_t;
using GraphicsContainer = uint32_t;

inline constexpr int32_t kPixelFormat32bppArgb = 0x0026200A;
inline constexpr int32_t kUnitPixel = 2;

// Float variants carry 32-bit floats; the integer variants (names ending
// in I) 32-bit signed integers.
struct PointF {
  float x, y;
  bool operator==(const PointF&) const = default;
};
struct Point {
  int32_t x, y;
  bool operator==(const Point&) const = default;
};
struct RectF {
  float x, y, width, height;
  bool operator==(const RectF&) const = default;
};
struct Rect {
  int32_t x, y, width, height;
  bool operator==(const Rect&) const = default;
};
static_assert(sizeof(PointF) == 8 && sizeof(Point) == 8 && sizeof(RectF) == 16 && sizeof(Rect) == 16);

template <class T>
inline constexpr bool kIsGeometryRecord = std::is_same_v<T, PointF> || std::is_same_v<T, Point> ||
                                          std::is_same_v<T, RectF> || std::is_same_v<T, Rect>;

// What GdipBitmapLockBits fills in.
struct BitmapData {
  uint32_t width;
  uint32_t height;
  int32_t stride;
  int32_t pixelFormat;
  void* scan0;
  UINT_PTR reserved;
};

// One property item of an image: its value follows the record in the
// caller's buffer.
struct PropertyItem {
  PROPID id;
  ULONG length;  // bytes of value
  WORD type;
  void* value;
};

struct ColorPalette {
  UINT flags;
  UINT count;
  ARGB entries[1];
};

using DrawImageAbort = BOOL(CALLBACK*)(void* data);
using GetThumbnailImageAbort = BOOL(CALLBACK*)(void* data);
using EnumerateMetafileProc = BOOL(CALLBACK*)(int recordType, UINT flags, UINT dataSize, const BYTE* data,
                                              void* callbackData);

#if defined(__i386__)
static_assert(sizeof(BitmapData) == 24 && sizeof(PropertyItem) == 16);
#endif

}  // namespace snipora
