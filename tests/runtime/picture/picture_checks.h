#pragma once
// Checks shared by the picture tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "runtime/picture/decode_picture.h"
#include "runtime/picture/picture_limits.h"
#include "tests/runtime/picture/sample_pictures.h"

namespace snipora::test {

inline std::optional<Picture> Decode(const ByteVector& file) { return DecodePicture(AsBytes(file)); }

inline uint32_t Premultiplied(uint32_t argb) {
  const uint32_t a = argb >> 24;
  auto scale = [a](uint32_t c) { return (c * a + 127) / 255; };
  return Argb(a, scale(argb >> 16 & 0xFF), scale(argb >> 8 & 0xFF), scale(argb & 0xFF));
}

// Every channel, alpha included, within `tolerance` of the expected value.
inline ::testing::AssertionResult Near(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    const int difference = int(actual >> shift & 0xFF) - int(expected >> shift & 0xFF);
    if (std::abs(difference) > tolerance) {
      char text[64];
      std::snprintf(text, sizeof text, "0x%08X, expected 0x%08X", unsigned(actual), unsigned(expected));
      return ::testing::AssertionFailure() << text;
    }
  }
  return ::testing::AssertionSuccess();
}

// What any decoded picture must be, whatever the input: within the limits,
// and premultiplied (no colour channel above alpha).
inline ::testing::AssertionResult WellFormed(const Picture& picture) {
  if (!picture.bitmap() || !PictureSizeAllowed(picture.width(), picture.height()))
    return ::testing::AssertionFailure() << "size " << picture.width() << "x" << picture.height();
  for (uint32_t pixel : picture.pixels()) {
    const uint32_t a = pixel >> 24;
    if ((pixel >> 16 & 0xFF) > a || (pixel >> 8 & 0xFF) > a || (pixel & 0xFF) > a)
      return ::testing::AssertionFailure() << "pixel " << std::hex << pixel << " not premultiplied";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace snipora::test
