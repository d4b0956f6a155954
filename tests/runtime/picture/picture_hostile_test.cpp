// Malformed, cut-short and lying files: each gives no picture or a sane one,
// and never crashes, reads out of bounds or takes memory for sizes it lacks.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <random>

#include "tests/runtime/picture/picture_checks.h"
#include "tests/support/process_memory.h"

using namespace snipora;
using namespace snipora::test;

namespace {

void Set16(ByteVector& file, std::size_t at, uint32_t v) {
  file[at] = uint8_t(v);
  file[at + 1] = uint8_t(v >> 8);
}
void Set32(ByteVector& file, std::size_t at, uint32_t v) {
  Set16(file, at, v & 0xFFFF);
  Set16(file, at + 2, v >> 16);
}
void SetBe16(ByteVector& file, std::size_t at, uint32_t v) {
  file[at] = uint8_t(v >> 8);
  file[at + 1] = uint8_t(v);
}

Pixels Gradient(int width, int height) {
  Pixels p{width, height, {}};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) p.argb.push_back(Argb(255, x * 255 / width, y * 255 / height, (x + y) * 7));
  return p;
}

std::vector<uint8_t> Indices(std::size_t count, int colours) {
  std::vector<uint8_t> indices(count);
  for (std::size_t i = 0; i < count; ++i) indices[i] = uint8_t(i * 5 % colours);
  return indices;
}

PcxSample Pcx24(int width, int height) {
  PcxSample pcx{.width = width, .height = height, .bitsPerPixel = 8, .planes = 3, .bytesPerLine = width + width % 2};
  const Pixels p = Gradient(width, height);
  for (int y = 0; y < height; ++y)
    for (int shift : {16, 8, 0}) {
      for (int x = 0; x < pcx.bytesPerLine; ++x) pcx.lines.push_back(x < width ? uint8_t(p.at(x, y) >> shift) : 0);
    }
  return pcx;
}

struct Sample {
  const char* name;
  ByteVector file;
  // The shortest prefix that may give a picture: before it, data the
  // picture needs is missing.
  std::size_t completeAt;
};

std::vector<Sample> Samples() {
  std::vector<Sample> samples;
  auto add = [&](const char* name, ByteVector file, std::size_t missingTail = 0) {
    const std::size_t size = file.size();
    samples.push_back({name, std::move(file), size - missingTail});
  };
  add("bmp 24", BitmapFile24(Gradient(5, 3)));
  add("bmp 8", BitmapFile8TopDown(5, 3, {0xFF112233, 0xFF445566, 0xFF778899}, Indices(15, 3)));
  add("jpeg", JpegFile(Gradient(19, 11), JpegKind::Colour, 90));
  add("jpeg progressive", JpegFile(Gradient(19, 11), JpegKind::Progressive, 90));
  add("pcx 24", PcxFile(Pcx24(5, 3)));
  PcxSample vga{.width = 7, .height = 3, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 8, .lines = Indices(24, 40)};
  vga.vgaPalette = std::vector<uint32_t>(256, 0xFF204060);
  // the pixels are all there before the palette: without it they are grey
  add("pcx 8 vga", PcxFile(vga), 769);
  // the trailer after the frame is not needed
  add("gif87a", GifFile(5, 3, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF}, Indices(15, 3)), 1);
  add("gif89a", GifFile(5, 3, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF}, Indices(15, 3), 1), 1);
  add("ico", IconFile({{Gradient(4, 3), 32}}));
  add("cur", IconFile({{Gradient(3, 3), 24}}, true));
  add("ico png", IconFile({{Gradient(4, 2), 32, true}}));
  return samples;
}

TEST(HostilePicture, CutShortAtEveryLength) {
  for (const Sample& sample : Samples()) {
    const auto whole = Decode(sample.file);
    ASSERT_TRUE(whole) << sample.name;
    for (std::size_t length = 0; length < sample.file.size(); ++length) {
      const ByteVector prefix(sample.file.begin(), sample.file.begin() + length);
      const auto picture = Decode(prefix);
      if (length < sample.completeAt) {
        EXPECT_FALSE(picture) << sample.name << " cut to " << length << " of " << sample.file.size();
      } else if (picture) {
        EXPECT_EQ(picture->width(), whole->width()) << sample.name << " " << length;
        EXPECT_EQ(picture->height(), whole->height()) << sample.name << " " << length;
        EXPECT_TRUE(WellFormed(*picture)) << sample.name << " " << length;
      }
    }
  }
}

// One change to a valid file, named for the failure message.
struct Damage {
  const char* what;
  std::function<void(ByteVector&)> apply;
};

