#include "gdiplus/marshalling.h"

#include <cmath>

#include "gdiplus/flat_functions.h"
#include "runtime/system_functions.h"

namespace snipora {

WideText::WideText(TextView text) {
  // the sizing call counts the terminator; the buffer starts zero-filled, so
  // the converted text ends in a zero whatever the second call writes
  const int units = sys::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  units_.assign(static_cast<std::size_t>(std::max(units, 1)), L'\0');
  const int bytes = TextLength(text);
  if (bytes > 0) sys::MultiByteToWideChar(CP_ACP, 0, text.c_str(), bytes, units_.data(), static_cast<int>(units_.size()));
  length_ = flat::lstrlenW(units_.data());
}

int32_t TruncateToInt(float value) noexcept {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(value);
}

}  // namespace snipora
