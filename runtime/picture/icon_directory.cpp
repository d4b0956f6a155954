#include "runtime/picture/icon_directory.h"

#include <algorithm>
#include <optional>

#include "runtime/picture/byte_order.h"
#include "runtime/picture/picture_limits.h"
#include "runtime/picture/png_header.h"

namespace snipora {
namespace {

constexpr std::size_t kDirectoryHeaderSize = 6;
constexpr std::size_t kEntrySize = 16;
constexpr uint32_t kRgb = 0;  // uncompressed

std::optional<IconImage> InspectPng(std::span<const uint8_t> bytes) {
  const std::optional<PngStatedSize> size = ReadPngStatedSize(bytes);
  if (!size || !PictureSizeAllowed(size->width, size->height)) return std::nullopt;
  return IconImage{bytes, int32_t(size->width), int32_t(size->height), 32};
}

// An icon image is a DIB header, its palette, the colour rows and the
// one-bit mask rows, in that order; its height counts both sets of rows.
std::optional<IconImage> InspectDib(std::span<const uint8_t> bytes) {
  if (bytes.size() < 40) return std::nullopt;
  const uint8_t* h = bytes.data();
  const uint32_t headerSize = Le32(h);
  const int64_t width = Le32Signed(h + 4);
  const int64_t doubleHeight = Le32Signed(h + 8);
  const uint32_t bitCount = Le16(h + 14);
  const uint32_t compression = Le32(h + 16);
  const uint32_t coloursUsed = Le32(h + 32);
  if (headerSize < 40 || headerSize > bytes.size() || compression != kRgb) return std::nullopt;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return std::nullopt;
  if (doubleHeight <= 0 || doubleHeight % 2 != 0) return std::nullopt;
  const int64_t height = doubleHeight / 2;
  if (!PictureSizeAllowed(width, height)) return std::nullopt;

  const uint64_t fullPalette = bitCount <= 8 ? uint64_t{1} << bitCount : 0;
  const uint64_t paletteEntries = coloursUsed ? coloursUsed : fullPalette;
  if (paletteEntries > (fullPalette ? fullPalette : 256)) return std::nullopt;
  const uint64_t colourStride = (uint64_t(width) * bitCount + 31) / 32 * 4;
  const uint64_t maskStride = (uint64_t(width) + 31) / 32 * 4;
  const uint64_t needed = headerSize + paletteEntries * 4 + (colourStride + maskStride) * uint64_t(height);
  if (needed > bytes.size()) return std::nullopt;
  return IconImage{bytes, int32_t(width), int32_t(height), bitCount};
}

std::optional<IconImage> InspectImage(std::span<const uint8_t> file, const uint8_t* entry) {
  const uint32_t size = Le32(entry + 8);
  const uint32_t offset = Le32(entry + 12);
  if (!Fits(file.size(), offset, size)) return std::nullopt;
  const std::span<const uint8_t> bytes = file.subspan(offset, size);
  if (StartsAsPng(bytes)) return InspectPng(bytes);
  return InspectDib(bytes);
}

}  // namespace

std::vector<IconImage> IconCandidates(std::span<const uint8_t> file) {
  std::vector<IconImage> images;
  if (file.size() < kDirectoryHeaderSize) return images;
  const uint16_t reserved = Le16(file.data());
  const uint16_t type = Le16(file.data() + 2);
  const uint16_t count = Le16(file.data() + 4);
  if (reserved != 0 || (type != 1 && type != 2) || count == 0) return images;
  if (!Fits(file.size(), kDirectoryHeaderSize, std::size_t{count} * kEntrySize)) return images;

  for (std::size_t i = 0; i < count; ++i)
    if (auto image = InspectImage(file, file.data() + kDirectoryHeaderSize + i * kEntrySize))
      images.push_back(*image);
  std::ranges::stable_sort(images, [](const IconImage& a, const IconImage& b) {
    const int64_t areaA = int64_t{a.width} * a.height;
    const int64_t areaB = int64_t{b.width} * b.height;
    return areaA != areaB ? areaA > areaB : a.bitCount > b.bitCount;
  });
  if (images.size() > kMostIconAttempts) images.resize(kMostIconAttempts);
  return images;
}

}  // namespace snipora
