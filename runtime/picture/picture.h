#pragma once
// A decoded picture, ready to paint: a 32-bit top-down DIB section whose
// pixels are 0xAARRGGBB with the colour premultiplied by alpha (the form
// AlphaBlend takes). Opaque formats give alpha 255 everywhere.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

#include "runtime/picture/argb.h"
#include "runtime/win_handles.h"

namespace snipora {

class Picture {
 public:
  // Every pixel transparent black; nothing when the size is outside the
  // limits of picture_limits.h or GDI refuses the bitmap.
  static std::optional<Picture> Create(int32_t width, int32_t height);

  Picture(Picture&& other) noexcept;
  Picture& operator=(Picture&& other) noexcept;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  ~Picture() = default;

  int32_t width() const noexcept { return width_; }
  int32_t height() const noexcept { return height_; }
  HBITMAP bitmap() const noexcept { return bitmap_.get(); }

  // Rows top to bottom, width() pixels each. Call GdiFlush before reading
  // after GDI has drawn into the bitmap.
  std::span<uint32_t> pixels() noexcept { return {bits_, pixel_count()}; }
  std::span<const uint32_t> pixels() const noexcept { return {bits_, pixel_count()}; }
  std::span<uint32_t> row(int32_t y) noexcept { return pixels().subspan(std::size_t(y) * width_, width_); }
  uint32_t pixel(int32_t x, int32_t y) const noexcept { return bits_[std::size_t(y) * width_ + x]; }

 private:
  Picture(UniqueBitmap bitmap, uint32_t* bits, int32_t width, int32_t height) noexcept;
  std::size_t pixel_count() const noexcept { return std::size_t(width_) * std::size_t(height_); }

  UniqueBitmap bitmap_;
  uint32_t* bits_ = nullptr;  // owned by bitmap_
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// Paints the picture unscaled with its top-left corner at (x, y), blended
// over what the device context already shows. Whatever lies outside the
// context's clipping (the panel's edges) is cut off; a smaller picture leaves
// the rest of the panel as it was. False when GDI refuses.
bool DrawPicture(HDC dc, const Picture& picture, int x, int y);

}  // namespace snipora
