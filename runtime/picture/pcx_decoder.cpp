// PCX, decoded here without the platform: rows of one to four bit planes,
// run-length encoded or raw, with the palette in the header (up to 16
// colours) or after the pixel data (256 colours).
#include <algorithm>
#include <array>
#include <vector>

#include "runtime/picture/argb.h"
#include "runtime/picture/byte_order.h"
#include "runtime/picture/pixel_canvas.h"

namespace snipora {
namespace {

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kHeaderPalette = 16;
constexpr std::size_t kVgaPaletteSize = 1 + 256 * 3;  // marker byte, then RGB triples
constexpr uint8_t kVgaPaletteMarker = 0x0C;
constexpr uint8_t kRunFlag = 0xC0;
constexpr uint32_t kLongestRun = 0x3F;

using Palette = std::array<uint32_t, 256>;

// The colours a 16-colour picture gets when its header holds no palette.
constexpr std::array<uint32_t, 16> kEgaColours = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

struct PcxHeader {
  uint8_t version;
  bool runLength;
  uint32_t bitsPerPixel;  // per plane
  uint32_t planes;
  int64_t width;
  int64_t height;
  uint32_t bytesPerLine;  // per plane
};

PcxHeader ReadHeader(std::span<const uint8_t> file) {
  const uint8_t* h = file.data();
  return PcxHeader{h[1],
                   h[2] == 1,
                   h[3],
                   h[65],
                   int64_t{Le16(h + 8)} - Le16(h + 4) + 1,
                   int64_t{Le16(h + 10)} - Le16(h + 6) + 1,
                   Le16(h + 66)};
}

bool LayoutSupported(const PcxHeader& h) {
  switch (h.bitsPerPixel) {
    case 1: return h.planes >= 1 && h.planes <= 4;
    case 2:
    case 4: return h.planes == 1;
    case 8: return h.planes == 1 || h.planes == 3;
    default: return false;
  }
}

uint32_t Opaque(uint32_t red, uint32_t green, uint32_t blue) { return Argb(255, red, green, blue); }

Palette MakePalette(const PcxHeader& h, std::span<const uint8_t> file) {
  Palette palette{};
  if (h.bitsPerPixel == 8 && h.planes == 1) {
    const bool vga = file.size() >= kHeaderSize + kVgaPaletteSize &&
                     file[file.size() - kVgaPaletteSize] == kVgaPaletteMarker;
    const uint8_t* p = file.data() + file.size() - kVgaPaletteSize + 1;
    for (uint32_t i = 0; i < 256; ++i)
      // without its palette the picture is shown in shades of grey
      palette[i] = vga ? Opaque(p[3 * i], p[3 * i + 1], p[3 * i + 2]) : Opaque(i, i, i);
    return palette;
  }
  if (h.bitsPerPixel == 1 && h.planes == 1) {
    palette[0] = Opaque(0, 0, 0);
    palette[1] = Opaque(255, 255, 255);
    return palette;
  }
  const uint8_t* p = file.data() + kHeaderPalette;
  const bool headerEmpty = std::all_of(p, p + 48, [](uint8_t b) { return b == 0; });
  for (uint32_t i = 0; i < 16; ++i)
    palette[i] = (h.version == 3 || headerEmpty) ? (0xFF000000u | kEgaColours[i])
                                                 : Opaque(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
  return palette;
}

// The encoded pixel bytes; a run may carry on into the next row.
class PixelStream {
 public:
  PixelStream(std::span<const uint8_t> data, bool runLength) : data_(data), runLength_(runLength) {}

  // Fills `out`; false when the data ends first.
  bool Read(std::span<uint8_t> out) {
    std::size_t filled = 0;
    while (filled < out.size()) {
      if (runLeft_) {
        const std::size_t n = std::min<std::size_t>(runLeft_, out.size() - filled);
        std::fill_n(out.begin() + filled, n, runValue_);
        runLeft_ -= uint32_t(n);
        filled += n;
        continue;
      }
      if (at_ >= data_.size()) return false;
      const uint8_t b = data_[at_++];
      if (runLength_ && (b & kRunFlag) == kRunFlag) {
        if (at_ >= data_.size()) return false;
        runLeft_ = b & kLongestRun;
        runValue_ = data_[at_++];
      } else {
        out[filled++] = b;
      }
    }
    return true;
  }

 private:
  std::span<const uint8_t> data_;
  bool runLength_;
  std::size_t at_ = 0;
  uint32_t runLeft_ = 0;
  uint8_t runValue_ = 0;
};

// Bit `x` of a row packed `bits` to a pixel, most significant first.
uint32_t PackedIndex(const uint8_t* plane, int64_t x, uint32_t bits) {
  const uint64_t bit = uint64_t(x) * bits;
  return (plane[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
}

void ConvertRow(const PcxHeader& h, const Palette& palette, const uint8_t* line, std::span<uint32_t> out) {
  for (int64_t x = 0; x < h.width; ++x) {
    if (h.planes == 3 && h.bitsPerPixel == 8) {
      out[x] = Opaque(line[x], line[h.bytesPerLine + x], line[2 * h.bytesPerLine + x]);
    } else if (h.bitsPerPixel == 1) {
      uint32_t index = 0;
      for (uint32_t p = 0; p < h.planes; ++p) index |= PackedIndex(line + p * h.bytesPerLine, x, 1) << p;
      out[x] = palette[index];
    } else {
      out[x] = palette[PackedIndex(line, x, h.bitsPerPixel)];
    }
  }
}

}  // namespace

bool DecodePcxPixels(std::span<const uint8_t> file, const CanvasFor& canvas) {
  if (file.size() < kHeaderSize || file[0] != 0x0A) return false;
  const PcxHeader h = ReadHeader(file);
  if (h.version > 5 || file[2] > 1 || !LayoutSupported(h)) return false;
  if (!PictureSizeAllowed(h.width, h.height)) return false;
  if (uint64_t{h.bytesPerLine} * 8 < uint64_t(h.width) * h.bitsPerPixel) return false;

  // A file too short to hold every row even at the best compression is cut
  // short: turn it down before taking memory for its pixels.
  const uint64_t encoded = file.size() - kHeaderSize;
  const uint64_t mostDecodable = h.runLength ? encoded / 2 * kLongestRun + encoded % 2 : encoded;
  const uint64_t lineSize = uint64_t{h.bytesPerLine} * h.planes;
  if (lineSize * uint64_t(h.height) > mostDecodable) return false;

  const Palette palette = MakePalette(h, file);
  const std::span<uint32_t> pixels = canvas(PictureSize{int32_t(h.width), int32_t(h.height)});
  if (pixels.empty()) return false;
  std::vector<uint8_t> line(lineSize);
  PixelStream stream(file.subspan(kHeaderSize), h.runLength);
  for (int64_t y = 0; y < h.height; ++y) {
    if (!stream.Read(line)) return false;
    ConvertRow(h, palette, line.data(), pixels.subspan(std::size_t(y * h.width), std::size_t(h.width)));
  }
  return true;
}

}  // namespace snipora
