#include "runtime/picture/picture.h"

#include <algorithm>
#include <utility>

#include "runtime/picture/picture_limits.h"
#include "runtime/system_functions.h"

namespace snipora {

std::optional<Picture> Picture::Create(int32_t width, int32_t height) {
  if (!PictureSizeAllowed(width, height)) return std::nullopt;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!bitmap || !bits) return std::nullopt;
  Picture picture(std::move(bitmap), static_cast<uint32_t*>(bits), width, height);
  std::ranges::fill(picture.pixels(), 0u);
  return picture;
}

Picture::Picture(UniqueBitmap bitmap, uint32_t* bits, int32_t width, int32_t height) noexcept
    : bitmap_(std::move(bitmap)), bits_(bits), width_(width), height_(height) {}

Picture::Picture(Picture&& other) noexcept
    : bitmap_(std::move(other.bitmap_)),
      bits_(std::exchange(other.bits_, nullptr)),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)) {}

Picture& Picture::operator=(Picture&& other) noexcept {
  if (this != &other) {
    bitmap_ = std::move(other.bitmap_);
    bits_ = std::exchange(other.bits_, nullptr);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
  }
  return *this;
}

bool DrawPicture(HDC dc, const Picture& picture, int x, int y) {
  if (!dc || !picture.bitmap()) return false;
  UniqueDC source(CreateCompatibleDC(dc));
  if (!source) return false;
  const ScopedSelection selection(source.get(), picture.bitmap());
  if (!selection.ok()) return false;
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  return sys::AlphaBlend(dc, x, y, picture.width(), picture.height(), source.get(), 0, 0, picture.width(),
                    picture.height(), blend) != FALSE;
}

}  // namespace snipora
