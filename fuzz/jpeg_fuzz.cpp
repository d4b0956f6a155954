// The JPEG path through libjpeg on any file: no crash, no leak when the
// decoder leaves part way, no hang on files of many scans.
#include "fuzz/picture_pixels_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzPixelDecoder(snipora::DecodeJpegPixels, data, size);
  return 0;
}
