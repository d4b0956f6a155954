#pragma once
// The picture formats a drawing panel accepts as background picture, told
// apart by their first bytes.
#include "runtime/byte_set.h"

namespace snipora {

enum class PictureFormat { None, Bitmap, Jpeg, Icon, Cursor, Gif, Pcx };

// None for data shorter than 6 bytes and for every other format (PNG too).
// PCX: 0x0A, then a version of at most 5, an encoding of at most 1 and at
// most 8 bits per pixel and plane.
PictureFormat RecognizePicture(BytesView bytes);

}  // namespace snipora
