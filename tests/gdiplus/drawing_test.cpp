// Real drawing through the layer into bitmaps, checked by their locked
// pixels: fills, lines, an image drawn at its resolution, regions combined;
// and what the layer reads back from GDI+: frame delays, character ranges.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <vector>

#include "gdiplus/graphics_object.h"
#include "gdiplus/image_object.h"
#include "gdiplus/region_object.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/gdiplus/gdiplus_test_objects.h"
#include "tests/runtime/picture/sample_pictures.h"

namespace snipora {
namespace {

constexpr ARGB kWhite = 0xFFFFFFFF, kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;

// A bitmap and a graphics drawing on it.
class Drawing : public ::testing::Test {
 protected:
  void Start(int width, int height) {
    width_ = width;
    ASSERT_TRUE(bitmap_.GdipCreateBitmapFromScan0(width, height));
    ASSERT_TRUE(graphics_.GdipGetImageGraphicsContext(bitmap_));
    ASSERT_TRUE(graphics_.GdipGraphicsClear());  // white unless told otherwise
  }
  uint32_t At(int x, int y) {
    graphics_.GdipDeleteGraphics();  // drawing done: the pixels are the bitmap's
    if (pixels_.empty()) pixels_ = test::LockedPixels(bitmap_);
    return pixels_[std::size_t(y) * width_ + x];
  }

