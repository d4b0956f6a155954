#include "runtime/picture/alpha_capture.h"

#include <algorithm>

namespace snipora {
namespace {

bool PaintInto(Picture& target, const std::function<bool(HDC)>& paint) {
  const UniqueDC dc(CreateCompatibleDC(nullptr));
  if (!dc) return false;
  const ScopedSelection selection(dc.get(), target.bitmap());
  if (!selection.ok() || !paint(dc.get())) return false;
  GdiFlush();
  return true;
}

uint32_t Channel(uint32_t pixel, int shift) { return pixel >> shift & 0xFF; }

}  // namespace

std::optional<Picture> CaptureWithAlpha(int32_t width, int32_t height,
                                        const std::function<bool(HDC)>& paint) {
  std::optional<Picture> overBlack = Picture::Create(width, height);
  if (!overBlack) return std::nullopt;
  std::optional<Picture> overWhite = Picture::Create(width, height);
  if (!overWhite) return std::nullopt;
  std::ranges::fill(overWhite->pixels(), 0xFFFFFFFFu);
  if (!PaintInto(*overBlack, paint) || !PaintInto(*overWhite, paint)) return std::nullopt;

  std::span<uint32_t> result = overBlack->pixels();
  std::span<const uint32_t> white = overWhite->pixels();
  for (std::size_t i = 0; i < result.size(); ++i) {
    uint32_t spread = 0;
    uint32_t colour[3];
    for (int c = 0; c < 3; ++c) {
      const uint32_t b = Channel(result[i], 8 * c);
      const uint32_t w = Channel(white[i], 8 * c);
      spread += w > b ? w - b : 0;
      colour[c] = b;
    }
    // the mean over the channels evens out the rounding of the platform's blend
    const uint32_t alpha = 255 - (spread + 1) / 3;
    for (uint32_t& c : colour) c = std::min(c, alpha);
    result[i] = Argb(alpha, colour[2], colour[1], colour[0]);
  }
  return overBlack;
}

}  // namespace snipora
