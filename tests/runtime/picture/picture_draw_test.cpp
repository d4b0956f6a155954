// Painting a decoded picture onto a panel: unscaled at the given point,
// clipped by the panel, blended over its background.
#include <gtest/gtest.h>

#include <windows.h>

#include "tests/runtime/picture/picture_checks.h"

using namespace snipora;
using namespace snipora::test;

namespace {

constexpr uint32_t kBackground = 0xFF336699;

// A 32-bit memory surface standing in for the drawing panel.
class Panel {
 public:
  Panel(int width, int height) : surface_(*Picture::Create(width, height)), dc_(CreateCompatibleDC(nullptr)) {
    std::ranges::fill(surface_.pixels(), kBackground);
    previous_ = SelectObject(dc_.get(), surface_.bitmap());
  }
  ~Panel() { SelectObject(dc_.get(), previous_); }
  HDC dc() const { return dc_.get(); }
  uint32_t at(int x, int y) {
    GdiFlush();
    return surface_.pixel(x, y) | 0xFF000000;  // the panel's own alpha means nothing
  }

 private:
  Picture surface_;
  UniqueDC dc_;
  HGDIOBJ previous_ = nullptr;
};

Picture Filled(int width, int height, uint32_t premultiplied) {
  Picture picture = *Picture::Create(width, height);
  std::ranges::fill(picture.pixels(), premultiplied);
  return picture;
}

TEST(DrawPicture, SmallerPictureLeavesTheRestOfTheBackground) {
  Panel panel(10, 8);
  ASSERT_TRUE(DrawPicture(panel.dc(), Filled(3, 2, 0xFFFF0000), 0, 0));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x)
      EXPECT_EQ(panel.at(x, y), x < 3 && y < 2 ? 0xFFFF0000u : kBackground) << x << "," << y;
}

TEST(DrawPicture, LargerPictureIsCutAtThePanelsEdges) {
  Panel panel(10, 8);
  // the panel's clipping: only its 6 x 5 client part may be painted
  ASSERT_NE(IntersectClipRect(panel.dc(), 0, 0, 6, 5), ERROR);
  ASSERT_TRUE(DrawPicture(panel.dc(), Filled(40, 30, 0xFF00FF00), 0, 0));
  EXPECT_EQ(panel.at(0, 0), 0xFF00FF00u);
  EXPECT_EQ(panel.at(5, 4), 0xFF00FF00u);
  EXPECT_EQ(panel.at(6, 4), kBackground);
  EXPECT_EQ(panel.at(5, 5), kBackground);
  EXPECT_EQ(panel.at(9, 7), kBackground);
}

TEST(DrawPicture, UnscaledAtTheGivenPoint) {
  Panel panel(10, 8);
  Picture picture = Filled(2, 2, 0xFF000000);
  picture.pixels()[3] = 0xFFFFFFFF;  // bottom right
  ASSERT_TRUE(DrawPicture(panel.dc(), picture, 4, 3));
  EXPECT_EQ(panel.at(3, 3), kBackground);
  EXPECT_EQ(panel.at(4, 3), 0xFF000000u);
  EXPECT_EQ(panel.at(5, 4), 0xFFFFFFFFu);
  EXPECT_EQ(panel.at(6, 5), kBackground);
}

TEST(DrawPicture, TransparencyShowsTheBackground) {
  Panel panel(3, 1);
  Picture picture = *Picture::Create(3, 1);
  picture.pixels()[0] = 0;                         // transparent
  picture.pixels()[1] = Premultiplied(0x80FF0000);  // half red
  picture.pixels()[2] = 0xFF00FF00;                 // opaque green
  ASSERT_TRUE(DrawPicture(panel.dc(), picture, 0, 0));
  EXPECT_EQ(panel.at(0, 0), kBackground);
  // 128 of red plus 127/255 of the background
  EXPECT_TRUE(Near(panel.at(1, 0), 0xFF99334C, 2));
  EXPECT_EQ(panel.at(2, 0), 0xFF00FF00u);
}

TEST(DrawPicture, DecodedIconOverTheBackground) {
  const auto picture = Decode(IconFile({{{2, 1, {0x00FFFFFF, 0xFF0000FF}}, 24}}));
  ASSERT_TRUE(picture);
  Panel panel(2, 1);
  ASSERT_TRUE(DrawPicture(panel.dc(), *picture, 0, 0));
  EXPECT_EQ(panel.at(0, 0), kBackground);
  EXPECT_EQ(panel.at(1, 0), 0xFF0000FFu);
}

}  // namespace
