// ICO and CUR: the directory is checked first (icon_directory.h); the
// platform builds an icon from the chosen image and draws it.
#include <vector>

#include "runtime/picture/alpha_capture.h"
#include "runtime/picture/icon_directory.h"
#include "runtime/picture/picture_decoders.h"

namespace snipora {
namespace {

std::optional<Picture> DrawIconImage(const IconImage& image) {
  // the platform wants a writable, aligned block of its own
  std::vector<uint8_t> copy(image.bytes.begin(), image.bytes.end());
  const UniqueIcon icon(CreateIconFromResourceEx(copy.data(), DWORD(copy.size()), TRUE, 0x00030000,
                                                 image.width, image.height, LR_DEFAULTCOLOR));
  if (!icon) return std::nullopt;
  return CaptureWithAlpha(image.width, image.height, [&](HDC dc) {
    return DrawIconEx(dc, 0, 0, icon.get(), image.width, image.height, 0, nullptr, DI_NORMAL) != FALSE;
  });
}

}  // namespace

std::optional<Picture> DecodeIconFile(std::span<const uint8_t> file) {
  for (const IconImage& image : IconCandidates(file))
    if (std::optional<Picture> picture = DrawIconImage(image)) return picture;
  return std::nullopt;
}

}  // namespace snipora