// The valid file decodes; each damaged copy of it gives no picture.
void ExpectEachRejected(const ByteVector& valid, const std::vector<Damage>& damages) {
  ASSERT_TRUE(Decode(valid));
  for (const Damage& damage : damages) {
    ByteVector file = valid;
    damage.apply(file);
    EXPECT_FALSE(Decode(file)) << damage.what;
  }
}

// Offsets of the bitmap header fields.
constexpr std::size_t kBmpPixels = 10, kBmpHeaderSize = 14, kBmpWidth = 18, kBmpHeight = 22, kBmpBits = 28,
                      kBmpCompression = 30, kBmpImageSize = 34, kBmpColoursUsed = 46;

TEST(HostileBitmap, ImpossibleSizes) {
  auto size = [](int32_t width, int32_t height) {
    return [=](ByteVector& f) {
      Set32(f, kBmpWidth, uint32_t(width));
      Set32(f, kBmpHeight, uint32_t(height));
    };
  };
  ExpectEachRejected(BitmapFile24(Gradient(3, 2)),
                     {{"100000 x 100000", size(100000, 100000)},
                      {"zero width", size(0, 2)},
                      {"zero height", size(3, 0)},
                      {"negative width", size(-3, 2)},
                      {"height INT32_MIN", size(3, INT32_MIN)},
                      {"too wide", size(16385, 1)},
                      {"allowed size, rows missing", size(4000, 4000)},
                      {"one row missing", size(3, 3)}});
}

TEST(HostileBitmap, HeaderFieldsPointingOutside) {
  ExpectEachRejected(
      BitmapFile8TopDown(3, 2, {0xFF000000, 0xFFFFFFFF}, {0, 1, 0, 1, 0, 1}),
      {{"pixels after the end", [](ByteVector& f) { Set32(f, kBmpPixels, uint32_t(f.size() + 1)); }},
       {"pixels inside the header", [](ByteVector& f) { Set32(f, kBmpPixels, 20); }},
       {"header size", [](ByteVector& f) { Set32(f, kBmpHeaderSize, 0x7FFFFFFF); }},
       {"1000 colours of 8 bits", [](ByteVector& f) { Set32(f, kBmpColoursUsed, 1000); }},
       {"7 bits a pixel", [](ByteVector& f) { Set16(f, kBmpBits, 7); }},
       {"embedded JPEG", [](ByteVector& f) { Set32(f, kBmpCompression, 4); }}});
}

TEST(HostileGif, ImpossibleSizesAndMissingFrame) {
  constexpr std::size_t frame = 13 + 6;  // after the two palette colours
  ExpectEachRejected(
      GifFile(3, 2, {0xFFFF0000, 0xFF0000FF}, {0, 1, 0, 1, 0, 1}),
      {{"screen 65535 x 65535", [](ByteVector& f) { Set16(f, 6, 65535); Set16(f, 8, 65535); }},
       {"screen width 0", [](ByteVector& f) { Set16(f, 6, 0); }},
       {"frame 65535 x 65535", [](ByteVector& f) { Set16(f, frame + 5, 65535); Set16(f, frame + 7, 65535); }},
       {"frame height 0", [](ByteVector& f) { Set16(f, frame + 7, 0); }},
       {"code size 12", [](ByteVector& f) { f[frame + 10] = 12; }},
       {"trailer instead of frame", [](ByteVector& f) { f.resize(frame); f.push_back(0x3B); }},
       {"256 colours missing", [](ByteVector& f) { f[10] |= 7; }}});
}

TEST(HostilePcx, ImpossibleHeaders) {
  ExpectEachRejected(PcxFile(Pcx24(3, 2)),
                     {{"65536 wide", [](ByteVector& f) { Set16(f, 8, 65535); }},
                      {"left of right edge", [](ByteVector& f) { Set16(f, 4, 3); }},
                      {"line shorter than width", [](ByteVector& f) { Set16(f, 66, 2); }},
                      {"3 bits a pixel", [](ByteVector& f) { f[3] = 3; }},
                      {"0 bits a pixel", [](ByteVector& f) { f[3] = 0; }},
                      {"2 planes of 8 bits", [](ByteVector& f) { f[65] = 2; }}});
}

TEST(HostilePcx, RunsPastTheEnd) {
  PcxSample pcx{.width = 4, .height = 2, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 4};
  ByteVector file = PcxFile(pcx);  // no pixel data yet
  // a run of 63 where 8 bytes are wanted: the excess is dropped
  file.insert(file.end(), {0xFF, 0x80});
  const auto picture = Decode(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(3, 1), 0xFF808080u);
  // a run marker as the last byte, without its value
  ByteVector cut = PcxFile(pcx);
  cut.insert(cut.end(), {0xC5, 0x10, 0xC3});
  EXPECT_FALSE(Decode(cut));
  // runs of zero length only
  ByteVector empty = PcxFile(pcx);
  for (int i = 0; i < 100; ++i) empty.insert(empty.end(), {0xC0, 0x55});
  EXPECT_FALSE(Decode(empty));
}

