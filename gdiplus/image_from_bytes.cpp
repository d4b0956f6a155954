#include "gdiplus/image_from_bytes.h"

#include "gdiplus/block_stream.h"
#include "runtime/system_functions.h"

namespace snipora {

GpImage* LoadImageFromBytes(BytesView bytes, const GUID* frameDimension) {
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
