#pragma once
// The decoders that lean on the platform, one per format, each given the
// whole file. Their platform-neutral checks (bitmap_header.h, gif_structure.h,
// icon_directory.h) trust nothing in it: every field is checked before the
// platform sees the file. PCX and JPEG decode without it (pixel_canvas.h).
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/picture.h"

namespace snipora {

std::optional<Picture> DecodeBitmapFile(std::span<const uint8_t> file);
// Icons and cursors alike: the hot spot means nothing to a picture.
std::optional<Picture> DecodeIconFile(std::span<const uint8_t> file);
std::optional<Picture> DecodeGifFile(std::span<const uint8_t> file);

}  // namespace snipora
