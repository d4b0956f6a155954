#pragma once
// Bitmaps and GIFs decoded by the platform's OLE picture loader.
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/picture.h"

namespace snipora {

// The caller has checked the file's structure first: the loader is given only
// files whose headers promise a picture within the limits and whose data is
// all there.
std::optional<Picture> LoadOlePicture(std::span<const uint8_t> file);

}  // namespace snipora
