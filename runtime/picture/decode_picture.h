#pragma once
// Decoding a drawing panel's background picture from the bytes of an image
// file. The bytes may come from the network: anything malformed, cut short or
// claiming more than picture_limits.h allows gives no picture.
#include <optional>

#include "runtime/byte_set.h"
#include "runtime/picture/picture.h"

namespace snipora {

// BMP, JPEG, ICO, CUR, GIF (first frame) and PCX, as RecognizePicture tells
// them apart. Icons, cursors and GIFs keep their transparency; the other
// formats are opaque.
std::optional<Picture> DecodePicture(BytesView bytes);

}  // namespace snipora
