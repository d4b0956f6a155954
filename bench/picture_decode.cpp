// Not in the table: decode times of 400 x 300 pictures, printed in ms, the size of a
// status image or a panel background. Run it by hand; under Wine compare
// figures of one run with each other, not with other runs.
#include <windows.h>

#include <cmath>
#include <cstdio>

#include "runtime/picture/decode_picture.h"
#include "tests/runtime/picture/sample_pictures.h"

using namespace snipora;
using namespace snipora::test;

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kRounds = 30;

Pixels Photo() {
  Pixels p{kWidth, kHeight, {}};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const double wave = std::sin(x * 0.05) * std::cos(y * 0.07);
      p.argb.push_back(Argb(255, uint32_t(127 + 120 * wave), uint32_t(x * 255 / kWidth),
                            uint32_t((x * y) % 251)));
    }
  return p;
}

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void Measure(const char* name, const ByteVector& file) {
  const Bytes bytes = AsBytes(file);
  double best = 1e9, total = 0;
  for (int i = 0; i < kRounds; ++i) {
    LARGE_INTEGER start, end;
    QueryPerformanceCounter(&start);
    const auto picture = DecodePicture(bytes);
    QueryPerformanceCounter(&end);
    if (!picture) {
      std::printf("%-22s failed to decode\n", name);
      return;
    }
    const double ms = Milliseconds(start, end);
    best = ms < best ? ms : best;
    total += ms;
  }
  std::printf("%-22s %7zu bytes  best %7.2f ms  mean %7.2f ms\n", name, file.size(), best, total / kRounds);
}

}  // namespace

int main() {
  const Pixels photo = Photo();
  std::printf("%d x %d, %d rounds each\n", kWidth, kHeight, kRounds);
  Measure("jpeg baseline q85", JpegFile(photo, JpegKind::Colour, 85));
  Measure("jpeg progressive q85", JpegFile(photo, JpegKind::Progressive, 85));
  Measure("jpeg grey q85", JpegFile(photo, JpegKind::Grey, 85));
  Measure("bmp 24", BitmapFile24(photo));
  std::vector<uint8_t> indices(std::size_t(kWidth) * kHeight);
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t(photo.argb[i] >> 12 & 0x0F);
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 16; ++i) palette.push_back(0xFF000000 | i * 0x111111);
  Measure("gif 16 colours", GifFile(kWidth, kHeight, palette, indices));
  PcxSample pcx{.width = kWidth, .height = kHeight, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = kWidth,
              .lines = indices};
  pcx.vgaPalette = palette;
  Measure("pcx 8 bits", PcxFile(pcx));
  return 0;
}
