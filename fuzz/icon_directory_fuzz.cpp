// The ICO and CUR directory checks on any file: every candidate image lies
// inside the file, within the limits, largest first, few of them.
#include <cstdint>
#include <vector>

#include "fuzz/support/fuzz_check.h"
#include "runtime/picture/icon_directory.h"
#include "runtime/picture/picture_limits.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  const std::vector<IconImage> images = IconCandidates(file);
  FUZZ_CHECK(images.size() <= kMostIconAttempts);
  int64_t previousArea = INT64_MAX;
  for (const IconImage& image : images) {
    FUZZ_CHECK(image.bytes.data() >= file.data() &&
               image.bytes.data() + image.bytes.size() <= file.data() + file.size());
    FUZZ_CHECK(PictureSizeAllowed(image.width, image.height));
    const int64_t area = int64_t{image.width} * image.height;
    FUZZ_CHECK(area <= previousArea);
    previousArea = area;
  }
  return 0;
}