// Wine keeps no peak of the committed memory (it reports the current value),
// but it does keep the peak working set; a new picture is touched at once.
SIZE_T PeakWorkingSet() { return MemoryCounters().PeakWorkingSetSize; }

TEST(HostilePicture, LargeClaimsInSmallFilesTakeNoPixelMemory) {
  // 4096 x 4096 is an allowed size (64 MiB of pixels) that 300 bytes cannot hold
  PcxSample pcx{.width = 4096, .height = 4096, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 4096};
  pcx.lines.assign(300, 0xFF);
  ByteVector bmp = BitmapFile24(Gradient(3, 2));
  Set32(bmp, kBmpWidth, 4096);
  Set32(bmp, kBmpHeight, 4096);
  // run-length encoding may rightly be that short, but not for 64 Mi pixels
  ByteVector rle = BitmapFile8TopDown(4, 1, {0xFF000000, 0xFFFFFFFF}, {0, 1, 0, 1});
  Set32(rle, kBmpWidth, 8192);
  Set32(rle, kBmpHeight, 8192);
  Set32(rle, kBmpCompression, 1);
  Set32(rle, kBmpImageSize, 2);
  rle.insert(rle.end() - 4, {0x00, 0x01});  // the end-of-picture code
  rle.resize(rle.size() - 4);
  ByteVector gif = GifFile(3, 2, {0xFFFF0000, 0xFF0000FF}, {0, 1, 0, 1, 0, 1});
  Set16(gif, 6, 8192);  // the screen around a small frame
  Set16(gif, 8, 8192);

  const SIZE_T before = PeakWorkingSet();
  ASSERT_GT(before, 0u);
  EXPECT_FALSE(Decode(PcxFile(pcx)));
  EXPECT_FALSE(Decode(bmp));
  EXPECT_FALSE(Decode(rle));
  EXPECT_FALSE(Decode(gif));
  EXPECT_LT(PeakWorkingSet() - before, SIZE_T{16} << 20);
}

// libjpeg's SOF marker: FF C0/C2, length, precision, height, width.
std::size_t FindFrameHeader(const ByteVector& jpeg) {
  for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i;
  return 0;
}

TEST(HostileJpeg, ImpossibleSizesAndBrokenMarkers) {
  const ByteVector valid = JpegFile(Gradient(8, 8));
  const std::size_t frame = FindFrameHeader(valid);
  ASSERT_NE(frame, 0u);
  const std::size_t height = frame + 5, width = frame + 7;
  ExpectEachRejected(
      valid, {{"65500 x 65500", [=](ByteVector& f) { SetBe16(f, width, 65500); SetBe16(f, height, 65500); }},
              {"too wide", [=](ByteVector& f) { SetBe16(f, width, 16385); }},
              {"zero width", [=](ByteVector& f) { SetBe16(f, width, 0); }},
              {"zero height", [=](ByteVector& f) { SetBe16(f, height, 0); }},
              {"12-bit samples", [=](ByteVector& f) { f[frame + 4] = 12; }},
              {"no components", [=](ByteVector& f) { f[frame + 9] = 0; }},
              {"nothing between start and end", [](ByteVector& f) { f = {0xFF, 0xD8, 0xFF, 0xD9, 0, 0}; }}});
  // libjpeg's errors ended the decodes, not the process
  EXPECT_TRUE(Decode(valid));
}

TEST(HostileJpeg, EndlessScansAreCutOff) {
  const ByteVector valid = JpegFile(Gradient(16, 16), JpegKind::Progressive);
  std::size_t lastScan = 0;
  for (std::size_t i = 2; i + 1 < valid.size(); ++i)
    if (valid[i] == 0xFF && valid[i + 1] == 0xDA) lastScan = i;
  ASSERT_NE(lastScan, 0u);
  const ByteVector scan(valid.begin() + lastScan, valid.end() - 2);
  auto withRepeats = [&](int repeats) {
    ByteVector file(valid.begin(), valid.end() - 2);
    for (int i = 0; i < repeats; ++i) file.insert(file.end(), scan.begin(), scan.end());
    file.insert(file.end(), {0xFF, 0xD9});
    return file;
  };
  // a few repeated scans are tolerated as the library tolerates them
  EXPECT_TRUE(Decode(withRepeats(3)));
  EXPECT_FALSE(Decode(withRepeats(400)));
}