  test::GdiplusSession gdiplus_;
  ImageObject bitmap_;
  GraphicsObject graphics_;
  std::vector<uint32_t> pixels_;
  int width_ = 0;
};

TEST_F(Drawing, FillsAndLinesLandOnTheirPixels) {
  Start(40, 20);
  test::TestBrush red(kRed), green(kGreen);
  test::TestPen blue(kBlue, 1);
  EXPECT_TRUE(graphics_.GdipFillRectangle(red, RectF{2, 2, 6, 6}));
  std::vector<Rect> rects{{20, 2, 4, 4}, {30, 2, 4, 4}};
  EXPECT_TRUE(graphics_.GdipFillRectanglesI(green, rects));
  EXPECT_TRUE(graphics_.GdipDrawLineI(blue, 0, 15, 39, 15));
  EXPECT_EQ(At(4, 4), kRed);
  EXPECT_EQ(At(9, 4), kWhite);
  EXPECT_EQ(At(21, 3), kGreen);
  EXPECT_EQ(At(31, 5), kGreen);
  EXPECT_EQ(At(26, 3), kWhite);
  EXPECT_EQ(At(20, 15), kBlue);
  EXPECT_EQ(At(20, 17), kWhite);
}

TEST_F(Drawing, AnImageIsDrawnAtTheSizeItsResolutionGives) {
  Start(40, 40);
  ImageObject tile;
  ASSERT_TRUE(tile.GdipCreateBitmapFromScan0(10, 10));
  {
    GraphicsObject onTile;
    ASSERT_TRUE(onTile.GdipGetImageGraphicsContext(tile));
    ASSERT_TRUE(onTile.GdipGraphicsClear(kGreen));
  }
  ASSERT_TRUE(tile.GdipBitmapSetResolution(48, 48));  // the bitmap has 96: twice as large
  EXPECT_EQ(tile.GdipGetImageHorizontalResolution(), 48.0f);
  EXPECT_TRUE(graphics_.GdipDrawImage(tile, 0, 0));
  // drawn into a rectangle, the resolution does not count
  EXPECT_TRUE(graphics_.GdipDrawImageRectRect(tile, 30, 30, 5, 5));
  EXPECT_EQ(At(18, 18), kGreen);
  EXPECT_EQ(At(22, 22), kWhite);
  EXPECT_EQ(At(17, 2), kGreen);
  EXPECT_EQ(At(32, 32), kGreen);
  EXPECT_EQ(At(36, 36), kWhite);
}

TEST_F(Drawing, ARegionCombinedWithARectangleIsFilledWhereBothAre) {
  Start(40, 40);
  test::TestBrush red(kRed), blue(kBlue);
  RegionObject region;
  ASSERT_TRUE(region.GdipCreateRegionRect(RectF{0, 0, 20, 20}));
  EXPECT_TRUE(region.GdipCombineRegionRect(RectF{10, 10, 20, 20}));  // intersect unless told
  EXPECT_TRUE(region.GdipIsVisibleRegionPoint(15, 15, nullptr));
  EXPECT_FALSE(region.GdipIsVisibleRegionPoint(5, 5, nullptr));
  EXPECT_TRUE(graphics_.GdipFillRegion(red, region));

  RegionObject cross;
  ASSERT_TRUE(cross.GdipCreateRegionRectI(Rect{30, 0, 4, 4}));
  constexpr INT kUnion = 2;
  EXPECT_TRUE(cross.GdipCombineRegionRectI(Rect{0, 30, 4, 4}, kUnion));
  EXPECT_TRUE(graphics_.GdipFillRegion(blue, cross));

  EXPECT_EQ(At(15, 15), kRed);
  EXPECT_EQ(At(5, 5), kWhite);
  EXPECT_EQ(At(25, 25), kWhite);
  EXPECT_EQ(At(31, 1), kBlue);
  EXPECT_EQ(At(1, 31), kBlue);
  EXPECT_EQ(At(31, 31), kWhite);
}

// Two frames of a GIF89a, each with its delay in hundredths of a second.
Bytes AnimatedGif(uint16_t firstDelay, uint16_t secondDelay) {
  const test::ByteVector still = test::GifFile(2, 2, {0xFF0000, 0x0000FF}, {0, 1, 1, 0});
  const std::size_t tableBytes = std::size_t(3) << ((still[10] & 7) + 1);
  const std::size_t frameStart = 13 + tableBytes;  // the image descriptor
  test::ByteVector gif(still.begin(), still.begin() + frameStart);
  gif[4] = '9';
  for (uint16_t delay : {firstDelay, secondDelay}) {
    const uint8_t control[] = {0x21, 0xF9, 4, 0, uint8_t(delay), uint8_t(delay >> 8), 0, 0};
    gif.insert(gif.end(), std::begin(control), std::end(control));
    gif.insert(gif.end(), still.begin() + frameStart, still.end() - 1);
  }
  gif.push_back(0x3B);
  return test::AsBytes(gif);
}

TEST(ImageFrames, TheDelaysOfAnAnimationAreReadAsIntegers) {
  test::GdiplusSession gdiplus;
  ImageObject animation;
  ASSERT_TRUE(animation.GdipCreateBitmapFromStream(AnimatedGif(10, 25)));
  constexpr GUID kTime = test::kFrameDimensionTime;
  EXPECT_EQ(animation.GdipImageGetFrameCount(kTime), 2u);
  std::vector<int32_t> delays{-1};
  EXPECT_TRUE(animation.GetFrameDelays(delays));
  EXPECT_EQ(delays, (std::vector<int32_t>{10, 25}));

  ImageObject still;
  ASSERT_TRUE(still.GdipCreateBitmapFromScan0(2, 2));
  EXPECT_FALSE(still.GetFrameDelays(delays));
  EXPECT_EQ(delays, (std::vector<int32_t>{10, 25}));  // left as it was
}

TEST(CharacterRanges, EachRangeGetsARegionOfItsOwn) {
  test::GdiplusSession gdiplus;
  ImageObject bitmap;
  ASSERT_TRUE(bitmap.GdipCreateBitmapFromScan0(200, 40));
  GraphicsObject graphics;
  ASSERT_TRUE(graphics.GdipGetImageGraphicsContext(bitmap));
  test::TestFont font(16);
  test::TestStringFormat format({{0, 2}, {3, 2}});
  std::vector<std::unique_ptr<RegionObject>> regions;
  regions.push_back(std::make_unique<RegionObject>());  // replaced
  ASSERT_TRUE(graphics.GdipMeasureCharacterRanges("ab cd", font, RectF{0, 0, 200, 40}, &format, 2, regions));
  ASSERT_EQ(regions.size(), 2u);
  const RectF first = regions[0]->GdipGetRegionBounds(graphics);
  const RectF second = regions[1]->GdipGetRegionBounds(graphics);
  EXPECT_GT(first.width, 0);
  EXPECT_GT(second.width, 0);
  EXPECT_GT(second.x, first.x + first.width - 0.5f);
  EXPECT_EQ(regions[0]->GetNative(), regions[0]->region());
}

}  // namespace
}  // namespace snipora
