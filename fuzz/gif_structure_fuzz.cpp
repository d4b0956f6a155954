// The GIF checks on any file.
#include <cstdint>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "runtime/picture/gif_structure.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  if (const std::optional<PictureSize> accepted = CheckGifFile(file))
    FUZZ_CHECK(PictureSizeAllowed(accepted->width, accepted->height));
  return 0;
}
