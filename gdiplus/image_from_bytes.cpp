#include "gdiplus/image_from_bytes.h"

#include <cstring>

#include "gdiplus/block_stream.h"
#include "runtime/picture/picture_limits.h"
#include "runtime/system_functions.h"

namespace snipora {
namespace {

uint32_t BigEndian32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

// A PNG states its size in its first chunk: one larger than the program's
// pictures may be is refused before GDI+ takes memory for it. Other formats
// and broken headers are left to GDI+'s own checks.
bool ClaimsTooLarge(BytesView bytes) {
  static const uint8_t kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() < 24 || std::memcmp(bytes.data(), kSignature, sizeof kSignature) != 0) return false;
  if (std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) return false;
  return !PictureSizeAllowed(BigEndian32(bytes.data() + 16), BigEndian32(bytes.data() + 20));
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
