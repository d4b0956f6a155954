#include "runtime/picture/decode_picture.h"

#include "runtime/picture/picture_decoders.h"
#include "runtime/picture/picture_format.h"
#include "runtime/picture/pixel_canvas.h"

namespace snipora {
namespace {

// A decoder that writes pixels itself, writing into a painting bitmap.
std::optional<Picture> DecodeIntoPicture(bool (*decode)(std::span<const uint8_t>, const CanvasFor&),
                                         std::span<const uint8_t> file) {
  std::optional<Picture> picture;
  const bool decoded = decode(file, [&picture](PictureSize size) {
    picture = Picture::Create(size.width, size.height);
    return picture ? picture->pixels() : std::span<uint32_t>();
  });
  if (!decoded) return std::nullopt;
  return picture;
}

}  // namespace

std::optional<Picture> DecodePicture(BytesView bytes) {
  const std::span<const uint8_t> file = bytes.span();
  switch (RecognizePicture(bytes)) {
    case PictureFormat::Bitmap: return DecodeBitmapFile(file);
    case PictureFormat::Jpeg: return DecodeIntoPicture(DecodeJpegPixels, file);
    case PictureFormat::Icon:
    case PictureFormat::Cursor: return DecodeIconFile(file);
    case PictureFormat::Gif: return DecodeGifFile(file);
    case PictureFormat::Pcx: return DecodeIntoPicture(DecodePcxPixels, file);
    case PictureFormat::None: break;
  }
  return std::nullopt;
}

}  // namespace snipora
