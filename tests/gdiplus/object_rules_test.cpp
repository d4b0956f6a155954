// The object model: what delete and dispose do on an empty object, how a
// factory's handle reaches the object, how a producer hands its handle to
// another object, what getters answer, and the order in which an image
// object lets go of its image and of the stream behind it.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "gdiplus/graphics_object.h"
#include "gdiplus/image_object.h"
#include "gdiplus/last_status.h"
#include "gdiplus/region_object.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/gdiplus/gdiplus_test_objects.h"
#include "tests/runtime/picture/sample_pictures.h"
#include "tests/support/screen_pixels.h"

namespace snipora {
namespace {

using flat::FlatFunction;
using test::ScopedStandIn;

constexpr GpStatus kInvalidParameter = 2;
constexpr GpStatus kWin32Error = 7;

class ObjectRules : public ::testing::Test {
 protected:
  test::GdiplusSession gdiplus_;
};

int releaseCalls = 0;
GpStatus WINAPI CountRelease(void*) {
  ++releaseCalls;
  return kGdiplusOk;
}

TEST_F(ObjectRules, DeleteAndDisposeOfAnEmptyObjectAnswerFalseAndCallNothing) {
  releaseCalls = 0;
  ScopedStandIn graphicsGone(FlatFunction::GdipDeleteGraphics, &CountRelease);
  ScopedStandIn imageGone(FlatFunction::GdipDisposeImage, &CountRelease);
  ScopedStandIn regionGone(FlatFunction::GdipDeleteRegion, &CountRelease);
  {
    GraphicsObject graphics;
    ImageObject image;
    RegionObject region;
    EXPECT_FALSE(graphics.GdipDeleteGraphics());
    EXPECT_FALSE(image.GdipDisposeImage());
    EXPECT_FALSE(region.GdipDeleteRegion());
  }  // nor does destroying them
  EXPECT_EQ(releaseCalls, 0);
}

TEST_F(ObjectRules, FactoriesLeaveTheBaseAndTheClassFieldEqual) {
  test::DibCanvas canvas(8, 8);
  GraphicsObject graphics;
  ASSERT_TRUE(graphics.GdipCreateFromHDC(canvas.dc()));
  EXPECT_NE(graphics.graphics(), nullptr);
  EXPECT_EQ(graphics.GetNative(), graphics.graphics());

  ImageObject image;
  ASSERT_TRUE(image.GdipCreateBitmapFromScan0(4, 3));
  EXPECT_EQ(image.GetNative(), image.image());
  EXPECT_EQ(image.GdipGetImagePixelFormat(), kPixelFormat32bppArgb);  // the short form's default

  GraphicsObject onImage;
  ASSERT_TRUE(onImage.GdipGetImageGraphicsContext(image));
  EXPECT_EQ(onImage.GetNative(), onImage.graphics());

  RegionObject region;
  ASSERT_TRUE(region.GdipCreateRegionRectI(Rect{1, 2, 3, 4}));
  EXPECT_EQ(region.GetNative(), region.region());
  EXPECT_EQ(region.GdipGetRegionBoundsI(graphics), (Rect{1, 2, 3, 4}));

  ImageObject none;
  EXPECT_FALSE(none.GdipCreateBitmapFromScan0(0, 0));
  EXPECT_EQ(LastStatus(), kInvalidParameter);
  EXPECT_EQ(none.GetNative(), nullptr);
  EXPECT_EQ(none.image(), nullptr);
}

GpRegion* const kMadeUpRegion = reinterpret_cast<GpRegion*>(0x5A5A0);
GpStatus WINAPI FailButWriteRegion(GpRegion** region) {
  *region = kMadeUpRegion;
  return kWin32Error;
}

TEST_F(ObjectRules, AFailedFactoryStillTakesWhatGdiplusWroteIntoTheField) {
  releaseCalls = 0;
  ScopedStandIn create(FlatFunction::GdipCreateRegion, &FailButWriteRegion);
  ScopedStandIn remove(FlatFunction::GdipDeleteRegion, &CountRelease);
  RegionObject region;
  EXPECT_FALSE(region.GdipCreateRegion());
  EXPECT_EQ(LastStatus(), kWin32Error);
  EXPECT_EQ(region.region(), kMadeUpRegion);
  EXPECT_EQ(region.GetNative(), kMadeUpRegion);
  EXPECT_TRUE(region.GdipDeleteRegion());
  EXPECT_EQ(releaseCalls, 1);
  EXPECT_EQ(region.GetNative(), nullptr);
  EXPECT_EQ(region.region(), nullptr);
}

TEST_F(ObjectRules, ProducersHandTheirNewHandleToTheTarget) {
  ImageObject source;
  ASSERT_TRUE(source.GdipCreateBitmapFromScan0(5, 4));
  ImageObject target;
  ASSERT_TRUE(target.GdipCreateBitmapFromScan0(2, 2));
  GpImage* previous = target.image();

  EXPECT_TRUE(source.GdipCloneImage(target));
  EXPECT_NE(target.image(), previous);
  EXPECT_NE(target.image(), source.image());
  EXPECT_EQ(target.GetNative(), target.image());
  EXPECT_EQ(target.GdipGetImageWidth(), 5u);
  // what the target held is not disposed: it is still there for its owner
  UINT width = 0;
  EXPECT_EQ(flat::GdipGetImageWidth(previous, &width), kGdiplusOk);
  EXPECT_EQ(width, 2u);
  flat::GdipDisposeImage(previous);

  ImageObject area, thumbnail;
  EXPECT_TRUE(source.GdipCloneBitmapArea(1, 1, 3, 2, kPixelFormat32bppArgb, area));
  EXPECT_EQ(area.GdipGetImageWidth(), 3u);
  EXPECT_EQ(area.GdipGetImageHeight(), 2u);
  EXPECT_TRUE(source.GdipGetImageThumbnail(7, 6, thumbnail));
  EXPECT_EQ(thumbnail.GdipGetImageWidth(), 7u);

  test::DibCanvas canvas(4, 4);
  GraphicsObject graphics;
  ASSERT_TRUE(graphics.GdipCreateFromHDC(canvas.dc()));
  RegionObject region, copy;
  ASSERT_TRUE(region.GdipCreateRegionRect(RectF{0, 0, 10, 10}));
  EXPECT_TRUE(region.GdipCloneRegion(copy));
  EXPECT_NE(copy.region(), region.region());
  EXPECT_TRUE(copy.GdipIsEqualRegion(region, graphics));

  // a producer that fails leaves its target as it was
  ImageObject empty;
  GpImage* kept = target.image();
  EXPECT_FALSE(empty.GdipCloneImage(target));
  EXPECT_EQ(target.image(), kept);
}

GpStatus WINAPI FailButWriteDpi(GpGraphics*, float* dpi) {
  *dpi = 42.0f;
  return kWin32Error;
}
GpStatus WINAPI FailButWriteBounds(GpGraphics*, RectF* bounds) {
  *bounds = RectF{1, 2, 3, 4};
  return kWin32Error;
}

TEST_F(ObjectRules, AFailedGetterAnswersWhatGdiplusLeftButARectangleZeroFilled) {
  GraphicsObject graphics;
  {
    ScopedStandIn dpi(FlatFunction::GdipGetDpiX, &FailButWriteDpi);
    ScopedStandIn bounds(FlatFunction::GdipGetClipBounds, &FailButWriteBounds);
    EXPECT_EQ(graphics.GdipGetDpiX(), 42.0f);
    EXPECT_EQ(graphics.GdipGetClipBounds(), RectF{});
    EXPECT_EQ(LastStatus(), kWin32Error);
  }
  test::DibCanvas canvas(3, 2);
  ASSERT_TRUE(graphics.GdipCreateFromHDC(canvas.dc()));
  EXPECT_EQ(graphics.GdipGetDpiX(), 96.0f);
  EXPECT_EQ(graphics.GdipGetVisibleClipBoundsI(), (Rect{0, 0, 3, 2}));
  EXPECT_EQ(LastStatus(), kGdiplusOk);
}

// Disposing an image while its stream is gone would let GDI+ read freed
// memory: the stand-in notes whether the memory was still there.
HGLOBAL watchedMemory = nullptr;
bool memoryAliveAtDispose = false;
std::vector<GpImage*> disposed;
GpStatus WINAPI NoteAndDispose(GpImage* image) {
  memoryAliveAtDispose = GlobalSize(watchedMemory) != 0;
  disposed.push_back(image);
  return test::RealGdiplus<GpStatus(WINAPI*)(GpImage*)>("GdipDisposeImage")(image);
}

Bytes SamplePng(uint32_t colour) {
  test::Pixels pixels{2, 2, std::vector<uint32_t>(4, colour)};
  return test::AsBytes(test::PngFile(pixels));
}

TEST_F(ObjectRules, AnImageGoesBeforeTheStreamItWasDecodedFrom) {
  disposed.clear();
  ScopedStandIn dispose(FlatFunction::GdipDisposeImage, &NoteAndDispose);
  auto image = std::make_unique<ImageObject>();
  ASSERT_TRUE(image->GdipCreateBitmapFromStream(SamplePng(0xFF102030)));
  GpImage* first = image->image();
  watchedMemory = image->loadStream().GetMemory();
  ASSERT_NE(watchedMemory, nullptr);

  // a second image on the same object disposes the first before its stream is replaced
  ASSERT_TRUE(image->GdipCreateBitmapFromStream(SamplePng(0xFF405060)));
  EXPECT_EQ(disposed, std::vector<GpImage*>{first});
  EXPECT_TRUE(memoryAliveAtDispose);

  GpImage* second = image->image();
  watchedMemory = image->loadStream().GetMemory();
  memoryAliveAtDispose = false;
  image.reset();
  EXPECT_EQ(disposed, (std::vector<GpImage*>{first, second}));
  EXPECT_TRUE(memoryAliveAtDispose);
  EXPECT_EQ(GlobalSize(watchedMemory), 0u);  // and then the memory went
}

}  // namespace
}  // namespace snipora
