#include "gdiplus/image_from_bytes.h"

#include "gdiplus/block_stream.h"
#include "runtime/picture/picture_limits.h"
#include "runtime/picture/png_header.h"
#include "runtime/system_functions.h"

namespace snipora {
namespace {

// A PNG states its size in its first chunk: one larger than the program's
// pictures may be is refused before GDI+ takes memory for it. Other formats
// and broken headers are left to GDI+'s own checks.
bool ClaimsTooLarge(BytesView bytes) {
  const std::optional<PngStatedSize> size = ReadPngStatedSize(bytes.span());
  return size && !PictureSizeAllowed(size->width, size->height);
}

}  // namespace

GpImage* LoadImageFromBytes(BytesView bytes, const GUID* frameDimension) {
  if (ClaimsTooLarge(bytes)) return nullptr;
  BlockStream block;
  IStream* stream = block.Open(bytes, true);
  if (!stream) return nullptr;
  GpImage* image = nullptr;
  if (sys::GdipLoadImageFromStream(stream, &image) != kGdiplusOk || !image) return nullptr;  // block frees all
  if (frameDimension) sys::GdipImageSelectActiveFrame(image, frameDimension, 0);
  block.Abandon();
  return image;
}

}  // namespace snipora
