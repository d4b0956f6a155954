// Decoding small valid files of every accepted format.
#include <gtest/gtest.h>

#include "tests/runtime/picture/picture_checks.h"

using namespace snipora;
using namespace snipora::test;

namespace {

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;
constexpr uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kOlive = 0xFF808000, kTeal = 0xFF008080;

// 3 x 2: three colours over three others.
Pixels SixColours() { return {3, 2, {kRed, kGreen, kBlue, kWhite, kOlive, kTeal}}; }

void ExpectPixels(const Picture& picture, const Pixels& expected, int tolerance = 0) {
  ASSERT_EQ(picture.width(), expected.width);
  ASSERT_EQ(picture.height(), expected.height);
  for (int y = 0; y < expected.height; ++y)
    for (int x = 0; x < expected.width; ++x)
      EXPECT_TRUE(Near(picture.pixel(x, y), Premultiplied(expected.at(x, y)), tolerance)) << x << "," << y;
  EXPECT_TRUE(WellFormed(picture));
}

TEST(DecodeBitmap, TwentyFourBitsBottomUpWithPaddedRows) {
  const auto picture = Decode(BitmapFile24(SixColours()));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, SixColours());
}

TEST(DecodeBitmap, PaletteTopDown) {
  const auto picture = Decode(BitmapFile8TopDown(3, 2, {kBlack, kRed, kTeal}, {1, 0, 2, 2, 2, 1}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, {3, 2, {kRed, kBlack, kTeal, kTeal, kTeal, kRed}});
}

// Two 8 x 8 blocks of one colour each: the transform reproduces flat blocks
// almost exactly.
Pixels TwoBlocks(uint32_t left, uint32_t right) {
  Pixels p{16, 8, {}};
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) p.argb.push_back(x < 8 ? left : right);
  return p;
}

TEST(DecodeJpeg, ColourBaselineAndProgressive) {
  const Pixels expected = TwoBlocks(0xFFC04020, 0xFF2080E0);
  for (JpegKind kind : {JpegKind::Colour, JpegKind::Progressive}) {
    const auto picture = Decode(JpegFile(expected, kind));
    ASSERT_TRUE(picture) << int(kind);
    ExpectPixels(*picture, expected, 3);
  }
}

TEST(DecodeJpeg, GreyBecomesEqualChannels) {
  const auto picture = Decode(JpegFile(TwoBlocks(0xFF404040, 0xFFD0D0D0), JpegKind::Grey));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, TwoBlocks(0xFF404040, 0xFFD0D0D0), 1);
}

TEST(DecodeJpeg, InvertedCmykFromTheAdobeMarker) {
  const auto picture = Decode(JpegFile(TwoBlocks(kRed, 0xFF336699), JpegKind::Cmyk));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, TwoBlocks(kRed, 0xFF336699), 4);
}

// Scan lines of one-bit planes: plane p holds bit p of each pixel's index.
std::vector<uint8_t> PlanarLines(const std::vector<uint8_t>& indices, int width, int height, int planes,
                                 int bytesPerLine) {
  std::vector<uint8_t> lines(std::size_t(height) * planes * bytesPerLine, 0);
  for (int y = 0; y < height; ++y)
    for (int p = 0; p < planes; ++p)
      for (int x = 0; x < width; ++x)
        if (indices[y * width + x] >> p & 1)
          lines[std::size_t(y * planes + p) * bytesPerLine + x / 8] |= uint8_t(0x80 >> (x % 8));
  return lines;
}

TEST(DecodePcx, TwentyFourBitsInThreePlanes) {
  const Pixels expected = SixColours();
  PcxSample pcx{.width = 3, .height = 2, .bitsPerPixel = 8, .planes = 3, .bytesPerLine = 4};
  for (int y = 0; y < 2; ++y)
    for (int shift : {16, 8, 0}) {
      for (int x = 0; x < 3; ++x) pcx.lines.push_back(uint8_t(expected.at(x, y) >> shift));
      pcx.lines.push_back(0);  // even line length
    }
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, expected);

  pcx.raw = true;
  const auto raw = Decode(PcxFile(pcx));
  ASSERT_TRUE(raw);
  ExpectPixels(*raw, expected);
}

TEST(DecodePcx, EightBitsWithVgaPaletteAndLongRuns) {
  // 100 pixels of one colour need two runs; a run may go on into the next line
  PcxSample pcx{.width = 100, .height = 2, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 100};
  pcx.lines.assign(200, 7);
  pcx.lines[199] = 0xC5;  // a value that looks like a run marker
  std::vector<uint32_t> palette(256, kBlack);
  palette[7] = kOlive;
  palette[0xC5] = kTeal;
  pcx.vgaPalette = palette;
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->width(), 100);
  EXPECT_EQ(picture->pixel(0, 0), kOlive);
  EXPECT_EQ(picture->pixel(99, 0), kOlive);
  EXPECT_EQ(picture->pixel(98, 1), kOlive);
  EXPECT_EQ(picture->pixel(99, 1), kTeal);
}

TEST(DecodePcx, EightBitsWithoutPaletteAreGrey) {
  PcxSample pcx{.width = 2, .height = 1, .bitsPerPixel = 8, .planes = 1, .bytesPerLine = 2, .lines = {0x10, 0xF0}};
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(0, 0), 0xFF101010u);
  EXPECT_EQ(picture->pixel(1, 0), 0xFFF0F0F0u);
}

