#pragma once
// One decoder per format, each given the whole file. They trust nothing in
// it: every field is checked before it is used.
#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/picture.h"

namespace snipora {

std::optional<Picture> DecodeBitmapFile(std::span<const uint8_t> file);
std::optional<Picture> DecodeJpegFile(std::span<const uint8_t> file);
// Icons and cursors alike: the hot spot means nothing to a picture.
std::optional<Picture> DecodeIconFile(std::span<const uint8_t> file);
std::optional<Picture> DecodeGifFile(std::span<const uint8_t> file);
std::optional<Picture> DecodePcxFile(std::span<const uint8_t> file);

}  // namespace snipora
