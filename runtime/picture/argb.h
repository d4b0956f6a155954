#pragma once
// One pixel as the decoders write it: 0xAARRGGBB, colour premultiplied by
// alpha (the form AlphaBlend takes).
#include <cstdint>

namespace snipora {

constexpr uint32_t Argb(uint32_t alpha, uint32_t red, uint32_t green, uint32_t blue) {
  return (alpha & 0xFF) << 24 | (red & 0xFF) << 16 | (green & 0xFF) << 8 | (blue & 0xFF);
}

}  // namespace snipora
