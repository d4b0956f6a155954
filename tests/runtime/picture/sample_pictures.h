#pragma once
// Small image files of every accepted format, built in memory by the tests.
// Pixels are given top row first as 0xAARRGGBB, not premultiplied.
#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/byte_set.h"

namespace snipora::test {

using ByteVector = std::vector<uint8_t>;

inline Bytes AsBytes(const ByteVector& file) { return Bytes::Copy(file.data(), file.size()); }

struct Pixels {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> argb;  // width * height
  uint32_t at(int x, int y) const { return argb[std::size_t(y) * width + x]; }
};

// 24 bits a pixel, rows bottom-up and padded to 4 bytes; alpha is ignored.
ByteVector BitmapFile24(const Pixels& pixels);
// 8 bits a pixel from a palette, rows top-down (negative height).
ByteVector BitmapFile8TopDown(int width, int height, const std::vector<uint32_t>& palette,
                              const std::vector<uint8_t>& indices);

// PCX from raw scan lines (each `planes * bytesPerLine` bytes, plane after
// plane), run-length encoded unless `raw`. `headerPalette` fills the 16
// header colours; `vgaPalette` (256 colours) is appended after the pixels.
struct PcxSample {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 8;
  int planes = 1;
  int bytesPerLine = 0;
  int version = 5;
  bool raw = false;
  std::vector<uint32_t> headerPalette;
  std::optional<std::vector<uint32_t>> vgaPalette;
  std::vector<uint8_t> lines;  // height scan lines
};
ByteVector PcxFile(const PcxSample& pcx);
// Run-length encodes bytes the way PCX does (runs of at most 63).
ByteVector PcxRunLength(const std::vector<uint8_t>& bytes);

// One frame of palette indices; `transparent` makes it a GIF89a with a
// transparent colour, otherwise a GIF87a.
ByteVector GifFile(int width, int height, const std::vector<uint32_t>& palette, const std::vector<uint8_t>& indices,
                   std::optional<uint8_t> transparent = std::nullopt);

// RGBA, deflate without compression: only for icons that hold PNG images.
ByteVector PngFile(const Pixels& pixels);

// One image of an icon or cursor file.
struct IconSample {
  Pixels pixels;
  int bitCount = 32;  // 32: alpha from the pixels; 24: mask bit set where alpha is 0
  bool png = false;   // stored as a PNG file instead of a DIB
};
ByteVector IconFile(const std::vector<IconSample>& images, bool cursor = false);

// JPEG by libjpeg's own compressor, quality 100 without colour subsampling.
enum class JpegKind { Colour, Grey, Progressive, Cmyk };
ByteVector JpegFile(const Pixels& pixels, JpegKind kind = JpegKind::Colour, int quality = 100);

}  // namespace snipora::test
