#pragma once
// GIF files: the structure up to the end of the first frame is checked here,
// bytes in, size out, before the platform's loader is given the file.
// Platform-neutral.
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/picture_limits.h"

namespace snipora {

// The logical screen's size when the file is a GIF whose screen and first
// frame are within the limits and whose first frame is complete; nothing
// otherwise. Later frames are never looked at.
std::optional<PictureSize> CheckGifFile(std::span<const uint8_t> file);

}  // namespace snipora
