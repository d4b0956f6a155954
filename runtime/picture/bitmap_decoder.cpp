// BMP: the header is checked first (bitmap_header.h), the pixels are decoded
// by the platform.
#include "runtime/picture/bitmap_header.h"
#include "runtime/picture/ole_picture.h"
#include "runtime/picture/picture_decoders.h"

namespace snipora {

std::optional<Picture> DecodeBitmapFile(std::span<const uint8_t> file) {
  const std::optional<PictureSize> size = CheckBitmapFile(file);
  if (!size) return std::nullopt;
  std::optional<Picture> picture = LoadOlePicture(file);
  if (picture && (picture->width() != size->width || picture->height() != size->height)) return std::nullopt;
  return picture;
}

}  // namespace snipora
