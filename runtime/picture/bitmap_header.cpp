#include "runtime/picture/bitmap_header.h"

#include <cstdlib>

#include "runtime/picture/byte_order.h"

namespace snipora {
namespace {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;

enum Compression : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

struct BitmapHeader {
  uint32_t size;
  int64_t width;
  int64_t height;  // negative: rows top-down
  uint32_t planes;
  uint32_t bitCount;
  uint32_t compression;
  uint32_t imageSize;
  uint32_t coloursUsed;
};

bool KnownInfoHeaderSize(uint32_t size) {
  // BITMAPINFOHEADER, its two extensions with colour masks, V4 and V5
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

std::optional<BitmapHeader> ReadHeader(std::span<const uint8_t> file) {
  if (!Fits(file.size(), kFileHeaderSize, 4)) return std::nullopt;
  const uint8_t* h = file.data() + kFileHeaderSize;
  BitmapHeader header{};
  header.size = Le32(h);
  if (!Fits(file.size(), kFileHeaderSize, header.size)) return std::nullopt;
  if (header.size == kCoreHeaderSize) {
    header.width = Le16(h + 4);
    header.height = Le16(h + 6);
    header.planes = Le16(h + 8);
    header.bitCount = Le16(h + 10);
    header.compression = kRgb;
    return header;
  }
  if (!KnownInfoHeaderSize(header.size)) return std::nullopt;
  header.width = Le32Signed(h + 4);
  header.height = Le32Signed(h + 8);
  header.planes = Le16(h + 12);
  header.bitCount = Le16(h + 14);
  header.compression = Le32(h + 16);
  header.imageSize = Le32(h + 20);
  header.coloursUsed = Le32(h + 32);
  return header;
}

bool PixelFormatValid(const BitmapHeader& h) {
  switch (h.compression) {
    case kRgb:
      return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 ||
             h.bitCount == 24 || h.bitCount == 32;
    case kRle8: return h.bitCount == 8 && h.height > 0;
    case kRle4: return h.bitCount == 4 && h.height > 0;
    case kBitFields: return (h.bitCount == 16 || h.bitCount == 32) && h.size != kCoreHeaderSize;
    default: return false;  // embedded JPEG or PNG and the rarer schemes
  }
}

// Everything the loader reads must lie inside the file: header, masks,
// palette and every row of pixels.
bool PartsInsideFile(const BitmapHeader& h, std::span<const uint8_t> file) {
  const uint64_t size = file.size();
  const uint64_t pixelOffset = Le32(file.data() + 10);
  if (pixelOffset < kFileHeaderSize + h.size || pixelOffset > size) return false;

  const uint64_t fullPalette = h.bitCount <= 8 ? uint64_t{1} << h.bitCount : 0;
  const uint64_t paletteEntries = h.coloursUsed ? h.coloursUsed : fullPalette;
  if (paletteEntries > (fullPalette ? fullPalette : 256)) return false;
  const uint64_t entrySize = h.size == kCoreHeaderSize ? 3 : 4;
  const uint64_t masks = h.size == 40 && h.compression == kBitFields ? 12 : 0;
  if (!Fits(size, kFileHeaderSize + h.size, masks + paletteEntries * entrySize)) return false;

  if (h.compression == kRle8 || h.compression == kRle4)
    return h.imageSize > 0 && Fits(size, pixelOffset, h.imageSize);
  const uint64_t stride = (uint64_t(h.width) * h.bitCount + 31) / 32 * 4;
  return Fits(size, pixelOffset, stride * uint64_t(std::llabs(h.height)));
}

}  // namespace

std::optional<PictureSize> CheckBitmapFile(std::span<const uint8_t> file) {
  if (file.size() < 2 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
  const std::optional<BitmapHeader> header = ReadHeader(file);
  if (!header || header->planes != 1 || !PixelFormatValid(*header)) return std::nullopt;
  if (!PictureSizeAllowed(header->width, std::llabs(header->height))) return std::nullopt;
  if (!PartsInsideFile(*header, file)) return std::nullopt;
  return PictureSize{int32_t(header->width), int32_t(std::llabs(header->height))};
}

}  // namespace snipora
