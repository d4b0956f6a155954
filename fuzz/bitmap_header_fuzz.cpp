// The BMP checks on any file: what they accept is within the limits, and
// the pixel rows of an uncompressed one lie inside the file.
#include <cstdint>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "runtime/picture/bitmap_header.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  if (const std::optional<PictureSize> accepted = CheckBitmapFile(file)) {
    FUZZ_CHECK(PictureSizeAllowed(accepted->width, accepted->height));
    // uncompressed rows, at least one bit a pixel, all after the two headers
    const bool runLength = size >= 34 && file[14] >= 40 && (file[30] == 1 || file[30] == 2);
    if (!runLength)
      FUZZ_CHECK(uint64_t(accepted->height) * ((uint64_t(accepted->width) + 31) / 32 * 4) + 14 + 12 <= size);
  }
  return 0;
}
