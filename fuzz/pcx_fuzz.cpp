// The PCX decoder on any file.
#include "fuzz/picture_pixels_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzPixelDecoder(snipora::DecodePcxPixels, data, size);
  return 0;
}
