#include "runtime/picture/decode_picture.h"

#include "runtime/picture/picture_decoders.h"
#include "runtime/picture/picture_format.h"

namespace snipora {

std::optional<Picture> DecodePicture(BytesView bytes) {
  const std::span<const uint8_t> file = bytes.span();
  switch (RecognizePicture(bytes)) {
    case PictureFormat::Bitmap: return DecodeBitmapFile(file);
    case PictureFormat::Jpeg: return DecodeJpegFile(file);
    case PictureFormat::Icon:
    case PictureFormat::Cursor: return DecodeIconFile(file);
    case PictureFormat::Gif: return DecodeGifFile(file);
    case PictureFormat::Pcx: return DecodePcxFile(file);
    case PictureFormat::None: break;
  }
  return std::nullopt;
}

}  // namespace snipora
