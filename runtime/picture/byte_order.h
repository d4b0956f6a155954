#pragma once
// Reading the fixed-size fields of file headers. The caller checks with
// Fits() that the bytes are there before reading them.
#include <cstdint>
#include <span>

namespace snipora {

// Whether `count` bytes from `offset` lie inside `size` bytes, without
// overflowing on hostile offsets.
constexpr bool Fits(uint64_t size, uint64_t offset, uint64_t count) {
  return offset <= size && count <= size - offset;
}

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline int32_t Le32Signed(const uint8_t* p) { return static_cast<int32_t>(Le32(p)); }
inline uint32_t Be32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace snipora
