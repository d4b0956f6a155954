#pragma once
// The largest picture a drawing panel accepts. Checked against what a file's
// header claims before any pixel memory is taken: a picture costs 4 bytes a
// pixel, and the platform decoders need a second copy while they render, so
// 16 Mi pixels (64 MiB) keeps the worst case well inside a 32-bit process.
#include <cstdint>

namespace snipora {

inline constexpr int64_t kMaxPictureSide = 16384;
inline constexpr int64_t kMaxPicturePixels = int64_t{16} * 1024 * 1024;

struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
};

constexpr bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

}  // namespace snipora
