// The JPEG samples, made with libjpeg's compressor.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "tests/runtime/picture/sample_pictures.h"

namespace snipora::test {

ByteVector JpegFile(const Pixels& pixels, JpegKind kind, int quality) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = JDIMENSION(pixels.width);
  info.image_height = JDIMENSION(pixels.height);
  info.input_components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
  info.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : kind == JpegKind::Cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  if (kind == JpegKind::Progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);

  std::vector<uint8_t> row(std::size_t(pixels.width) * info.input_components);
  while (info.next_scanline < info.image_height) {
    const int y = int(info.next_scanline);
    for (int x = 0; x < pixels.width; ++x) {
      const uint32_t argb = pixels.at(x, y);
      const uint8_t r = uint8_t(argb >> 16), g = uint8_t(argb >> 8), b = uint8_t(argb);
      uint8_t* out = row.data() + std::size_t(x) * info.input_components;
      if (kind == JpegKind::Grey) {
        out[0] = g;
      } else if (kind == JpegKind::Cmyk) {
        // stored inverted, as files with the Adobe marker are: white ink 255
        const uint8_t k = std::max({r, g, b});
        out[0] = k ? uint8_t(r * 255 / k) : 255;
        out[1] = k ? uint8_t(g * 255 / k) : 255;
        out[2] = k ? uint8_t(b * 255 / k) : 255;
        out[3] = k;
      } else {
        out[0] = r;
        out[1] = g;
        out[2] = b;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  ByteVector file(buffer, buffer + size);
  std::free(buffer);
  return file;
}

}  // namespace snipora::test