TEST(HostileIcon, DirectoryPointingOutside) {
  constexpr std::size_t size = 6 + 8, offset = 6 + 12;  // of the first entry
  ExpectEachRejected(
      IconFile({{Gradient(2, 2), 32}}),
      {{"offset after the end", [](ByteVector& f) { Set32(f, offset, uint32_t(f.size() + 10)); }},
       {"offset + size wraps", [](ByteVector& f) { Set32(f, offset, 0xFFFFFFF0); Set32(f, size, 0x20); }},
       {"size past the end", [](ByteVector& f) { Set32(f, size, uint32_t(f.size())); }},
       {"size ends inside the colour rows", [](ByteVector& f) { Set32(f, size, 40 + 8); }},
       {"1000 entries", [](ByteVector& f) { Set16(f, 4, 1000); }},
       {"no entries", [](ByteVector& f) { Set16(f, 4, 0); }}});
}

TEST(HostileIcon, ImageHeadersThatLie) {
  constexpr std::size_t image = 6 + 16;
  ExpectEachRejected(IconFile({{Gradient(2, 2), 32}}),
                     {{"100000 wide", [](ByteVector& f) { Set32(f, image + 4, 100000); }},
                      {"64 wide, rows missing", [](ByteVector& f) { Set32(f, image + 4, 64); }},
                      {"height 0", [](ByteVector& f) { Set32(f, image + 8, 0); }},
                      {"odd height", [](ByteVector& f) { Set32(f, image + 8, 3); }},
                      {"header size", [](ByteVector& f) { Set32(f, image, 0x7FFFFFFF); }},
                      {"7 bits a pixel", [](ByteVector& f) { Set16(f, image + 14, 7); }}});
}

TEST(HostileIcon, ABrokenEntryDoesNotHideAGoodOne) {
  const Pixels good{2, 2, std::vector<uint32_t>(4, 0xFF0000FF)};
  ByteVector file = IconFile({{Gradient(8, 8), 32}, {good, 32}});
  Set32(file, 6 + 12, uint32_t(file.size() + 100));  // the larger image is nowhere
  const auto picture = Decode(file);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width(), 2);
  EXPECT_EQ(picture->pixel(1, 1), 0xFF0000FFu);
}

TEST(HostileIcon, ThousandsOfEntriesOnOneUndecodableImage) {
  ByteVector file = {0, 0, 1, 0, 0xFF, 0xFF};
  const uint32_t image = 6 + 16 * 0xFFFF;
  constexpr uint32_t kImageSize = 40;
  for (int i = 0; i < 0xFFFF; ++i) {
    const std::size_t at = file.size();
    file.resize(at + 16, 0);
    Set32(file, at + 8, kImageSize);
    Set32(file, at + 12, image);
  }
  // a PNG whose header promises 1 x 1 and whose data is rubbish: it passes
  // the checks, and only the platform can find it broken
  const ByteVector png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                          0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0};
  file.insert(file.end(), png.begin(), png.end());
  file.resize(image + kImageSize, 0x5A);
  EXPECT_FALSE(Decode(file));
}

// Random damage to valid files, and random bytes behind each signature.
TEST(HostilePicture, FuzzWithFixedSeed) {
  std::mt19937 random(7140);
  const std::vector<Sample> samples = Samples();
  auto uniform = [&](std::size_t limit) { return std::uniform_int_distribution<std::size_t>(0, limit - 1)(random); };
  int pictures = 0;
  for (int round = 0; round < 3000; ++round) {
    ByteVector file;
    if (round % 4 == 3) {
      const ByteVector& prefix = samples[uniform(samples.size())].file;
      file.assign(prefix.begin(), prefix.begin() + 6);
      file.resize(6 + uniform(300));
      for (std::size_t i = 6; i < file.size(); ++i) file[i] = uint8_t(uniform(256));
    } else {
      file = samples[uniform(samples.size())].file;
      const std::size_t changes = 1 + uniform(8);
      for (std::size_t i = 0; i < changes; ++i) {
        // most damage goes to the headers, where the sizes and offsets live
        const std::size_t at = uniform(2) ? uniform(std::min<std::size_t>(file.size(), 160)) : uniform(file.size());
        file[at] = uniform(3) ? uint8_t(uniform(256)) : uint8_t(0xFF);
      }
      if (uniform(5) == 0) file.resize(uniform(file.size()) + 1);
    }
    const auto picture = Decode(file);
    if (picture) {
      ++pictures;
      ASSERT_TRUE(WellFormed(*picture)) << "round " << round;
    }
  }
  // damage to the pixels alone leaves a picture: the loop reached the decoders
  EXPECT_GT(pictures, 100);
}

}  // namespace
