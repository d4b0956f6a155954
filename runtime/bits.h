#pragma once
// Integer and colour primitives.
#include <cstdint>
#include <type_traits>

namespace snipora {

// A Windows colour value: red in the low byte, then green, then blue.
using Color = uint32_t;
// Stands for the system's button-face colour.
inline constexpr Color kButtonFaceColor = 0xFF000000u;

constexpr int32_t BitNot(int32_t x) { return ~x; }

template <class... More>
constexpr int32_t BitAnd(int32_t a, int32_t b, More... more) {
  return ((a & b) & ... & int32_t(more));
}

template <class... More>
constexpr int32_t BitOr(int32_t a, int32_t b, More... more) {
  return ((a | b) | ... | int32_t(more));
}

// Arithmetic shift by n AND 31.
constexpr int32_t ShiftRight(int32_t x, int32_t n) { return x >> (n & 31); }

constexpr Color MakeColor(int32_t red, int32_t green, int32_t blue) {
  return Color(red & 0xFF) | Color(green & 0xFF) << 8 | Color(blue & 0xFF) << 16;
}

constexpr double ToNumber(int32_t value) { return value; }

// A procedure's machine address, for handing it to the system as a callback.
template <class Procedure>
  requires std::is_function_v<std::remove_pointer_t<Procedure>>
double ToNumber(Procedure procedure) {
  return static_cast<double>(reinterpret_cast<uintptr_t>(procedure));
}

}  // namespace snipora
