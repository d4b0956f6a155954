// GIF: the structure is checked first (gif_structure.h), the first frame is
// decoded by the platform.
#include "runtime/picture/gif_structure.h"
#include "runtime/picture/ole_picture.h"
#include "runtime/picture/picture_decoders.h"

namespace snipora {

std::optional<Picture> DecodeGifFile(std::span<const uint8_t> file) {
  if (!CheckGifFile(file)) return std::nullopt;
  return LoadOlePicture(file);
}

}  // namespace snipora
