#pragma once
// Pixels to compare: a 32-bit bitmap to draw into, and what the screen shows.
// Every pixel is 0x00RRGGBB, rows top first.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace snipora::test {

// A top-down 32-bit DIB section selected into its own memory DC.
class DibCanvas {
 public:
  DibCanvas(int width, int height, uint32_t fill = 0);
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;
  ~DibCanvas();

  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  int width() const { return width_; }
  int height() const { return height_; }
  uint32_t at(int x, int y) const;
  std::vector<uint32_t> Pixels() const;

 private:
  int width_, height_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  uint32_t* bits_ = nullptr;
};

// The screen inside `rect` (screen coordinates).
std::vector<uint32_t> ScreenPixels(const RECT& rect);
// What the screen shows of a window's client area.
std::vector<uint32_t> ClientPixels(HWND window);

// Channel-wise distance between two 0x00RRGGBB colours: the largest of the
// three differences.
int ColourDistance(uint32_t a, uint32_t b);

}  // namespace snipora::test
