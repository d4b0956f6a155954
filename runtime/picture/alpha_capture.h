#pragma once
// Turning what a platform drawing call paints into a Picture with alpha. The
// platform offers no way to read back the transparency of a GIF or the alpha
// of an icon, but drawing them twice shows it: once over black, once over
// white. Where the two agree the pixel is opaque; where they differ by d the
// alpha is 255 - d, and the result over black is already the premultiplied
// colour.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "runtime/picture/picture.h"

namespace snipora {

// `paint` draws the image at (0, 0), unscaled, into the device context it is
// given, and says whether it succeeded. It is called twice.
std::optional<Picture> CaptureWithAlpha(int32_t width, int32_t height,
                                        const std::function<bool(HDC)>& paint);

}  // namespace snipora
