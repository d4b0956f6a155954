#pragma once
// ICO and CUR files: the directory and each image's header are checked here,
// bytes in, candidate images out, before the platform builds an icon from
// one. Platform-neutral.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace snipora {

// Each try costs a copy of the image: a directory of thousands of entries
// that all fail must not cost thousands of copies.
inline constexpr std::size_t kMostIconAttempts = 4;

struct IconImage {
  std::span<const uint8_t> bytes;  // inside the file
  int32_t width;
  int32_t height;
  uint32_t bitCount;  // 32 for PNG images, which carry alpha
};

// The images of an icon or cursor file whose data is all there and whose size
// is within the limits, the largest and deepest first, at most
// kMostIconAttempts of them; the next ones stand in when the platform cannot
// build the first (PNG images on older systems). Empty when the file is not
// an icon or cursor or holds no usable image. Icons and cursors alike: the
// hot spot means nothing to a picture.
std::vector<IconImage> IconCandidates(std::span<const uint8_t> file);

}  // namespace snipora
