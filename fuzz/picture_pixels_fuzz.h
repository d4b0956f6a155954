#pragma once
// Shared by the targets of the decoders that write pixels themselves: the
// canvas is asked for once, for a size within the limits, and every byte of
// the file the decoder reads lies inside it (AddressSanitizer watches).
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "runtime/picture/pixel_canvas.h"

inline void FuzzPixelDecoder(bool (*decode)(std::span<const uint8_t>, const snipora::CanvasFor&), const uint8_t* data,
                             std::size_t size) {
  // a copy of exactly the input's size, so a read past its end is seen
  const std::vector<uint8_t> file(data, data + size);
  std::vector<uint32_t> pixels;
  int asked = 0;
  const bool decoded = decode(file, [&](snipora::PictureSize s) {
    ++asked;
    FUZZ_CHECK(snipora::PictureSizeAllowed(s.width, s.height));
    pixels.assign(std::size_t(s.width) * std::size_t(s.height), 0);
    return std::span<uint32_t>(pixels);
  });
  FUZZ_CHECK(asked <= 1);
  if (decoded) FUZZ_CHECK(asked == 1);
}
