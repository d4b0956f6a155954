#pragma once
// A parent window for skin tests: it paints a known gradient in WM_PAINT
// (never in WM_ERASEBKGND), logs what its children send it, and answers
// colour queries with a brush of its own so that a query passed on is seen.
#include <windows.h>

#include <cstdint>
#include <vector>

namespace snipora::test {

struct LoggedMessage {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

class TestParent {
 public:
  // Shown at (left, top) of the screen, client area width x height.
  TestParent(int width, int height, DWORD style = WS_CLIPCHILDREN);
  TestParent(const TestParent&) = delete;
  TestParent& operator=(const TestParent&) = delete;
  ~TestParent();

  HWND hwnd() const { return hwnd_; }
  // A child window of the "Static" class, visible.
  HWND AddChild(int left, int top, int width, int height, const char* cls = "Static", DWORD style = SS_NOTIFY);

  std::vector<LoggedMessage> log;
  static constexpr LRESULT kOwnBrushMark = 0x5A5A;  // what its colour answer looks like
  int paints = 0;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
};

// The colour the parent paints at client (x, y): 0x00RRGGBB.
constexpr uint32_t GradientAt(int x, int y) {
  return uint32_t((x * 3) & 0xFF) << 16 | uint32_t((y * 5) & 0xFF) << 8 | 0x40;
}

// Runs the thread's messages for about `ms` milliseconds.
void PumpFor(DWORD ms);

// src over dst for one channel, as 8-bit alpha blending rounds it.
constexpr int Blend(int src, int dst, int alpha) { return (src * alpha + dst * (255 - alpha) + 127) / 255; }
uint32_t BlendColour(uint32_t src, uint32_t dst, int alpha);

}  // namespace snipora::test
