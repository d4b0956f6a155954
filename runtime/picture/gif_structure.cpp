#include "runtime/picture/gif_structure.h"

#include <cstddef>

#include "runtime/picture/byte_order.h"

namespace snipora {
namespace {

constexpr std::size_t kScreenDescriptorEnd = 13;
constexpr std::size_t kImageDescriptorSize = 10;
constexpr uint8_t kExtension = 0x21;
constexpr uint8_t kImage = 0x2C;

std::size_t ColourTableSize(uint8_t flags) {
  return (flags & 0x80) ? 3 * (std::size_t{2} << (flags & 7)) : 0;
}

// Steps over a chain of data sub-blocks ending in an empty one; the position
// after it, or nothing when the file ends first.
std::optional<std::size_t> SkipSubBlocks(std::span<const uint8_t> file, std::size_t at) {
  while (at < file.size()) {
    const std::size_t length = file[at];
    ++at;
    if (length == 0) return at;
    at += length;
  }
  return std::nullopt;
}

// Whether the first frame is complete and of an acceptable size.
bool FirstFrameComplete(std::span<const uint8_t> file) {
  std::size_t at = kScreenDescriptorEnd + ColourTableSize(file[10]);
  while (at < file.size()) {
    if (file[at] == kExtension) {
      if (!Fits(file.size(), at, 2)) return false;
      const std::optional<std::size_t> next = SkipSubBlocks(file, at + 2);
      if (!next) return false;
      at = *next;
    } else if (file[at] == kImage) {
      if (!Fits(file.size(), at, kImageDescriptorSize + 1)) return false;
      const uint8_t* d = file.data() + at;
      if (!PictureSizeAllowed(Le16(d + 5), Le16(d + 7))) return false;
      at += kImageDescriptorSize + ColourTableSize(d[9]);
      if (at >= file.size()) return false;
      const uint8_t minimumCodeSize = file[at];
      if (minimumCodeSize < 2 || minimumCodeSize > 8) return false;
      return SkipSubBlocks(file, at + 1).has_value();
    } else {
      return false;  // the trailer before any frame, or garbage
    }
  }
  return false;
}

}  // namespace

std::optional<PictureSize> CheckGifFile(std::span<const uint8_t> file) {
  if (file.size() < kScreenDescriptorEnd || file[0] != 'G' || file[1] != 'I' || file[2] != 'F')
    return std::nullopt;
  const PictureSize screen{Le16(file.data() + 6), Le16(file.data() + 8)};
  if (!PictureSizeAllowed(screen.width, screen.height)) return std::nullopt;
  if (!FirstFrameComplete(file)) return std::nullopt;
  return screen;
}

}  // namespace snipora