TEST(DecodePcx, OneBitPlanesIndexTheHeaderPalette) {
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 16; ++i) palette.push_back(0xFF000000 | i * 0x100F01);
  // sixteen colours in four planes, and eight in three: three one-bit planes
  // are no 24-bit picture, and lines shorter than the width in bytes must
  // not be read as one
  for (const int planes : {4, 3}) {
    SCOPED_TRACE(planes);
    std::vector<uint8_t> indices = {0, 5, 10, 15, 3, 12, 9, 6};
    for (uint8_t& index : indices) index &= uint8_t((1 << planes) - 1);
    PcxSample pcx{.width = 4, .height = 2, .bitsPerPixel = 1, .planes = planes, .bytesPerLine = 1,
                  .headerPalette = palette, .lines = PlanarLines(indices, 4, 2, planes, 1)};
    const auto picture = Decode(PcxFile(pcx));
    ASSERT_TRUE(picture);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(picture->pixel(i % 4, i / 4), palette[indices[i]]) << i;
  }
}

TEST(DecodePcx, SixteenColoursWithoutHeaderPaletteUseTheEgaColours) {
  // version 3 carries no palette information
  PcxSample pcx{.width = 4, .height = 1, .bitsPerPixel = 4, .planes = 1, .bytesPerLine = 2, .version = 3,
               .headerPalette = {kRed, kRed, kRed}, .lines = {0x01, 0x9F}};
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(0, 0), 0xFF000000u);
  EXPECT_EQ(picture->pixel(1, 0), 0xFF0000AAu);
  EXPECT_EQ(picture->pixel(2, 0), 0xFF5555FFu);
  EXPECT_EQ(picture->pixel(3, 0), 0xFFFFFFFFu);
}

TEST(DecodePcx, FourColoursPackedTwoBits) {
  PcxSample pcx{.width = 4, .height = 1, .bitsPerPixel = 2, .planes = 1, .bytesPerLine = 2,
               .headerPalette = {kRed, kGreen, kBlue, kWhite}, .lines = {0b00011011, 0}};
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, {4, 1, {kRed, kGreen, kBlue, kWhite}});
}

TEST(DecodePcx, MonochromeIsBlackAndWhite) {
  // 9 pixels wide: the second byte of the line holds the ninth
  PcxSample pcx{.width = 9, .height = 1, .bitsPerPixel = 1, .planes = 1, .bytesPerLine = 2,
               .headerPalette = {kRed, kGreen}, .lines = {0b10100000, 0b10000000}};
  const auto picture = Decode(PcxFile(pcx));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->pixel(0, 0), kWhite);
  EXPECT_EQ(picture->pixel(1, 0), kBlack);
  EXPECT_EQ(picture->pixel(2, 0), kWhite);
  EXPECT_EQ(picture->pixel(7, 0), kBlack);
  EXPECT_EQ(picture->pixel(8, 0), kWhite);
}

TEST(DecodeGif, Gif87aPalette) {
  const std::vector<uint32_t> palette = {kRed, kGreen, kBlue, kWhite, kOlive, kTeal};
  const auto picture = Decode(GifFile(3, 2, palette, {0, 1, 2, 3, 4, 5}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, SixColours());
}

TEST(DecodeGif, Gif89aTransparentColourHasAlphaZero) {
  const auto picture = Decode(GifFile(3, 2, {kRed, kGreen, kBlue, kWhite}, {0, 3, 1, 3, 2, 0}, 3));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, {3, 2, {kRed, 0, kGreen, 0, kBlue, kRed}});
}

TEST(DecodeGif, LongerThanOneSubBlock) {
  std::vector<uint8_t> indices(40 * 30);
  for (std::size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t(i * 7 % 16);
  std::vector<uint32_t> palette;
  for (uint32_t i = 0; i < 16; ++i) palette.push_back(0xFF000000 | i * 0x0F0A05);
  const auto picture = Decode(GifFile(40, 30, palette, indices));
  ASSERT_TRUE(picture);
  ASSERT_EQ(picture->width(), 40);
  for (int i = 0; i < 40 * 30; i += 37) EXPECT_EQ(picture->pixel(i % 40, i / 40), palette[indices[i]]) << i;
}

// 2 x 2 with one pixel of each: opaque, half, quarter and no alpha.
Pixels AlphaSquare() { return {2, 2, {kRed, 0x80008000, 0x400000FF, 0x00FFFFFF}}; }

TEST(DecodeIcon, ThirtyTwoBitsKeepTheirAlpha) {
  const auto picture = Decode(IconFile({{AlphaSquare(), 32}}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, AlphaSquare(), 2);
}

TEST(DecodeIcon, MaskMakesTwentyFourBitsTransparent) {
  const Pixels expected{3, 2, {kRed, 0, kGreen, 0, kBlue, kWhite}};
  const auto picture = Decode(IconFile({{expected, 24}}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, expected);
}

TEST(DecodeIcon, TheLargestImageIsShown) {
  const Pixels small{1, 1, {kRed}};
  const Pixels large{4, 4, std::vector<uint32_t>(16, kBlue)};
  const auto picture = Decode(IconFile({{small, 32}, {large, 32}, {small, 24}}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, large);
}

TEST(DecodeIcon, PngImageInsideTheIcon) {
  const Pixels large{3, 3, std::vector<uint32_t>(9, 0x80FF0000)};
  const auto picture = Decode(IconFile({{{1, 1, {kBlue}}, 32}, {large, 32, true}}));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, large, 2);
}

TEST(DecodeCursor, LikeAnIcon) {
  const auto picture = Decode(IconFile({{AlphaSquare(), 32}}, true));
  ASSERT_TRUE(picture);
  ExpectPixels(*picture, AlphaSquare(), 2);
}

}  // namespace
