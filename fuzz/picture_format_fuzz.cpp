// Telling a drawing panel's picture formats apart by their first bytes.
#include <cstdint>
#include <cstring>

#include "fuzz/support/fuzz_check.h"
#include "runtime/picture/picture_format.h"

using namespace snipora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const Bytes bytes = Bytes::Copy(data, size);
  const PictureFormat format = RecognizePicture(bytes);
  if (size < 6) FUZZ_CHECK(format == PictureFormat::None);
  if (size >= 8 && std::memcmp(data, "\x89PNG\r\n\x1a\n", 8) == 0) FUZZ_CHECK(format == PictureFormat::None);
  return 0;
}
