#include "tests/support/screen_pixels.h"

#include <algorithm>
#include <cstdlib>

namespace snipora::test {

DibCanvas::DibCanvas(int width, int height, uint32_t fill) : width_(width), height_(height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  dc_ = CreateCompatibleDC(nullptr);
  bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = static_cast<uint32_t*>(bits);
  previous_ = SelectObject(dc_, bitmap_);
  if (bits_) std::fill(bits_, bits_ + std::size_t(width) * height, fill);
}

DibCanvas::~DibCanvas() {
  SelectObject(dc_, previous_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
}

uint32_t DibCanvas::at(int x, int y) const {
  GdiFlush();
  return bits_[std::size_t(y) * width_ + x] & 0xFFFFFF;
}

std::vector<uint32_t> DibCanvas::Pixels() const {
  GdiFlush();
  std::vector<uint32_t> pixels(bits_, bits_ + std::size_t(width_) * height_);
  for (uint32_t& p : pixels) p &= 0xFFFFFF;
  return pixels;
}

std::vector<uint32_t> ScreenPixels(const RECT& rect) {
  DibCanvas canvas(rect.right - rect.left, rect.bottom - rect.top);
  HDC screen = GetDC(nullptr);
  BitBlt(canvas.dc(), 0, 0, canvas.width(), canvas.height(), screen, rect.left, rect.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return canvas.Pixels();
}

std::vector<uint32_t> ClientPixels(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
  return ScreenPixels(client);
}

int ColourDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift <= 16; shift += 8)
    worst = std::max(worst, std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)));
  return worst;
}

}  // namespace snipora::test
