#include "app/glass.h"

#include "app/program.h"
#include "runtime/system_functions.h"

namespace snipora::app {
namespace {

// The frame widths DwmExtendFrameIntoClientArea takes.
struct Margins {
  int32_t left, right, top, bottom;
};

}  // namespace

ULONG_PTR StartGdiplus(std::optional<uint32_t> version) {
  const GdiplusStartupInput input{version.value_or(1), nullptr, FALSE, FALSE};
  ULONG_PTR token = 0;
  sys::GdiplusStartup(&token, &input, nullptr);  // a failed start shows as nothing drawn
  TheProgram().gdiplusToken = token;
  return token;
}

void ApplyGlass(HWND window, Color colorKey, uint32_t layeringFlags, const GlassMargins& margins) {
  const Margins frame{margins.left.value_or(0), margins.right.value_or(0), margins.top.value_or(95),
                      margins.bottom.value_or(20)};
  BOOL composition = FALSE;
  sys::DwmIsCompositionEnabled(&composition);
  if (!composition) return;
  // replaced, not combined: the window keeps only the layered style
  sys::SetWindowLongA(window, GWL_EXSTYLE, WS_EX_LAYERED);
  sys::SetLayeredWindowAttributes(window, colorKey, 0, layeringFlags);
  sys::DwmExtendFrameIntoClientArea(window, &frame);
}

}  // namespace snipora::app
