#include "runtime/picture/picture_format.h"

#include <cstring>

namespace snipora {

PictureFormat RecognizePicture(BytesView bytes) {
  if (bytes.size() < 6) return PictureFormat::None;
  const uint8_t* b = bytes.data();
  if (b[0] == 'B' && b[1] == 'M') return PictureFormat::Bitmap;
  if (b[0] == 0xFF && b[1] == 0xD8) return PictureFormat::Jpeg;
  if (b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0) return PictureFormat::Icon;
  if (b[0] == 0 && b[1] == 0 && b[2] == 2 && b[3] == 0) return PictureFormat::Cursor;
  if (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0) return PictureFormat::Gif;
  if (b[0] == 0x0A && b[1] <= 5 && b[2] <= 1 && b[3] <= 8) return PictureFormat::Pcx;
  return PictureFormat::None;
}

}  // namespace snipora
