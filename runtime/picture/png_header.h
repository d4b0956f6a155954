#pragma once
// The size a PNG file states in its first chunk, read before anything is
// decoded, so that a claim beyond the limits is refused before memory is
// taken for it. Platform-neutral.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

#include "runtime/picture/byte_order.h"

namespace snipora {

inline constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

inline bool StartsAsPng(std::span<const uint8_t> bytes) {
  return bytes.size() >= sizeof kPngSignature && std::memcmp(bytes.data(), kPngSignature, sizeof kPngSignature) == 0;
}

struct PngStatedSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// Nothing when the bytes are no PNG signature followed by an IHDR chunk.
inline std::optional<PngStatedSize> ReadPngStatedSize(std::span<const uint8_t> bytes) {
  // signature, then the IHDR chunk: length, type, width, height
  if (bytes.size() < 24 || !StartsAsPng(bytes) || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0)
    return std::nullopt;
  return PngStatedSize{Be32(bytes.data() + 16), Be32(bytes.data() + 20)};
}

}  // namespace snipora
