#pragma once
// BMP files: everything the platform's loader would read is checked here,
// bytes in, size out, before the loader is given the file. Platform-neutral.
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/picture_limits.h"

namespace snipora {

// The picture's size when the file is a BMP whose header, masks, palette and
// every row of pixels lie inside it, in a form the loader knows, within the
// limits; nothing otherwise.
std::optional<PictureSize> CheckBitmapFile(std::span<const uint8_t> file);

}  // namespace snipora
