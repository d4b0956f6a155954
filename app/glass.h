#pragma once
// GDI+ start-up and the glass frame of the glass main window.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "runtime/bits.h"

namespace snipora::app {

ULONG_PTR StartGdiplus(std::optional<uint32_t> version = std::nullopt);

struct GlassMargins {
  std::optional<int32_t> left, right, top, bottom;  // absent: 0, 0, 95, 20
};
void ApplyGlass(HWND window, Color colorKey, uint32_t layeringFlags, const GlassMargins& margins = {});

}  // namespace snipora::app
